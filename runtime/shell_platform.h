// The platform side of the program shell: what the portable settings and
// the orderly stop need from the window layer and the process. One
// implementation per platform.
#pragma once

#include <cstdint>

#include "runtime/program_shell.h"

namespace scenreg {

// Applies a valid request to the main window; false when there is no main
// window yet.
bool ApplyMainWindowGeometry(const WindowGeometry& geometry);

// The window side of every end that the program thread brings about: the
// status text becomes "Finished" and, by the exit mode, the user is asked,
// the window is kept, or a close request is posted.
void FinishWindow(std::int32_t status);

// Records the status the process is about to end with, before the window is
// finished: should the window thread handle the close request first, it ends
// the process with this status too, so a failure never ends as success.
void SetProcessEndStatus(std::uint32_t status);

std::uint32_t RecordedProcessEndStatus();

// Ends the process with the recorded status (0 when none was recorded).
[[noreturn]] void EndProcess();

}  // namespace scenreg
