#include "registration/area_entry_writer.h"

#include <gtest/gtest.h>

#include <string>

#include "registration/library_scan.h"
#include "runtime/record_file.h"
#include "tests/run_texts.h"
#include "tests/test_support.h"

namespace scenreg {
namespace {

using testing::Areas;
using testing::AreaSection;
using testing::FaultPlan;
using testing::FileDiagnostic;
using testing::InjectFaults;
using testing::ReadFile;
using testing::RealWorldFolder;
using testing::ScratchFolder;
using testing::WriteFile;

// Opens the library as the scan leaves it and runs the writer.
AreaEntryResult WriteAfterOpen(std::int32_t header_count, std::int32_t largest_area_number,
                               std::string_view title = testing::kSampleTitle,
                               std::string_view local_path = testing::kSampleFolder) {
  OpenUnit(kLibraryUnit, kLibraryFileName);
  return WriteAreaEntry(header_count, largest_area_number, MakeTextField<20>(title),
                        MakeTextField<80>(local_path));
}

TEST(AreaEntryWriter, ExampleSectionIsAppendedByteForByte) {
  const std::string expected = AreaSection(121);
  struct Case {
    std::string library;
    std::string result;
  };
  // Without a final line end the first blank record joins the last line.
  const Case cases[] = {
      {"[Area.120]\r\nLayer=120\r\n", "[Area.120]\r\nLayer=120\r\n" + expected},
      {"[Area.120]\nLayer=120\n", "[Area.120]\nLayer=120\n" + expected},
      {"[Area.120]\r\nLayer=120", "[Area.120]\r\nLayer=120" + expected},
      {"[Area.120]\r\n\x1a", "[Area.120]\r\n\x1a" + expected},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.library);
    ScratchFolder scratch;
    WriteFile(kLibraryFileName, c.library);
    EXPECT_EQ(WriteAfterOpen(120, 120), AreaEntryResult::kWritten);
    EXPECT_EQ(ReadFile(kLibraryFileName), c.result);
    EXPECT_EQ(UnitFileName(kLibraryUnit), "");
  }
}

TEST(AreaEntryWriter, NumberIsOneAfterTheLargerOfCountAndLargestNumber) {
  struct Case {
    std::int32_t header_count;
    std::int32_t largest_area_number;
    int number;
  };
  const Case cases[] = {
      {12, 12, 13}, {150, 40, 151}, {20, 300, 301}, {57, 0, 58},
      {12, -5, 13}, {998, 12, 999}, {12, 998, 999},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.number);
    ScratchFolder scratch;
    WriteFile(kLibraryFileName, "x\r\n");
    EXPECT_EQ(WriteAfterOpen(c.header_count, c.largest_area_number), AreaEntryResult::kWritten);
    EXPECT_EQ(ReadFile(kLibraryFileName), "x\r\n" + AreaSection(c.number));
  }
}

TEST(AreaEntryWriter, TitleAndPathAreTrimmedOnTheRightOnly) {
  struct Case {
    std::string title;
    std::string local_path;
    std::string written_title;
    std::string written_path;
  };
  const std::string long_path = std::string(79, 'p') + "q";
  const Case cases[] = {
      {"Twenty characters!!!", "A", "Twenty characters!!!", "A"},
      {"Twenty characters!!!++", long_path + "r", "Twenty characters!!!", long_path},
      {"  Indented  ", "  Addon Scenery\\X  ", "  Indented", "  Addon Scenery\\X"},
      {"", "   ", "", ""},
      {"\xC4rger\tTab", "C:\\Fl\xFCge", "\xC4rger\tTab", "C:\\Fl\xFCge"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.title);
    ScratchFolder scratch;
    WriteFile(kLibraryFileName, "");
    EXPECT_EQ(WriteAfterOpen(12, 12, c.title, c.local_path), AreaEntryResult::kWritten);
    EXPECT_EQ(ReadFile(kLibraryFileName), AreaSection(13, c.written_title, c.written_path));
  }
}

