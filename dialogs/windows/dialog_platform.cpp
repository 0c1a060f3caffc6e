// The dialog platform on Windows: templates among the program's resources,
// boxes made and run by the dialog manager, controls reached by id.
#include "dialogs/dialog_platform.h"

#include <windows.h>
// After windows.h, whose types it uses.

#include <cstring>
#include <string>

#include "runtime/windows/shell_internal.h"
#include "runtime/windows/system_library.h"

namespace scenreg {
namespace {

constexpr WORD kResourceTypeDialogInit = 240;  // RT_DLGINIT
// The list messages of RT_DLGINIT data, in their 16-bit numbering.
constexpr WORD kDialogInitListAdd = 0x0401;
constexpr WORD kDialogInitComboAdd = 0x0403;

HMODULE ModuleOrProgram(ModuleHandle module) {
  return module ? static_cast<HMODULE>(module) : GetModuleHandleA(nullptr);
}

HWND ControlWindow(WindowHandle window, std::int32_t control_id) {
  return GetDlgItem(static_cast<HWND>(window), control_id);
}

std::span<const std::uint8_t> FindResourceBytes(HMODULE module, std::int32_t id, LPCSTR type) {
  if (id <= 0 || id > 0xFFFF) return {};
  HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(id), type);
  if (!found) return {};
  HGLOBAL loaded = LoadResource(module, found);
  const void* bytes = loaded ? LockResource(loaded) : nullptr;
  if (!bytes) return {};
  return {static_cast<const std::uint8_t*>(bytes), SizeofResource(module, found)};
}

// Lists for list boxes and combo boxes, kept with the template: entries of
// control id, message, length and a NUL-terminated string, up to a zero id.
void AddDialogInitStrings(HWND box, std::int32_t template_id) {
  const HMODULE module = reinterpret_cast<HMODULE>(GetWindowLongPtrA(box, GWLP_HINSTANCE));
  const std::span<const std::uint8_t> data =
      FindResourceBytes(module, template_id, MAKEINTRESOURCEA(kResourceTypeDialogInit));
  std::size_t at = 0;
  while (data.size() - at >= 8) {
    const WORD control_id = static_cast<WORD>(data[at] | (data[at + 1] << 8));
    const WORD message = static_cast<WORD>(data[at + 2] | (data[at + 3] << 8));
    std::size_t length = data[at + 4] | (data[at + 5] << 8) | (data[at + 6] << 16) |
                         (static_cast<std::size_t>(data[at + 7]) << 24);
    if (control_id == 0) break;
    at += 8;
    if (length > data.size() - at) break;
    const char* text = reinterpret_cast<const char*>(data.data() + at);
    const std::string entry(text, strnlen(text, length));
    if (message == kDialogInitListAdd)
      SendDlgItemMessageA(box, control_id, LB_ADDSTRING, 0,
                          reinterpret_cast<LPARAM>(entry.c_str()));
    else if (message == kDialogInitComboAdd)
      SendDlgItemMessageA(box, control_id, CB_ADDSTRING, 0,
                          reinterpret_cast<LPARAM>(entry.c_str()));
    at += length;
  }
}

// The service's dialog procedure. It keeps nothing in the window: the record
// is the dialog that is running modally.
INT_PTR CALLBACK ServiceDialogProcedure(HWND box, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_INITDIALOG:
      AddDialogInitStrings(box, static_cast<std::int32_t>(lparam));
      HandleDialogOpened(box);
      // The dialog manager puts the focus on the first control with
      // WS_TABSTOP.
      return TRUE;
    case WM_COMMAND:
      return HandleDialogCommand(LOWORD(wparam), HIWORD(wparam)) ? TRUE : FALSE;
    default:
      return FALSE;
  }
}

}  // namespace

void PrepareControlClasses() {
  // The common controls library is loaded when a box is first wanted, not
  // at start-up: a run that registers without asking never pays for it.
  using InitEntry = void(WINAPI*)();
  static const InitEntry init_common_controls = [] {
    const HMODULE library = LoadSystemLibrary("comctl32.dll");
    const FARPROC address = library ? GetProcAddress(library, "InitCommonControls") : nullptr;
    return reinterpret_cast<InitEntry>(reinterpret_cast<void*>(address));
  }();
  if (init_common_controls) init_common_controls();
}

std::span<const std::uint8_t> FindDialogTemplate(ModuleHandle module, std::int32_t template_id) {
  return FindResourceBytes(ModuleOrProgram(module), template_id, RT_DIALOG);
}

WindowHandle ProgramMainWindow() {
  return MainWindow();
}

ModuleHandle ModuleForOwner(WindowHandle owner) {
  if (!owner) return GetModuleHandleA(nullptr);
  return reinterpret_cast<HMODULE>(GetWindowLongPtrA(static_cast<HWND>(owner), GWLP_HINSTANCE));
}

std::int32_t ShowDialogModal(ModuleHandle module, std::int32_t template_id, WindowHandle owner) {
  if (template_id <= 0 || template_id > 0xFFFF) return -1;
  const INT_PTR shown =
      DialogBoxParamA(ModuleOrProgram(module), MAKEINTRESOURCEA(template_id),
                      static_cast<HWND>(owner), ServiceDialogProcedure, template_id);
  return shown == -1 ? -1 : 0;
}

bool IsModalDialogWindow(WindowHandle window) {
  char class_name[256] = {};
  GetClassNameA(static_cast<HWND>(window), class_name, sizeof class_name);
  return std::strcmp(class_name, "#32770") == 0;
}

void EndModalDialog(WindowHandle window) {
  EndDialog(static_cast<HWND>(window), 0);
}

void DestroyDialogWindow(WindowHandle window) {
  DestroyWindow(static_cast<HWND>(window));
}

void SetControlWindowText(WindowHandle window, std::int32_t control_id, const char* text) {
  SendMessageA(ControlWindow(window, control_id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
}

std::size_t GetControlWindowText(WindowHandle window, std::int32_t control_id,
                                 std::span<char, 256> buffer) {
  buffer[0] = '\0';
  const LRESULT length = SendMessageA(ControlWindow(window, control_id), WM_GETTEXT, buffer.size(),
                                      reinterpret_cast<LPARAM>(buffer.data()));
  return length > 0 ? static_cast<std::size_t>(length) : 0;
}

void EnableControlWindow(WindowHandle window, std::int32_t control_id, bool enabled) {
  EnableWindow(ControlWindow(window, control_id), enabled ? TRUE : FALSE);
}

bool IsControlWindowEnabled(WindowHandle window, std::int32_t control_id) {
  return IsWindowEnabled(ControlWindow(window, control_id)) != FALSE;
}

void ShowStyleWarning(std::string_view caption, std::string_view text) {
  const std::string shown_caption(caption);
  const std::string shown_text(text);
  MessageBoxA(nullptr, shown_text.c_str(), shown_caption.c_str(), MB_OK | MB_ICONWARNING);
}

}  // namespace scenreg
