// Diagnostics on POSIX: the text goes to standard error, and a severe one
// ends the process with the low byte of its code, all a POSIX status holds.
#include "runtime/diagnostic_display.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "runtime/record_file.h"

namespace scenreg {

void ShowDiagnostic(std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stderr);
  if (!text.ends_with('\n')) std::fputc('\n', stderr);
  std::fflush(stderr);
}

std::string TracebackText() {
  return {};
}

std::string SystemErrorMessage(std::uint32_t system_error) {
  return std::strerror(static_cast<int>(system_error));
}

void EndAfterSevereDiagnostic(DiagnosticCode code) {
  CloseAllUnitsAtEnd();
  std::_Exit(static_cast<int>(code & 0xFFu));
}

}  // namespace scenreg
