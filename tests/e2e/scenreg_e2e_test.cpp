// End-to-end checks of scenreg.exe's shell: the main window, the severe
// diagnostic of a missing description, the regular end and the user closing
// the window. The registration run's outcomes are checked by the acceptance
// suite.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "runtime/shell_texts.h"
#include "tests/e2e/e2e_fixture.h"

namespace scenreg::e2e {
namespace {

constexpr DWORD kEndOfFileDuringRead = 0xC0000018;  // severe message 24
constexpr int kWorkAreaId = 1;
constexpr int kStatusBarId = 90;

const WindowFacts* FindChild(const std::vector<WindowFacts>& children,
                             const std::string& class_name, int control_id) {
  // Class names are matched as the system does, without regard to case:
  // the system's own MDICLIENT class reports itself as "MDIClient".
  for (const WindowFacts& child : children)
    if (lstrcmpiA(child.class_name.c_str(), class_name.c_str()) == 0 &&
        child.control_id == control_id)
      return &child;
  return nullptr;
}

int Width(const RECT& rect) {
  return rect.right - rect.left;
}
int Height(const RECT& rect) {
  return rect.bottom - rect.top;
}

const ::testing::Environment* const unmanaged_windows =
    ::testing::AddGlobalTestEnvironment(new UnmanagedWindows({"scenreg.exe", "setup.exe"}));

class EndToEnd : public EndToEndTest {
 protected:
  // A description file that delivers nothing and never ends: the run waits
  // in its first read, as it would on a stalled network share, while the
  // main window stays usable.
  void MakeRunWait() { ASSERT_TRUE(CreateNamedPipeFile(folder_ + "/scconf.txt")); }
};

TEST_F(EndToEnd, MainWindowSitsAtTopLeftWithA420x150WorkArea) {
  MakeRunWait();
  ProgramUnderTest program;
  ASSERT_TRUE(program.Start(ProgramPath(), folder_));
  HWND main_window = program.WaitForMainWindow("scenregFRAME", kWaitLimitMs);
  ASSERT_TRUE(main_window);

  // The run places the window from its own thread; wait until it has.
  const WindowFacts* work_area = nullptr;
  const WindowFacts* status_bar = nullptr;
  std::vector<WindowFacts> children;
  for (const Deadline deadline(10000); !deadline.passed(); Sleep(50)) {
    children = ChildrenOf(main_window);
    work_area = FindChild(children, "MDICLIENT", kWorkAreaId);
    RECT frame;
    GetWindowRect(main_window, &frame);
    if (work_area && frame.left == 0 && frame.top == 0 && Width(work_area->rect) == 420 &&
        Height(work_area->rect) == 150)
      break;
  }

  const WindowFacts frame = FactsOf(main_window);
  EXPECT_EQ(frame.text, "scenreg");
  EXPECT_EQ(frame.rect.left, 0);
  EXPECT_EQ(frame.rect.top, 0);
  EXPECT_EQ(frame.style & WS_OVERLAPPEDWINDOW, WS_OVERLAPPEDWINDOW);
  EXPECT_TRUE(frame.style & WS_CLIPCHILDREN);
  EXPECT_TRUE(frame.enabled);
  EXPECT_EQ(frame.owner, nullptr);

  // Frame, work area and status bar: exactly the work area's size between
  // the menu bar and the status bar.
  children = ChildrenOf(main_window);
  work_area = FindChild(children, "MDICLIENT", kWorkAreaId);
  status_bar = FindChild(children, "scenregSTATUSBAR", kStatusBarId);
  ASSERT_TRUE(work_area);
  ASSERT_TRUE(status_bar);
  EXPECT_EQ(children.size(), 2u);
  POINT client_origin{0, 0};
  ClientToScreen(main_window, &client_origin);
  RECT client;
  GetClientRect(main_window, &client);
  EXPECT_EQ(Width(work_area->rect), 420);
  EXPECT_EQ(Height(work_area->rect), 150);
  EXPECT_EQ(work_area->rect.left, client_origin.x);
  EXPECT_EQ(work_area->rect.top, client_origin.y) << "the work area starts below the menu bar";
  EXPECT_TRUE(work_area->visible);
  EXPECT_TRUE(ChildrenOf(work_area->handle).empty());
  EXPECT_EQ(status_bar->rect.top, work_area->rect.bottom);
  EXPECT_EQ(status_bar->rect.left, client_origin.x);
  EXPECT_EQ(Width(status_bar->rect), 420);
  EXPECT_EQ(Height(status_bar->rect), GetSystemMetrics(SM_CYCAPTION));
  EXPECT_EQ(client.right, 420);
  EXPECT_EQ(client.bottom, 150 + GetSystemMetrics(SM_CYCAPTION));
  EXPECT_EQ(status_bar->text, "Running");

  // The menu: "&File" with the single item "E&xit", command 10.
  HMENU menu = GetMenu(main_window);
  ASSERT_TRUE(menu);
  if (GetMenuItemCount(menu) < 0) {
    // Wine keeps a menu's items within its process; there the menu is
    // checked by choosing File, Exit from the keyboard (ExitMenu below).
    std::printf("[harness] the menu cannot be read from another process\n");
  } else {
    char label[64] = {};
    EXPECT_EQ(GetMenuItemCount(menu), 1);
    GetMenuStringA(menu, 0, label, sizeof label, MF_BYPOSITION);
    EXPECT_STREQ(label, "&File");
    HMENU file_menu = GetSubMenu(menu, 0);
    ASSERT_TRUE(file_menu);
    EXPECT_EQ(GetMenuItemCount(file_menu), 1);
    EXPECT_EQ(GetMenuItemID(file_menu, 0), 10u);
    GetMenuStringA(file_menu, 0, label, sizeof label, MF_BYPOSITION);
    EXPECT_STREQ(label, "E&xit");
  }

  EXPECT_TRUE(program.Boxes().empty());
  program.Close(main_window, CloseAction::kCloseMessage);
  EXPECT_EQ(program.WaitForExit(kWaitLimitMs, Shot("closing")), 0u);
}

class MissingDescription : public EndToEnd, public ::testing::WithParamInterface<BoxAnswer> {};

TEST_P(MissingDescription, EndsInOneSevereBoxThenWithTheDiagnosticCode) {
  ProgramUnderTest program;
  ASSERT_TRUE(program.Start(ProgramPath(), folder_));
  HWND main_window = program.WaitForMainWindow("scenregFRAME", kWaitLimitMs);
  ASSERT_TRUE(main_window);
  for (const WindowFacts& child : ChildrenOf(main_window))
    if (child.control_id == kStatusBarId) program.WatchStatusBar(child.handle);

  HWND box = program.WaitForBox(kWaitLimitMs, Shot("box"));
  ASSERT_TRUE(box);
  EXPECT_EQ(program.Boxes().size(), 1u);
  const WindowFacts facts = FactsOf(box);
  EXPECT_EQ(facts.text, kDiagnosticCaption);
  EXPECT_EQ(facts.owner, main_window);
  EXPECT_FALSE(IsWindowEnabled(main_window)) << "the box is modal to the main window";

  char full_path[MAX_PATH] = {};
  GetFullPathNameA(WindowsPath(folder_ + "/scconf.txt").c_str(), MAX_PATH, full_path, nullptr);
  const std::string first_line = FileDiagnostic(24, 2, full_path);
  const std::string text = TextOf(GetDlgItem(box, kMessageTextId));
  EXPECT_EQ(text.substr(0, first_line.size()), first_line) << text;
  EXPECT_EQ(text.substr(first_line.size(), TracebackHeader().size()), TracebackHeader()) << text;
  EXPECT_NE(text.find("scenreg.exe"), std::string::npos) << "a frame of the program itself";

  // One OK button, which has the focus, and the stop icon.
  std::vector<WindowFacts> buttons;
  bool has_icon = false;
  for (const WindowFacts& child : ChildrenOf(box)) {
    if (child.class_name == "Button" && child.visible) buttons.push_back(child);
    if (child.class_name == "Static" && (child.style & SS_TYPEMASK) == SS_ICON) has_icon = true;
  }
  ASSERT_EQ(buttons.size(), 1u);
  EXPECT_EQ(buttons[0].control_id, IDOK);
  EXPECT_EQ(FocusedControlOf(box), buttons[0].handle);
  EXPECT_TRUE(has_icon);

  program.Answer(box, GetParam());
  const std::optional<DWORD> status = program.WaitForExit(kWaitLimitMs, Shot("after-box"));
  ASSERT_TRUE(status.has_value());
  EXPECT_EQ(*status, kEndOfFileDuringRead) << std::hex << *status;
  EXPECT_EQ(program.boxes_seen_while_waiting(), 0) << "no second box, no exit prompt";
  EXPECT_FALSE(IsWindow(main_window));
  EXPECT_EQ(ReadTextFile(folder_ + "/scconf.txt"), std::string()) << "left behind empty";

  // "Finished" shows only for the moment before the window goes.
  const std::vector<std::string>& texts = program.status_texts();
  ASSERT_FALSE(texts.empty());
  EXPECT_EQ(texts.front(), "Running");
  for (std::size_t i = 1; i < texts.size(); ++i) EXPECT_EQ(texts[i], "Finished");
}

// Where program starts are slow, Enter only: each answer takes the same way
// out of the box, and the other runs take them all.
const BoxAnswer kSevereBoxAnswers[] = {BoxAnswer::kEnter, BoxAnswer::kEscape, BoxAnswer::kClickOk};
INSTANTIATE_TEST_SUITE_P(Answers, MissingDescription,
                         ::testing::ValuesIn(kSevereBoxAnswers, kSevereBoxAnswers + Repeats(3, 1)),
                         [](const auto& param_info) {
                           return std::string(NameOf(param_info.param));
                         });

TEST_F(EndToEnd, DescriptionHeldByAnotherProgramShowsTheSystemTextFirst) {
  ASSERT_TRUE(WriteTextFile(folder_ + "/scconf.txt", kSampleDescription));
  // Open for writing elsewhere: the program's open fails with a sharing
  // violation, error 30.
  HANDLE holder = CreateFileA(WindowsPath(folder_ + "/scconf.txt").c_str(), GENERIC_WRITE,
                              FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(holder, INVALID_HANDLE_VALUE);
  ProgramUnderTest program;
  ASSERT_TRUE(program.Start(ProgramPath(), folder_));

  HWND system_box = program.WaitForBox(kWaitLimitMs, Shot("system-text"));
  ASSERT_TRUE(system_box);
  EXPECT_EQ(TextOf(system_box), kDiagnosticCaption);
  const std::string system_text = TextOf(GetDlgItem(system_box, kMessageTextId));
  EXPECT_EQ(system_text.rfind("scenreg: ", 0), 0u) << system_text;
  EXPECT_EQ(system_text.find("severe"), std::string::npos) << system_text;
  program.PressKey(system_box, VK_RETURN);
  WaitUntilGone(system_box);

  HWND diagnostic_box = program.WaitForBox(kWaitLimitMs, Shot("diagnostic"));
  ASSERT_TRUE(diagnostic_box);
  const std::string text = TextOf(GetDlgItem(diagnostic_box, kMessageTextId));
  EXPECT_EQ(text.rfind(FileDiagnosticStart(30, 2), 0), 0u) << text;
  program.PressKey(diagnostic_box, VK_RETURN);
  const std::optional<DWORD> status = program.WaitForExit(kWaitLimitMs, Shot("after-boxes"));
  CloseHandle(holder);
  ASSERT_TRUE(status.has_value());
  EXPECT_EQ(*status, 0xC000001Eu) << std::hex << *status;
  EXPECT_EQ(ReadTextFile(folder_ + "/scconf.txt"), kSampleDescription);
}

TEST_F(EndToEnd, RegularEndShowsNoBoxAndEndsWithZero) {
  // Two lines: no welcome text, so no question either.
  ASSERT_TRUE(WriteTextFile(folder_ + "/scconf.txt", kSampleDescription));
  ASSERT_TRUE(WriteTextFile(folder_ + "/scenery.cfg", Library(12)));
  ProgramUnderTest program;
  ASSERT_TRUE(program.Start(ProgramPath(), folder_));
  const std::optional<DWORD> status = program.WaitForExit(kWaitLimitMs, Shot("end"));
  ASSERT_TRUE(status.has_value());
  EXPECT_EQ(*status, 0u);
  EXPECT_EQ(program.boxes_seen_while_waiting(), 0);
  EXPECT_TRUE(program.TopLevelWindows().empty());
}

class ClosingWhileRunWaits : public EndToEnd, public ::testing::WithParamInterface<CloseAction> {};

TEST_P(ClosingWhileRunWaits, EndsAtOnceWithZero) {
  MakeRunWait();
  ProgramUnderTest program;
  ASSERT_TRUE(program.Start(ProgramPath(), folder_));
  HWND main_window = program.WaitForMainWindow("scenregFRAME", kWaitLimitMs);
  ASSERT_TRUE(main_window);
  // Let the run reach its wait.
  Sleep(1000);
  ASSERT_TRUE(program.running());
  EXPECT_TRUE(program.Boxes().empty());
  EXPECT_TRUE(IsWindowEnabled(main_window));

  program.Close(main_window, GetParam(), Shot("closing"));
  EXPECT_EQ(program.WaitForExit(kWaitLimitMs, Shot("closing")), 0u);
  EXPECT_EQ(program.boxes_seen_while_waiting(), 0) << "no question asked";
  EXPECT_FALSE(IsWindow(main_window));
}

INSTANTIATE_TEST_SUITE_P(Actions, ClosingWhileRunWaits,
                         ::testing::Values(CloseAction::kCloseMessage, CloseAction::kCloseCommand,
                                           CloseAction::kExitMenu, CloseAction::kAltF4),
                         [](const auto& param_info) {
                           return std::string(NameOf(param_info.param));
                         });

TEST_F(EndToEnd, RenamedCopyTakesItsNameAsCaptionAndClassPrefix) {
  MakeRunWait();
  const std::string copy = folder_ + "/setup.exe";
  ASSERT_TRUE(CopyFileA(WindowsPath(ProgramPath()).c_str(), WindowsPath(copy).c_str(), FALSE));
  ProgramUnderTest program;
  ASSERT_TRUE(program.Start(copy, folder_));
  HWND main_window = program.WaitForMainWindow("setupFRAME", kWaitLimitMs);
  ASSERT_TRUE(main_window);
  EXPECT_EQ(TextOf(main_window), "setup");
  EXPECT_TRUE(FindChild(ChildrenOf(main_window), "setupSTATUSBAR", kStatusBarId));
  program.Close(main_window, CloseAction::kCloseMessage);
  EXPECT_EQ(program.WaitForExit(kWaitLimitMs, Shot("closing")), 0u);
}

// The user closes the main window at a random moment while the run scans a
// large library that it would register into: every close ends with status
// 0 and no box, and the library is either unchanged or followed by a prefix
// of the right section, never by a section with a number the scan had not
// reached.
TEST_F(EndToEnd, ClosingAtRandomMomentsDuringTheScanNeverMisnumbers) {
  std::string library = Library(0);
  for (int area = 1; area <= 998; ++area)
    library += Areas(area, area) + ";" + std::string(30000, 'c') + "\r\n";
  const std::string section = AreaSection(999);
  ASSERT_TRUE(WriteTextFile(folder_ + "/scconf.txt", kSampleDescription));
  srand(20261208);
  for (int round = 0, rounds = Repeats(15, 2); round < rounds; ++round) {
    ASSERT_TRUE(WriteTextFile(folder_ + "/scenery.cfg", library));
    ProgramUnderTest program;
    ASSERT_TRUE(program.Start(ProgramPath(), folder_));
    // A busy machine may see the run end before its window is found: then
    // there is nothing to close, and the checks below still hold.
    HWND main_window = program.WaitForMainWindow("scenregFRAME", kWaitLimitMs);
    const DWORD delay_ms = static_cast<DWORD>(rand() % 250);
    Sleep(delay_ms);
    SCOPED_TRACE("round " + std::to_string(round) + ", close after " + std::to_string(delay_ms) +
                 " ms");
    if (IsWindow(main_window)) program.Close(main_window, CloseAction::kCloseMessage);
    EXPECT_EQ(program.WaitForExit(kWaitLimitMs, Shot("closing")), 0u);
    EXPECT_EQ(program.boxes_seen_while_waiting(), 0);
    const std::optional<std::string> after = ReadTextFile(folder_ + "/scenery.cfg");
    ASSERT_TRUE(after.has_value());
    ASSERT_TRUE(after->starts_with(library));
    ASSERT_TRUE(section.starts_with(after->substr(library.size())))
        << "appended: " << after->substr(library.size());
  }
}

}  // namespace
}  // namespace scenreg::e2e
