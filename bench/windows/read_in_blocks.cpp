// The yardstick of the library benchmark: reads the file named on its
// command line to its end in 8192-byte ReadFile calls, the block size the
// scan starts with, and does nothing else.
#include <windows.h>

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  HANDLE file = CreateFileA(argv[1], GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 2;
  static char block[8192];
  DWORD count = 0;
  BOOL read = FALSE;
  while ((read = ReadFile(file, block, sizeof block, &count, nullptr)) && count > 0) {
  }
  CloseHandle(file);
  return read ? 0 : 1;
}
