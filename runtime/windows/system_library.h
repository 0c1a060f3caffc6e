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

// Loads a library by its full path in the system directory; null when it
// cannot be loaded from there.
HMODULE LoadSystemLibrary(const char* file_name);

}  // namespace scenreg
