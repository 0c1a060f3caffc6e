// End-to-end checks of the "Welcome" and "Sorry" boxes as the dialog
// manager shows them over the main window, acted on as a user would. The
// boxes are shown by dialog_showcase.exe, which runs them the way the
// registration run does.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "tests/e2e/e2e_harness.h"

namespace scenreg::e2e {
namespace {

constexpr int kTextControl = 1003;
constexpr int kStaticId = 0xFFFF;

// A welcome text longer than the field, with leading blanks: the box shows
// the blanks and the first 255 characters of the 256 that are kept.
std::string LongWelcomeText() {
  std::string text(20, ' ');
  text += "Sample Field adds a small grass airfield with its buildings.";
  while (text.size() < 300) text += " More.";
  return text;
}

class WindowFrames : public ::testing::Environment {
 public:
  void SetUp() override { DrawFramesUnderWine({"scenreg.exe"}); }
  void TearDown() override { StopDrawingFrames(); }
};
const ::testing::Environment* const window_frames =
    ::testing::AddGlobalTestEnvironment(new WindowFrames);

enum class Answer { kEnter, kEscape, kCloseCommand, kClickContinue, kClickNoThanks };

const char* NameOf(Answer answer) {
  switch (answer) {
    case Answer::kEnter:
      return "Enter";
    case Answer::kEscape:
      return "Escape";
    case Answer::kCloseCommand:
      return "CloseCommand";
    case Answer::kClickContinue:
      return "ClickContinue";
    case Answer::kClickNoThanks:
      return "ClickNoThanks";
  }
  return "?";
}

class DialogBox : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::getenv("DISPLAY"))
      GTEST_SKIP() << "DISPLAY is not set: these tests need an X display for Wine";
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    name_ = std::string(info->test_suite_name()) + "." + info->name();
    for (char& c : name_)
      if (c == '/' || c == '.') c = '-';
    folder_ = FreshScratchFolder(name_);
    ASSERT_FALSE(folder_.empty()) << "no scratch folder";
  }

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

  void Answer(HWND box, Answer answer) {
    switch (answer) {
      case Answer::kEnter:
        program_.PressKey(box, VK_RETURN);
        break;
      case Answer::kEscape:
        program_.PressKey(box, VK_ESCAPE);
        break;
      case Answer::kCloseCommand:
        // What the window manager sends for a close request.
        PostMessageA(box, WM_SYSCOMMAND, SC_CLOSE, 0);
        break;
      case Answer::kClickContinue:
        program_.Click(GetDlgItem(box, 1));
        break;
      case Answer::kClickNoThanks:
        program_.Click(GetDlgItem(box, 2));
        break;
    }
  }

  // The result the showcase wrote after the modal run.
  std::string Result() {
    const std::optional<DWORD> status = program_.WaitForExit(kWaitLimitMs, name_ + "-after");
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

  std::string name_;
  std::string folder_;
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

class WelcomeBox : public DialogBox, public ::testing::WithParamInterface<Answer> {};

TEST_P(WelcomeBox, ShowsTheTextAndAnswersWithTheButtonsId) {
  const std::string text = LongWelcomeText();
  const bool first = GetParam() == Answer::kEnter;
  HWND box = Show("101\r\n" + text + "\r\n", first ? "welcome-box" : name_ + "-box");
  ASSERT_TRUE(box);
  ExpectModalOverMainWindow(box, "Welcome");

  EXPECT_EQ(TextOf(GetDlgItem(box, kTextControl)), text.substr(0, 255));
  EXPECT_EQ(TextOf(GetDlgItem(box, 1)), "Continue");
  EXPECT_EQ(TextOf(GetDlgItem(box, 2)), "No thanks");
  EXPECT_EQ(TextOf(GetDlgItem(box, kStaticId)),
            "Press \"Continue\" to add this entry, or \"No thanks\" case you prefer to do this "
            "yourself through the FS2004 menus.");
  EXPECT_EQ(FocusedControlOf(box), GetDlgItem(box, 1)) << "the focus starts on Continue";
  const LONG edit_style = GetWindowLongA(GetDlgItem(box, kTextControl), GWL_STYLE);
  EXPECT_TRUE(edit_style & ES_READONLY);
  EXPECT_FALSE(edit_style & ES_MULTILINE);

  Answer(box, GetParam());
  const bool continues = GetParam() == Answer::kEnter || GetParam() == Answer::kClickContinue;
  EXPECT_EQ(Result(), continues ? "1" : "2");
}

INSTANTIATE_TEST_SUITE_P(Answers, WelcomeBox,
                         ::testing::Values(Answer::kEnter, Answer::kEscape, Answer::kCloseCommand,
                                           Answer::kClickContinue, Answer::kClickNoThanks),
                         [](const auto& param_info) {
                           return std::string(NameOf(param_info.param));
                         });

class SorryBox : public DialogBox, public ::testing::WithParamInterface<Answer> {};

TEST_P(SorryBox, IgnoresEscapeAndCloseAndAnswersOne) {
  const bool first = GetParam() == Answer::kEnter;
  HWND box = Show("102\r\n", first ? "sorry-box" : name_ + "-box");
  ASSERT_TRUE(box);
  ExpectModalOverMainWindow(box, "Sorry");
  EXPECT_EQ(TextOf(GetDlgItem(box, 1)), "OK");
  EXPECT_EQ(FocusedControlOf(box), GetDlgItem(box, 1));

  Answer(box, Answer::kEscape);
  Answer(box, Answer::kCloseCommand);
  Sleep(700);
  EXPECT_TRUE(IsWindow(box)) << "Escape and the close command leave it open";
  EXPECT_TRUE(program_.running());

  Answer(box, GetParam());
  EXPECT_EQ(Result(), "1");
}

INSTANTIATE_TEST_SUITE_P(Answers, SorryBox,
                         ::testing::Values(Answer::kEnter, Answer::kClickContinue),
                         [](const auto& param_info) {
                           return param_info.param == Answer::kEnter ? "Enter" : "ClickOk";
                         });

}  // namespace
}  // namespace scenreg::e2e
