// Diagnostics on POSIX: the text goes to standard error, and a severe one
// ends the process with the low byte of its code, all a POSIX status holds.
#include "runtime/diagnostic_display.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "runtime/posix/immediate_exit.h"
#include "runtime/record_file.h"

namespace scenreg {

void ShowDiagnostic(const char* text) {
  const std::size_t length = std::strlen(text);
  std::fwrite(text, 1, length, stderr);
  if (length == 0 || text[length - 1] != '\n') std::fputc('\n', stderr);
  std::fflush(stderr);
}

void AppendTraceback(TextSink& /*sink*/) {}

void AppendSystemErrorMessage(TextSink& sink, std::uint32_t system_error) {
  AppendText(sink, std::strerror(static_cast<int>(system_error)));
}

void EndAfterSevereDiagnostic(DiagnosticCode code) {
  CloseAllUnitsAtEnd();
  ExitImmediately(static_cast<int>(code & 0xFFu));
}

}  // namespace scenreg
