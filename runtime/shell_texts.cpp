#include "runtime/shell_texts.h"

#include <cinttypes>
#include <cstdio>

namespace scenreg {
namespace {

// The text cut or blank-padded to exactly width characters, as "%-w.ws"
// would print it, without handing the text to printf as a format.
std::string Column(std::string_view text, std::size_t width) {
  std::string column(text.substr(0, width));
  column.resize(width, ' ');
  return column;
}

// "%w.ws": cut to width and right-aligned.
std::string RightColumn(std::string_view text, std::size_t width) {
  const std::string_view cut = text.substr(0, width);
  return std::string(width - cut.size(), ' ') + std::string(cut);
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

std::string TracebackHeader() {
  return Column("Image", 19) + Column("PC", 10) + Column("Routine", 19) + Column("Line", 12) +
         Column("Source", 19) + "\n";
}

std::string TracebackRow(std::string_view image, std::uint64_t program_counter,
                         std::string_view routine, std::string_view line, std::string_view source) {
  char counter[32];
  std::snprintf(counter, sizeof counter, "%8.8" PRIX64, program_counter);
  return Column(image, 17) + "  " + counter + "  " + Column(routine, 17) + "  " +
         RightColumn(line, 10) + "  " + std::string(source) + "\n";
}

}  // namespace scenreg
