// Diagnostics on Windows: message boxes, the system's error texts, and the
// end of the process with the diagnostic code as its status.
#include "runtime/diagnostic_display.h"

#include <windows.h>

#include <string>

#include "runtime/record_file.h"

namespace scenreg {

void ShowDiagnostic(std::string_view text) {
  const std::string shown(text);
  const std::string caption(kDiagnosticCaption);
  MessageBoxA(nullptr, shown.c_str(), caption.c_str(), MB_OK | MB_ICONSTOP | MB_TASKMODAL);
}

std::string TracebackText() {
  return {};
}

std::string SystemErrorMessage(std::uint32_t system_error) {
  char buffer[1024];
  const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                      nullptr, system_error, 0, buffer, sizeof buffer, nullptr);
  return std::string(buffer, length);
}

void EndAfterSevereDiagnostic(DiagnosticCode code) {
  CloseAllUnits();
  ExitProcess(code);
}

}  // namespace scenreg
