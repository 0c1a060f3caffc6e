#include "registration/registration_run.h"

#include "registration/addon_description.h"
#include "runtime/program_shell.h"
#include "runtime/record_file.h"

namespace scenreg {
namespace {

// The run's values live for the whole process.
AddonDescription description;

void MakeShellSettings() {
  CheckDivisionFlaw();
  std::int32_t locking_mode = 0;
  SetIoLockingMode(locking_mode);
  // The main window at the top left corner, with a work area of 420 x 150.
  std::int32_t selector = MainWindowSelector;
  WindowGeometry geometry{WindowGeometry::kPlaceAndSize, 0, 0, 150, 420};
  SetWindowGeometry(selector, geometry);
  SetExitMode(kCloseAtOnce);
}

}  // namespace

void RunRegistration() {
  MakeShellSettings();
  ReadAddonDescription(description);
  // TODO(integration): the "Welcome" dialog, the library scan and the area
  // entry writer go here, each outcome ending in the stop below.
  OrderlyStop("", 0, 0, 0, 0);
}

}  // namespace scenreg
