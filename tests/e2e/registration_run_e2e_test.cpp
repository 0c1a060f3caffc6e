// Acceptance of the whole registration run: scenreg.exe started in a scratch
// folder, its boxes answered as a user would, then the exit status and the
// bytes of scenery.cfg checked, case by case.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "registration/removal_run.h"
#include "runtime/diagnostics.h"
#include "tests/e2e/e2e_fixture.h"

namespace scenreg::e2e {
namespace {

const std::string& kTwoLines = kSampleDescription;
const std::string& kTitleLine = kSampleTitleLine;
const std::string kWelcomeText = "Sample Field adds a small grass airfield to your scenery.";
const std::string kThreeLines = kTwoLines + kWelcomeText + "\r\n";

std::optional<std::string> RealLibrary(const std::string& name) {
  return ReadTextFile(std::string(SCENREG_E2E_REAL_WORLD) + "/" + name);
}

struct ExpectedBox {
  std::string caption;
  BoxAnswer answer = BoxAnswer::kEnter;
  std::string text_begins = "";  // of a message box's text
};
ExpectedBox Welcome(BoxAnswer answer = BoxAnswer::kEnter) {
  return {"Welcome", answer};
}
ExpectedBox Sorry() {
  return {"Sorry"};
}
// The box of a diagnostic, by its number and unit.
ExpectedBox ErrorBox(int number, int unit) {
  return {std::string(kDiagnosticCaption), BoxAnswer::kEnter, FileDiagnosticStart(number, unit)};
}
// The system's text of a failure, which comes before its diagnostic.
ExpectedBox SystemTextBox(BoxAnswer answer = BoxAnswer::kEnter) {
  return {std::string(kDiagnosticCaption), answer, std::string(kPrefixWord) + ": "};
}

struct RunCase {
  const char* name;
  std::string description;
  std::optional<std::string> library;  // none: no scenery.cfg in the folder
  std::vector<ExpectedBox> boxes;
  std::optional<std::string> library_after;  // none: still no scenery.cfg
  DWORD status = 0;
  bool hold_library_for_writing = false;
};

// Test names say enough; the default print would dump the bytes.
void PrintTo(const RunCase& run, std::ostream* out) {
  *out << run.name;
}

// What the "Welcome" box's text box shows for a third line: at most 256
// characters kept, trailing blanks dropped, at most 255 shown.
std::string ShownWelcomeText(const std::string& description) {
  std::size_t start = description.find('\n');
  start = description.find('\n', start + 1) + 1;
  std::string line = description.substr(start, description.find_first_of("\r\n", start) - start);
  line = line.substr(0, 256);
  line.erase(line.find_last_not_of(' ') + 1);
  return line.substr(0, 255);
}

std::vector<RunCase> Cases() {
  const std::string twelve = Library(12), eleven = Library(11);
  const std::string long_text(300, 'w');
  std::vector<RunCase> cases = {
      {"RegistersAfterContinue", kThreeLines, twelve, {Welcome()}, twelve + AreaSection(13)},
      {"RegistersWithoutAskingWithTwoLines", kTwoLines, twelve, {}, twelve + AreaSection(13)},
      {"RegistersWithoutAskingWhenTextBeginsWithBlank",
       kTwoLines + " Welcome\r\n",
       twelve,
       {},
       twelve + AreaSection(13)},
      {"RegistersWithoutAskingWhenTextIsEmpty",
       kTwoLines + "\r\n",
       twelve,
       {},
       twelve + AreaSection(13)},
      {"AsksWhenTextBeginsWithTab",
       kTwoLines + "\tWelcome\r\n",
       twelve,
       {Welcome()},
       twelve + AreaSection(13)},
      {"ShowsAtMost255Characters",
       kTwoLines + long_text + "\r\n",
       twelve,
       {Welcome()},
       twelve + AreaSection(13)},
      {"DeclinedByNoThanks", kThreeLines, twelve, {Welcome(BoxAnswer::kClickNoThanks)}, twelve},
      {"DeclinedByEscape", kThreeLines, twelve, {Welcome(BoxAnswer::kEscape)}, twelve},
      {"DeclinedByCloseRequest", kThreeLines, twelve, {Welcome(BoxAnswer::kCloseRequest)}, twelve},
      {"DeclinedNeverOpensTheLibrary",
       kThreeLines,
       std::nullopt,
       {Welcome(BoxAnswer::kEscape)},
       std::nullopt},
      {"ElevenAreasAreNotRecognised", kThreeLines, eleven, {Welcome(), Sorry()}, eleven},
      {"TwelveAreasAreRecognised", kTwoLines, twelve, {}, twelve + AreaSection(13)},
      {"MissingLibraryIsCreatedEmptyAfterSorry",
       kThreeLines,
       std::nullopt,
       {Welcome(), Sorry()},
       ""},
      {"AlreadyEnteredBeforeTheTwelfthHeader",
       kThreeLines,
       Library(5) + kTitleLine + Areas(6, 12),
       {Welcome()},
       Library(5) + kTitleLine + Areas(6, 12)},
      {"AlreadyEnteredAfterTheTwelfthHeader",
       kTwoLines,
       twelve + kTitleLine,
       {},
       twelve + kTitleLine},
      {"AlreadyEnteredInAnElevenAreaLibraryShowsNoSorry",
       kTwoLines,
       eleven + kTitleLine,
       {},
       eleven + kTitleLine},
      {"LastLineWithoutLineEndIsContinued",
       kTwoLines,
       twelve + "; end",
       {},
       twelve + "; end" + AreaSection(13)},
      {"EndMarkLineEndsTheScanAndTheSectionGoesAfterIt",
       kTwoLines,
       Library(12) + "\x1a\r\n" + Areas(20, 22) + kTitleLine,
       {},
       Library(12) + "\x1a\r\n" + Areas(20, 22) + kTitleLine + AreaSection(13)},
      {"NumberFollowsTheLargestWhateverTheOrder",
       kTwoLines,
       twelve + Areas(15, 15) + Areas(13, 13),
       {},
       twelve + Areas(15, 15) + Areas(13, 13) + AreaSection(16)},
      {"NumberAbove999IsRefusedAfterWelcome",
       kThreeLines,
       twelve + "[Area.999]\r\n",
       {Welcome(), ErrorBox(63, 1)},
       twelve + "[Area.999]\r\n"},
      {"NumberAbove999IsRefusedWithoutWelcome",
       kTwoLines,
       twelve + "[Area.999]\r\n",
       {ErrorBox(63, 1)},
       twelve + "[Area.999]\r\n"},
      {"LibraryHeldForWritingIsAFatalError",
       kTwoLines,
       twelve,
       {SystemTextBox(), ErrorBox(30, 1)},
       twelve,
       0xC000001E,
       true},
  };
  for (const char* name : {"fs9-default-120-areas.cfg", "fs9-resource-titles-124-areas.cfg"}) {
    const std::optional<std::string> real = RealLibrary(name);
    if (!real) continue;
    const int number = std::string(name).find("124") != std::string::npos ? 125 : 121;
    cases.push_back({number == 121 ? "RealLibraryOf120Areas" : "RealLibraryOf124Areas",
                     kThreeLines,
                     *real,
                     {Welcome()},
                     *real + AreaSection(number)});
  }
  return cases;
}

const ::testing::Environment* const unmanaged_windows = ::testing::AddGlobalTestEnvironment(
    new UnmanagedWindows({"scenreg.exe", "scenunreg.exe", "sample-addon-setup.exe"}));

class Acceptance : public EndToEndTest {
 protected:
  std::string LibraryPath() const { return folder_ + "/scenery.cfg"; }

  // Waits for the next box of the program, checks it and answers it.
  void AnswerBox(ProgramUnderTest& program, const ExpectedBox& expected, int index,
                 const std::string& description) {
    SCOPED_TRACE("box " + std::to_string(index) + ", \"" + expected.caption + "\"");
    HWND box = program.WaitForBox(kWaitLimitMs, Shot("box" + std::to_string(index)));
    ASSERT_TRUE(box) << "no box appeared";
    ASSERT_EQ(TextOf(box), expected.caption);
    if (expected.caption == "Welcome") {
      EXPECT_EQ(TextOf(GetDlgItem(box, kWelcomeTextId)), ShownWelcomeText(description));
    }
    if (!expected.text_begins.empty()) {
      const std::string text = TextOf(GetDlgItem(box, kMessageTextId));
      EXPECT_EQ(text.rfind(expected.text_begins, 0), 0u) << text;
    }
    program.Answer(box, expected.answer);
    ASSERT_TRUE(WaitUntilGone(box)) << "the answer did not close the box";
  }

