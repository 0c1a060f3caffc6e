#include "registration/registration_run.h"

#include "registration/addon_description.h"
#include "registration/area_entry_writer.h"
#include "registration/library_scan.h"
#include "runtime/program_shell.h"
#include "runtime/record_file.h"

namespace scenreg {
namespace {

// A library with fewer area headers does not look like the simulator's own.
constexpr std::int32_t kRecognisedHeaderCount = 12;

// The run's values live for the whole process.
AddonDescription description;
std::int32_t last_area_number = 0;

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

// Every regular outcome ends here: files closed, window gone, status 0.
[[noreturn]] void EndRun() {
  OrderlyStop("", 0, 0, 0, 0);
}

}  // namespace

void RunRegistration() {
  MakeShellSettings();
  ReadAddonDescription(description);
  // Not built yet: the "Welcome" question before the library is touched.

  const LibraryScan scan = ScanLibrary(description.title, last_area_number);
  if (scan.already_entered) EndRun();
  // Not built yet: the "Sorry" box that explains this refusal.
  if (scan.header_count < kRecognisedHeaderCount) EndRun();

  WriteAreaEntry(scan.header_count, last_area_number, description.title, description.local_path);
  EndRun();
}

}  // namespace scenreg
