// The main window: a frame with an MDI work area, a status bar and a
// one-item menu, served by the window thread's message loop while the run
// works on the program thread.
#include <windows.h>

#include <string>

#include "runtime/record_file.h"
#include "runtime/shell_platform.h"
#include "runtime/windows/shell_internal.h"

namespace scenreg {
namespace {

constexpr UINT kExitCommand = 10;
constexpr UINT_PTR kWorkAreaId = 1;
constexpr UINT kFirstChildId = 100;
constexpr UINT_PTR kStatusBarId = 90;
constexpr std::size_t kMaxModuleNameLength = 256;
constexpr UINT kStartFailureStatus = 1;

struct ShellState {
  std::string caption;
  HWND main_window = nullptr;
  HWND work_area = nullptr;
  HWND status_bar = nullptr;
  HMENU frame_menu = nullptr;
  HMENU window_menu = nullptr;
  int status_bar_height = 0;
  DWORD window_thread_id = 0;
};
ShellState shell;

std::string ModuleCaption() {
  char path[kMaxModuleNameLength + 1] = {};
  const DWORD length = GetModuleFileNameA(nullptr, path, kMaxModuleNameLength);
  if (length == 0 || length >= kMaxModuleNameLength) return std::string(kDefaultCaption);
  std::string caption = CaptionFromModulePath(std::string_view(path, length));
  OemToCharA(caption.data(), caption.data());
  return caption;
}

// Internal failures of the window layer: told to the user, and the caller
// goes on.
void ReportWindowLayerFailure(const char* failure, int line) {
  const std::string text =
      std::string(failure) + "\nfile \"shell_window.cpp\", line " + std::to_string(line);
  MessageBoxA(shell.main_window, text.c_str(), "Error", MB_OK | MB_ICONSTOP);
}

void LayOutChildren(HWND frame) {
  RECT client;
  GetClientRect(frame, &client);
  const int work_height =
      client.bottom > shell.status_bar_height ? client.bottom - shell.status_bar_height : 0;
  if (shell.work_area) MoveWindow(shell.work_area, 0, 0, client.right, work_height, TRUE);
  if (shell.status_bar)
    MoveWindow(shell.status_bar, 0, work_height, client.right, shell.status_bar_height, TRUE);
}

LRESULT CALLBACK FrameProcedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_CREATE: {
      CLIENTCREATESTRUCT client{shell.window_menu, kFirstChildId};
      shell.work_area = CreateWindowExA(
          0, "MDICLIENT", nullptr, WS_CHILD | WS_CLIPCHILDREN | WS_VISIBLE, 0, 0, 0, 0, window,
          reinterpret_cast<HMENU>(kWorkAreaId), GetModuleHandleA(nullptr), &client);
      return shell.work_area ? 0 : -1;
    }
    case WM_SIZE:
      // Not DefFrameProc: it would give the whole client area to the work
      // area and leave no room for the status bar.
      LayOutChildren(window);
      return 0;
    case WM_COMMAND:
      if (LOWORD(wparam) == kExitCommand) {
        PostMessageA(window, WM_CLOSE, 0, 0);
        return 0;
      }
      break;
    case WM_DESTROY:
      PostQuitMessage(0);
      CloseAllUnitsAtEnd();
      return 0;
    default:
      break;
  }
  return DefFrameProcA(window, shell.work_area, message, wparam, lparam);
}

// Two sunken panes: the status text on the left, the (always empty) message
// text on the right. The status text is the bar's own window text, so that
// anyone can read it with WM_GETTEXT.
void PaintStatusBar(HWND bar) {
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(bar, &paint);
  if (!dc) return;
  RECT bar_rect;
  GetClientRect(bar, &bar_rect);
  const HGDIOBJ old_font = SelectObject(dc, GetStockObject(SYSTEM_FONT));
  TEXTMETRICA metrics;
  GetTextMetricsA(dc, &metrics);
  const int char_width = metrics.tmAveCharWidth;

  // The status pane is nine character widths wide, the message pane runs from
  // eleven widths to one before the right edge.
  const int status_left = char_width / 2;
  RECT status_pane{status_left, 2, status_left + 9 * char_width, bar_rect.bottom - 2};
  RECT message_pane{11 * char_width, 2, bar_rect.right - char_width, bar_rect.bottom - 2};
  SetBkMode(dc, TRANSPARENT);
  for (RECT* pane : {&status_pane, &message_pane}) {
    if (pane->right <= pane->left) continue;
    DrawEdge(dc, pane, BDR_SUNKENOUTER, BF_RECT);
  }
  // The panes are measured in the system font, the text is drawn in the
  // smaller one of the system's controls, so that "Finished" fits.
  SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
  char status[32] = {};
  GetWindowTextA(bar, status, sizeof status);
  RECT text_rect = status_pane;
  InflateRect(&text_rect, -3, -1);
  DrawTextA(dc, status, -1, &text_rect, DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);

  SelectObject(dc, old_font);
  EndPaint(bar, &paint);
}