  // Runs the program (Unix path) on the case in the test's folder.
  void RunAndCheck(const RunCase& run, const std::string& program_path) {
    ASSERT_TRUE(WriteTextFile(folder_ + "/scconf.txt", run.description));
    DeleteFileA(WindowsPath(LibraryPath()).c_str());
    if (run.library) {
      ASSERT_TRUE(WriteTextFile(LibraryPath(), *run.library));
    }
    HANDLE holder = INVALID_HANDLE_VALUE;
    if (run.hold_library_for_writing) {
      holder = CreateFileA(WindowsPath(LibraryPath()).c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                           nullptr, OPEN_EXISTING, 0, nullptr);
      ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    }

    ProgramUnderTest program;
    ASSERT_TRUE(program.Start(program_path, folder_));
    for (std::size_t i = 0; i < run.boxes.size(); ++i) {
      AnswerBox(program, run.boxes[i], static_cast<int>(i + 1), run.description);
      if (HasFatalFailure()) break;
    }
    const std::optional<DWORD> status = program.WaitForExit(kWaitLimitMs, Shot("end"));
    if (holder != INVALID_HANDLE_VALUE) CloseHandle(holder);
    ASSERT_TRUE(status.has_value()) << "the program did not end";
    EXPECT_EQ(*status, run.status) << std::hex << *status;
    EXPECT_EQ(program.boxes_seen_while_waiting(), 0) << "no further box";
    EXPECT_EQ(ReadTextFile(LibraryPath()), run.library_after);
    EXPECT_EQ(ReadTextFile(folder_ + "/scconf.txt"), run.description) << "the description stays";
  }
};

class Outcomes : public Acceptance, public ::testing::WithParamInterface<RunCase> {};

TEST_P(Outcomes, BoxesLibraryAndStatus) {
  RunAndCheck(GetParam(), ProgramPath());
}

INSTANTIATE_TEST_SUITE_P(Run, Outcomes, ::testing::ValuesIn(Cases()),
                         [](const auto& param_info) { return std::string(param_info.param.name); });

TEST_F(Acceptance, RepeatedRunRegistersOnce) {
  ASSERT_TRUE(WriteTextFile(folder_ + "/scconf.txt", kThreeLines));
  const std::string twelve = Library(12);
  ASSERT_TRUE(WriteTextFile(LibraryPath(), twelve));
  for (int run = 1; run <= 2; ++run) {
    SCOPED_TRACE("run " + std::to_string(run));
    ProgramUnderTest program;
    ASSERT_TRUE(program.Start(ProgramPath(), folder_));
    AnswerBox(program, Welcome(), run, kThreeLines);
    EXPECT_EQ(program.WaitForExit(kWaitLimitMs, Shot("end")), 0u);
    EXPECT_EQ(program.boxes_seen_while_waiting(), 0);
    EXPECT_EQ(ReadTextFile(LibraryPath()), twelve + AreaSection(13));
  }
}

// Both programs run inside installers, often elevated, in a folder that
// others may write to. Stand-ins for the libraries they load at run time,
// planted next to them there and preferred by Wine as Windows' search order
// would prefer them, must never load, and every run must still do its job.
TEST_F(Acceptance, PlantedLibrariesAreNeverLoaded) {
  for (const char* name : {"scenreg.exe", "scenunreg.exe"})
    ASSERT_TRUE(CopyFileA(WindowsPath(BuildFolder() + "/" + name).c_str(),
                          WindowsPath(folder_ + "/" + name).c_str(), FALSE));
  const std::vector<std::string> planted = {"comctl32.dll", "imagehlp.dll"};
  for (const std::string& name : planted)
    ASSERT_TRUE(CopyFileA(WindowsPath(BuildFolder() + "/tests/e2e/planted/" + name).c_str(),
                          WindowsPath(folder_ + "/" + name).c_str(), FALSE));
  const auto expect_none_loaded = [&] {
    for (const std::string& name : planted) {
      EXPECT_FALSE(ReadTextFile(folder_ + "/" + name + ".loaded")) << name << " was loaded";
      DeleteFileA(WindowsPath(folder_ + "/" + name + ".loaded").c_str());
    }
  };
  // Wine's overrides for the two programs (a child takes no WINEDLLOVERRIDES
  // from its parent's environment); nothing on Windows, which prefers them.
  const auto override_keys = [](bool set) {
    for (const char* program : {"scenreg.exe", "scenunreg.exe"}) {
      const std::string key = std::string("Software\\Wine\\AppDefaults\\") + program;
      HKEY handle = nullptr;
      if (!set) {
        RegDeleteKeyA(HKEY_CURRENT_USER, (key + "\\DllOverrides").c_str());
      } else if (RegCreateKeyExA(HKEY_CURRENT_USER, (key + "\\DllOverrides").c_str(), 0, nullptr, 0,
                                 KEY_WRITE, nullptr, &handle, nullptr) == ERROR_SUCCESS) {
        for (const char* library : {"comctl32", "imagehlp"})
          RegSetValueExA(handle, library, 0, REG_SZ,
                         reinterpret_cast<const BYTE*>("native,builtin"), 15);
        RegCloseKey(handle);
      }
    }
  };
  override_keys(true);

  // Welcome, Sorry and a diagnostic with its traceback.
  for (const RunCase& run : Cases()) {
    const std::string name = run.name;
    if (name != "RegistersAfterContinue" && name != "MissingLibraryIsCreatedEmptyAfterSorry" &&
        name != "LibraryHeldForWritingIsAFatalError")
      continue;
    SCOPED_TRACE(name);
    RunAndCheck(run, folder_ + "/scenreg.exe");
    expect_none_loaded();
  }
  ASSERT_TRUE(WriteTextFile(folder_ + "/scconf.txt", kTwoLines));
  ASSERT_TRUE(WriteTextFile(LibraryPath(), Library(12) + AreaSection(13)));
  ProgramUnderTest remover;
  ASSERT_TRUE(remover.Start(folder_ + "/scenunreg.exe", folder_));
  EXPECT_EQ(remover.WaitForExit(kWaitLimitMs, Shot("removal")), 0u);
  EXPECT_EQ(ReadTextFile(LibraryPath()), Library(12));
  expect_none_loaded();
  override_keys(false);
}

TEST_F(Acceptance, SorryStaysOpenOnEscapeAndCloseRequest) {
  ASSERT_TRUE(WriteTextFile(folder_ + "/scconf.txt", kTwoLines));
  ProgramUnderTest program;
  ASSERT_TRUE(program.Start(ProgramPath(), folder_));
  HWND box = program.WaitForBox(kWaitLimitMs, Shot("sorry"));
  ASSERT_TRUE(box);
  ASSERT_EQ(TextOf(box), "Sorry");
  program.PostKey(box, VK_ESCAPE);
  program.Answer(box, BoxAnswer::kCloseRequest);
  EXPECT_TRUE(WaitUntilPostedHandled(box)) << "Escape and a close request leave it open";
  program.PressKey(box, VK_RETURN);
  EXPECT_EQ(program.WaitForExit(kWaitLimitMs, Shot("end")), 0u);
  EXPECT_EQ(ReadTextFile(LibraryPath()), std::string());
}

// The top-level window of the class (and the title, when given) of whichever
// program shows one, looked for among the windows one by one: under Wine,
// FindWindow was seen to find no new window once a program had ended while
// its message box showed.
struct WantedWindow {
  std::string_view window_class;
  const char* title;
  HWND found = nullptr;
};

BOOL CALLBACK TakeWantedWindow(HWND window, LPARAM context) {
  WantedWindow& wanted = *reinterpret_cast<WantedWindow*>(context);
  char text[64] = "";
  if (ClassNameOf(window) != wanted.window_class ||
      (wanted.title &&
       (!GetWindowTextA(window, text, sizeof text) || std::string_view(text) != wanted.title)))
    return TRUE;
  wanted.found = window;
  return FALSE;
}

HWND FindTopLevelWindow(std::string_view window_class, const char* title = nullptr) {
  WantedWindow wanted{window_class, title};
  EnumWindows(TakeWantedWindow, reinterpret_cast<LPARAM>(&wanted));
  return wanted.found;
}

// Runs a silent installer or uninstaller to its end and gives its status.
// A click on "Welcome" that comes before the box is ready is lost: it is
// repeated until the program ends.
// The text that "Welcome" showed goes to welcome_text when asked for.
DWORD RunSetup(std::string command, bool answer_welcome, std::string* welcome_text = nullptr) {
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &info))
    return 0xFFFFFFFF;
  DWORD waited = WAIT_TIMEOUT;
  for (const Deadline deadline(2 * kWaitLimitMs); waited == WAIT_TIMEOUT && !deadline.passed();) {
    HWND box = answer_welcome ? FindTopLevelWindow("#32770", "Welcome") : nullptr;
    // Shown only once its text is in place.
    if (box && IsWindowVisible(box)) {
      if (welcome_text && welcome_text->empty())
        *welcome_text = TextOf(GetDlgItem(box, kWelcomeTextId));
      PostMessageA(GetDlgItem(box, 1), BM_CLICK, 0, 0);
    }
    waited = WaitForSingleObject(info.hProcess, 200);
  }
  DWORD status = 0xFFFFFFFF;
  if (waited == WAIT_OBJECT_0) GetExitCodeProcess(info.hProcess, &status);
  CloseHandle(info.hProcess);
  CloseHandle(info.hThread);
  return status;
}

