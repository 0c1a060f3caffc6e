// The settings the run makes before its own work, and the orderly stop.
#include "runtime/program_shell.h"

#include <atomic>
#include <mutex>

#include "runtime/diagnostics.h"
#include "runtime/division_check.h"
#include "runtime/record_file.h"
#include "runtime/shell_platform.h"

namespace scenreg {
namespace {

// Read by the program thread at the end and written by it through
// SetExitMode; the window thread sets the start value.
std::atomic<std::int32_t> exit_mode{kAskUser};

std::mutex stop_lock;
bool stop_begun = false;

}  // namespace

void CheckDivisionFlaw() {
  // volatile keeps the compiler from folding the division: the point is to
  // run it on this processor.
  volatile double dividend = 4195835.0;
  volatile double divisor = 3145727.0;
  if (DivisionRemainder(dividend, divisor) != 0.0)
    ReportDiagnostic(MakeDiagnosticCode(kSevere, 201), {});
}

bool IsValidWindowRequest(std::int32_t selector, std::int16_t request) {
  return selector == MainWindowSelector && request >= WindowGeometry::kMinimize &&
         request <= WindowGeometry::kPlaceAndSize;
}

OuterSize OuterWindowSize(const WindowGeometry& geometry, const FrameMetrics& metrics,
                          int status_bar_height) {
  return {geometry.width + 2 * metrics.frame_width, geometry.height + 2 * metrics.frame_height +
                                                        metrics.caption_height +
                                                        metrics.menu_height + status_bar_height};
}

std::int32_t SetWindowGeometry(std::int32_t& selector, WindowGeometry& geometry) {
  if (!IsValidWindowRequest(selector, geometry.request)) return -1;
  return ApplyMainWindowGeometry(geometry) ? 0 : -1;
}

std::int32_t SetExitMode(std::int32_t mode) {
  if (mode < kAskUser || mode > kKeepOpen) return -1;
  exit_mode = mode;
  return 0;
}

std::int32_t CurrentExitMode() {
  return exit_mode;
}

// The close status is the recorded end status: the window thread ends the
// process with it after a close.
void SetCloseStatus(std::uint32_t status) {
  SetProcessEndStatus(status);
}

std::uint32_t CurrentCloseStatus() {
  return RecordedProcessEndStatus();
}

void OrderlyStop(const char* /*text*/, std::int32_t /*length*/, std::int32_t /*options*/,
                 std::int32_t status, std::int32_t status_given) {
  stop_lock.lock();
  if (stop_begun) {
    // Another thread is already stopping the program.
    stop_lock.unlock();
    SetProcessEndStatus(0);
    EndProcess();
  }
  stop_begun = true;
  const std::int32_t effective_status = status_given == 1 ? status : 0;
  CloseAllUnitsAtEnd();
  stop_lock.unlock();
  SetProcessEndStatus(0);
  FinishWindow(effective_status);
  EndProcess();
}

}  // namespace scenreg
