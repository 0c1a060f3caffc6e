#include "tests/e2e/e2e_harness.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>

namespace scenreg::e2e {
namespace {

constexpr DWORD kPollMs = 20;
constexpr DWORD kHelperTimeoutMs = 30000;
constexpr DWORD kMessageTimeoutMs = 30000;
constexpr UINT kExitCommand = 10;
constexpr std::size_t kMaxText = 32768;

std::atomic<int> helper_calls{0};
std::vector<std::string> unmanaged_keys_added;

bool FileExists(const std::string& unix_path) {
  return GetFileAttributesA(WindowsPath(unix_path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string Quoted(const std::string& text) {
  return "\"" + text + "\"";
}

struct ProcessWindows {
  DWORD process_id;
  std::vector<HWND>* windows;
};

BOOL CALLBACK CollectProcessWindow(HWND window, LPARAM parameter) {
  auto* wanted = reinterpret_cast<ProcessWindows*>(parameter);
  DWORD owner_process = 0;
  GetWindowThreadProcessId(window, &owner_process);
  if (owner_process == wanted->process_id && IsWindowVisible(window))
    wanted->windows->push_back(window);
  return TRUE;
}

BOOL CALLBACK CollectChild(HWND window, LPARAM parameter) {
  auto* children = reinterpret_cast<std::vector<HWND>*>(parameter);
  children->push_back(window);
  return TRUE;
}

void SendKeys(std::initializer_list<std::pair<WORD, bool>> strokes) {
  std::vector<INPUT> inputs;
  for (const auto& [key, down] : strokes) {
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = key;
    input.ki.dwFlags = down ? 0 : KEYEVENTF_KEYUP;
    inputs.push_back(input);
  }
  SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
}

// Keyboard messages as the system would post them, with the repeat count,
// scan code and transition bits of a real key stroke.
void PostKeyStroke(HWND target, WORD key, bool alt_down) {
  const LPARAM scan = static_cast<LPARAM>(MapVirtualKeyA(key, MAPVK_VK_TO_VSC)) << 16;
  const LPARAM context = alt_down ? (1 << 29) : 0;
  const UINT down = alt_down ? WM_SYSKEYDOWN : WM_KEYDOWN;
  const UINT up = alt_down ? WM_SYSKEYUP : WM_KEYUP;
  PostMessageA(target, down, key, 1 | scan | context);
  PostMessageA(target, up, key, static_cast<LPARAM>(1 | scan | context | (3u << 30)));
}

// Brings the window to the front so that keyboard input goes to it; false
// when the system will not let the harness do that.
bool MakeForeground(HWND top_level) {
  SetForegroundWindow(top_level);
  for (const Deadline deadline(200); !deadline.passed(); Sleep(kPollMs))
    if (GetForegroundWindow() == top_level) return true;
  return GetForegroundWindow() == top_level;
}

}  // namespace

std::string WindowsPath(const std::string& unix_path) {
  std::string path = "Z:" + unix_path;
  std::replace(path.begin(), path.end(), '/', '\\');
  return path;
}

std::string BuildFolder() {
  return SCENREG_E2E_BUILD_DIR;
}

std::string ScreenshotFolder() {
  return BuildFolder() + "/e2e/screenshots";
}

std::string ProgramPath() {
  return BuildFolder() + "/scenreg.exe";
}

bool FewRepeats() {
  return std::getenv("SCENREG_E2E_FEW_REPEATS") != nullptr;
}

bool RunUnixHelper(const std::vector<std::string>& arguments) {
  const std::string marker_folder = BuildFolder() + "/e2e/markers";
  CreateDirectoryA(WindowsPath(BuildFolder() + "/e2e").c_str(), nullptr);
  CreateDirectoryA(WindowsPath(marker_folder).c_str(), nullptr);
  const std::string marker = marker_folder + "/" + std::to_string(GetCurrentProcessId()) + "-" +
                             std::to_string(++helper_calls);
  DeleteFileA(WindowsPath(marker).c_str());

  std::string command = "/bin/sh " + Quoted(SCENREG_E2E_UNIX_HELPER) + " " + Quoted(marker);
  for (const std::string& argument : arguments) command += " " + Quoted(argument);
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  // Wine runs a Linux program for this, without a process handle to wait on.
  if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &info))
    return false;
  if (info.hProcess) CloseHandle(info.hProcess);
  if (info.hThread) CloseHandle(info.hThread);

  for (const Deadline deadline(kHelperTimeoutMs); !deadline.passed();) {
    if (const auto outcome = ReadTextFile(marker)) {
      DeleteFileA(WindowsPath(marker).c_str());
      return outcome->rfind("0", 0) == 0;
    }
    Sleep(kPollMs);
  }
  return false;
}

std::string FreshScratchFolder(const std::string& name) {
  // SCENREG_E2E_SCRATCH names another root: one where named pipes and file
  // attributes work, which the emulator's shared root file system lacks.
  const char* root = std::getenv("SCENREG_E2E_SCRATCH");
  const std::string folder =
      (root != nullptr ? std::string(root) : BuildFolder() + "/e2e/scratch") + "/" + name;
  if (!RunUnixHelper({"fresh", folder})) return {};
  return folder;
}

bool CreateNamedPipeFile(const std::string& unix_path) {
  // Wine does not report attributes for a named pipe, so the helper's own
  // outcome has to do.
  return RunUnixHelper({"mkfifo", unix_path});
}

bool WriteTextFile(const std::string& unix_path, const std::string& bytes) {
  std::ofstream out(WindowsPath(unix_path), std::ios::binary);
  out << bytes;
  return static_cast<bool>(out);
}

std::optional<std::string> ReadTextFile(const std::string& unix_path) {
  std::ifstream in(WindowsPath(unix_path), std::ios::binary);
  if (!in) return std::nullopt;
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void UnmanageWindowsUnderWine(const std::vector<std::string>& program_names) {
  HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  if (!ntdll || !GetProcAddress(ntdll, "wine_get_version")) return;
  for (const std::string& name : program_names) {
    const std::string key = "Software\\Wine\\AppDefaults\\" + name + "\\X11 Driver";
    HKEY handle = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_READ | KEY_WRITE,
                        nullptr, &handle, nullptr) != ERROR_SUCCESS)
      continue;
    if (RegQueryValueExA(handle, "Managed", nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
      RegSetValueExA(handle, "Managed", 0, REG_SZ, reinterpret_cast<const BYTE*>("N"), 2);
      unmanaged_keys_added.push_back(key);
    }
    RegCloseKey(handle);
  }
}

void RestoreWindowManagement() {
  for (const std::string& key : unmanaged_keys_added) {
    HKEY handle = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, KEY_WRITE, &handle) != ERROR_SUCCESS)
      continue;
    RegDeleteValueA(handle, "Managed");
    RegCloseKey(handle);
  }
  unmanaged_keys_added.clear();
}

