// The platform side of diagnostics: how a text reaches the user and how a
// severe diagnostic ends the process. One implementation per platform.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "runtime/diagnostics.h"

namespace scenreg {

// Shows a diagnostic text, NUL-terminated, and returns when the user has
// dismissed it. Allocates nothing: it serves the low-memory report too.
void ShowDiagnostic(const char* text);

// Appends the traceback table of a severe diagnostic; nothing when the
// platform offers none.
void AppendTraceback(TextSink& sink);

// Appends the operating system's own text for an error number; nothing when
// it has none.
void AppendSystemErrorMessage(TextSink& sink, std::uint32_t system_error);
inline std::string SystemErrorMessage(std::uint32_t system_error) {
  return TextFrom([&](TextSink& sink) { AppendSystemErrorMessage(sink, system_error); });
}

// Closes every unit, finishes the window and ends the process with the code
// as its status (recorded by SetProcessEndStatus before the box was shown).
[[noreturn]] void EndAfterSevereDiagnostic(DiagnosticCode code);

}  // namespace scenreg
