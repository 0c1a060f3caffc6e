// The platform side of diagnostics: how a text reaches the user and how a
// severe diagnostic ends the process. One implementation per platform.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "runtime/diagnostics.h"

namespace scenreg {

// Shows a diagnostic text and returns when the user has dismissed it.
void ShowDiagnostic(std::string_view text);

// The traceback table appended to a severe diagnostic; empty when the
// platform offers none.
std::string TracebackText();

// The operating system's own text for an error number; empty when it has none.
std::string SystemErrorMessage(std::uint32_t system_error);

// Closes every unit, finishes the window and ends the process with the code
// as its status (recorded by SetProcessEndStatus before the box was shown).
[[noreturn]] void EndAfterSevereDiagnostic(DiagnosticCode code);

}  // namespace scenreg