#ifndef _WIN32
// Natively an error-severity diagnostic goes to standard error and the
// program goes on.
TEST(AreaEntryWriter, NumberAbove999LeavesTheLibraryUnchanged) {
  struct Case {
    std::int32_t header_count;
    std::int32_t largest_area_number;
  };
  const Case cases[] = {{12, 999}, {999, 12}, {1500, 2000}, {INT32_MAX, INT32_MAX}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.header_count);
    ScratchFolder scratch;
    const std::string library = "[Area.998]\r\nTitle=A\r\n\r\n[Area.999]\r\nTitle=B";
    WriteFile(kLibraryFileName, library);
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(WriteAfterOpen(c.header_count, c.largest_area_number),
              AreaEntryResult::kRefusedNumberTooLarge);
    EXPECT_EQ(
        ::testing::internal::GetCapturedStderr(),
        FileDiagnostic(kErrOutputConversion, kLibraryUnit, scratch.FullPath(kLibraryFileName)));
    EXPECT_EQ(ReadFile(kLibraryFileName), library);
    // Left open for the orderly stop, like every other unit the run keeps.
    EXPECT_EQ(UnitFileName(kLibraryUnit), scratch.FullPath(kLibraryFileName));
  }
}

TEST(AreaEntryWriterDeathTest, FailedWriteEndsTheProgramKeepingEarlierRecords) {
  ScratchFolder scratch;
  WriteFile(kLibraryFileName, "x\r\n");
  EXPECT_EXIT(
      {
        InjectFaults faults(
            FaultPlan{.write = SystemErrorFor(CommonFailure::kDiskFull), .write_countdown = 3});
        WriteAfterOpen(12, 12);
      },
      ::testing::ExitedWithCode(38),
      testing::LiteralPattern(
          FileDiagnostic(38, kLibraryUnit, scratch.FullPath(kLibraryFileName))));
  EXPECT_EQ(ReadFile(kLibraryFileName), "x\r\n \r\n \r\n");
}
#endif

// The two real libraries and libraries whose headers are out of order,
// scanned and extended in a scratch copy, with a number no header carries;
// a second run with the same description finds the section and writes
// nothing.
TEST(AreaEntryWriter, LibrariesAreExtendedExactly) {
  struct Case {
    std::string name;
    std::string library;
    std::int32_t header_count;
    int number;
  };
  std::string unpadded;
  for (int area = 1; area <= 12; ++area) unpadded += "[Area." + std::to_string(area) + "]\r\n";
  const Case cases[] = {
      {"default library", ReadFile(RealWorldFolder() / "fs9-default-120-areas.cfg"), 120, 121},
      {"resource titles", ReadFile(RealWorldFolder() / "fs9-resource-titles-124-areas.cfg"), 124,
       125},
      {"a gap, then a lower number", Areas(1, 12) + Areas(15, 15) + Areas(13, 13), 14, 16},
      {"unpadded numbers", unpadded + "[Area.14]\r\n", 13, 15},
      {"one lower number last", Areas(1, 120) + Areas(50, 50), 121, 122},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_FALSE(c.library.empty());
    ScratchFolder scratch;
    WriteFile(kLibraryFileName, c.library);
    const TextField<20> title = MakeTextField<20>(testing::kSampleTitle);
    const TextField<80> local_path = MakeTextField<80>(testing::kSampleFolder);

    std::int32_t largest_area_number = 0;
    const LibraryScan scan = ScanLibrary(title, largest_area_number);
    EXPECT_FALSE(scan.already_entered);
    EXPECT_EQ(scan.header_count, c.header_count);
    EXPECT_EQ(WriteAreaEntry(scan.header_count, largest_area_number, title, local_path),
              AreaEntryResult::kWritten);
    const std::string extended = c.library + AreaSection(c.number);
    EXPECT_EQ(ReadFile(kLibraryFileName), extended);

    const LibraryScan again = ScanLibrary(title, largest_area_number);
    EXPECT_TRUE(again.already_entered);
    EXPECT_EQ(again.header_count, c.header_count + 1);
    CloseAllUnits();
    EXPECT_EQ(ReadFile(kLibraryFileName), extended);
  }
}

}  // namespace
}  // namespace scenreg
