// End-to-end checks of the "Welcome" and "Sorry" boxes as the dialog
// manager shows them over the main window, acted on as a user would. The
// boxes are shown by dialog_showcase.exe, which runs them the way the
// registration run does.
#include <string>

#include "tests/e2e/e2e_fixture.h"

namespace scenreg::e2e {
namespace {

// A welcome text longer than the field, with leading blanks: the box shows
// the blanks and the first 255 characters of the 256 that are kept.
std::string LongWelcomeText() {
  std::string text(20, ' ');
  text += "Sample Field adds a small grass airfield with its buildings.";
  while (text.size() < 300) text += " More.";
  return text;
}

const ::testing::Environment* const unmanaged_windows =
    ::testing::AddGlobalTestEnvironment(new UnmanagedWindows({"scenreg.exe"}));

class DialogBox : public EndToEndTest {
 protected:
  // Starts the showcase with the request and waits for its box.
  HWND Show(const std::string& request, const std::string& screenshot) {
    EXPECT_TRUE(WriteTextFile(folder_ + "/box.txt", request));
    // Under the program's own name, so that captions and screenshots read
    // as they will in the program.
    const std::string program = folder_ + "/scenreg.exe";
    if (!CopyFileA(WindowsPath(BuildFolder() + "/dialog_showcase.exe").c_str(),
                   WindowsPath(program).c_str(), FALSE) ||
        !program_.Start(program, folder_))
      return nullptr;
    main_window_ = program_.WaitForMainWindow("scenregFRAME", kWaitLimitMs);
    return program_.WaitForBox(kWaitLimitMs, screenshot);
  }

  // The result the showcase wrote after the modal run.
  std::string Result() {
    const std::optional<DWORD> status = program_.WaitForExit(kWaitLimitMs, Shot("after"));
    EXPECT_EQ(status, 0u);
    return ReadTextFile(folder_ + "/result.txt").value_or("none");
  }

  // The box sits at the top left of the main window's client area, is owned
  // by the main window and keeps it disabled, and has a caption but neither
  // system menu nor close box.
  void ExpectModalOverMainWindow(HWND box, const std::string& caption) {
    ASSERT_TRUE(main_window_);
    const WindowFacts facts = FactsOf(box);
    EXPECT_EQ(facts.text, caption);
    EXPECT_EQ(facts.owner, main_window_);
    EXPECT_FALSE(IsWindowEnabled(main_window_));
    EXPECT_EQ(facts.style & WS_CAPTION, WS_CAPTION);
    EXPECT_EQ(facts.style & WS_SYSMENU, 0);
    // The template's position is that of the box's client area, relative to
    // the owner's: both at (0, 0) means one client origin.
    POINT main_origin{0, 0}, box_origin{0, 0};
    ClientToScreen(main_window_, &main_origin);
    ClientToScreen(box, &box_origin);
    EXPECT_EQ(box_origin.x, main_origin.x);
    EXPECT_EQ(box_origin.y, main_origin.y);
  }

  ProgramUnderTest program_;
  HWND main_window_ = nullptr;
};

// The program itself carries the templates, in German (Germany).
TEST(ProgramResources, HoldTheThreeTemplatesInGermanGermany) {
  HMODULE program = LoadLibraryExA(WindowsPath(BuildFolder() + "/scenreg.exe").c_str(), nullptr,
                                   LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_TRUE(program);
  for (const WORD id : {WORD{101}, WORD{102}, WORD{103}}) {
    HRSRC found = FindResourceExA(program, MAKEINTRESOURCEA(5), MAKEINTRESOURCEA(id),
                                  MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN));
    ASSERT_TRUE(found) << id;
    EXPECT_GT(SizeofResource(program, found), 0u);
  }
  FreeLibrary(program);
}

class WelcomeBox : public DialogBox, public ::testing::WithParamInterface<BoxAnswer> {};

TEST_P(WelcomeBox, ShowsTheTextAndAnswersWithTheButtonsId) {
  const std::string text = LongWelcomeText();
  const bool first = GetParam() == BoxAnswer::kEnter;
  HWND box = Show("101\r\n" + text + "\r\n", first ? "welcome-box" : Shot("box"));
  ASSERT_TRUE(box);
  ExpectModalOverMainWindow(box, "Welcome");

  EXPECT_EQ(TextOf(GetDlgItem(box, kWelcomeTextId)), text.substr(0, 255));
  EXPECT_EQ(TextOf(GetDlgItem(box, 1)), "Continue");
  EXPECT_EQ(TextOf(GetDlgItem(box, 2)), "No thanks");
  EXPECT_EQ(TextOf(GetDlgItem(box, kMessageTextId)),
            "Press \"Continue\" to add this entry, or \"No thanks\" case you prefer to do this "
            "yourself through the FS2004 menus.");
  EXPECT_EQ(FocusedControlOf(box), GetDlgItem(box, 1)) << "the focus starts on Continue";
  const LONG edit_style = GetWindowLongA(GetDlgItem(box, kWelcomeTextId), GWL_STYLE);
  EXPECT_TRUE(edit_style & ES_READONLY);
  EXPECT_FALSE(edit_style & ES_MULTILINE);

  program_.Answer(box, GetParam());
  const bool continues = GetParam() == BoxAnswer::kEnter || GetParam() == BoxAnswer::kClickOk;
  EXPECT_EQ(Result(), continues ? "1" : "2");
}

INSTANTIATE_TEST_SUITE_P(Answers, WelcomeBox,
                         ::testing::Values(BoxAnswer::kEnter, BoxAnswer::kEscape,
                                           BoxAnswer::kCloseCommand, BoxAnswer::kClickOk,
                                           BoxAnswer::kClickNoThanks),
                         [](const auto& param_info) {
                           return std::string(NameOf(param_info.param));
                         });

class SorryBox : public DialogBox, public ::testing::WithParamInterface<BoxAnswer> {};

TEST_P(SorryBox, IgnoresEscapeAndCloseAndAnswersOne) {
  const bool first = GetParam() == BoxAnswer::kEnter;
  HWND box = Show("102\r\n", first ? "sorry-box" : Shot("box"));
  ASSERT_TRUE(box);
  ExpectModalOverMainWindow(box, "Sorry");
  EXPECT_EQ(TextOf(GetDlgItem(box, 1)), "OK");
  EXPECT_EQ(FocusedControlOf(box), GetDlgItem(box, 1));

  program_.PostKey(box, VK_ESCAPE);
  program_.Answer(box, BoxAnswer::kCloseCommand);
  EXPECT_TRUE(WaitUntilPostedHandled(box)) << "Escape and the close command leave it open";
  EXPECT_TRUE(program_.running());

  program_.Answer(box, GetParam());
  EXPECT_EQ(Result(), "1");
}

INSTANTIATE_TEST_SUITE_P(Answers, SorryBox,
                         ::testing::Values(BoxAnswer::kEnter, BoxAnswer::kClickOk),
                         [](const auto& param_info) {
                           return std::string(NameOf(param_info.param));
                         });

}  // namespace
}  // namespace scenreg::e2e