const std::string kUninstallKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

bool HasUninstallEntry(const std::string& id) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, (kUninstallKey + id).c_str(), 0, KEY_READ, &key) !=
      ERROR_SUCCESS)
    return false;
  RegCloseKey(key);
  return true;
}

// The simulator's record of its folder, as its setup writes it: in the
// 32-bit view of HKLM. The value found before is put back afterwards.
class SimulatorRecord {
 public:
  SimulatorRecord() {
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, 0,
                        KEY_READ | KEY_WRITE | KEY_WOW64_32KEY, nullptr, &key_,
                        nullptr) != ERROR_SUCCESS)
      key_ = nullptr;
    if (key_) before_ = Read();
  }
  ~SimulatorRecord() {
    Set(before_);
    if (key_) RegCloseKey(key_);
  }
  SimulatorRecord(const SimulatorRecord&) = delete;
  SimulatorRecord& operator=(const SimulatorRecord&) = delete;

  bool Set(const std::optional<std::string>& folder) {
    if (!key_) return false;
    if (!folder) {
      const LONG deleted = RegDeleteValueA(key_, kValue);
      return deleted == ERROR_SUCCESS || deleted == ERROR_FILE_NOT_FOUND;
    }
    return RegSetValueExA(key_, kValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(folder->c_str()),
                          static_cast<DWORD>(folder->size() + 1)) == ERROR_SUCCESS;
  }

 private:
  static constexpr const char* kKey = "SOFTWARE\\Microsoft\\Microsoft Games\\Flight Simulator\\9.0";
  static constexpr const char* kValue = "EXE Path";
  std::optional<std::string> Read() const {
    char text[MAX_PATH * 2] = {};
    DWORD size = sizeof text - 1, type = 0;
    if (RegQueryValueExA(key_, kValue, nullptr, &type, reinterpret_cast<BYTE*>(text), &size) !=
        ERROR_SUCCESS)
      return std::nullopt;
    return std::string(text);
  }
  HKEY key_ = nullptr;
  std::optional<std::string> before_;
};

// The running simulator: a window of its main window's class, until closed.
class Simulator {
 public:
  bool Start(const std::string& folder) {
    return program_.Start(BuildFolder() + "/tests/e2e/simulator_window.exe", folder) &&
           WaitFor(true);
  }
  bool Close() {
    PostMessageA(FindTopLevelWindow("FS98MAIN"), WM_CLOSE, 0, 0);
    return program_.WaitForExit(kWaitLimitMs) == 0u && WaitFor(false);
  }

 private:
  static bool WaitFor(bool there) {
    for (const Deadline deadline(kWaitLimitMs); !deadline.passed(); Sleep(100))
      if ((FindTopLevelWindow("FS98MAIN") != nullptr) == there) return true;
    return false;
  }
  ProgramUnderTest program_;
};

// Every entry under the folder with its mode, size and bytes' digest.
std::optional<std::string> FolderFacts(const std::string& folder) {
  if (!RunUnixHelper({"facts", folder, folder + ".facts"})) return std::nullopt;
  return ReadTextFile(folder + ".facts");
}

// The example installer shown as a user sees it, over a running simulator:
// the directory page with the folder proposed and its Install button, on
// only while the folder holds scenery.cfg; then the question to close the
// simulator, answered Retry (asked again, the simulator still running),
// then Cancel. The folder proposed and the questions go to what_was_shown.
DWORD RunSetupShown(const std::string& installer, const std::string& folder,
                    const std::string& other_folder, const std::string& shot_prefix,
                    std::vector<std::string>* what_was_shown) {
  ProgramUnderTest setup;
  if (!setup.Start(installer, folder)) return 0xFFFFFFFF;
  HWND page = nullptr, field = nullptr;
  for (const Deadline deadline(kWaitLimitMs); !field && !deadline.passed(); Sleep(100))
    for (HWND window : setup.TopLevelWindows())
      for (const WindowFacts& child : ChildrenOf(window))
        if (HWND found = GetDlgItem(child.handle, 1019); found && IsWindowVisible(found))
          page = window, field = found;
  if (!field) return 0xFFFFFFFF;
  Sleep(300);
  SaveScreenshot(shot_prefix + "directory-page");
  const HWND install = GetDlgItem(page, IDOK);
  what_was_shown->push_back(TextOf(field));
  for (const std::string& shown : {WindowsPath(other_folder), what_was_shown->front()}) {
    SendMessageA(field, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(shown.c_str()));
    what_was_shown->push_back(shown + (IsWindowEnabled(install) ? ": on" : ": off"));
  }
  PostMessageA(install, BM_CLICK, 0, 0);
  for (const int answer : {IDRETRY, IDCANCEL}) {
    HWND box = nullptr;
    for (const Deadline deadline(kWaitLimitMs); !box && !deadline.passed(); Sleep(100))
      for (HWND window : setup.TopLevelWindows())
        if (GetDlgItem(window, kMessageTextId)) box = window;
    if (!box) return 0xFFFFFFFF;
    Sleep(300);
    if (answer == IDRETRY) SaveScreenshot(shot_prefix + "simulator-question");
    what_was_shown->push_back(TextOf(GetDlgItem(box, kMessageTextId)));
    PostMessageA(GetDlgItem(box, answer), BM_CLICK, 0, 0);
    WaitUntilGone(box);
  }
  // The page that reports the end waits for its one button that is on.
  for (const Deadline deadline(kWaitLimitMs); setup.running() && !deadline.passed(); Sleep(200))
    for (const int id : {IDOK, IDCANCEL})
      if (HWND button = GetDlgItem(page, id); IsWindowEnabled(button) && IsWindowVisible(button))
        PostMessageA(button, BM_CLICK, 0, 0);
  return setup.WaitForExit(kWaitLimitMs).value_or(0xFFFFFFFF);
}

// The example installer, run silently as an add-on's installation would run
// it: it installs the sample scenery into the simulator folder, given by /D=
// or else the one the registry records, starts scenreg.exe there and waits;
// the user answers "Welcome". A folder without scenery.cfg is refused with
// status 3 and a running simulator with status 4, the uninstaller's too,
// before anything changes; once the simulator is closed, both run.
enum class Recorded { kNone, kFolder, kFolderAndBackslash };
struct InstallerCase {
  const char* name;
  Recorded recorded;         // the registry's EXE Path: the row's folder, or none
  bool folder_given = true;  // by /D=
  bool library = true;       // scenery.cfg in the scratch folder
  bool simulator = false;
  bool shown = false;  // run as a user would, not silently
  DWORD status = 0;
};

