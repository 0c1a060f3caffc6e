// Arbitrary bytes as scenery.cfg, searched for the add-on's sections in
// pieces of sizes the first byte gives, checked against a plain reading of
// the rule over the whole lines: an area section (header to the next line
// that begins with "[") goes when it holds the title line and a "Local="
// line with the folder in any case, together with the " \r\n \r\n" directly
// before its header that follows the last header line; a section with the
// title line and no "Local=" line at all goes too. Bytes 1 to 7 of the
// input stand for lines of a library, so that sections form often.
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
  static const std::string_view kLines[] = {
      {},
      "[Area.001]\r\n",
      "Title=Sample Field\r\n",
      "Local=ADDON scenery\\sample  \r\n",
      " \r\n \r\n",
      "[General]\n",
      "Title=Sample Field      +\r\n",
      "Local=Elsewhere\r\n",
  };
  std::string library;
  for (const char byte : input) {
    const auto index = static_cast<unsigned char>(byte);
    if (index >= 1 && index <= 7)
      library += kLines[index];
    else
      library += byte;
  }
  return library;
}

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
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

struct Line {
  std::size_t begin;
  std::size_t end;  // past the LF
  std::string_view record;
};

std::vector<ByteRange> Reference(std::string_view library) {
  std::vector<Line> lines;
  for (std::size_t begin = 0; begin < library.size();) {
    const std::size_t lf = library.find('\n', begin);
    const std::size_t end = lf == std::string_view::npos ? library.size() : lf + 1;
    std::string_view record =
        library.substr(begin, (lf == std::string_view::npos ? end : lf) - begin);
    if (record.ends_with('\r')) record.remove_suffix(1);
    lines.push_back({begin, end, record});
    begin = end;
  }
  std::string title_line = "Title=" + std::string(kTitle);
  std::vector<ByteRange> ranges;
  std::size_t last_header_end = 0;
  // Where the section of the header at line i begins.
  const auto start = [&](std::size_t i) -> std::size_t {
    const std::size_t at = lines[i].begin;
    if (at >= last_header_end + 6 && library.substr(at - 6, 6) == kPair) return at - 6;
    return at;
  };
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (!lines[i].record.starts_with('[')) continue;
    const std::size_t begin = start(i);
    last_header_end = lines[i].end;
    const std::string_view header = lines[i].record;
    const bool area = header.starts_with("[Area.") || header.starts_with("[area.") ||
                      header.starts_with("[AREA.");
    std::size_t next = i + 1;
    bool title = false;
    bool local = false;
    bool any_local = false;
    for (; next < lines.size() && !lines[next].record.starts_with('['); ++next) {
      const std::string_view record = lines[next].record;
      title |= Trimmed(record.substr(0, 26)) == title_line;
      any_local |= record.starts_with("Local=");
      local |= record.starts_with("Local=") && SameIgnoringCase(Trimmed(record.substr(6)), kFolder);
    }
    if (!area || !title || !(local || !any_local)) continue;
    const std::size_t end = next < lines.size() ? start(next) : library.size();
    ranges.push_back({begin, end});
  }
  return ranges;
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

  Check(search.ranges == Reference(library));
  return 0;
}
