// The program shell on POSIX, where the system is only built for its tests:
// there is no window, so window requests are accepted and do nothing, and
// the run is called on the calling thread.
#include <atomic>

#include "runtime/posix/immediate_exit.h"
#include "runtime/shell_platform.h"

namespace scenreg {
namespace {

std::atomic<std::uint32_t> end_status{0};

}  // namespace

bool ApplyMainWindowGeometry(const WindowGeometry& /*geometry*/) {
  return true;
}

void FinishWindow(std::int32_t /*status*/) {}

void SetProcessEndStatus(std::uint32_t status) {
  end_status = status;
}

std::uint32_t RecordedProcessEndStatus() {
  return end_status;
}

void EndProcess() {
  // A POSIX status holds the low byte only.
  ExitImmediately(static_cast<int>(end_status & 0xFFu));
}

void RunProgramShell(ProgramRun run) {
  run();
  ExitImmediately(0);
}

}  // namespace scenreg
