#include "registration/addon_sections.h"

#include <cctype>

namespace scenreg {
namespace {

// " \r\n \r\n" as the last six bytes taken: the two records of one blank
// each, with the CR LF that every record gets, that the registration writes
// before its header. The first blank may end a line that had no line end,
// a header's too: then the byte before the pair is no LF.
constexpr std::uint64_t kBlankPair = 0x200D0A200D0Au;
constexpr std::uint64_t kSixBytes = 0xFFFFFFFFFFFFu;
constexpr int kPairSize = 6;
constexpr char kEndMark = 0x1A;

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

std::string_view WithoutBlanks(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

bool SameIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

// The simulator reads keys without regard to case or the blanks around
// them, so " local =" is a folder line to it as much as "Local=" is.
bool IsFolderLine(std::string_view record, std::string_view& value) {
  const std::size_t equals = record.find('=');
  if (equals == std::string_view::npos ||
      !SameIgnoringCase(WithoutBlanks(record.substr(0, equals)), "local"))
    return false;
  value = record.substr(equals + 1);
  return true;
}

// The header as the registration writes it: the number in three columns.
bool IsWrittenHeader(std::string_view record) {
  if (record.size() != 10 || !record.starts_with("[Area.") || record.back() != ']') return false;
  std::size_t i = 6;
  while (i < 8 && record[i] == ' ') ++i;
  for (; i < 9; ++i)
    if (record[i] < '0' || record[i] > '9') return false;
  return true;
}

void StartLine(AddonSectionSearch& search) {
  search.line_begin = search.offset;
  search.line_start_size = 0;
  search.text_after_start = false;
  search.pending_cr = false;
  search.first_text_past_start = -1;
  search.after_blank_pair = (search.recent_bytes & kSixBytes) == kBlankPair;
  search.blank_pair_joined = search.after_blank_pair && search.offset > kPairSize &&
                             (search.recent_bytes >> 8 * kPairSize & 0xFF) != '\n';
}

// Where the section of the boundary line being read begins, and where the
// one before it ends: the blank lines before a header belong to it.
std::uint64_t BoundaryStart(const AddonSectionSearch& search) {
  return search.after_blank_pair ? search.line_begin - kPairSize : search.line_begin;
}

// blank_pair_next: the section's last two lines are those before the next
// header. followed: a line follows the section.
void EndSection(AddonSectionSearch& search, std::uint64_t end, bool blank_pair_next,
                bool followed) {
  using Killed = AddonSectionSearch::Killed;
  if (!search.in_area) return;
  const bool killed =
      search.killed == Killed::kTitle || (blank_pair_next && search.killed == Killed::kTwoBlanks);
  if (!(search.title_seen && search.local_seen) && !killed) return;
  const std::uint64_t begin = search.section_begin;
  std::vector<ByteRange>& ranges = search.ranges;
  // The line that lost its line end to the first blank gets it back, unless
  // it is the library's last line again or goes itself with the section
  // before.
  if (search.section_joined && followed && (ranges.empty() || ranges.back().end != begin)) {
    ranges.push_back({begin, begin + 1});
    ranges.push_back({begin + 3, end});
  } else if (!ranges.empty() && ranges.back().end == begin) {
    ranges.back().end = end;
  } else {
    ranges.push_back({begin, end});
  }
}

// After the title line of a stopped registration, nothing but line ends, or
// the two blank lines of the next header.
AddonSectionSearch::Killed NextKilledState(AddonSectionSearch::Killed state,
                                           std::string_view record, bool whole) {
  using Killed = AddonSectionSearch::Killed;
  const bool empty = whole && record.empty();
  const bool one_blank = whole && record == " ";
  switch (state) {
    case Killed::kTitle:
      return empty ? Killed::kTitle : one_blank ? Killed::kOneBlank : Killed::kNo;
    case Killed::kOneBlank:
      return one_blank ? Killed::kTwoBlanks : Killed::kNo;
    default:
      return Killed::kNo;
  }
}

// A line that ends the section before it: a header, even an indented one,
// or the end mark, after which the simulator reads nothing.
bool IsBoundary(const AddonSectionSearch& search, std::string_view record, bool whole) {
  if (whole && record.size() == 1 && record[0] == kEndMark) return true;
  for (const char c : record)
    if (!IsBlank(c)) return c == '[';
  return !whole && search.first_text_past_start == '[';
}

// The line just read, as its record: without the LF and one CR before it.
void EndLine(AddonSectionSearch& search) {
  using Killed = AddonSectionSearch::Killed;
  std::size_t size = search.line_start_size;
  const bool whole = search.offset - search.line_begin <= kLineStartKept;
  if (whole && size > 0 && search.line_start[size - 1] == '\r') --size;
  const std::string_view record(search.line_start.data(), size);

  if (IsBoundary(search, record, whole)) {
    const std::uint64_t start = BoundaryStart(search);
    EndSection(search, start, search.after_blank_pair, true);
    // Only a header in the first column, as the registration counts them,
    // starts an area section.
    search.in_area = IsAreaHeader(record);
    search.title_seen = search.local_seen = false;
    search.killed =
        search.after_blank_pair && IsWrittenHeader(record) ? Killed::kHeader : Killed::kNo;
    search.section_begin = start;
    search.section_joined = search.after_blank_pair && search.blank_pair_joined;
    return;
  }
  if (!search.in_area) return;
  if (IsTitleLine(record, search.title_line)) search.title_seen = true;
  if (search.killed == Killed::kHeader) {
    const bool written_title = whole && record == TrimmedText(search.title_line.view());
    search.killed = written_title ? Killed::kTitle : Killed::kNo;
  } else {
    search.killed = NextKilledState(search.killed, record, whole);
  }
  std::string_view value;
  // Text after the kept start makes the value longer than any folder.
  if (IsFolderLine(record, value) && !search.text_after_start &&
      SameIgnoringCase(WithoutBlanks(value), search.local_path))
    search.local_seen = true;
}

}  // namespace

void StartAddonSectionSearch(AddonSectionSearch& search, const TextField<20>& title,
                             std::string_view local_path) {
  search = AddonSectionSearch{};
  search.title_line = MakeTitleLine(title);
  search.local_path = WithoutBlanks(local_path);
  StartLine(search);
}

void TakeLibraryBytes(AddonSectionSearch& search, std::string_view bytes) {
  for (const char byte : bytes) {
    if (byte == '\n') {
      EndLine(search);
    } else if (search.line_start_size < kLineStartKept) {
      search.line_start[search.line_start_size++] = byte;
    } else {
      // Past the kept start only blanks may follow, and a CR before the LF.
      if (search.pending_cr || (byte != ' ' && byte != '\r')) search.text_after_start = true;
      search.pending_cr = byte == '\r';
      if (search.first_text_past_start < 0 && !IsBlank(byte))
        search.first_text_past_start = static_cast<unsigned char>(byte);
    }
    search.recent_bytes = search.recent_bytes << 8 | static_cast<unsigned char>(byte);
    ++search.offset;
    if (byte == '\n') StartLine(search);
  }
}

void EndAddonSectionSearch(AddonSectionSearch& search) {
  // A last line without LF is a line all the same.
  if (search.offset > search.line_begin) EndLine(search);
  EndSection(search, search.offset, false, false);
}

}  // namespace scenreg
