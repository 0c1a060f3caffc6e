#include "runtime/windows/system_library.h"

#include <string>

namespace scenreg {

void RestrictLibrarySearch() {
  // Looked up at run time: systems without the update lack the call, and
  // there every load goes by full path anyway.
  using SetDirectoriesEntry = BOOL(WINAPI*)(DWORD);
  const FARPROC address =
      GetProcAddress(GetModuleHandleA("kernel32.dll"), "SetDefaultDllDirectories");
  if (address)
    reinterpret_cast<SetDirectoriesEntry>(reinterpret_cast<void*>(address))(
        LOAD_LIBRARY_SEARCH_SYSTEM32);
}

void TurnOnRedirectionGuard() {
  // Looked up at run time: only Windows 10 22H2 and later have the policy,
  // and systems before Windows 8 lack the call.
  using SetPolicyEntry = BOOL(WINAPI*)(PROCESS_MITIGATION_POLICY, PVOID, SIZE_T);
  const FARPROC address =
      GetProcAddress(GetModuleHandleA("kernel32.dll"), "SetProcessMitigationPolicy");
  if (!address) return;
  PROCESS_MITIGATION_REDIRECTION_TRUST_POLICY policy{};
  policy.EnforceRedirectionTrust = 1;
  // Refused where the system does not know the policy: the program goes on
  // with its own checks of the files it opens.
  reinterpret_cast<SetPolicyEntry>(reinterpret_cast<void*>(address))(ProcessRedirectionTrustPolicy,
                                                                     &policy, sizeof policy);
}

HMODULE LoadSystemLibrary(const char* file_name) {
  char folder[MAX_PATH];
  const UINT length = GetSystemDirectoryA(folder, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return nullptr;
  const std::string path = std::string(folder, length) + "\\" + file_name;
  // The library's own imports are looked for in its folder first.
  return LoadLibraryExA(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

}  // namespace scenreg
