// The registration run: the system's own work from start to end, run once by
// the program shell on a thread of its own. It never returns; every outcome
// ends the program.
#pragma once

namespace scenreg {

[[noreturn]] void RunRegistration();

// The shell settings both programs make before their own work: the division
// check, locking mode 0, the main window at the top left corner with a work
// area of 420 x 150, and closing at once at the end.
void MakeShellSettings();

}  // namespace scenreg