bool ScreenshotWanted(const std::string& name) {
  for (const char* wanted : {"Run-Outcomes-BoxesLibraryAndStatus-RegistersAfterContinue-box1",
                             "Run-Outcomes-BoxesLibraryAndStatus-ElevenAreasAreNotRecognised-box2",
                             "Answers-MissingDescription-"
                             "EndsInOneSevereBoxThenWithTheDiagnosticCode-Enter-box"})
    if (name == wanted) return true;
  return false;
}

std::string SaveScreenshot(const std::string& name) {
  CreateDirectoryA(WindowsPath(BuildFolder() + "/e2e").c_str(), nullptr);
  CreateDirectoryA(WindowsPath(ScreenshotFolder()).c_str(), nullptr);
  const std::string path = ScreenshotFolder() + "/" + name + ".png";
  DeleteFileA(WindowsPath(path).c_str());
  if (!RunUnixHelper({"screenshot", path}) || !FileExists(path)) return {};
  return path;
}

std::string ClassNameOf(HWND window) {
  char name[256] = {};
  const int length = GetClassNameA(window, name, sizeof name);
  return std::string(name, length > 0 ? static_cast<std::size_t>(length) : 0);
}

std::string TextOf(HWND window) {
  std::string text(kMaxText, '\0');
  DWORD_PTR length = 0;
  // Not SMTO_ABORTIFHUNG: a program still starting up may take no messages
  // for seconds (in the emulator), and it is waited for, not given up on.
  if (!SendMessageTimeoutA(window, WM_GETTEXT, kMaxText, reinterpret_cast<LPARAM>(text.data()),
                           SMTO_NORMAL, kMessageTimeoutMs, &length))
    return {};
  text.resize(std::min<std::size_t>(length, kMaxText));
  return text;
}

WindowFacts FactsOf(HWND window) {
  WindowFacts facts;
  facts.handle = window;
  facts.class_name = ClassNameOf(window);
  facts.text = TextOf(window);
  GetWindowRect(window, &facts.rect);
  facts.style = GetWindowLongA(window, GWL_STYLE);
  facts.ex_style = GetWindowLongA(window, GWL_EXSTYLE);
  facts.control_id = GetDlgCtrlID(window);
  facts.owner = GetWindow(window, GW_OWNER);
  facts.enabled = IsWindowEnabled(window);
  facts.visible = IsWindowVisible(window);
  return facts;
}

std::vector<WindowFacts> ChildrenOf(HWND window) {
  std::vector<HWND> handles;
  EnumChildWindows(window, CollectChild, reinterpret_cast<LPARAM>(&handles));
  std::vector<WindowFacts> children;
  for (HWND child : handles)
    if (GetParent(child) == window) children.push_back(FactsOf(child));
  return children;
}

