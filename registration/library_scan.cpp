#include "registration/library_scan.h"

#include <cstring>
#include <string_view>

#include "runtime/record_file.h"

namespace scenreg {
namespace {

constexpr std::size_t kLineLength = 80;
constexpr std::size_t kTitleLineLength = 26;
constexpr std::string_view kTitleKey = "Title=";

// Only these three spellings are headers; the simulator writes the second.
// The line is a whole field, so its first six bytes are always there.
bool IsAreaHeader(const TextField<kLineLength>& line) {
  const char* word = line.chars.data();
  if (word[0] != '[') return false;  // most lines, at the cost of one byte
  return std::memcmp(word, "[Area.", 6) == 0 || std::memcmp(word, "[area.", 6) == 0 ||
         std::memcmp(word, "[AREA.", 6) == 0;
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

  TextField<kLineLength> line;
  // Any failed read, not only the end of the file, ends the scan: the
  // headers counted so far decide.
  while (ReadField(kLibraryUnit, line.span(), kWithExit) == kIoSuccess) {
    const std::string_view text = line.view();
    if (IsAreaHeader(line)) {
      // Counted before the number is read, whatever the number turns out to
      // be; the counter saturates instead of overflowing on absurd input.
      if (scan.header_count < INT32_MAX) ++scan.header_count;
      if (ReadIntegerFromText(text.substr(6, 3), last_area_number, kWithExit) != kIoSuccess) {
        last_area_number = 0;
        continue;
      }
    }
    // Both sides are 26 blank-padded columns, so they are equal exactly when
    // their trimmed texts are. The first byte alone turns most lines away.
    if (line.chars[0] == title_line.chars[0] &&
        std::memcmp(line.chars.data(), title_line.chars.data(), kTitleLineLength) == 0) {
      scan.already_entered = true;
      break;
    }
  }
  return scan;
}

}  // namespace scenreg