TEST_F(Acceptance, ExampleInstallerRegistersTheAddOn) {
  const std::string installer = BuildFolder() + "/sample-addon-setup.exe";
  if (!ReadTextFile(installer).has_value()) {
    GTEST_SKIP() << "the example installer was not built";
  }
  const std::string twelve = Library(12);
  const InstallerCase kCases[] = {
      {"into the folder given", Recorded::kNone},
      {"into the recorded folder", Recorded::kFolder, false},
      {"no record: C:\\FS2004, no simulator folder here", Recorded::kNone, false, false, false,
       false, 3},
      {"a folder without scenery.cfg", Recorded::kNone, true, false, false, false, 3},
      {"the simulator running, then closed", Recorded::kNone, true, true, true, false, 4},
      {"shown: the recorded folder without its backslash, the simulator's question",
       Recorded::kFolderAndBackslash, false, true, true, true, 4},
  };
  SimulatorRecord record;
  const std::string empty_folder = FreshScratchFolder(name_ + "-empty");
  const std::string fallback = "C:\\FS2004";
  int row = 0;
  for (const InstallerCase& run : kCases) {
    SCOPED_TRACE(run.name);
    RegDeleteKeyA(HKEY_CURRENT_USER, (kUninstallKey + "SampleField").c_str());
    // The picture of the directory page shows the folder's name.
    folder_ = FreshScratchFolder(run.shown ? "FS2004" : name_ + "-" + std::to_string(++row));
    const std::string recorded = WindowsPath(folder_);
    if (run.library) {
      ASSERT_TRUE(WriteTextFile(LibraryPath(), twelve));
    }
    ASSERT_TRUE(record.Set(run.recorded == Recorded::kNone     ? std::nullopt
                           : run.recorded == Recorded::kFolder ? std::optional(recorded)
                                                               : std::optional(recorded + "\\")));
    const std::optional<std::string> before = FolderFacts(folder_);
    Simulator simulator;
    if (run.simulator) {
      ASSERT_TRUE(simulator.Start(folder_));
    }

    const std::string command =
        "\"" + WindowsPath(installer) + "\" /S" + (run.folder_given ? " /D=" + recorded : "");
    std::string welcome_text;
    std::vector<std::string> shown;
    const DWORD status = run.shown
                             ? RunSetupShown(installer, folder_, empty_folder, Shot(""), &shown)
                             : RunSetup(command, true, &welcome_text);
    EXPECT_EQ(status, run.status);
    if (run.shown) {
      const std::string question = "The simulator is running. Close it, then choose Retry";
      ASSERT_EQ(shown.size(), 5u);
      EXPECT_EQ(shown[0], recorded);
      EXPECT_EQ(shown[1], WindowsPath(empty_folder) + ": off");
      EXPECT_EQ(shown[2], recorded + ": on");
      EXPECT_EQ(shown[3].rfind(question, 0), 0u) << shown[3];
      EXPECT_EQ(shown[4], shown[3]) << "asked again while it runs";
    }
    if (run.status != 0) {
      EXPECT_EQ(FolderFacts(folder_), before) << "something was installed";
      EXPECT_EQ(ReadTextFile(LibraryPath()), run.library ? std::optional(twelve) : std::nullopt);
      EXPECT_EQ(GetFileAttributesA(fallback.c_str()), INVALID_FILE_ATTRIBUTES);
      if (!run.simulator) continue;
      // Closed, the simulator lets the installer run.
      ASSERT_TRUE(simulator.Close());
      EXPECT_EQ(
          RunSetup("\"" + WindowsPath(installer) + "\" /S /D=" + recorded, true, &welcome_text),
          0u);
    }
    // The box belongs to scenreg.exe, which the installer started.
    EXPECT_EQ(welcome_text,
              "Sample Field adds a small grass airfield with its buildings to your scenery "
              "library.");
    EXPECT_EQ(ReadTextFile(LibraryPath()), twelve + AreaSection(13));
    EXPECT_TRUE(ReadTextFile(folder_ + "/scenreg.exe").has_value());
    EXPECT_TRUE(ReadTextFile(folder_ + "/Addon Scenery/Sample/README.txt").has_value());
    if (!run.simulator) continue;
    // The uninstaller waits for the simulator in the same way.
    const std::string uninstall =
        "\"" + WindowsPath(folder_ + "/uninstall-sample-field.exe") + "\" /S _?=" + recorded;
    ASSERT_TRUE(simulator.Start(folder_));
    const std::optional<std::string> installed = FolderFacts(folder_);
    EXPECT_EQ(RunSetup(uninstall, false), 4u);
    EXPECT_EQ(ReadTextFile(LibraryPath()), twelve + AreaSection(13));
    EXPECT_EQ(FolderFacts(folder_), installed);
    EXPECT_TRUE(HasUninstallEntry("SampleField"));
    ASSERT_TRUE(simulator.Close());
    EXPECT_EQ(RunSetup(uninstall, false), 0u);
    EXPECT_EQ(ReadTextFile(LibraryPath()), twelve);
    EXPECT_FALSE(HasUninstallEntry("SampleField"));
  }
}

// The remover, started like scenreg.exe: nothing shown on a regular outcome,
// the library given back byte for byte and the old one kept as the backup,
// over a hidden, read-only backup of an earlier removal too; a library held
// by another program changes nothing and leaves no new file.
struct RemovalCase {
  const char* name;
  std::optional<std::string> library;  // none: no scenery.cfg
  bool held = false;
  bool earlier_backup = false;
  bool text_only = false;                            // the first row's way, another library text
  BoxAnswer system_text_answer = BoxAnswer::kEnter;  // of a held library's
  std::string appended = "";                         // by another installer, after the registration
  std::optional<std::string> removed = std::nullopt;  // when not the library
};

