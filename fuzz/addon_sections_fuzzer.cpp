// Arbitrary bytes as scenery.cfg, searched for the add-on's sections in
// pieces of sizes the first byte gives; the library without the ranges
// found is checked against a plain reading of the README's rule over whole
// lines ("What is removed"). Some byte values
// of the input stand for lines of a library, so that sections form often;
// LF, CR, tab, blank and the end mark stay themselves.
#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "registration/addon_sections.h"

namespace {

using scenreg::ByteRange;

void Check(bool condition) {
  if (!condition) std::abort();
}

constexpr std::string_view kTitle = "Sample Field";
constexpr std::string_view kFolder = "Addon Scenery\\Sample";
constexpr std::string_view kPair = " \r\n \r\n";

std::string Expand(std::string_view input) {
  struct Stand {
    unsigned char byte;
    std::string_view line;
  };
  static constexpr Stand kLines[] = {
      {1, "[Area.001]\r\n"},
      {2, "Title=Sample Field\r\n"},
      {3, "Local=ADDON scenery\\sample  \r\n"},
      {4, " \r\n \r\n"},
      {5, "[General]\n"},
      {6, "Title=Sample Field      +\r\n"},
      {7, "Local=Elsewhere\r\n"},
      {8, " local\t= Addon Scenery\\Sample\r\n"},
      {11, "  [Area. 12]\r\n"},
      {12, "\x1A\r\n"},
      {14, "\r\n"},
      {15, "Remote=\r\n"},
      {16, "[Area. 12]"},
      {18, "Remote="},
      {17, "LOCAL =elsewhere\r\n"},
  };
  std::string library;
  for (const char byte : input) {
    const auto* stand = std::find_if(std::begin(kLines), std::end(kLines), [&](const Stand& s) {
      return s.byte == static_cast<unsigned char>(byte);
    });
    if (stand != std::end(kLines))
      library += stand->line;
    else
      library += byte;
  }
  return library;
}

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

std::string_view WithoutBlanks(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

std::string Lower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lower;
}

struct Line {
  std::size_t begin;
  std::string_view text;  // without its LF and a CR at its end
};

// A header, in any column, or the end mark.
bool IsBoundary(std::string_view text) {
  if (text == "\x1A") return true;
  const std::size_t first = text.find_first_not_of(" \t");
  return first != std::string_view::npos && text[first] == '[';
}

bool IsAreaHeader(std::string_view text) {
  return text.starts_with("[Area.") || text.starts_with("[area.") || text.starts_with("[AREA.");
}

// "[Area." and the number in three columns, blanks before its digits.
bool IsWrittenHeader(std::string_view text) {
  if (text.size() != 10 || !text.starts_with("[Area.") || !text.ends_with(']')) return false;
  const std::string_view number = text.substr(6, 3);
  const std::size_t digits = number.find_first_not_of(' ');
  return digits != std::string_view::npos &&
         number.substr(digits).find_first_not_of("0123456789") == std::string_view::npos;
}

bool IsTitleLine(std::string_view text) {
  std::string_view columns = text.substr(0, 26);
  while (columns.ends_with(' ')) columns.remove_suffix(1);
  return columns == std::string("Title=") + std::string(kTitle);
}

// A folder line with the add-on's folder, read by its first 128 characters.
bool HasFolder(std::string_view text) {
  if (text.size() > 128) {
    if (text.substr(128).find_first_not_of(' ') != std::string_view::npos) return false;
    text = text.substr(0, 128);
  }
  const std::size_t equals = text.find('=');
  return equals != std::string_view::npos &&
         Lower(WithoutBlanks(text.substr(0, equals))) == "local" &&
         Lower(WithoutBlanks(text.substr(equals + 1))) == Lower(kFolder);
}

// The library as the README's rule leaves it.
std::string Remaining(std::string_view library) {
  std::vector<Line> lines;
  for (std::size_t begin = 0; begin < library.size();) {
    const std::size_t lf = library.find('\n', begin);
    const std::size_t end = lf == std::string_view::npos ? library.size() : lf + 1;
    std::string_view text =
        library.substr(begin, (lf == std::string_view::npos ? end : lf) - begin);
    if (text.ends_with('\r')) text.remove_suffix(1);
    lines.push_back({begin, text});
    begin = end;
  }
  // The two lines of one blank each directly before line i.
  const auto blank_pair_before = [&](std::size_t i) {
    const std::size_t at = lines[i].begin;
    return at >= 6 && library.substr(at - 6, 6) == kPair;
  };
  const auto start = [&](std::size_t i) {
    return blank_pair_before(i) ? lines[i].begin - 6 : lines[i].begin;
  };
  std::vector<bool> dropped(library.size(), false);
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (!IsBoundary(lines[i].text) || !IsAreaHeader(lines[i].text)) continue;
    std::size_t next = i + 1;
    while (next < lines.size() && !IsBoundary(lines[next].text)) ++next;
    bool title = false;
    bool folder = false;
    for (std::size_t j = i + 1; j < next; ++j) {
      title |= IsTitleLine(lines[j].text);
      folder |= HasFolder(lines[j].text);
    }
    // What a registration stopped after its title record leaves, and the
    // next header's two blank lines, which are not the section's.
    std::size_t own_end = next;
    if (next < lines.size() && blank_pair_before(next) && own_end >= i + 2 &&
        lines[own_end - 1].text == " " && lines[own_end - 2].text == " ")
      own_end -= 2;
    bool stopped = blank_pair_before(i) && IsWrittenHeader(lines[i].text) && i + 1 < own_end &&
                   lines[i + 1].text == std::string("Title=") + std::string(kTitle);
    for (std::size_t j = i + 2; stopped && j < own_end; ++j) stopped = lines[j].text.empty();
    if (!(title && folder) && !stopped) continue;
    const std::size_t begin = start(i);
    std::fill(dropped.begin() + static_cast<std::ptrdiff_t>(begin),
              dropped.begin() +
                  static_cast<std::ptrdiff_t>(next < lines.size() ? start(next) : library.size()),
              true);
    // A line before that had no line end, the first blank's line, keeps
    // that line end when a line follows the section and the line itself
    // stays.
    const bool joined = blank_pair_before(i) && begin > 0 && library[begin - 1] != '\n';
    if (joined && next < lines.size() && !dropped[begin - 1])
      dropped[begin + 1] = dropped[begin + 2] = false;
  }
  std::string remaining;
  for (std::size_t at = 0; at < library.size(); ++at)
    if (!dropped[at]) remaining += library[at];
  return remaining;
}

std::string WithoutRanges(std::string_view library, const std::vector<ByteRange>& ranges) {
  std::string remaining;
  std::uint64_t kept_from = 0;
  for (const ByteRange& range : ranges) {
    Check(range.begin >= kept_from && range.end > range.begin && range.end <= library.size());
    remaining += library.substr(kept_from, range.begin - kept_from);
    kept_from = range.end;
  }
  remaining += library.substr(kept_from);
  return remaining;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace scenreg;
  if (size < 1) return 0;
  const std::size_t piece = std::size_t{data[0]} % 200 + 1;
  const std::string library =
      Expand(std::string_view(reinterpret_cast<const char*>(data) + 1, size - 1));

  AddonSectionSearch search;
  StartAddonSectionSearch(search, MakeTextField<20>(kTitle), kFolder);
  for (std::size_t at = 0; at < library.size(); at += piece)
    TakeLibraryBytes(search, std::string_view(library).substr(at, piece));
  EndAddonSectionSearch(search);

  Check(WithoutRanges(library, search.ranges) == Remaining(library));
  return 0;
}
