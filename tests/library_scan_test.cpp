#include "registration/library_scan.h"

#include <gtest/gtest.h>

#include <string>

#include "runtime/record_file.h"
#include "tests/run_texts.h"
#include "tests/test_support.h"

namespace scenreg {
namespace {

using testing::Areas;
using testing::FaultPlan;
using testing::InjectFaults;
using testing::ScratchFolder;
using testing::WriteFile;

struct ScanOutcome {
  bool already_entered;
  std::int32_t header_count;
  std::int32_t largest_area_number;
};

// Scans the library text in a fresh folder; largest_area_number starts at
// the given value, as the caller's static value would.
ScanOutcome ScanText(const std::string& library, std::string_view title = "Sample Field",
                     std::int32_t largest_area_number = 0) {
  ScratchFolder scratch;
  WriteFile(kLibraryFileName, library);
  const LibraryScan scan = ScanLibrary(MakeTextField<20>(title), largest_area_number);
  EXPECT_EQ(UnitFileName(kLibraryUnit), scratch.FullPath(kLibraryFileName));
  return {scan.already_entered, scan.header_count, largest_area_number};
}

TEST(LibraryScan, HeaderLines) {
  struct Case {
    std::string line;
    std::int32_t header_count;
    std::int32_t number;  // what the header adds toward the largest
  };
  const Case cases[] = {
      // The number up to the first "]", blanks not counting.
      {"[Area.001]", 1, 1},
      {"[Area.015]", 1, 15},
      {"[Area. 15]", 1, 15},
      {"[Area.15]", 1, 15},
      {"[Area.4 2]", 1, 42},
      {"[Area.999]", 1, 999},
      {"[area.007]", 1, 7},
      {"[AREA.008]", 1, 8},
      // Without a "]", up to column 80.
      {"[Area." + std::string(73, ' ') + "79", 1, 7},
      // Counted, but adding nothing: 1000 or more, below 1, unreadable.
      {"[Area.1000]", 1, 0},
      {"[Area.1234]", 1, 0},
      {"[Area.99999999999]", 1, 0},
      {"[Area.-05]", 1, 0},
      {"[Area.]", 1, 0},
      {"[Area.", 1, 0},
      {"[Area.+]", 1, 0},
      {"[Area.1A]", 1, 0},
      {"[Area.0x1]", 1, 0},
      {"[Area.\t12]", 1, 0},
      {std::string("[Area.\0\0\0]", 10), 1, 0},
      // Not headers: other case mixes, a blank or tab in front, another word.
      {"[aREA.001]", 0, 0},
      {"[ArEa.001]", 0, 0},
      {"[AREa.001]", 0, 0},
      {" [Area.001]", 0, 0},
      {"\t[Area.001]", 0, 0},
      {"[Area 001]", 0, 0},
      {"Area.001]", 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    const ScanOutcome outcome = ScanText("[General]\r\n" + c.line + "\r\nTitle=X\r\n", "Y");
    EXPECT_FALSE(outcome.already_entered);
    EXPECT_EQ(outcome.header_count, c.header_count);
    EXPECT_EQ(outcome.largest_area_number, c.number);
  }
}

TEST(LibraryScan, EmptyOrMissingLibraryEndsAtOnce) {
  const ScanOutcome empty = ScanText("", "Sample Field", 9);
  EXPECT_FALSE(empty.already_entered);
  EXPECT_EQ(empty.header_count, 0);
  EXPECT_EQ(empty.largest_area_number, 9);

  ScratchFolder scratch;
  std::int32_t largest_area_number = 0;
  const LibraryScan missing = ScanLibrary(MakeTextField<20>("Sample Field"), largest_area_number);
  EXPECT_EQ(missing.header_count, 0);
  EXPECT_TRUE(std::filesystem::exists(kLibraryFileName));
  EXPECT_EQ(std::filesystem::file_size(kLibraryFileName), 0u);
}

TEST(LibraryScan, TitleTest) {
  const std::string twenty = "Twenty characters!!!";
  struct Case {
    std::string title;
    std::string line;
    bool matches;
  };
  const Case cases[] = {
      {"Sample Field", "Title=Sample Field", true},
      {"Sample Field", "Title=Sample Field      ", true},
      // Only columns 1 to 26 count.
      {"Sample Field", "Title=Sample Field" + std::string(8, ' ') + "tail", true},
      {twenty, "Title=" + twenty + "and more", true},
      {twenty + "XYZ", "Title=" + twenty, true},
      // Column 26 counts as much as the others.
      {twenty, "Title=" + twenty.substr(0, 19) + "?", false},
      {"", "Title=", true},
      {"   ", "Title=" + std::string(20, ' ') + "text from 27", true},
      {"\xC4rger \xFC", "Title=\xC4rger \xFC", true},
      {"Sample Field", "Title=sample field", false},
      {"Sample Field", "title=Sample Field", false},
      {"Sample Field", "Title =Sample Field", false},
      {"Sample Field", " Title=Sample Field", false},
      {"Sample Field", "Title=Sample Fiel", false},
      {"Sample Field", "Title=Sample Field\t", false},
      {"Sample Field", "Title=Sample Field X", false},
      {"  Sample", "Title=Sample", false},
      {"", "Title=x", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    const ScanOutcome outcome =
        ScanText(Areas(1, 12) + "[Area.013]\r\n" + c.line + "\r\n" + Areas(14, 15), c.title);
    EXPECT_EQ(outcome.already_entered, c.matches);
    // A match stops the scan: the sections after it are not read.
    EXPECT_EQ(outcome.header_count, c.matches ? 13 : 15);
    EXPECT_EQ(outcome.largest_area_number, c.matches ? 13 : 15);
  }
}

TEST(LibraryScan, MatchBeforeTheTwelfthHeaderStillStops) {
  const ScanOutcome outcome = ScanText("[General]\nTitle=Sample Field\n" + Areas(1, 3) +
                                       "Title=Sample Field\n" + Areas(4, 20));
  EXPECT_TRUE(outcome.already_entered);
  EXPECT_EQ(outcome.header_count, 0);
  const ScanOutcome later = ScanText(Areas(1, 3) + "Title=Sample Field\n" + Areas(4, 20));
  EXPECT_TRUE(later.already_entered);
  EXPECT_EQ(later.header_count, 3);
  EXPECT_EQ(later.largest_area_number, 3);
}

TEST(LibraryScan, EndMarkLineHidesTheRest) {
  const ScanOutcome outcome =
      ScanText(Areas(1, 12) + "\x1a\r\n[Area.013]\r\nTitle=Sample Field\r\n");
  EXPECT_FALSE(outcome.already_entered);
  EXPECT_EQ(outcome.header_count, 12);
  EXPECT_EQ(outcome.largest_area_number, 12);
}

TEST(LibraryScan, FailedReadEndsTheScanLikeTheEnd) {
  ScratchFolder scratch;
  WriteFile(kLibraryFileName, Areas(1, 20));
  InjectFaults faults(FaultPlan{.read = SystemErrorFor(CommonFailure::kReadFault)});
  std::int32_t largest_area_number = 5;
  const LibraryScan scan = ScanLibrary(MakeTextField<20>("Sample Field"), largest_area_number);
  EXPECT_FALSE(scan.already_entered);
  EXPECT_EQ(scan.header_count, 0);
  EXPECT_EQ(largest_area_number, 5);
  EXPECT_EQ(UnitFileName(kLibraryUnit), scratch.FullPath(kLibraryFileName));
}

// Every header is seen whatever the length and bytes of the line before it,
// with LF or CR LF: the line ends are found at every position in a word.
TEST(LibraryScan, HeadersAfterLinesOfEveryLength) {
  std::string library;
  int headers = 0;
  int largest = 0;
  for (std::size_t length = 0; length <= 70; ++length) {
    for (const char filler : {'x', '\x0b', '\x8a', '\0', '\r'}) {
      library += std::string(length, filler) + (length % 2 ? "\n" : "\r\n");
      largest = 100 + headers % 900;
      library += "[Area." + std::to_string(largest) + "]\n";
      ++headers;
    }
  }
  // Several line ends in one word: empty lines and short headers.
  for (std::size_t empty_lines = 0; empty_lines <= 17; ++empty_lines) {
    library += std::string(empty_lines, '\n') + "[AREA.\n";
    ++headers;
  }
  const ScanOutcome outcome = ScanText(library);
  EXPECT_EQ(outcome.header_count, headers);
  EXPECT_EQ(outcome.largest_area_number, largest);
}

TEST(LibraryScan, OddBytesAndLongLines) {
  // Long lines are cut to 80 columns, which leaves the header and title
  // columns intact; NUL bytes and a lone CR are ordinary characters.
  std::string library = "[Area.001]" + std::string(200000, 'x') + "\n";
  library += std::string("\0\0\0\r\xff\n", 6);
  library += "[Area.002]\r\r\n";
  library += "Title=Sample Field" + std::string(100000, ' ') + "z";
  const ScanOutcome outcome = ScanText(library);
  EXPECT_TRUE(outcome.already_entered);
  EXPECT_EQ(outcome.header_count, 2);
  EXPECT_EQ(outcome.largest_area_number, 2);
  // A title holding a NUL compares byte for byte like any other.
  EXPECT_FALSE(ScanText("Title=Sample", std::string("Sample\0", 7)).already_entered);
  EXPECT_TRUE(
      ScanText(std::string("Title=Sample\0", 13), std::string("Sample\0", 7)).already_entered);
}

}  // namespace
}  // namespace scenreg