TEST_F(Acceptance, RemoverGivesBackTheLibrary) {
  const RemovalCase kCases[] = {
      {"twelve areas", Library(12)},
      {"120 real areas", RealLibrary("fs9-default-120-areas.cfg"), false, false, true},
      {"124 real areas", RealLibrary("fs9-resource-titles-124-areas.cfg"), false, false, true},
      {"bundled sample", RealLibrary("../../sample/simulator/scenery.cfg"), false, false, true},
      {"last line a header without line end", Library(12) + "[Extra]", false, false, true},
      {"no library", std::nullopt},
      {"held library", Library(12), true, true},
      {"held library, closed at the system text", Library(12), true, true, false,
       BoxAnswer::kCloseMainWindow},
      {"hidden, read-only earlier backup", Library(12), false, true},
      {"a line without line end, another area appended", Library(12) + "Remote=", false, false,
       false, BoxAnswer::kEnter, "[Area.114]\r\n", Library(12) + "Remote=\r\n[Area.114]\r\n"},
  };
  const std::string backup = folder_ + "/scenery.cfg.before-scenunreg";
  const std::string scratch = folder_ + "/scenery.cfg.scenunreg-new";
  for (const RemovalCase& run : kCases) {
    if (run.text_only && FewRepeats()) continue;
    SCOPED_TRACE(run.name);
    ASSERT_TRUE(run.library || std::string(run.name) == "no library") << "library not found";
    ASSERT_TRUE(WriteTextFile(folder_ + "/scconf.txt", kTwoLines));
    DeleteFileA(WindowsPath(LibraryPath()).c_str());
    SetFileAttributesA(WindowsPath(backup).c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(WindowsPath(backup).c_str());
    std::optional<std::string> registered;
    if (run.library) {
      ASSERT_TRUE(WriteTextFile(LibraryPath(), *run.library));
      ProgramUnderTest registration;
      ASSERT_TRUE(registration.Start(ProgramPath(), folder_));
      ASSERT_EQ(registration.WaitForExit(kWaitLimitMs, Shot("registration")), 0u);
      registered = ReadTextFile(LibraryPath());
      ASSERT_NE(registered, run.library);
      *registered += run.appended;
      ASSERT_TRUE(WriteTextFile(LibraryPath(), *registered));
    }
    const std::string earlier = "an earlier removal's\r\n";
    if (run.earlier_backup) {
      ASSERT_TRUE(WriteTextFile(backup, earlier));
      SetFileAttributesA(WindowsPath(backup).c_str(),
                         FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY);
    }
    HANDLE holder = INVALID_HANDLE_VALUE;
    if (run.held) {
      holder = CreateFileA(WindowsPath(LibraryPath()).c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                           nullptr, OPEN_EXISTING, 0, nullptr);
      ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    }
    // The replaced library keeps the old one's attributes: those that the
    // file system holds (a tmpfs without extended attributes has no room
    // for Wine's hidden flag).
    DWORD attributes = 0;
    if (run.library) {
      SetFileAttributesA(WindowsPath(LibraryPath()).c_str(),
                         FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE);
      attributes = GetFileAttributesA(WindowsPath(LibraryPath()).c_str());
    }
    ProgramUnderTest remover;
    ASSERT_TRUE(remover.Start(BuildFolder() + "/scenunreg.exe", folder_));
    if (run.held) {
      AnswerBox(remover, SystemTextBox(run.system_text_answer), 1, kTwoLines);
      if (run.system_text_answer != BoxAnswer::kCloseMainWindow)
        AnswerBox(remover, ErrorBox(30, 1), 2, kTwoLines);
    }
    const std::optional<DWORD> status = remover.WaitForExit(kWaitLimitMs, Shot("removal"));
    if (holder != INVALID_HANDLE_VALUE) CloseHandle(holder);
    EXPECT_EQ(status, run.held ? 0xC000001Eu : 0u);
    EXPECT_EQ(remover.boxes_seen_while_waiting(), 0) << "no further box";
    EXPECT_EQ(ReadTextFile(LibraryPath()), run.held      ? registered
                                           : run.removed ? run.removed
                                                         : run.library);
    EXPECT_EQ(ReadTextFile(backup), !run.held            ? registered
                                    : run.earlier_backup ? std::optional(earlier)
                                                         : std::nullopt);
    EXPECT_FALSE(ReadTextFile(scratch).has_value()) << "a new library was left";
    EXPECT_FALSE(ReadTextFile(folder_ + "/scenery.cfg.scenunreg-previous").has_value());
    if (run.library) {
      EXPECT_EQ(GetFileAttributesA(WindowsPath(LibraryPath()).c_str()), attributes);
      SetFileAttributesA(WindowsPath(LibraryPath()).c_str(), FILE_ATTRIBUTE_NORMAL);
    }
  }
}

// The remover's main window closed at moments spread over a removal from a
// large library: status 0 only when the section is gone; before the replace
// the close status, and the library old or new, never a mix.
TEST_F(Acceptance, RemoverClosedDuringTheRunEndsWithZeroOnlyWhenRemoved) {
  std::string library = Library(12);
  for (int area = 13; area <= 400; ++area)
    library += Areas(area, area) + ";" + std::string(30000, 'c') + "\r\n";
  ASSERT_TRUE(WriteTextFile(folder_ + "/scconf.txt", kTwoLines));
  const std::string registered = library + AreaSection(401);
  const std::string remover_path = BuildFolder() + "/scenunreg.exe";
  // The closes spread over the time a whole run takes.
  ASSERT_TRUE(WriteTextFile(LibraryPath(), registered));
  const DWORD started = GetTickCount();
  {
    ProgramUnderTest remover;
    ASSERT_TRUE(remover.Start(remover_path, folder_));
    ASSERT_EQ(remover.WaitForExit(kWaitLimitMs, Shot("clean")), 0u);
    ASSERT_EQ(ReadTextFile(LibraryPath()), library);
  }
  const DWORD run_ms = GetTickCount() - started;
  int removed = 0;
  const int rounds_run = Repeats(8, 3);
  for (int round = 0, rounds = rounds_run; round < rounds; ++round) {
    ASSERT_TRUE(WriteTextFile(LibraryPath(), registered));
    ProgramUnderTest remover;
    ASSERT_TRUE(remover.Start(remover_path, folder_));
    // A run that ends before its window is found leaves nothing to close.
    HWND main_window = remover.WaitForMainWindow("scenunregFRAME", kWaitLimitMs);
    // Over the first half: the run's time includes the program's start.
    const DWORD delay_ms = run_ms * static_cast<DWORD>(round) / static_cast<DWORD>(2 * rounds);
    Sleep(delay_ms);
    SCOPED_TRACE("close after " + std::to_string(delay_ms) + " of " + std::to_string(run_ms) +
                 " ms");
    if (IsWindow(main_window)) remover.Close(main_window, CloseAction::kCloseMessage);
    const std::optional<DWORD> status = remover.WaitForExit(kWaitLimitMs, Shot("closing"));
    ASSERT_TRUE(status.has_value());
    EXPECT_EQ(remover.boxes_seen_while_waiting(), 0);
    const std::optional<std::string> after = ReadTextFile(LibraryPath());
    ASSERT_TRUE(after == library || after == registered) << "neither the old nor the new library";
    if (*status == 0) {
      EXPECT_EQ(after, library) << "status 0 with the section still there";
      ++removed;
    } else {
      EXPECT_EQ(*status, kClosedBeforeRemovalStatus);
    }
  }
  std::printf("closes: %d ended with 3, %d with 0 and the section gone\n", rounds_run - removed,
              removed);
}

// The example installer's uninstaller, run silently after silent installs of
// the sample and of a second add-on built from the same script. A remover
// that cannot be started leaves everything; then each uninstall gives the
// library back without its add-on and leaves the files that the folder
// shares as it found them, so that the other add-on's uninstall still works.
TEST_F(Acceptance, ExampleUninstallerRemovesTheAddOn) {
  const std::string first = BuildFolder() + "/sample-addon-setup.exe";
  const std::string second = BuildFolder() + "/second-addon-setup.exe";
  if (!ReadTextFile(first) || !ReadTextFile(second)) {
    GTEST_SKIP() << "the example installer was not built";
  }
  for (const char* key : {"SampleField", "SecondField"})
    RegDeleteKeyA(HKEY_CURRENT_USER, (kUninstallKey + key).c_str());
  const std::string twelve = Library(12);
  ASSERT_TRUE(WriteTextFile(LibraryPath(), twelve));
  const std::string folder = WindowsPath(folder_);
  // The sample's scconf.txt has a welcome text: "Welcome" is answered.
  ASSERT_EQ(RunSetup("\"" + WindowsPath(first) + "\" /S /D=" + folder, true), 0u);
  ASSERT_EQ(RunSetup("\"" + WindowsPath(second) + "\" /S /D=" + folder, false), 0u);
  const std::optional<std::string> both = ReadTextFile(LibraryPath());
  ASSERT_TRUE(both.has_value());
  ASSERT_EQ(both->rfind(twelve + AreaSection(13), 0), 0u);
  const std::string second_section = both->substr((twelve + AreaSection(13)).size());
  ASSERT_NE(second_section.find("\r\nTitle=Second Field\r\n"), std::string::npos);
  const std::optional<std::string> shared_description = ReadTextFile(folder_ + "/scconf.txt");
  const auto exists = [&](const std::string& file) {
    return ReadTextFile(folder_ + "/" + file).has_value();
  };
  // scenreg.exe, the last installer's scconf.txt and a remover that was
  // there, which other add-ons' uninstallers may rely on, stay as they were.
  const auto expect_shared_files_as_found = [&](std::optional<std::string> remover) {
    EXPECT_TRUE(exists("scenreg.exe"));
    EXPECT_EQ(ReadTextFile(folder_ + "/scenunreg.exe"), remover);
    EXPECT_EQ(ReadTextFile(folder_ + "/scconf.txt"), shared_description);
  };
  // Run in place (_?=), an uninstaller cannot delete itself.
  const auto uninstall = [&](const std::string& id) {
    return RunSetup(
        "\"" + WindowsPath(folder_ + "/uninstall-" + id + ".exe") + "\" /S _?=" + folder, false);
  };

  {
    SCOPED_TRACE("remover cannot be started");
    // Held as a scanner holds a file: others may write it, nobody may read
    // it, so the remover written there cannot be started.
    const std::string remover = WindowsPath(folder_ + "/scenunreg.exe");
    HANDLE held = CreateFileA(remover.c_str(), GENERIC_WRITE, FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    const DWORD status = uninstall("sample-field");
    CloseHandle(held);
    DeleteFileA(remover.c_str());
    EXPECT_EQ(status, 2u);
    EXPECT_EQ(ReadTextFile(LibraryPath()), both);
    EXPECT_TRUE(HasUninstallEntry("SampleField"));
    for (const char* file : {"uninstall-sample-field.exe", "Addon Scenery/Sample/README.txt"})
      EXPECT_TRUE(exists(file)) << file;
    expect_shared_files_as_found(std::nullopt);
  }
  {
    SCOPED_TRACE("the sample's uninstall");
    EXPECT_EQ(uninstall("sample-field"), 0u);
    EXPECT_EQ(ReadTextFile(LibraryPath()), twelve + second_section);
    EXPECT_FALSE(HasUninstallEntry("SampleField"));
    EXPECT_TRUE(HasUninstallEntry("SecondField"));
    EXPECT_FALSE(exists("Addon Scenery/Sample/README.txt"));
    expect_shared_files_as_found(std::nullopt);
  }
  {
    SCOPED_TRACE("the second add-on's uninstall, beside an older add-on's remover");
    const std::string older = "an older add-on's remover";
    ASSERT_TRUE(WriteTextFile(folder_ + "/scenunreg.exe", older));
    EXPECT_EQ(uninstall("second-field"), 0u);
    EXPECT_EQ(ReadTextFile(LibraryPath()), twelve);
    EXPECT_EQ(ReadTextFile(folder_ + "/scenery.cfg.before-scenunreg"), twelve + second_section);
    EXPECT_FALSE(HasUninstallEntry("SecondField"));
    EXPECT_FALSE(exists("scenery.cfg.scenunreg-new"));
    EXPECT_EQ(GetFileAttributesA(WindowsPath(folder_ + "/Addon Scenery").c_str()),
              INVALID_FILE_ATTRIBUTES);
    expect_shared_files_as_found(older);
  }
}

// Links planted in the simulator folder by anyone who may write to it, each
// leading outside it. Whatever the programs or the example uninstaller do
// with the name, every file and folder outside keeps its bytes, mode and
// link count, and nothing is created there. Wine follows a host's symbolic
// link to a file as Windows follows none; one to a folder it reports as a
// reparse point, as Windows does a junction.
TEST_F(Acceptance, PlantedLinksReachNothingOutside) {
  const std::string registered = Library(12) + AreaSection(13);
  const std::string run_folder = folder_ + "/run";
  const std::string outside = folder_ + "/outside";
  const std::string uninstaller = "uninstall-sample-field.exe";
  const char* const kRegistration = "scenreg.exe";
  const char* const kRemover = "scenunreg.exe";
  const char* const kNewLibrary = "scenery.cfg.scenunreg-new";
  const char* const kAside = "scenery.cfg.scenunreg-previous";
  const struct {
    const char* name;
    const char* program;  // in the build folder, or the uninstaller installed in the run folder
    const char* kind;     // "link" (a second name) or "symlink"
    const char* link;     // in the run folder
    const char* target;   // in the outside folder
    std::optional<std::string> library;
    int refused_unit;          // error 9 for this unit; 0: none
    bool system_text = false;  // the system refused, and its text comes first
    bool backup = false;       // a removal's backup of the registered library is left
  } kCases[] = {
      {"new library as a second name", kRemover, "link", kNewLibrary, "library", registered, 0,
       false, true},
      {"new library as a symbolic link", kRemover, "symlink", kNewLibrary, "library", registered, 3,
       true},
      {"read-only earlier backup as a second name, nothing to remove", kRemover, "link", kAside,
       "read-only", Library(12), 0},
      {"read-only earlier backup as a second name, a removal", kRemover, "link", kAside,
       "read-only", registered, 0, false, true},
      {"library as a second name, registration", kRegistration, "link", "scenery.cfg",
       "unregistered", std::nullopt, 1},
      {"library as a second name, removal", kRemover, "link", "scenery.cfg", "library",
       std::nullopt, 1},
      {"library as a link to nothing", kRegistration, "symlink", "scenery.cfg", "missing",
       std::nullopt, 1},
      {"description as a link to nothing", kRegistration, "symlink", "scconf.txt", "missing",
       Library(12), 2},
      {"add-on folder as a link", uninstaller.c_str(), "symlink", "Addon Scenery/Sample", "folder",
       std::nullopt, 0},
  };
  const bool installer_built = ReadTextFile(BuildFolder() + "/sample-addon-setup.exe").has_value();
  for (const auto& run : kCases) {
    const bool uninstall = run.program == uninstaller;
    if (uninstall && !installer_built) continue;
    SCOPED_TRACE(run.name);
    ASSERT_TRUE(RunUnixHelper({"fresh", run_folder}));
    ASSERT_TRUE(RunUnixHelper({"fresh", outside}));
    ASSERT_TRUE(WriteTextFile(outside + "/library", registered));
    ASSERT_TRUE(WriteTextFile(outside + "/unregistered", Library(12)));
    ASSERT_TRUE(WriteTextFile(outside + "/read-only", "not the installer's\r\n"));
    ASSERT_TRUE(
        SetFileAttributesA(WindowsPath(outside + "/read-only").c_str(), FILE_ATTRIBUTE_READONLY));
    ASSERT_TRUE(CreateDirectoryA(WindowsPath(outside + "/folder").c_str(), nullptr));
    ASSERT_TRUE(WriteTextFile(outside + "/folder/README.txt", "another folder's\r\n"));
    ASSERT_TRUE(RunUnixHelper({"facts", outside, folder_ + "/before"}));

    const std::string link = run_folder + "/" + run.link;
    if (uninstall) {
      RegDeleteKeyA(HKEY_CURRENT_USER, (kUninstallKey + "SampleField").c_str());
      ASSERT_TRUE(WriteTextFile(run_folder + "/scenery.cfg", Library(12)));
      ASSERT_EQ(RunSetup("\"" + WindowsPath(BuildFolder() + "/sample-addon-setup.exe") +
                             "\" /S /D=" + WindowsPath(run_folder),
                         true),
                0u);
      ASSERT_TRUE(DeleteFileA(WindowsPath(link + "/README.txt").c_str()));
      ASSERT_TRUE(RemoveDirectoryA(WindowsPath(link).c_str()));
    } else {
      if (std::string(run.link) != "scconf.txt") {
        ASSERT_TRUE(WriteTextFile(run_folder + "/scconf.txt", kTwoLines));
      }
      if (run.library) {
        ASSERT_TRUE(WriteTextFile(run_folder + "/scenery.cfg", *run.library));
      }
    }
    ASSERT_TRUE(RunUnixHelper({run.kind, link, outside + "/" + run.target}));
    const std::optional<std::string> library_before = ReadTextFile(run_folder + "/scenery.cfg");

    // The uninstaller refuses with its failure status, the programs with
    // the diagnostic code.
    const DWORD status = uninstall ? 2 : run.refused_unit ? 0xC0000009 : 0;
    if (uninstall) {
      EXPECT_EQ(RunSetup("\"" + WindowsPath(run_folder + "/" + uninstaller) +
                             "\" /S _?=" + WindowsPath(run_folder),
                         false),
                status);
      EXPECT_TRUE(HasUninstallEntry("SampleField"));
      RegDeleteKeyA(HKEY_CURRENT_USER, (kUninstallKey + "SampleField").c_str());
    } else {
      ProgramUnderTest program;
      ASSERT_TRUE(program.Start(BuildFolder() + "/" + run.program, run_folder));
      if (run.system_text) AnswerBox(program, SystemTextBox(), 1, kTwoLines);
      if (run.refused_unit && !HasFatalFailure())
        AnswerBox(program, ErrorBox(9, run.refused_unit), run.system_text ? 2 : 1, kTwoLines);
      EXPECT_EQ(program.WaitForExit(kWaitLimitMs, Shot("end")), status);
      EXPECT_EQ(program.boxes_seen_while_waiting(), 0) << "no further box";
    }
    // The registration's outcome, or the removal's, or none.
    const bool removed = status == 0 && run.library == registered && !uninstall;
    EXPECT_EQ(ReadTextFile(run_folder + "/scenery.cfg"),
              removed ? std::optional(Library(12)) : library_before);
    EXPECT_EQ(ReadTextFile(run_folder + "/scenery.cfg.before-scenunreg"),
              run.backup ? std::optional(registered) : std::nullopt);

    ASSERT_TRUE(RunUnixHelper({"unlink", link}));
    ASSERT_TRUE(RunUnixHelper({"facts", outside, folder_ + "/after"}));
    EXPECT_EQ(ReadTextFile(folder_ + "/after"), ReadTextFile(folder_ + "/before"));
  }
}

// Real faults of the file system under the run. Root ignores the read-only
// attribute under Wine, so a file or folder is made immutable from the Linux
// side instead; a full disk is a small tmpfs. Where the machine allows
// neither, the case is skipped.
class RealFaults : public Acceptance {
 protected:
  void TearDown() override {
    for (const std::string& path : immutable_) RunUnixHelper({"mutable", path});
    if (!mounted_.empty()) RunUnixHelper({"unmount", mounted_});
  }

  // The machine's capabilities are found once, before the tests (see
  // scripts/wine-tests.sh): a lacking one names why, and the cases that need
  // it are not run. Where it is there, a helper that fails is a failure.
  static const char* Lacking(const char* capability) { return std::getenv(capability); }

  bool MakeImmutable(const std::string& path) {
    if (!RunUnixHelper({"immutable", path})) return false;
    immutable_.push_back(path);
    return true;
  }

  // Runs the program in the folder, answers the boxes, and gives the status.
  std::optional<DWORD> Run(const std::string& folder, const std::vector<ExpectedBox>& boxes,
                           const std::string& description,
                           const std::string& program_path = ProgramPath()) {
    ProgramUnderTest program;
    if (!program.Start(program_path, folder)) return std::nullopt;
    for (std::size_t i = 0; i < boxes.size(); ++i) {
      AnswerBox(program, boxes[i], static_cast<int>(i + 1), description);
      if (HasFatalFailure()) return std::nullopt;
    }
    const std::optional<DWORD> status = program.WaitForExit(kWaitLimitMs, Shot("end"));
    EXPECT_EQ(program.boxes_seen_while_waiting(), 0) << "no further box";
    return status;
  }

  std::vector<std::string> immutable_;
  std::string mounted_;
};

TEST_F(RealFaults, ReadOnlyLibraryRefusesTheFirstWrite) {
  const std::string twelve = Library(12);
  ASSERT_TRUE(WriteTextFile(folder_ + "/scconf.txt", kTwoLines));
  ASSERT_TRUE(WriteTextFile(LibraryPath(), twelve));
  if (const char* why = Lacking("SCENREG_E2E_NO_IMMUTABLE")) GTEST_SKIP() << why;
  ASSERT_TRUE(MakeImmutable(LibraryPath()));
  EXPECT_EQ(Run(folder_, {ErrorBox(47, 1)}, kTwoLines), 0xC000002Fu);
  EXPECT_EQ(ReadTextFile(LibraryPath()), twelve);
}

// A folder in the description's place: the open cannot create the file.
TEST_F(RealFaults, DescriptionThatCannotBeCreated) {
  ASSERT_TRUE(CreateDirectoryA(WindowsPath(folder_ + "/scconf.txt").c_str(), nullptr));
  EXPECT_EQ(Run(folder_, {SystemTextBox(), ErrorBox(9, 2)}, kTwoLines), 0xC0000009u);
  EXPECT_FALSE(ReadTextFile(LibraryPath()).has_value()) << "the library is never opened";
}

TEST_F(RealFaults, FolderThatRefusesTheDescription) {
  if (const char* why = Lacking("SCENREG_E2E_NO_IMMUTABLE")) GTEST_SKIP() << why;
  ASSERT_TRUE(MakeImmutable(folder_));
  EXPECT_EQ(Run(folder_, {SystemTextBox(), ErrorBox(9, 2)}, kTwoLines), 0xC0000009u);
}

// The library on a full file system with room left for the first four
// records of the section only: the fifth write fails, the four stay.
TEST_F(RealFaults, FullDiskKeepsTheRecordsBeforeTheFailingOne) {
  const std::string disk = folder_ + "/disk";
  ASSERT_TRUE(CreateDirectoryA(WindowsPath(disk).c_str(), nullptr));
  if (const char* why = Lacking("SCENREG_E2E_NO_MOUNT")) GTEST_SKIP() << why;
  ASSERT_TRUE(RunUnixHelper({"mount-small", disk}));
  mounted_ = disk;
  const std::string section = AreaSection(13);
  const std::size_t room = section.find("Local=") + 10;  // four records and part of the fifth
  std::string library = Library(12) + ";";
  library += std::string(4096 - (library.size() + 2 + room) % 4096, 'x') + "\r\n";
  ASSERT_EQ((library.size() + room) % 4096, 0u);
  ASSERT_TRUE(WriteTextFile(disk + "/scconf.txt", kTwoLines));
  ASSERT_TRUE(WriteTextFile(disk + "/scenery.cfg", library));
  ASSERT_TRUE(RunUnixHelper({"fill", disk}));
  EXPECT_EQ(Run(disk, {SystemTextBox(), ErrorBox(38, 1)}, kTwoLines), 0xC0000026u);
  EXPECT_EQ(ReadTextFile(disk + "/scenery.cfg"), library + section.substr(0, room - 10));
}

// The remover on a read-only library, in a read-only folder and on a full
// disk: the numbered error, the library unchanged, no new library left.
TEST_F(RealFaults, RemoverFailuresChangeNothing) {
  const struct {
    const char* name;
    std::vector<ExpectedBox> boxes;
    DWORD status;
  } kCases[] = {
      {"read-only library", {ErrorBox(47, 1)}, 0xC000002F},
      {"read-only folder", {SystemTextBox(), ErrorBox(9, 3)}, 0xC0000009},
      {"full disk", {SystemTextBox(), ErrorBox(38, 3)}, 0xC0000026},
  };
  const std::string registered = Library(12) + AreaSection(13);
  for (const auto& [name, boxes, status] : kCases) {
    SCOPED_TRACE(name);
    const std::string folder = folder_ + "/" + std::to_string(status);
    ASSERT_TRUE(CreateDirectoryA(WindowsPath(folder).c_str(), nullptr));
    const char* why =
        Lacking(status == 0xC0000026 ? "SCENREG_E2E_NO_MOUNT" : "SCENREG_E2E_NO_IMMUTABLE");
    if (why) GTEST_SKIP() << why;
    if (status == 0xC0000026) {
      ASSERT_TRUE(RunUnixHelper({"mount-small", folder}));
      mounted_ = folder;
    }
    ASSERT_TRUE(WriteTextFile(folder + "/scconf.txt", kTwoLines));
    ASSERT_TRUE(WriteTextFile(folder + "/scenery.cfg", registered));
    const bool made = status == 0xC000002F   ? MakeImmutable(folder + "/scenery.cfg")
                      : status == 0xC0000009 ? MakeImmutable(folder)
                                             : RunUnixHelper({"fill", folder});
    ASSERT_TRUE(made);
    EXPECT_EQ(Run(folder, boxes, kTwoLines, BuildFolder() + "/scenunreg.exe"), status);
    EXPECT_EQ(ReadTextFile(folder + "/scenery.cfg"), registered);
    EXPECT_FALSE(ReadTextFile(folder + "/scenery.cfg.scenunreg-new").has_value());
    EXPECT_FALSE(ReadTextFile(folder + "/scenery.cfg.before-scenunreg").has_value());
  }
}

// A file's bytes in one read: the large library is read after every round,
// and a stream read of it would cost seconds.
std::optional<std::string> ReadWholeFile(const std::string& unix_path) {
  HANDLE file = CreateFileA(WindowsPath(unix_path).c_str(), GENERIC_READ,
                            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return std::nullopt;
  std::optional<std::string> bytes;
  LARGE_INTEGER size{};
  if (GetFileSizeEx(file, &size)) {
    std::string data(static_cast<std::size_t>(size.QuadPart), '\0');
    std::size_t done = 0;
    DWORD count = 0;
    while (done < data.size() &&
           ReadFile(file, data.data() + done,
                    static_cast<DWORD>(std::min<std::size_t>(data.size() - done, 1 << 24)), &count,
                    nullptr) &&
           count > 0)
      done += count;
    if (done == data.size()) bytes = std::move(data);
  }
  CloseHandle(file);
  return bytes;
}

bool TruncateFile(const std::string& unix_path, std::size_t size) {
  HANDLE file = CreateFileA(WindowsPath(unix_path).c_str(), GENERIC_WRITE, 0, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  LARGE_INTEGER end{};
  end.QuadPart = static_cast<LONGLONG>(size);
  const bool done = SetFilePointerEx(file, end, nullptr, FILE_BEGIN) && SetEndOfFile(file);
  CloseHandle(file);
  return done;
}

std::uint64_t FileSize(const std::string& windows_path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!GetFileAttributesExA(windows_path.c_str(), GetFileExInfoStandard, &data)) return 0;
  return (std::uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
}

std::size_t CountOf(const std::string& text, const std::string& part) {
  std::size_t count = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
    ++count;
  return count;
}

// The main window of the program, polled closely: the "Welcome" box
// follows it within milliseconds.
bool WaitForMainWindowClosely(const ProgramUnderTest& program) {
  for (const Deadline deadline(kWaitLimitMs); !deadline.passed() && program.running();) {
    for (HWND window : program.TopLevelWindows())
      if (ClassNameOf(window) == "scenregFRAME") return true;
    Sleep(1);
  }
  return false;
}

HWND WaitForBoxClosely(const ProgramUnderTest& program) {
  for (const Deadline deadline(kWaitLimitMs); !deadline.passed() && program.running();) {
    const std::vector<HWND> boxes = program.Boxes();
    if (!boxes.empty()) return boxes.front();
    Sleep(1);
  }
  return nullptr;
}

// Killed at random moments, 200 times, in four phases taken in turn: with
// the main window up before "Welcome" shows, inside "Welcome", during the
// scan of a large library (nothing asked), and as soon as the library grows.
// The library is always its bytes followed by a prefix of the section; in
// the first two phases it is not touched at all. A later run registers once
// or stops as already registered: checked after every kill that left a part
// of the section, and after every fourth kill of each phase (each run costs
// a process start under Wine). The section's nine records take less time to
// write than a kill takes to arrive, so most kills on growth land at its
// end; the counts are printed, not required. The scan's kills come at random
// within the time the large library takes to grow, mostly past the time a
// small one takes; one that leaves the library as it was after that time
// was inside the scan.
TEST_F(RealFaults, KilledAtRandomMomentsLeavesAPrefixOfTheSection) {
  // SCENREG_KILLS sets the number, which is small where each process start
  // costs seconds (in the emulator).
  const char* kills_asked = std::getenv("SCENREG_KILLS");
  const int kKills = kills_asked != nullptr ? std::max(4, std::atoi(kills_asked)) : Repeats(200, 4);
  constexpr std::size_t kLargeLibraryBytes = std::size_t{96} << 20;
  const std::string twelve = Library(12);
  const std::string section = AreaSection(13);

  // The large library in a folder of its own, written once; each round cuts
  // it back to its bytes.
  const std::string large_folder = folder_ + "/large";
  ASSERT_TRUE(CreateDirectoryA(WindowsPath(large_folder).c_str(), nullptr));
  std::string large = twelve;
  // Lines that begin like the add-on's title line: each is cut and compared.
  const std::string filler = "Title=Sample Field " + std::string(41, 'f') + "\r\n";
  large.reserve(kLargeLibraryBytes + filler.size());
  while (large.size() < kLargeLibraryBytes) large += filler;
  const std::string large_path = large_folder + "/scenery.cfg";
  ASSERT_TRUE(WriteTextFile(large_path, large));
  ASSERT_TRUE(WriteTextFile(large_folder + "/scconf.txt", kTwoLines));

  // Time from the main window to the library's growth for each library: the
  // difference is the large one's scan, the window for its random kills.
  auto time_to_growth = [&](const std::string& folder, std::size_t size) -> DWORD {
    ProgramUnderTest program;
    if (!program.Start(ProgramPath(), folder) || !WaitForMainWindowClosely(program)) return 0;
    const std::string path = WindowsPath(folder + "/scenery.cfg");
    const DWORD start = GetTickCount();
    while (program.running() && FileSize(path) <= size) {
    }
    const DWORD elapsed = GetTickCount() - start;
    program.WaitForExit(kWaitLimitMs);
    return elapsed;
  };
  ASSERT_TRUE(WriteTextFile(folder_ + "/scconf.txt", kTwoLines));
  ASSERT_TRUE(WriteTextFile(LibraryPath(), twelve));
  // The middle one of three runs each (one where program starts are slow).
  auto median_time_to_growth = [&](const std::string& folder, const std::string& library) {
    std::vector<DWORD> times(static_cast<std::size_t>(Repeats(3, 1)));
    for (DWORD& time : times) {
      time = time_to_growth(folder, library.size());
      TruncateFile(folder + "/scenery.cfg", library.size());
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
  };
  const DWORD small_ms = median_time_to_growth(folder_, twelve);
  const DWORD large_ms = median_time_to_growth(large_folder, large);
  ASSERT_GT(large_ms, 0u) << "the large library was not registered";

  enum Phase { kWindowUp, kInWelcome, kScanning, kOnGrowth, kPhases };
  struct Counts {
    const char* name;
    int kills = 0;
    int untouched = 0;  // the library as it was
    int inside = 0;     // a part of the section
    int whole = 0;      // the whole section
    int later_runs = 0;
    int before_box = 0;  // no box was up at the kill
    int in_scan = 0;     // untouched, though later than a small library grows
  } counts[kPhases] = {{"window up, before Welcome"},
                       {"in Welcome"},
                       {"scan of the large library"},
                       {"library grown"}};
  std::mt19937 random(20261209);
  for (int round = 0; round < kKills; ++round) {
    const Phase phase = static_cast<Phase>(round % kPhases);
    const bool large_library = phase == kScanning;
    const std::string folder = large_library ? large_folder : folder_;
    const std::string library_path = folder + "/scenery.cfg";
    const std::string& original = large_library ? large : twelve;
    const bool asks = phase == kWindowUp || phase == kInWelcome;
    if (!large_library) {
      ASSERT_TRUE(WriteTextFile(folder + "/scconf.txt", asks ? kThreeLines : kTwoLines));
      ASSERT_TRUE(WriteTextFile(library_path, twelve));
    }
    Counts& count = counts[phase];
    DWORD delay_ms = 0;
    bool box_up = false;
    {
      ProgramUnderTest program;
      ASSERT_TRUE(program.Start(ProgramPath(), folder));
      HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, program.process_id());
      ASSERT_TRUE(process);
      switch (phase) {
        case kWindowUp:
          ASSERT_TRUE(WaitForMainWindowClosely(program)) << "no main window";
          delay_ms = random() % 30;
          break;
        case kInWelcome:
          ASSERT_TRUE(WaitForBoxClosely(program)) << "no Welcome box";
          delay_ms = random() % 200;
          break;
        case kScanning:
          ASSERT_TRUE(WaitForMainWindowClosely(program)) << "no main window";
          // Mostly past the time a small library takes to grow.
          delay_ms =
              small_ms / 2 + random() % (large_ms > small_ms / 2 ? large_ms - small_ms / 2 : 1);
          break;
        case kOnGrowth: {
          const std::string path = WindowsPath(library_path);
          while (WaitForSingleObject(process, 0) == WAIT_TIMEOUT &&
                 FileSize(path) <= twelve.size()) {
          }
          break;
        }
        case kPhases:
          break;
      }
      Sleep(delay_ms);
      box_up = !program.Boxes().empty();
      TerminateProcess(process, 77);
      WaitForSingleObject(process, kWaitLimitMs);
      CloseHandle(process);
    }
    SCOPED_TRACE("round " + std::to_string(round) + ", " + count.name + ", killed after " +
                 std::to_string(delay_ms) + " ms");
    ++count.kills;
    if (!box_up) ++count.before_box;
    const std::optional<std::string> after = ReadWholeFile(library_path);
    ASSERT_TRUE(after.has_value());
    ASSERT_GE(after->size(), original.size());
    ASSERT_TRUE(after->compare(0, original.size(), original) == 0) << "the library's bytes changed";
    const std::string appended = after->substr(original.size());
    ASSERT_EQ(section.rfind(appended, 0), 0u) << appended;
    if (asks) {
      ASSERT_EQ(appended, "") << "written before the answer";
    }
    if (appended.empty() && phase == kScanning && delay_ms >= small_ms) ++count.in_scan;
    if (appended.empty())
      ++count.untouched;
    else if (appended.size() < section.size())
      ++count.inside;
    else
      ++count.whole;

    if ((!appended.empty() && appended.size() < section.size()) || round / kPhases % 4 == 0) {
      ++count.later_runs;
      ASSERT_TRUE(WriteTextFile(folder + "/scconf.txt", kTwoLines));
      EXPECT_EQ(Run(folder, {}, kTwoLines), 0u);
      const std::optional<std::string> again = ReadWholeFile(library_path);
      ASSERT_TRUE(again.has_value());
      ASSERT_TRUE(again->compare(0, after->size(), *after) == 0) << "a later run changed bytes";
      EXPECT_EQ(CountOf(again->substr(original.size()), kTitleLine), 1u)
          << again->substr(original.size());
    }
    if (large_library) {
      ASSERT_TRUE(TruncateFile(library_path, large.size()));
    }
  }
  DeleteFileA(WindowsPath(large_path).c_str());

  std::printf("main window to growth: %lu ms for 12 areas, %lu ms for %zu MiB\n",
              static_cast<unsigned long>(small_ms), static_cast<unsigned long>(large_ms),
              kLargeLibraryBytes >> 20);
  for (const Counts& count : counts)
    std::printf(
        "%-26s %3d kills: %3d untouched, %3d inside the section, %3d whole; %3d later runs\n",
        count.name, count.kills, count.untouched, count.inside, count.whole, count.later_runs);
  std::printf(
      "window up: %d of %d killed before a box showed; scan: %d of %d killed with the"
      " library untouched at least %lu ms after the window\n",
      counts[kWindowUp].before_box, counts[kWindowUp].kills, counts[kScanning].in_scan,
      counts[kScanning].kills, static_cast<unsigned long>(small_ms));
}

// Killed inside the section, at points spread over its bytes: the kernel
// ends the program at the first byte past a file size limit. The library is
// its bytes followed by exactly the section's bytes up to that point, and a
// later run registers once or stops as already registered.
TEST_F(RealFaults, KilledInsideTheSectionKeepsExactlyItsBeginning) {
  const std::string twelve = Library(12);
  const std::string section = AreaSection(13);
  const std::size_t kRounds = static_cast<std::size_t>(Repeats(8, 3));
  for (std::size_t round = 0; round < kRounds; ++round) {
    const std::size_t kept = 1 + (section.size() - 2) * round / (kRounds - 1);
    SCOPED_TRACE("killed after " + std::to_string(kept) + " bytes of the section");
    ASSERT_TRUE(WriteTextFile(folder_ + "/scconf.txt", kTwoLines));
    ASSERT_TRUE(WriteTextFile(LibraryPath(), twelve));
    ASSERT_TRUE(RunUnixHelper(
        {"run-size-limited", folder_, ProgramPath(), std::to_string(twelve.size() + kept)}))
        << "not killed by the file size limit";
    ASSERT_EQ(ReadTextFile(LibraryPath()), twelve + section.substr(0, kept));

    EXPECT_EQ(Run(folder_, {}, kTwoLines), 0u);
    const std::optional<std::string> again = ReadTextFile(LibraryPath());
    ASSERT_TRUE(again.has_value());
    EXPECT_EQ(CountOf(*again, kTitleLine), 1u) << *again;
  }
}

}  // namespace
}  // namespace scenreg::e2e
