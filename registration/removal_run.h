// The removal run: takes the add-on's own area sections out of scenery.cfg
// again, for the add-on's uninstaller. Run once by the program shell, like
// the registration; it never returns.
#pragma once

#include <cstdint>

namespace scenreg {

// Next to scenery.cfg: the new library while it is written, the old one
// kept after it was replaced, and the backup of an earlier removal while the
// replace runs. Names no other tool uses.
inline constexpr const char* kNewLibraryFileName = "scenery.cfg.scenunreg-new";
inline constexpr const char* kLibraryBackupFileName = "scenery.cfg.before-scenunreg";
inline constexpr const char* kPreviousBackupFileName = "scenery.cfg.scenunreg-previous";

// The close status of the remover until the library has been replaced, set
// before the shell starts: status 0 must mean that scenery.cfg holds none of
// the add-on's sections, so the uninstaller must not take a close for a
// removal. Distinct from every diagnostic code, from the console events'
// statuses (0 to 2) and from the shell's start failure (1).
inline constexpr std::uint32_t kClosedBeforeRemovalStatus = 3;

[[noreturn]] void RunRemoval();

}  // namespace scenreg
