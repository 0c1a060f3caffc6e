#include "registration/registration_run.h"

#include "dialogs/dialog_service.h"
#include "registration/addon_description.h"
#include "registration/area_entry_writer.h"
#include "registration/library_scan.h"
#include "runtime/program_shell.h"
#include "runtime/record_file.h"

namespace scenreg {
namespace {

// A library with fewer area headers does not look like the simulator's own.
constexpr std::int32_t kRecognisedHeaderCount = 12;

// The run's values live for the whole process; one dialog record serves
// both boxes in turn.
AddonDescription description;
std::int32_t largest_area_number = 0;
LibraryScan scan;
DialogRecord dialog;

// Shows "Welcome" with the add-on's text and returns the button that
// closed it, or -1 when the box could not be shown.
std::int32_t AskWelcome() {
  std::int32_t template_id = kWelcomeDialog;
  LoadDialog(template_id, dialog);
  std::int32_t control_id = kWelcomeTextControl;
  SetControlText(dialog, control_id, description.welcome_text.chars.data(),
                 static_cast<std::int32_t>(description.welcome_text.chars.size()));
  return RunDialogModal(dialog);
}

// Tells the user that the library was left alone; how it was closed does
// not matter.
void ShowSorry() {
  std::int32_t template_id = kSorryDialog;
  LoadDialog(template_id, dialog);
  RunDialogModal(dialog);
}

// Every regular outcome ends here: files closed, window gone, status 0.
[[noreturn]] void EndRun() {
  OrderlyStop("", 0, 0, 0, 0);
}

}  // namespace

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

void RunRegistration() {
  MakeShellSettings();

  // No question when the welcome text is missing or begins with a blank;
  // only "No thanks" (or Escape, or closing the box) declines. A box that
  // cannot be shown is no answer of the user's, who started the installer
  // to enter the add-on: it goes on as without a welcome text.
  const bool has_welcome_text = ReadAddonDescription(description);
  if (has_welcome_text && description.welcome_text.chars[0] != ' ' &&
      AskWelcome() == kNoThanksButton)
    EndRun();

  scan = ScanLibrary(description.title, largest_area_number);
  if (scan.already_entered) EndRun();
  if (scan.header_count < kRecognisedHeaderCount) {
    ShowSorry();
    EndRun();
  }

  WriteAreaEntry(scan.header_count, largest_area_number, description.title, description.local_path);
  EndRun();
}

}  // namespace scenreg