HWND FocusedControlOf(HWND window) {
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  if (!GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info)) return nullptr;
  return info.hwndFocus;
}

const char* NameOf(CloseAction action) {
  switch (action) {
    case CloseAction::kCloseMessage:
      return "CloseMessage";
    case CloseAction::kCloseCommand:
      return "CloseCommand";
    case CloseAction::kExitMenu:
      return "ExitMenu";
    case CloseAction::kAltF4:
      return "AltF4";
  }
  return "?";
}

const char* NameOf(BoxAnswer answer) {
  constexpr const char* kNames[] = {"Enter",   "Escape",        "CloseCommand",   "CloseRequest",
                                    "ClickOk", "ClickNoThanks", "CloseMainWindow"};
  return kNames[static_cast<int>(answer)];
}

ProgramUnderTest::~ProgramUnderTest() {
  if (info_.hProcess) {
    if (running()) {
      TerminateProcess(info_.hProcess, 0xDEAD);
      WaitForSingleObject(info_.hProcess, 5000);
    }
    CloseHandle(info_.hProcess);
  }
  if (info_.hThread) CloseHandle(info_.hThread);
}

bool ProgramUnderTest::Start(const std::string& program, const std::string& folder) {
  const std::string application = WindowsPath(program);
  std::string command_line = Quoted(application);
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  return CreateProcessA(application.c_str(), command_line.data(), nullptr, nullptr, FALSE, 0,
                        nullptr, WindowsPath(folder).c_str(), &startup, &info_) != 0;
}

bool ProgramUnderTest::running() const {
  return info_.hProcess && WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT;
}

std::vector<HWND> ProgramUnderTest::TopLevelWindows() const {
  std::vector<HWND> windows;
  ProcessWindows wanted{info_.dwProcessId, &windows};
  EnumWindows(CollectProcessWindow, reinterpret_cast<LPARAM>(&wanted));
  return windows;
}

// Two rounds of a posted change of drawing (switched off, then on again,
// which only clears and sets the visible style), each read back: the second
// comes after what the first round's predecessors posted, such as a
// dialog's cancel command on a close request.
bool WaitUntilPostedHandled(HWND window) {
  for (const bool redraw : {false, true}) {
    PostMessageA(window, WM_SETREDRAW, redraw, 0);
    for (const Deadline deadline(kWaitLimitMs);; Sleep(kPollMs)) {
      if (!IsWindow(window)) return false;
      if (static_cast<bool>(GetWindowLongA(window, GWL_STYLE) & WS_VISIBLE) == redraw) break;
      if (deadline.passed()) return false;
    }
  }
  return true;
}

bool WaitUntilGone(HWND window) {
  for (const Deadline deadline(kWaitLimitMs); IsWindow(window) && !deadline.passed();)
    Sleep(kPollMs);
  return !IsWindow(window);
}

HWND ProgramUnderTest::WaitForMainWindow(const std::string& frame_class, DWORD timeout_ms) {
  for (const Deadline deadline(timeout_ms); !deadline.passed() && running();) {
    for (HWND window : TopLevelWindows())
      if (ClassNameOf(window) == frame_class) return window;
    Sleep(kPollMs);
  }
  return nullptr;
}

std::vector<HWND> ProgramUnderTest::Boxes() const {
  std::vector<HWND> boxes;
  for (HWND window : TopLevelWindows())
    if (ClassNameOf(window) == "#32770") boxes.push_back(window);
  return boxes;
}

HWND ProgramUnderTest::WaitForBox(DWORD timeout_ms, const std::string& screenshot_name) {
  for (const Deadline deadline(timeout_ms); !deadline.passed() && running();) {
    NoteStatusText();
    const std::vector<HWND> boxes = Boxes();
    if (!boxes.empty()) {
      // Let the box paint itself and take the focus before it is looked at.
      Sleep(300);
      if (ScreenshotWanted(screenshot_name)) SaveScreenshot(screenshot_name);
      boxes_waited_for_.insert(boxes.front());
      return boxes.front();
    }
    Sleep(kPollMs);
  }
  return nullptr;
}

