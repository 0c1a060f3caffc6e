#include "registration/library_scan.h"

#include <algorithm>
#include <string_view>

#include "runtime/record_file.h"
#include "runtime/record_scan.h"

namespace scenreg {
namespace {

constexpr std::string_view kTitleKey = "Title=";
constexpr std::string_view kHeaderWords[] = {"[Area.", "[area.", "[AREA."};

}  // namespace

// Only these three spellings are headers; the simulator writes the second.
bool IsAreaHeader(std::string_view line) {
  for (const std::string_view word : kHeaderWords)
    if (line.starts_with(word)) return true;
  return false;
}

// The same 26 columns the writer's "Title=" record fills, so a section an
// earlier run appended is recognised.
TitleLine MakeTitleLine(const TextField<20>& title) {
  TitleLine title_line;
  AssignText(title_line.span(), kTitleKey);
  AssignText(title_line.span().subspan(kTitleKey.size()), title.view());
  return title_line;
}

// Both sides as 26 blank-padded columns.
bool IsTitleLine(std::string_view line, const TitleLine& title_line) {
  return SameText(line.substr(0, title_line.chars.size()), title_line.view());
}

namespace {

// The number a header carries: the text from column 7 up to the first "]",
// or to the end of the line's 80 columns, read by the integer read, in which
// blanks do not count. Only a number below 1000 counts toward the largest:
// a new number is never above 999, so a larger one cannot meet it.
void RaiseToAreaNumber(std::string_view header, std::int32_t& largest) {
  constexpr std::size_t kNumberColumn = 6;
  constexpr std::size_t kLineColumns = 80;
  std::string_view text = header.substr(0, kLineColumns).substr(kNumberColumn);
  text = text.substr(0, text.find(']'));
  std::int32_t number = 0;
  if (ReadIntegerFromText(text, number, kWithExit) == kIoSuccess && number < 1000)
    largest = std::max(largest, number);
}

}  // namespace

LibraryScan ScanLibrary(const TextField<20>& title, std::int32_t& largest_area_number) {
  OpenUnit(kLibraryUnit, kLibraryFileName, "formatted");
  const TitleLine title_line = MakeTitleLine(title);

  // A line takes part in the tests as its first 80 columns, blank-padded;
  // only columns 1 to 26 are ever looked at. So the only lines that matter
  // begin with a header word or with the trimmed title line, and the rest
  // are passed over inside the read without being copied into a field.
  const std::string_view wanted[] = {kHeaderWords[0], kHeaderWords[1], kHeaderWords[2],
                                     TrimmedText(title_line.view())};
  LibraryScan scan;
  std::string_view line;
  // Any failed read, not only the end of the file, ends the scan: the
  // headers counted so far decide.
  while (ReadRecordStartingWith(kLibraryUnit, wanted, line, kWithExit) == kIoSuccess) {
    if (IsAreaHeader(line)) {
      // Counted before the number is read, whatever the number turns out to
      // be; the counter saturates instead of overflowing on absurd input.
      if (scan.header_count < INT32_MAX) ++scan.header_count;
      RaiseToAreaNumber(line, largest_area_number);
    } else if (IsTitleLine(line, title_line)) {
      scan.already_entered = true;
      break;
    }
  }
  return scan;
}

}  // namespace scenreg