LRESULT CALLBACK StatusBarProcedure(HWND bar, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_PAINT:
      PaintStatusBar(bar);
      return 0;
    case WM_SETTEXT: {
      const LRESULT result = DefWindowProcA(bar, message, wparam, lparam);
      InvalidateRect(bar, nullptr, TRUE);
      return result;
    }
    default:
      return DefWindowProcA(bar, message, wparam, lparam);
  }
}

bool RegisterWindowClasses(HINSTANCE instance, const std::string& frame_class,
                           const std::string& status_class) {
  WNDCLASSA frame{};
  frame.style = CS_HREDRAW | CS_VREDRAW;
  frame.lpfnWndProc = FrameProcedure;
  frame.hInstance = instance;
  frame.hIcon = LoadIconA(instance, "FRAMEICON");
  frame.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  frame.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_APPWORKSPACE + 1);
  frame.lpszClassName = frame_class.c_str();
  if (!RegisterClassA(&frame)) return false;

  WNDCLASSA status{};
  status.lpfnWndProc = StatusBarProcedure;
  status.hInstance = instance;
  status.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  status.hbrBackground = static_cast<HBRUSH>(GetStockObject(LTGRAY_BRUSH));
  status.lpszClassName = status_class.c_str();
  return RegisterClassA(&status) != 0;
}

void BuildFrameMenu() {
  shell.frame_menu = CreateMenu();
  HMENU file_menu = CreatePopupMenu();
  shell.window_menu = CreatePopupMenu();
  if (!shell.frame_menu || !file_menu || !shell.window_menu) {
    ReportWindowLayerFailure("Out of Memory", __LINE__);
    return;
  }
  AppendMenuA(file_menu, MF_STRING, kExitCommand, "E&xit");
  AppendMenuA(shell.frame_menu, MF_POPUP, reinterpret_cast<UINT_PTR>(file_menu), "&File");
}

int StartShowCommand() {
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  GetStartupInfoA(&startup);
  return (startup.dwFlags & STARTF_USESHOWWINDOW) ? startup.wShowWindow : SW_SHOWDEFAULT;
}

// Ends at once, silently, when the window layer or the program thread
// cannot be made: there is no window to tell the user in. The run never
// happened, so the status is not the success status 0.
[[noreturn]] void EndWithoutWindow() {
  ExitProcess(kStartFailureStatus);
}

// The end of the window thread after the quit message: the units closed,
// the process ended with the program's end status or the quit value.
[[noreturn]] void EndAfterQuit(WPARAM quit_value) {
  CloseAllUnitsAtEnd();
  ExitProcess(WindowThreadEndStatus(static_cast<UINT>(quit_value)));
}

[[noreturn]] void WaitForProcessEnd() {
  // The process ends when the user closes the main window; meanwhile this
  // thread keeps serving whatever messages reach it. On the window thread
  // that close ends in the quit message, which only this loop can answer.
  for (;;) {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (message.message == WM_QUIT) EndAfterQuit(message.wParam);
      TranslateMessage(&message);
      DispatchMessageA(&message);
    }
    WaitMessage();
  }
}

}  // namespace

HWND MainWindow() {
  return shell.main_window;
}

HWND WorkArea() {
  return shell.work_area;
}

const std::string& ShellCaption() {
  return shell.caption;
}

DWORD WindowThreadId() {
  return shell.window_thread_id;
}

