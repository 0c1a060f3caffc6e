// A driver for end-to-end tests of scenreg.exe: starts the program in a
// scratch folder, finds and reads its windows, acts on them as a user would,
// and reads the full exit status. Built for Windows and run under Wine with
// a virtual X display; the few things only the Linux side can do (named
// pipes, screenshots) go through a small shell helper.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace scenreg::e2e {

// How long the harness waits for the program to take a step (show a window
// or box, end) before it calls that a failure. Only a failure waits it out,
// so it is generous: in the emulator on a loaded machine, the traceback of a
// severe box has taken more than 30 s.
inline constexpr DWORD kWaitLimitMs = 120000;

// A time limit read on the system's tick count. Every wait of the harness is
// bounded by one rather than by counting polls, which assumes that each poll
// takes as long as it asked for.
class Deadline {
 public:
  explicit Deadline(DWORD ms) : end_(GetTickCount64() + ms) {}
  bool passed() const { return GetTickCount64() >= end_; }

 private:
  ULONGLONG end_;
};

// Paths on both sides of Wine's drive Z:.
std::string WindowsPath(const std::string& unix_path);

// The build folder (Unix path), the folder for screenshots in it, and
// scenreg.exe there.
std::string BuildFolder();
std::string ScreenshotFolder();
std::string ProgramPath();

// Controls of the boxes: a box's static text (a message box's message) and
// the text field of "Welcome".
inline constexpr int kMessageTextId = 0xFFFF;
inline constexpr int kWelcomeTextId = 1003;

// How many rounds a randomised case runs: all of them, or a few where each
// program start costs seconds (SCENREG_E2E_FEW_REPEATS set, as the test
// command does in the emulator). There a table's rows that vary only the
// data, not the way through the system, are left to the other runs.
bool FewRepeats();
inline int Repeats(int all, int few) {
  return FewRepeats() ? few : all;
}

// Runs the Linux helper script and waits until it has finished. False on a
// timeout or when the helper reports a failure.
bool RunUnixHelper(const std::vector<std::string>& arguments);

// A new empty folder for one test, under the build folder (or
// SCENREG_E2E_SCRATCH); Unix path.
std::string FreshScratchFolder(const std::string& name);

bool CreateNamedPipeFile(const std::string& unix_path);
bool WriteTextFile(const std::string& unix_path, const std::string& bytes);
std::optional<std::string> ReadTextFile(const std::string& unix_path);

// Under Wine without a window manager, a window left to one has no frame,
// and each time one is hidden (a box that closes) Wine waits two seconds for
// the manager's answer. The named programs' windows are therefore left
// unmanaged: Wine draws their frames itself, so that the screenshots show
// captions, and takes them away at once. Values the harness added are taken
// away again by RestoreWindowManagement. Does nothing on Windows.
void UnmanageWindowsUnderWine(const std::vector<std::string>& program_names);
void RestoreWindowManagement();

// True for the boxes whose pictures the README shows (see
// scripts/update-doc-screenshots.sh): only those are photographed on the
// way, besides any box that a test did not expect and any wait that ran out.
bool ScreenshotWanted(const std::string& name);

// Saves a PNG of the whole screen under the screenshot folder; returns its
// Unix path, or an empty text when it could not be taken.
std::string SaveScreenshot(const std::string& name);

struct WindowFacts {
  HWND handle = nullptr;
  std::string class_name;
  std::string text;  // by WM_GETTEXT
  RECT rect{};       // screen coordinates
  LONG style = 0;
  LONG ex_style = 0;
  int control_id = 0;
  HWND owner = nullptr;
  bool enabled = false;
  bool visible = false;
};

std::string ClassNameOf(HWND window);
// The window's text as the window itself answers WM_GETTEXT, waiting while
// its program is busy; empty when the window is gone or does not answer.
std::string TextOf(HWND window);
WindowFacts FactsOf(HWND window);
std::vector<WindowFacts> ChildrenOf(HWND window);
// Waits until the window is destroyed; false when it is still there after
// the wait limit.
bool WaitUntilGone(HWND window);
// The control that has the keyboard focus in the window's thread.
HWND FocusedControlOf(HWND window);
// Waits until the window's thread has handled every message posted to it so
// far, and those that they posted in turn: a check that a box ignored some
// input waits for this, not for a time. False when the window is gone.
bool WaitUntilPostedHandled(HWND window);

// How a user ends the program by its main window.
enum class CloseAction { kCloseMessage, kCloseCommand, kExitMenu, kAltF4 };
const char* NameOf(CloseAction action);

// How a user answers a box. Button 1 is "Continue" in "Welcome" and OK in
// every other box; button 2 is "No thanks". The close command is what the
// window manager sends for a close request, the close request a WM_CLOSE.
// The main window's close is a WM_CLOSE posted to the box's owner, as
// taskkill without /F sends one, and leaves the box to the program's end.
enum class BoxAnswer {
  kEnter,
  kEscape,
  kCloseCommand,
  kCloseRequest,
  kClickOk,
  kClickNoThanks,
  kCloseMainWindow
};
const char* NameOf(BoxAnswer answer);

// One started program. Killed on destruction if still running.
class ProgramUnderTest {
 public:
  ProgramUnderTest() = default;
  ~ProgramUnderTest();
  ProgramUnderTest(const ProgramUnderTest&) = delete;
  ProgramUnderTest& operator=(const ProgramUnderTest&) = delete;

  // Starts the program (Unix path) in the folder (Unix path).
  bool Start(const std::string& program, const std::string& folder);

  // The process's visible top-level windows.
  std::vector<HWND> TopLevelWindows() const;
  // Its main window: the top-level window of the given class; waits for it.
  HWND WaitForMainWindow(const std::string& frame_class, DWORD timeout_ms);
  // Its message or dialog boxes (class #32770).
  std::vector<HWND> Boxes() const;
  // Waits until a box appears; a wanted screenshot of it is saved.
  HWND WaitForBox(DWORD timeout_ms, const std::string& screenshot_name);

  // Waits for the process to end, then gives its 32-bit exit status. On a
  // timeout the process is killed and nothing is returned. Any box that
  // shows meanwhile is counted and photographed.
  std::optional<DWORD> WaitForExit(DWORD timeout_ms, const std::string& screenshot_name = "");
  int boxes_seen_while_waiting() const { return boxes_seen_while_waiting_; }

  // Watches the status bar's text while the program runs; every distinct
  // text is recorded in order.
  void WatchStatusBar(HWND status_bar);
  const std::vector<std::string>& status_texts() const { return status_texts_; }

  // User actions.
  void PressKey(HWND top_level, WORD virtual_key);
  // The key stroke posted to the focus, in order with other posted messages.
  void PostKey(HWND top_level, WORD virtual_key);
  void Click(HWND button);
  void Answer(HWND box, BoxAnswer answer);
  // Menus opened on the way are photographed under the given name.
  void Close(HWND main_window, CloseAction action, const std::string& screenshot_name = "");

  DWORD process_id() const { return info_.dwProcessId; }
  bool running() const;

 private:
  void NoteStatusText();

  PROCESS_INFORMATION info_{};
  HWND status_bar_ = nullptr;
  std::vector<std::string> status_texts_;
  std::set<HWND> boxes_waited_for_;
  int boxes_seen_while_waiting_ = 0;
};

}  // namespace scenreg::e2e
