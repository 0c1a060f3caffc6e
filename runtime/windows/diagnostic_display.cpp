// Diagnostics on Windows: message boxes owned by the main window, the
// system's error texts, and the end of the process with the diagnostic code
// as its status.
#include "runtime/diagnostic_display.h"

#include <windows.h>

#include "runtime/record_file.h"
#include "runtime/shell_platform.h"
#include "runtime/windows/shell_internal.h"

namespace scenreg {
namespace {

constexpr DWORD kMaxSystemMessageLength = 1024;

}  // namespace

void ShowDiagnostic(const char* text) {
  // The caption is a literal, so its view ends in a NUL.
  MessageBoxA(MainWindow(), text, kDiagnosticCaption.data(), MB_OK | MB_ICONSTOP | MB_TASKMODAL);
}

void AppendSystemErrorMessage(TextSink& sink, std::uint32_t system_error) {
  char buffer[kMaxSystemMessageLength];
  const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                      nullptr, system_error, 0, buffer, sizeof buffer, nullptr);
  AppendText(sink, std::string_view(buffer, length));
}

void EndAfterSevereDiagnostic(DiagnosticCode /*code*/) {
  // The code is the recorded end status already (before the box).
  CloseAllUnitsAtEnd();
  FinishWindow(1);
  EndProcess();
}

}  // namespace scenreg