void SetStatusState(StatusState state) {
  if (!shell.status_bar) return;
  const std::string text(StatusText(state));
  SetWindowTextA(shell.status_bar, text.c_str());
}

bool ApplyMainWindowGeometry(const WindowGeometry& geometry) {
  HWND window = shell.main_window;
  if (!window) return false;
  if (IsIconic(window) || IsZoomed(window)) ShowWindow(window, SW_RESTORE);
  switch (geometry.request) {
    case WindowGeometry::kMinimize:
      ShowWindow(window, SW_MINIMIZE);
      break;
    case WindowGeometry::kMaximize:
      ShowWindow(window, SW_MAXIMIZE);
      break;
    case WindowGeometry::kRestore:
      ShowWindow(window, SW_SHOWNORMAL);
      break;
    case WindowGeometry::kPlaceAndSize: {
      RECT bar{};
      if (shell.status_bar) GetWindowRect(shell.status_bar, &bar);
      const FrameMetrics metrics{GetSystemMetrics(SM_CXFRAME), GetSystemMetrics(SM_CYFRAME),
                                 GetSystemMetrics(SM_CYCAPTION), GetSystemMetrics(SM_CYMENU)};
      const OuterSize outer = OuterWindowSize(geometry, metrics, bar.bottom - bar.top);
      SetWindowPos(window, nullptr, geometry.x, geometry.y, outer.width, outer.height,
                   SWP_NOZORDER | SWP_NOACTIVATE);
      SendMessageA(shell.work_area, WM_MDICASCADE, MDITILE_SKIPDISABLED, 0);
      break;
    }
    default:
      return false;
  }
  return true;
}

void FinishWindow(std::int32_t status) {
  SetStatusState(kFinished);
  if (!shell.main_window) return;
  switch (CurrentExitMode()) {
    case kAskUser: {
      const std::string prompt = ExitPromptText(status);
      const int answer = MessageBoxA(shell.work_area, prompt.c_str(), shell.caption.c_str(),
                                     MB_YESNO | MB_DEFBUTTON2 | MB_ICONEXCLAMATION);
      if (answer != IDYES) WaitForProcessEnd();
      break;
    }
    case kKeepOpen:
      WaitForProcessEnd();
    default:
      break;
  }
  PostMessageA(shell.main_window, WM_CLOSE, 0, 0);
}

void RunProgramShell(ProgramRun run) {
  InitialiseRuntime();
  shell.window_thread_id = GetCurrentThreadId();
  HINSTANCE instance = GetModuleHandleA(nullptr);

  shell.caption = ModuleCaption();
  const std::string frame_class = shell.caption + "FRAME";
  const std::string status_class = shell.caption + "STATUSBAR";
  if (!RegisterWindowClasses(instance, frame_class, status_class)) EndWithoutWindow();

  BuildFrameMenu();
  shell.status_bar_height = GetSystemMetrics(SM_CYCAPTION);
  shell.main_window =
      CreateWindowExA(0, frame_class.c_str(), shell.caption.c_str(),
                      WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, CW_USEDEFAULT, CW_USEDEFAULT,
                      CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, instance, nullptr);
  if (!shell.main_window) EndWithoutWindow();
  shell.status_bar =
      CreateWindowExA(0, status_class.c_str(), "", WS_CHILD | WS_VISIBLE, 0, 0, 0, 0,
                      shell.main_window, reinterpret_cast<HMENU>(kStatusBarId), instance, nullptr);
  if (!shell.status_bar) EndWithoutWindow();
  LayOutChildren(shell.main_window);

  const bool maximized =
      GetProfileIntA(shell.caption.c_str(), std::string(kMaximizedKey).c_str(), 0) != 0;
  ShowWindow(shell.main_window, maximized ? SW_SHOWMAXIMIZED : StartShowCommand());
  UpdateWindow(shell.main_window);
  SetStatusState(kRunning);
  if (shell.frame_menu) SetMenu(shell.main_window, shell.frame_menu);
  SetExitMode(kAskUser);

  if (!StartProgramThread(run)) EndWithoutWindow();

  MSG message{};
  while (GetMessageA(&message, nullptr, 0, 0) > 0) {
    if (TranslateMDISysAccel(shell.work_area, &message)) continue;
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  EndAfterQuit(message.wParam);
}

}  // namespace scenreg
