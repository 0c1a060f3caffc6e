// scenreg: enters a scenery add-on in the flight simulator's scenery
// library. The shell brings up the main window and runs the registration on
// a thread of its own; the process ends inside it.
#include "registration/registration_run.h"
#include "runtime/program_shell.h"

int main() {
  scenreg::RunProgramShell(scenreg::RunRegistration);
}
