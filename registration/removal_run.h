// The removal run: takes the add-on's own area sections out of scenery.cfg
// again, for the add-on's uninstaller. Run once by the program shell, like
// the registration; it never returns.
#pragma once

namespace scenreg {

// Next to scenery.cfg: the new library while it is written, and the old one
// kept after it was replaced. Names no other tool uses.
inline constexpr const char* kNewLibraryFileName = "scenery.cfg.scenunreg-new";
inline constexpr const char* kLibraryBackupFileName = "scenery.cfg.before-scenunreg";

[[noreturn]] void RunRemoval();

}  // namespace scenreg
