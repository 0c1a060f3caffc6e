// scenunreg: takes a scenery add-on out of the flight simulator's scenery
// library again, for the add-on's uninstaller. The same shell as scenreg;
// the process ends inside the run.
#include "registration/removal_run.h"
#include "runtime/program_shell.h"

int main() {
  // Before the window exists, so that no close can end the run with 0.
  scenreg::SetCloseStatus(scenreg::kClosedBeforeRemovalStatus);
  scenreg::RunProgramShell(scenreg::RunRemoval);
}
