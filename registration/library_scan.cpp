#include "registration/library_scan.h"

#include <string_view>

#include "runtime/record_file.h"

namespace scenreg {
namespace {

constexpr std::size_t kLineLength = 80;
constexpr std::size_t kTitleLineLength = 26;
constexpr std::string_view kTitleKey = "Title=";

// Only these three spellings are headers; the simulator writes the second.
bool IsAreaHeader(std::string_view line) {
  const std::string_view word = line.substr(0, 6);
  return word == "[Area." || word == "[area." || word == "[AREA.";
}

}  // namespace

LibraryScan ScanLibrary(const TextField<20>& title, std::int32_t& last_area_number) {
  OpenUnit(kLibraryUnit, kLibraryFileName, "formatted");
  LibraryScan scan;

  // The same 26 columns the writer's "Title=" record fills, so a section an
  // earlier run appended is recognised.
  TextField<kTitleLineLength> title_line;
  AssignText(title_line.span(), kTitleKey);
  AssignText(title_line.span().subspan(kTitleKey.size()), title.view());
  const std::string_view wanted = TrimmedText(title_line.view());

  TextField<kLineLength> line;
  // Any failed read, not only the end of the file, ends the scan: the
  // headers counted so far decide.
  while (ReadField(kLibraryUnit, line.span(), kWithExit) == kIoSuccess) {
    const std::string_view text = line.view();
    if (IsAreaHeader(text)) {
      // Counted before the number is read, whatever the number turns out to
      // be; the counter saturates instead of overflowing on absurd input.
      if (scan.header_count < INT32_MAX) ++scan.header_count;
      if (ReadIntegerFromText(text.substr(6, 3), last_area_number, kWithExit) != kIoSuccess) {
        last_area_number = 0;
        continue;
      }
    }
    if (TrimmedText(text.substr(0, kTitleLineLength)) == wanted) {
      scan.already_entered = true;
      break;
    }
  }
  return scan;
}

}  // namespace scenreg
