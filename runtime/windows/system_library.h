// Libraries from the system directory only. Both programs run inside
// installers, often elevated, in a folder that other accounts may write to:
// a library of a system name placed there must never be loaded.
#pragma once

#include <windows.h>

namespace scenreg {

// Restricts the process's library search to the system directory, where the
// system offers that (Windows 7 with KB2533623 and later). Called first at
// start-up, before any window or library.
void RestrictLibrarySearch();

// Has the system refuse junctions and symbolic links that an account
// without administrator rights made, where it offers that (Windows 10 22H2
// and later); elsewhere nothing changes. Hard links stay possible, and the
// file layer refuses them itself.
void TurnOnRedirectionGuard();

// Loads a library by its full path in the system directory; null when it
// cannot be loaded from there.
HMODULE LoadSystemLibrary(const char* file_name);

}  // namespace scenreg
