// The registration run: the system's own work from start to end, run once by
// the program shell on a thread of its own. It never returns; every outcome
// ends the program.
#pragma once

namespace scenreg {

[[noreturn]] void RunRegistration();

}  // namespace scenreg
