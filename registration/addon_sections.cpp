#include "registration/addon_sections.h"

#include <cctype>

namespace scenreg {
namespace {

constexpr std::string_view kLocalKey = "Local=";

// " \r\n \r\n" as the last six bytes taken: the two records of one blank
// each, with the CR LF that every record gets, that the registration writes
// before its header. The first blank may end a line that had no line end.
constexpr std::uint64_t kBlankPair = 0x200D0A200D0Au;
constexpr std::uint64_t kSixBytes = 0xFFFFFFFFFFFFu;

// Folders are Windows paths: the case of a letter does not matter.
bool SameFolder(std::string_view value, std::string_view folder) {
  value = TrimmedText(value);
  if (value.size() != folder.size()) return false;
  for (std::size_t i = 0; i < value.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(value[i])) !=
        std::tolower(static_cast<unsigned char>(folder[i])))
      return false;
  return true;
}

void StartLine(AddonSectionSearch& search) {
  search.line_begin = search.offset;
  search.line_start_size = 0;
  search.text_after_start = false;
  search.pending_cr = false;
  // The blank lines count only after the last header line, so that they are
  // never part of a header and two ranges never overlap.
  search.after_blank_pair =
      (search.recent_bytes & kSixBytes) == kBlankPair && search.offset >= search.header_end + 6;
}

// Where the section of the header line being read begins, and where the one
// before it ends: the blank lines before a header belong to it.
std::uint64_t HeaderStart(const AddonSectionSearch& search) {
  return search.after_blank_pair ? search.line_begin - 6 : search.line_begin;
}

void EndSection(AddonSectionSearch& search, std::uint64_t end) {
  // A section without any folder points nowhere; with the add-on's title it
  // can only be the beginning of the add-on's own.
  if (search.in_area && search.title_seen && (search.local_seen || !search.any_local))
    search.ranges.push_back({search.section_begin, end});
}

// The line just read, as its record: without the LF and one CR before it.
void EndLine(AddonSectionSearch& search) {
  std::size_t size = search.line_start_size;
  const bool whole = search.offset - search.line_begin <= kLineStartKept;
  if (whole && size > 0 && search.line_start[size - 1] == '\r') --size;
  const std::string_view record(search.line_start.data(), size);

  // Any section header ends the area section before it.
  if (record.starts_with('[')) {
    const std::uint64_t start = HeaderStart(search);
    EndSection(search, start);
    search.in_area = IsAreaHeader(record);
    search.title_seen = search.any_local = search.local_seen = false;
    search.section_begin = start;
    search.header_end = search.offset + 1;  // past the LF
    return;
  }
  if (!search.in_area) return;
  if (IsTitleLine(record, search.title_line)) search.title_seen = true;
  if (!record.starts_with(kLocalKey)) return;
  search.any_local = true;
  // Text after the kept start makes the value longer than any folder.
  if (!search.text_after_start && SameFolder(record.substr(kLocalKey.size()), search.local_path))
    search.local_seen = true;
}

}  // namespace

void StartAddonSectionSearch(AddonSectionSearch& search, const TextField<20>& title,
                             std::string_view local_path) {
  search = AddonSectionSearch{};
  search.title_line = MakeTitleLine(title);
  search.local_path = TrimmedText(local_path);
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
    }
    search.recent_bytes = search.recent_bytes << 8 | static_cast<unsigned char>(byte);
    ++search.offset;
    if (byte == '\n') StartLine(search);
  }
}

void EndAddonSectionSearch(AddonSectionSearch& search) {
  // A last line without LF is a line all the same.
  if (search.offset > search.line_begin) EndLine(search);
  EndSection(search, search.offset);
}

}  // namespace scenreg
