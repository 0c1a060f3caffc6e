// Finding the add-on's own area sections in scenery.cfg again, to take them
// out: the byte ranges to drop, found in one forward pass over the file's
// bytes in pieces of any size, keeping no more than one line's start.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "registration/library_scan.h"
#include "runtime/text_field.h"

namespace scenreg {

// Bytes [begin, end) of the file.
struct ByteRange {
  std::uint64_t begin = 0;
  std::uint64_t end = 0;
  bool operator==(const ByteRange&) const = default;
};

// What is kept of the line being read: its start, enough for every test.
inline constexpr std::size_t kLineStartKept = 128;

struct AddonSectionSearch {
  TitleLine title_line;
  std::string_view local_path;  // without the blanks around it

  std::uint64_t offset = 0;  // bytes taken so far
  // The line being read.
  std::uint64_t line_begin = 0;
  std::array<char, kLineStartKept> line_start;
  std::size_t line_start_size = 0;
  bool text_after_start = false;  // a byte past the kept start is no blank
  bool pending_cr = false;        // past the start: a CR that may end the line
  // The first byte past the kept start that is no blank; -1: none yet.
  int first_text_past_start = -1;
  // The last bytes taken, the newest in the lowest byte.
  std::uint64_t recent_bytes = 0;
  // The line follows the two lines of one blank each that the registration
  // writes before its header; the first of them may be the tail of a line
  // that had no line end.
  bool after_blank_pair = false;
  bool blank_pair_joined = false;

  // The area section being read.
  bool in_area = false;
  bool title_seen = false;
  bool local_seen = false;  // a folder line with the add-on's folder
  // How far the section is what a registration killed after its title
  // record leaves: the blank pair, its header, its title line, empty lines;
  // then perhaps the blank lines of the next header.
  enum class Killed : std::uint8_t {
    kNo,
    kHeader,
    kTitle,
    kOneBlank,
    kTwoBlanks
  } killed = Killed::kNo;
  std::uint64_t section_begin = 0;
  // The section's blank pair begins with the tail of the line before.
  bool section_joined = false;

  std::vector<ByteRange> ranges;
};

// Starts a search for the sections with the add-on's title line whose
// folder line ("Local=", read as the simulator reads keys) holds the folder
// (without regard to case), and for those that are exactly what a
// registration stopped after its title record left. The folder's text must
// outlive the search.
void StartAddonSectionSearch(AddonSectionSearch& search, const TextField<20>& title,
                             std::string_view local_path);

// Takes the file's next bytes.
void TakeLibraryBytes(AddonSectionSearch& search, std::string_view bytes);

// Ends the search at the end of the file; search.ranges then holds the
// ranges to drop, in file order and apart from each other.
void EndAddonSectionSearch(AddonSectionSearch& search);

}  // namespace scenreg
