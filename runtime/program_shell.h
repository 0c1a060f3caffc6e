// The program shell as the run sees it: the settings it makes before its
// own work, and the orderly stop that ends every regular outcome. The shell
// itself (main window, program thread, message loop) is the platform's; it
// takes the run as a plain function and knows nothing of its content.
#pragma once

#include <cstdint>
#include <string_view>

namespace scenreg {

// Names the main window; any other selector would name a unit's child
// window, which this program never has.
inline constexpr std::int32_t MainWindowSelector = INT32_MIN;  // 0x80000000

struct WindowGeometry {
  enum Request : std::int16_t { kMinimize = 1, kMaximize = 2, kRestore = 3, kPlaceAndSize = 4 };
  std::int16_t request = 0;
  std::int16_t x = 0;       // left edge of the window, screen pixels
  std::int16_t y = 0;       // top edge of the window, screen pixels
  std::int16_t height = 0;  // of the work area
  std::int16_t width = 0;   // of the work area
};

// What the window does when the run ends.
enum ExitMode : std::int32_t { kAskUser = 1, kCloseAtOnce = 2, kKeepOpen = 3 };

// Raises the severe diagnostic 201 on a processor whose division is flawed.
void CheckDivisionFlaw();

// Places, sizes, minimizes, maximizes or restores the main window. Returns 0,
// or -1 for an unknown request or selector; nothing changes then.
std::int32_t SetWindowGeometry(std::int32_t& selector, WindowGeometry& geometry);

// Returns 0 when the mode is one of ExitMode, else -1 and the mode stays.
std::int32_t SetExitMode(std::int32_t mode);
std::int32_t CurrentExitMode();

// The status the process ends with when the main window is closed before
// the run has ended: 0 at the start. A program whose every end but success
// must be told apart sets its own before the shell starts, and 0 once its
// work is done. While a diagnostic box shows, a close ends with the
// diagnostic's code instead.
void SetCloseStatus(std::uint32_t status);
std::uint32_t CurrentCloseStatus();

// Closes every unit, finishes the window and ends the process. The run
// passes an empty text, no options, status 0 and status_given 0; a text or
// the announce option is not supported and is ignored.
[[noreturn]] void OrderlyStop(const char* text, std::int32_t length, std::int32_t options,
                              std::int32_t status, std::int32_t status_given);

// Starts the program: main window, then the run on a thread of its own. The
// process ends inside, when the run ends or the window is closed.
using ProgramRun = void (*)();
[[noreturn]] void RunProgramShell(ProgramRun run);

// The outer size of the main window for a work area of width x height.
struct FrameMetrics {
  int frame_width;     // one side's sizing border
  int frame_height;    // top or bottom sizing border
  int caption_height;  // also the status bar's height
  int menu_height;
};
struct OuterSize {
  int width;
  int height;
};
OuterSize OuterWindowSize(const WindowGeometry& geometry, const FrameMetrics& metrics,
                          int status_bar_height);

bool IsValidWindowRequest(std::int32_t selector, std::int16_t request);

}  // namespace scenreg
