// The scan of the simulator's scenery library, scenery.cfg: one forward pass
// that counts the area headers, keeps the largest number they carry and
// stops at the add-on's own "Title=" line.
#pragma once

#include <cstdint>
#include <string_view>

#include "runtime/text_field.h"

namespace scenreg {

inline constexpr int kLibraryUnit = 1;
inline constexpr const char* kLibraryFileName = "scenery.cfg";

// The two line tests of the scan, also used to find the add-on's sections
// again. A line is one record without its line end.

// "[Area.", "[area." or "[AREA." at the very start of the line.
bool IsAreaHeader(std::string_view line);

// The add-on's title line: "Title=" followed by the title, in 26 columns.
using TitleLine = TextField<26>;
TitleLine MakeTitleLine(const TextField<20>& title);

// The line's first 26 columns, trailing blanks aside, are the title line.
bool IsTitleLine(std::string_view line, const TitleLine& title_line);

struct LibraryScan {
  // The scan stopped at a "Title=" line of the add-on; the lines after it
  // were not read.
  bool already_entered = false;
  // Area header lines read, including one whose number could not be read.
  std::int32_t header_count = 0;
};

// Opens scenery.cfg as the library unit (creating it when missing; a failed
// open ends the program) and reads it to its end or to the add-on's title
// line. The unit is left open on both results. largest_area_number is raised
// to the largest number below 1000 that a header read carries, in whatever
// order the headers come; a header whose number is unreadable adds nothing.
// It is not reset here, so a library without headers leaves the caller's
// value as it was.
LibraryScan ScanLibrary(const TextField<20>& title, std::int32_t& largest_area_number);

}  // namespace scenreg
