// The texts the program shell shows: its caption, the status bar's states,
// the exit prompt and the traceback table.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "runtime/diagnostics.h"

namespace scenreg {

// Used when the program's own file name cannot be had.
inline constexpr std::string_view kDefaultCaption = "scenreg";

// The profile key of the flag that starts the main window maximized.
inline constexpr std::string_view kMaximizedKey = "Maximized";

enum StatusState { kRunning = 0, kPaused = 1, kFinished = 2 };
std::string_view StatusText(StatusState state);

// The program's file name without drive, folder and extension; the default
// caption when nothing is left.
std::string CaptionFromModulePath(std::string_view module_path);

// "Program Terminated with exit code <status>\nExit Window?"
std::string ExitPromptText(std::int32_t status);

// The traceback's column titles, one line.
void AppendTracebackHeader(TextSink& sink);
inline std::string TracebackHeader() {
  return TextFrom([](TextSink& sink) { AppendTracebackHeader(sink); });
}

// One frame of the traceback: image file name, program counter, routine,
// line and source file. The counter shows at least eight upper-case hex
// digits; a 64-bit one keeps all of its digits.
void AppendTracebackRow(TextSink& sink, std::string_view image, std::uint64_t program_counter,
                        std::string_view routine, std::string_view line, std::string_view source);
inline std::string TracebackRow(std::string_view image, std::uint64_t program_counter,
                                std::string_view routine, std::string_view line,
                                std::string_view source) {
  return TextFrom([&](TextSink& sink) {
    AppendTracebackRow(sink, image, program_counter, routine, line, source);
  });
}

inline constexpr int kMaxTracebackFrames = 20;

}  // namespace scenreg
