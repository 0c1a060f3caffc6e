#include "runtime/shell_texts.h"

#include <cinttypes>
#include <cstdio>

namespace scenreg {
namespace {

// The text cut or blank-padded to exactly width characters, as "%-w.ws"
// would print it, without handing the text to printf as a format.
void AppendColumn(TextSink& sink, std::string_view text, std::size_t width) {
  const std::string_view cut = text.substr(0, width);
  AppendText(sink, cut);
  for (std::size_t blank = cut.size(); blank < width; ++blank) AppendText(sink, " ");
}

// "%w.ws": cut to width and right-aligned.
void AppendRightColumn(TextSink& sink, std::string_view text, std::size_t width) {
  const std::string_view cut = text.substr(0, width);
  for (std::size_t blank = cut.size(); blank < width; ++blank) AppendText(sink, " ");
  AppendText(sink, cut);
}

}  // namespace

std::string_view StatusText(StatusState state) {
  switch (state) {
    case kPaused:
      return "Paused";
    case kFinished:
      return "Finished";
    default:
      return "Running";
  }
}

std::string CaptionFromModulePath(std::string_view module_path) {
  const std::size_t folder_end = module_path.find_last_of("\\/:");
  std::string_view name =
      folder_end == std::string_view::npos ? module_path : module_path.substr(folder_end + 1);
  const std::size_t dot = name.rfind('.');
  if (dot != std::string_view::npos) name = name.substr(0, dot);
  if (name.empty()) return std::string(kDefaultCaption);
  return std::string(name);
}

std::string ExitPromptText(std::int32_t status) {
  return "Program Terminated with exit code " + std::to_string(status) + "\nExit Window?";
}

void AppendTracebackHeader(TextSink& sink) {
  AppendColumn(sink, "Image", 19);
  AppendColumn(sink, "PC", 10);
  AppendColumn(sink, "Routine", 19);
  AppendColumn(sink, "Line", 12);
  AppendColumn(sink, "Source", 19);
  AppendText(sink, "\n");
}

void AppendTracebackRow(TextSink& sink, std::string_view image, std::uint64_t program_counter,
                        std::string_view routine, std::string_view line, std::string_view source) {
  char counter[32];
  std::snprintf(counter, sizeof counter, "%8.8" PRIX64, program_counter);
  AppendColumn(sink, image, 17);
  AppendText(sink, "  ");
  AppendText(sink, counter);
  AppendText(sink, "  ");
  AppendColumn(sink, routine, 17);
  AppendText(sink, "  ");
  AppendRightColumn(sink, line, 10);
  AppendText(sink, "  ");
  AppendText(sink, source);
  AppendText(sink, "\n");
}

}  // namespace scenreg
