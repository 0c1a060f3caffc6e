/* A stand-in for a system library, as anyone who may write to the simulator
   folder could plant it there: when loaded, it leaves an empty file named
   after itself plus ".loaded" beside itself, and does nothing else. */
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID reserved) {
  (void)reserved;
  if (reason == DLL_PROCESS_ATTACH) {
    char path[MAX_PATH + 8];
    const DWORD length = GetModuleFileNameA(self, path, MAX_PATH);
    if (length > 0 && length < MAX_PATH) {
      lstrcpyA(path + length, ".loaded");
      const HANDLE file =
          CreateFileA(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
      if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    }
  }
  return TRUE;
}
