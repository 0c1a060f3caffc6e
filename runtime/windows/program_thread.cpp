// The program thread, which runs the registration run, and the end of the
// process with the status that reports the run's outcome.
#include <windows.h>

#include <atomic>

#include "runtime/shell_platform.h"
#include "runtime/windows/shell_internal.h"

namespace scenreg {
namespace {

std::atomic<bool> end_status_recorded{false};
std::atomic<std::uint32_t> end_status{0};

// Written before the thread is created.
ProgramRun program_run = nullptr;

// Keeps room on the stack for reporting a stack overflow. Looked up at run
// time: older systems do not have it.
void ReserveStackForOverflowReport() {
  using StackGuaranteeEntry = BOOL(WINAPI*)(PULONG);
  const FARPROC address =
      GetProcAddress(GetModuleHandleA("kernel32.dll"), "SetThreadStackGuarantee");
  if (!address) return;
  ULONG reserve = 64 * 1024;
  reinterpret_cast<StackGuaranteeEntry>(reinterpret_cast<void*>(address))(&reserve);
}

DWORD WINAPI ProgramThread(LPVOID) {
  InitialiseRuntime();
  ReserveStackForOverflowReport();
  program_run();
  // The run never returns; should it, the program stops as after any
  // regular outcome.
  OrderlyStop("", 0, 0, 0, 0);
}

}  // namespace

bool StartProgramThread(ProgramRun run) {
  program_run = run;
  HANDLE thread = CreateThread(nullptr, 0, ProgramThread, nullptr, CREATE_SUSPENDED, nullptr);
  if (!thread) return false;
  // One step below the window thread, so the window keeps answering while
  // the run works.
  SetThreadPriority(thread, THREAD_PRIORITY_BELOW_NORMAL);
  ResumeThread(thread);
  CloseHandle(thread);
  return true;
}

void SetProcessEndStatus(std::uint32_t status) {
  end_status = status;
  end_status_recorded = true;
}

std::uint32_t RecordedProcessEndStatus() {
  return end_status;
}

void EndProcess() {
  ExitProcess(end_status);
}

UINT WindowThreadEndStatus(UINT quit_value) {
  return end_status_recorded ? end_status.load() : quit_value;
}

}  // namespace scenreg
