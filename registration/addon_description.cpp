#include "registration/addon_description.h"

#include "runtime/record_file.h"

namespace scenreg {

bool ReadAddonDescription(AddonDescription& description, MissingDescription missing) {
  if (missing == MissingDescription::kFail)
    OpenExistingUnit(kDescriptionUnit, kDescriptionFileName);
  else
    OpenUnit(kDescriptionUnit, kDescriptionFileName);
  ReadField(kDescriptionUnit, description.title.span());
  ReadField(kDescriptionUnit, description.local_path.span());
  if (ReadField(kDescriptionUnit, description.welcome_text.span(), kWithExit) != kIoSuccess)
    return false;
  CloseUnit(kDescriptionUnit);
  return true;
}

}  // namespace scenreg
