// The removal run: takes the add-on's own area sections out of scenery.cfg
// again, for the add-on's uninstaller. Run once by the program shell, like
// the registration; it never returns.
#pragma once

namespace scenreg {

// Next to scenery.cfg: the new library while it is written, the old one
// kept after it was replaced, and the backup of an earlier removal while the
// replace runs. Names no other tool uses.
inline constexpr const char* kNewLibraryFileName = "scenery.cfg.scenunreg-new";
inline constexpr const char* kLibraryBackupFileName = "scenery.cfg.before-scenunreg";
inline constexpr const char* kPreviousBackupFileName = "scenery.cfg.scenunreg-previous";

[[noreturn]] void RunRemoval();

}  // namespace scenreg