std::optional<DWORD> ProgramUnderTest::WaitForExit(DWORD timeout_ms,
                                                   const std::string& screenshot_name) {
  // A box answered a moment ago may take a while to go on a slow machine
  // (the emulator); it is not a further box.
  std::set<HWND> boxes_seen = boxes_waited_for_;
  for (const Deadline deadline(timeout_ms); !deadline.passed();) {
    if (WaitForSingleObject(info_.hProcess, kPollMs) == WAIT_OBJECT_0) {
      DWORD status = 0;
      GetExitCodeProcess(info_.hProcess, &status);
      return status;
    }
    NoteStatusText();
    for (HWND box : Boxes()) {
      if (!boxes_seen.insert(box).second) continue;
      ++boxes_seen_while_waiting_;
      Sleep(300);
      SaveScreenshot((screenshot_name.empty() ? std::string("unexpected") : screenshot_name) +
                     "-box" + std::to_string(boxes_seen_while_waiting_));
    }
  }
  SaveScreenshot((screenshot_name.empty() ? std::string("timeout") : screenshot_name) + "-timeout");
  // What the program showed when it was given up on, for the test's log.
  std::printf("[harness] no end within %lu ms; its windows:", timeout_ms);
  for (HWND window : TopLevelWindows())
    std::printf(" %s \"%s\";", ClassNameOf(window).c_str(), TextOf(window).c_str());
  std::printf("\n");
  TerminateProcess(info_.hProcess, 0xDEAD);
  WaitForSingleObject(info_.hProcess, 5000);
  return std::nullopt;
}

void ProgramUnderTest::WatchStatusBar(HWND status_bar) {
  status_bar_ = status_bar;
  NoteStatusText();
}

void ProgramUnderTest::NoteStatusText() {
  if (!status_bar_ || !IsWindow(status_bar_)) return;
  std::string text(64, '\0');
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutA(status_bar_, WM_GETTEXT, text.size(),
                           reinterpret_cast<LPARAM>(text.data()), SMTO_ABORTIFHUNG, 200, &length))
    return;
  text.resize(std::min<std::size_t>(length, text.size()));
  if (status_texts_.empty() || status_texts_.back() != text) status_texts_.push_back(text);
}

void ProgramUnderTest::PressKey(HWND top_level, WORD virtual_key) {
  if (MakeForeground(top_level)) {
    SendKeys({{virtual_key, true}, {virtual_key, false}});
    return;
  }
  std::printf("[harness] window not in front: the key stroke is posted to the focus\n");
  PostKey(top_level, virtual_key);
}

void ProgramUnderTest::PostKey(HWND top_level, WORD virtual_key) {
  HWND focus = FocusedControlOf(top_level);
  PostKeyStroke(focus ? focus : top_level, virtual_key, false);
}

void ProgramUnderTest::Click(HWND button) {
  PostMessageA(button, BM_CLICK, 0, 0);
}

void ProgramUnderTest::Answer(HWND box, BoxAnswer answer) {
  switch (answer) {
    case BoxAnswer::kEnter:
      PressKey(box, VK_RETURN);
      break;
    case BoxAnswer::kEscape:
      PressKey(box, VK_ESCAPE);
      break;
    case BoxAnswer::kCloseCommand:
      PostMessageA(box, WM_SYSCOMMAND, SC_CLOSE, 0);
      break;
    case BoxAnswer::kCloseRequest:
      PostMessageA(box, WM_CLOSE, 0, 0);
      break;
    case BoxAnswer::kClickOk:
      Click(GetDlgItem(box, IDOK));
      break;
    case BoxAnswer::kClickNoThanks:
      Click(GetDlgItem(box, IDCANCEL));
      break;
    case BoxAnswer::kCloseMainWindow:
      PostMessageA(GetWindow(box, GW_OWNER), WM_CLOSE, 0, 0);
      break;
  }
}

void ProgramUnderTest::Close(HWND main_window, CloseAction action,
                             const std::string& screenshot_name) {
  switch (action) {
    case CloseAction::kCloseMessage:
      PostMessageA(main_window, WM_CLOSE, 0, 0);
      break;
    case CloseAction::kCloseCommand:
      // What the close box and the system menu's Close send.
      PostMessageA(main_window, WM_SYSCOMMAND, SC_CLOSE, 0);
      break;
    case CloseAction::kExitMenu:
      // Alt+F opens "&File", X chooses "E&xit".
      if (MakeForeground(main_window)) {
        SendKeys({{VK_MENU, true}, {'F', true}, {'F', false}, {VK_MENU, false}});
        Sleep(500);
        if (!screenshot_name.empty()) SaveScreenshot(screenshot_name + "-file-menu");
        SendKeys({{'X', true}, {'X', false}});
      } else {
        std::printf("[harness] window not in front: the Exit command is posted to it\n");
        PostMessageA(main_window, WM_COMMAND, MAKEWPARAM(kExitCommand, 0), 0);
      }
      break;
    case CloseAction::kAltF4:
      if (MakeForeground(main_window)) {
        SendKeys({{VK_MENU, true}, {VK_F4, true}, {VK_F4, false}, {VK_MENU, false}});
      } else {
        std::printf("[harness] window not in front: Alt+F4 is posted to it\n");
        PostKeyStroke(main_window, VK_F4, true);
      }
      break;
  }
}

}  // namespace scenreg::e2e
