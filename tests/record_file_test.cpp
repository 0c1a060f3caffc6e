// Record file access over the platform's file layer: natively the POSIX one,
// under Wine the Win32 one. Failures that root or Wine cannot produce for
// real are injected through the file-system seam.
#include "runtime/record_file.h"

#ifndef _WIN32
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <gtest/gtest.h>

#include <climits>
#include <csignal>
#include <random>
#include <string>
#include <vector>

#include "runtime/diagnostics.h"
#include "runtime/file_system.h"
#include "runtime/record_scan.h"
#include "runtime/text_field.h"
#include "tests/run_texts.h"
#include "tests/test_support.h"

namespace scenreg {
namespace {

using testing::FaultPlan;
using testing::FileDiagnostic;
using testing::InjectFaults;
using testing::LiteralPattern;
using testing::MessageText;
using testing::ReadFile;
using testing::ScratchFolder;
using testing::WriteFile;

constexpr int kUnit = 1;

// Reads every record of the file into a field of width n.
std::vector<std::string> ReadAll(const std::string& name, std::size_t width = 80) {
  std::vector<std::string> records;
  EXPECT_EQ(OpenUnit(kUnit, name, "formatted", {}, kWithExit), kIoSuccess);
  std::string field(width, '\0');
  IoOutcome outcome;
  while ((outcome = ReadField(kUnit, field, kWithExit)) == kIoSuccess)
    records.emplace_back(TrimmedText(field));
  EXPECT_EQ(outcome, kIoEndOfFile);
  EXPECT_EQ(CloseUnit(kUnit, kWithExit), kIoSuccess);
  return records;
}

using Records = std::vector<std::string>;

TEST(RecordFileRead, FieldTakesTheFirstNCharactersBlankPadded) {
  ScratchFolder scratch;
  WriteFile("f.txt", "abcde\nabcdef\n\nab\n");
  ASSERT_EQ(OpenUnit(kUnit, "f.txt", "formatted", {}, kWithExit), kIoSuccess);
  TextField<5> field;
  for (std::string_view expected : {"abcde", "abcde", "     ", "ab   "}) {
    ASSERT_EQ(ReadField(kUnit, field.span(), kWithExit), kIoSuccess);
    EXPECT_EQ(field.view(), expected);
  }
  EXPECT_EQ(ReadField(kUnit, field.span(), kWithExit), kIoEndOfFile);
}

TEST(RecordFileRead, LineEnds) {
  ScratchFolder scratch;
  WriteFile("f.txt", "crlf\r\nlf\ncrcr\r\r\nin\rside\n\t tab \nlast");
  EXPECT_EQ(ReadAll("f.txt"), (Records{"crlf", "lf", "crcr\r", "in\rside", "\t tab", "last"}));
  WriteFile("g.txt", "one\r\nlast cr\r");
  EXPECT_EQ(ReadAll("g.txt"), (Records{"one", "last cr"}));
  WriteFile("h.txt", "");
  EXPECT_EQ(ReadAll("h.txt"), Records{});
  WriteFile("i.txt", "\n");
  EXPECT_EQ(ReadAll("i.txt"), Records{""});
}

TEST(RecordFileRead, EndMarkLineEndsTheFile) {
  ScratchFolder scratch;
  WriteFile("a.txt", "one\n\x1a\ntwo\n");
  EXPECT_EQ(ReadAll("a.txt"), Records{"one"});
  WriteFile("b.txt", "one\r\n\x1a");
  EXPECT_EQ(ReadAll("b.txt"), Records{"one"});
  WriteFile("c.txt", "\x1a\r\n[Area.001]\n");
  EXPECT_EQ(ReadAll("c.txt"), Records{});
  // Inside a longer record the byte is an ordinary character.
  WriteFile("d.txt", "a\x1a\n\x1a\x1a\nz\n");
  EXPECT_EQ(ReadAll("d.txt"), (Records{"a\x1a", "\x1a\x1a", "z"}));
}

TEST(RecordFileRead, EndOfFileStaysReportedAfterTheEndMark) {
  ScratchFolder scratch;
  WriteFile("a.txt", "\x1a\nmore\n");
  ASSERT_EQ(OpenUnit(kUnit, "a.txt", "formatted", {}, kWithExit), kIoSuccess);
  TextField<10> field;
  EXPECT_EQ(ReadField(kUnit, field.span(), kWithExit), kIoEndOfFile);
  EXPECT_EQ(ReadField(kUnit, field.span(), kWithExit), kIoEndOfFile);
}

TEST(RecordFileRead, RecordsOfAnyLengthAcrossBufferBoundaries) {
  ScratchFolder scratch;
  const std::string long_line(100000, 'x');
  WriteFile("long.txt", "head\n" + std::string("0123456789") + long_line + "\nafter\n");
  EXPECT_EQ(ReadAll("long.txt"),
            (Records{"head", "0123456789" + long_line.substr(0, 70), "after"}));

  // Many records whose ends fall everywhere relative to the 8192-byte buffer
  // and its doublings, with every byte value but LF inside them.
  std::mt19937 random(20261208);
  std::string contents;
  Records expected;
  for (int i = 0; i < 3000; ++i) {
    const std::size_t length = random() % 7 == 0 ? random() % 20000 : random() % 120;
    std::string record;
    for (std::size_t j = 0; j < length; ++j) {
      char c = static_cast<char>(random() % 256);
      record += c == '\n' ? 'n' : c;
    }
    const bool crlf = i % 3 == 0;
    // What the record holds once its line end, and one CR before it, are gone.
    std::string content = record;
    if (!crlf && !content.empty() && content.back() == '\r') content.pop_back();
    if (content == "\x1a") record = content = "x";
    contents += record + (crlf ? "\r\n" : "\n");
    const std::string field(TrimmedText(std::string_view(content).substr(0, 300)));
    expected.push_back(field);
  }
  WriteFile("mixed.txt", contents);
  const Records read = ReadAll("mixed.txt", 300);
  ASSERT_EQ(read.size(), expected.size());
  for (std::size_t i = 0; i < read.size(); ++i) ASSERT_EQ(read[i], expected[i]) << "record " << i;
}

// The sizes of the reads that the file layer was asked for.
std::vector<std::size_t> read_sizes;
ReadAttempt RecordingRead(FileHandle handle, char* buffer, std::size_t size) {
  read_sizes.push_back(size);
  return PlatformFileSystem().read(handle, buffer, size);
}

struct PassResult {
  std::vector<std::string> records;
  std::vector<std::size_t> read_sizes;
  bool operator==(const PassResult&) const = default;
};

// The records beginning with one of the texts, read one by one with ReadField
// and picked here, or delivered by the filtered read.
PassResult ReadPass(const std::string& name, std::span<const std::string_view> texts,
                    bool filtered) {
  FileSystem recording = PlatformFileSystem();
  recording.read = RecordingRead;
  UseFileSystem(&recording);
  read_sizes.clear();
  PassResult result;
  EXPECT_EQ(OpenUnit(kUnit, name, "formatted", {}, kWithExit), kIoSuccess);
  std::string_view record;
  std::string field(300, ' ');
  IoOutcome outcome;
  for (;;) {
    if (filtered) {
      if ((outcome = ReadRecordStartingWith(kUnit, texts, record, kWithExit)) != kIoSuccess) break;
      result.records.emplace_back(record.substr(0, 300));
    } else {
      if ((outcome = ReadField(kUnit, field, kWithExit)) != kIoSuccess) break;
      for (const std::string_view text : texts)
        if (field.starts_with(text)) {
          result.records.emplace_back(TrimmedText(field));
          break;
        }
    }
  }
  EXPECT_EQ(outcome, kIoEndOfFile);
  EXPECT_EQ(CloseUnit(kUnit, kWithExit), kIoSuccess);
  UseFileSystem(nullptr);
  result.read_sizes = read_sizes;
  return result;
}

TEST(RecordFileFilteredRead, SameRecordsAndReadsAsRecordByRecordAtBufferEdges) {
  ScratchFolder scratch;
  const std::string filler(8190, 'x');  // with its LF, 8191 bytes
  const std::string long_line(40000, 'y');
  std::string short_lines;
  for (int i = 0; i < 300; ++i) short_lines += (i % 3 ? "[Area.7]\n" : "Tab\r\nxy\n");
  const std::string files[] = {
      filler + "\n[Area.1]\nTitle=a\n",   // a wanted record at the first read's last byte
      filler + "a\r\n[Area.2]\r\nT\r\n",  // CR LF split across reads
      filler + "\n\x1a\n[Area.3]\n",      // the end mark at the edge
      filler + "ab\n[Area.4]\nTx",        // a line start at the edge; no last LF
      long_line + "\n[Area.5]\n" + long_line + "\r\nTitle\r",  // doublings, passed over
      "[Area.6]\n" + long_line + "\nTail",   // a wanted line longer than the buffer
      short_lines + "\x1a\nTitle\n",         // the end mark after many wanted records
      short_lines + "\x1a\n" + short_lines,  // ... and before more
      "\x1axy\n" + short_lines + "[Area." + std::string(100, 'z'),  // 0x1A not alone; no LF
      "",
      "\r\n\n\x1a",
  };
  const std::vector<std::vector<std::string_view>> text_sets = {
      {"[Area."},
      {"[Area.", "Title=a", "T", "y"},
      {"Ta", "Title=Sample", "[Area.7]"},  // one longer than the records it begins
      {""},                                // every record
  };
  for (const std::vector<std::string_view>& texts : text_sets) {
    for (const std::string& contents : files) {
      SCOPED_TRACE(std::to_string(texts.size()) + " texts, file of " +
                   std::to_string(contents.size()) + " bytes");
      WriteFile("f.txt", contents);
      EXPECT_EQ(ReadPass("f.txt", texts, true), ReadPass("f.txt", texts, false));
    }
  }
}

TEST(RecordFileFilteredRead, EndsLikeReadFieldOnErrors) {
  ScratchFolder scratch;
  WriteFile("f.txt", std::string(9000, 'x') + "\nTitle\n");
  ASSERT_EQ(OpenUnit(kUnit, "f.txt", "formatted", {}, kWithExit), kIoSuccess);
  const std::string_view texts[] = {"Title"};
  std::string_view record;
  {
    FaultPlan plan;
    plan.read = SystemErrorFor(CommonFailure::kReadFault);
    InjectFaults faults(plan);
    EXPECT_EQ(ReadRecordStartingWith(kUnit, texts, record, kWithExit), kErrReadFailed);
  }
  EXPECT_EQ(ReadRecordStartingWith(kUnit, texts, record, kWithExit), kIoSuccess);
  EXPECT_EQ(record, "Title");
  EXPECT_EQ(ReadRecordStartingWith(kUnit, texts, record, kWithExit), kIoEndOfFile);
  EXPECT_EQ(ReadRecordStartingWith(7, texts, record, kWithExit), kErrReadFailed);
}

TEST(RecordFileInteger, WidthThreeTexts) {
  struct Case {
    std::string_view text;
    IoOutcome outcome;
    std::int32_t value;
  };
  const Case cases[] = {
      {"123", kIoSuccess, 123}, {" 42", kIoSuccess, 42}, {"4 2", kIoSuccess, 42},
      {"42 ", kIoSuccess, 42},  {"   ", kIoSuccess, 0},  {"-5 ", kIoSuccess, -5},
      {"+  ", kIoSuccess, 0},   {"001", kIoSuccess, 1},  {"-05", kIoSuccess, -5},
      {"12]", 64, 0},           {"]  ", 64, 0},          {"1A3", 64, 0},
      {"A12", 64, 0},           {"12F", 64, 0},          {"\t12", 64, 0},
      {"1\t2", 64, 0},          {"12\t", 64, 0},         {".12", 64, 0},
      {"1.2", 64, 0},           {"12.", 64, 0},          {"+-1", 64, 0},
      {"1-2", 64, 0},
  };
  for (const Case& c : cases) {
    std::int32_t value = 77;
    EXPECT_EQ(ReadIntegerFromText(c.text, value, kWithExit), c.outcome) << c.text;
    EXPECT_EQ(value, c.value) << c.text;
  }
}

TEST(RecordFileInteger, ValuesOutsideThe32BitRangeFail) {
  std::int32_t value = 1;
  EXPECT_EQ(ReadIntegerFromText("2147483647", value, kWithExit), kIoSuccess);
  EXPECT_EQ(value, 2147483647);
  EXPECT_EQ(ReadIntegerFromText("-2147483648", value, kWithExit), kIoSuccess);
  EXPECT_EQ(value, INT32_MIN);
  EXPECT_EQ(ReadIntegerFromText("2147483648", value, kWithExit), kErrInputConversion);
  EXPECT_EQ(value, 0);
  EXPECT_EQ(ReadIntegerFromText("99999999999999999999999", value, kWithExit), kErrInputConversion);
}

TEST(RecordFileWrite, ItemsFormAndEndEachRecord) {
  ScratchFolder scratch;
  ASSERT_EQ(OpenUnit(kUnit, "out.txt", "formatted", "append", kWithExit), kIoSuccess);
  WriteRecord(kUnit, {IntItem(7, 3), TextItem("|"), IntItem(42, 3), TextItem("|"), IntItem(999, 3),
                      TextItem("|"), IntItem(1000, 3), TextItem("|"), IntItem(-5, 3), TextItem("|"),
                      IntItem(-100, 3)});
  WriteRecord(kUnit, {CharItem(" ", 1)});
  WriteRecord(kUnit, {CharItem("ab  "), TextItem("|"), CharItem(""), TextItem("|"),
                      CharItem("abc", 5), TextItem("|"), CharItem("abcdef", 2)});
  WriteRecord(kUnit, {});
  ASSERT_EQ(CloseUnit(kUnit, kWithExit), kIoSuccess);
  EXPECT_EQ(ReadFile("out.txt"), "  7| 42|999|***| -5|***\r\n \r\nab  ||  abc|ab\r\n\r\n");
}

TEST(RecordFileWrite, AppendFollowsTheLastByteAsItStands) {
  ScratchFolder scratch;
  const std::pair<std::string, std::string> cases[] = {
      {"no line end", "no line endNEW\r\n"},
      {"ends\r\n\x1a", "ends\r\n\x1aNEW\r\n"},
      {"", "NEW\r\n"},
  };
  for (const auto& [before, after] : cases) {
    WriteFile("f.txt", before);
    ASSERT_EQ(OpenUnit(kUnit, "f.txt", "FORMATTED ", "Append  ", kWithExit), kIoSuccess);
    WriteRecord(kUnit, {TextItem("NEW")});
    CloseUnit(kUnit);
    EXPECT_EQ(ReadFile("f.txt"), after);
  }
  ASSERT_EQ(OpenUnit(kUnit, "missing.txt", "formatted", "append", kWithExit), kIoSuccess);
  WriteRecord(kUnit, {TextItem("first")});
  CloseUnit(kUnit);
  EXPECT_EQ(ReadFile("missing.txt"), "first\r\n");
}

TEST(RecordFileWrite, EachRecordIsInTheFileWhenItsWriteReturns) {
  ScratchFolder scratch;
  ASSERT_EQ(OpenUnit(kUnit, "f.txt", "formatted", "append", kWithExit), kIoSuccess);
  WriteRecord(kUnit, {TextItem("one")});
  EXPECT_EQ(ReadFile("f.txt"), "one\r\n");
  WriteRecord(kUnit, {TextItem("two")});
  EXPECT_EQ(ReadFile("f.txt"), "one\r\ntwo\r\n");
}

TEST(RecordFileWrite, ALengthPastTheAddressSpaceFailsWith66AndWritesNothing) {
  // Two widths of INT_MAX and the line end wrap a 32-bit size_t round to 2.
  if (sizeof(std::size_t) > 4) GTEST_SKIP() << "such a length fits a 64-bit size_t";
  ScratchFolder scratch;
  ASSERT_EQ(OpenUnit(kUnit, "f.txt", "formatted", "append", kWithExit), kIoSuccess);
  EXPECT_EQ(WriteRecord(kUnit, {CharItem("a", INT_MAX), CharItem("b", INT_MAX)}, kWithExit),
            kErrRecordOverflow);
  CloseUnit(kUnit);
  EXPECT_EQ(ReadFile("f.txt"), "");
}

TEST(RecordFileOpen, SequentialOpenCreatesAMissingFileAndKeepsAnExistingOne) {
  ScratchFolder scratch;
  ASSERT_EQ(OpenUnit(2, "  new.txt  ", "formatted", {}, kWithExit), kIoSuccess);
  EXPECT_EQ(UnitFileName(2), scratch.FullPath("new.txt"));
  TextField<4> field;
  EXPECT_EQ(ReadField(2, field.span(), kWithExit), kIoEndOfFile);
  CloseUnit(2);
  EXPECT_TRUE(std::filesystem::exists("new.txt"));
  EXPECT_EQ(ReadFile("new.txt"), "");
  WriteFile("old.txt", "keep\n");
  ASSERT_EQ(OpenUnit(2, "old.txt", "formatted", {}, kWithExit), kIoSuccess);
  CloseUnit(2);
  EXPECT_EQ(ReadFile("old.txt"), "keep\n");
}

// Form and access are words matched without regard to case and trailing
// blanks; a blank or empty form is "formatted".
TEST(RecordFileOpen, FormAndAccessWords) {
  ScratchFolder scratch;
  const struct {
    std::string_view form, access;
    IoOutcome outcome;
  } cases[] = {
      {"formatted", "", kIoSuccess},
      {"", "", kIoSuccess},
      {"   ", "", kIoSuccess},
      {"Formatted  ", "SEQUENTIAL", kIoSuccess},
      {"formatted", "append ", kIoSuccess},
      {"unformatted", "", kErrOpenFailure},
      {" formatted", "", kErrOpenFailure},
      {"formatted", "direct", kErrOpenFailure},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(OpenUnit(2, "g.txt", c.form, c.access, kWithExit), c.outcome)
        << "'" << c.form << "' '" << c.access << "'";
    CloseUnit(2);
  }
}

TEST(RecordFileOpen, ASecondOpenerOfAnOpenFileFailsWith30) {
  ScratchFolder scratch;
  WriteFile("f.txt", "x\n");
  ASSERT_EQ(OpenUnit(1, "f.txt", "formatted", {}, kWithExit), kIoSuccess);
  EXPECT_EQ(OpenUnit(3, "f.txt", "formatted", {}, kWithExit), kErrOpenFailure);
  EXPECT_EQ(UnitFileName(3), "");
  CloseUnit(1);
  EXPECT_EQ(OpenUnit(3, "f.txt", "formatted", {}, kWithExit), kIoSuccess);
}

TEST(RecordFileOpen, MissingFolderFailsWith29) {
  ScratchFolder scratch;
  EXPECT_EQ(OpenUnit(1, "no-such-folder/f.txt", "formatted", {}, kWithExit), kErrFileNotFound);
}

TEST(RecordFileOpen, ReadOnlyFallbackReadsAndRefusesWrites) {
  ScratchFolder scratch;
  WriteFile("ro.txt", "line\n");
  FaultPlan plan;
  plan.open_writable = SystemErrorFor(CommonFailure::kAccessDenied);
  InjectFaults faults(plan);
  ASSERT_EQ(OpenUnit(1, "ro.txt", "formatted", {}, kWithExit), kIoSuccess);
  TextField<4> field;
  EXPECT_EQ(ReadField(1, field.span(), kWithExit), kIoSuccess);
  EXPECT_EQ(field.view(), "line");
  EXPECT_EQ(WriteRecord(1, {TextItem("x")}, kWithExit), kErrWriteToReadOnly);
  CloseUnit(1);
  EXPECT_EQ(ReadFile("ro.txt"), "line\n");
}

TEST(RecordFileOpen, SystemReasonsMapToErrorNumbers) {
  ScratchFolder scratch;
  struct Case {
    CommonFailure failure;
    IoOutcome error;
  };
  const Case cases[] = {
      {CommonFailure::kFileNotFound, 29},
      {CommonFailure::kPathNotFound, 29},
      {CommonFailure::kTooManyOpenFiles, 30},
      {CommonFailure::kInvalidDrive, 42},
      {CommonFailure::kFileExists, 10},
      {CommonFailure::kInvalidName, 43},
      {CommonFailure::kNameTooLong, 43},
      {CommonFailure::kSharingViolation, 30},
      {CommonFailure::kOther, 30},
  };
  for (const Case& c : cases) {
    FaultPlan plan;
    plan.open_writable = SystemErrorFor(c.failure);
    InjectFaults faults(plan);
    EXPECT_EQ(OpenUnit(1, "f.txt", "formatted", {}, kWithExit), c.error)
        << static_cast<int>(c.failure);
  }
  // Refused writing, then refused reading too: a folder where nothing may be
  // created.
  for (CommonFailure refusal : {CommonFailure::kAccessDenied, CommonFailure::kWriteProtected}) {
    FaultPlan plan;
    plan.open_writable = plan.open_read_only = SystemErrorFor(refusal);
    InjectFaults faults(plan);
    EXPECT_EQ(OpenUnit(1, "f.txt", "formatted", {}, kWithExit), kErrPermissionDenied);
  }
  // A link at the name, or a file with a second name: refused like access.
  {
    FaultPlan plan;
    plan.open_finds_link = true;
    InjectFaults faults(plan);
    EXPECT_EQ(OpenUnit(1, "f.txt", "formatted", {}, kWithExit), kErrPermissionDenied);
    EXPECT_EQ(OpenExistingUnit(1, "f.txt", kWithExit), kErrPermissionDenied);
  }
}

TEST(RecordFileFailures, ReadWriteAndCloseErrors) {
  ScratchFolder scratch;
  WriteFile("f.txt", "line\n");
  TextField<4> field;
  {
    FaultPlan plan;
    plan.read = SystemErrorFor(CommonFailure::kReadFault);
    InjectFaults faults(plan);
    ASSERT_EQ(OpenUnit(1, "f.txt", "formatted", {}, kWithExit), kIoSuccess);
    EXPECT_EQ(ReadField(1, field.span(), kWithExit), kErrReadFailed);
    CloseUnit(1);
  }
  {
    FaultPlan plan;
    plan.write = SystemErrorFor(CommonFailure::kDiskFull);
    plan.write_countdown = 2;
    InjectFaults faults(plan);
    ASSERT_EQ(OpenUnit(1, "f.txt", "formatted", "append", kWithExit), kIoSuccess);
    EXPECT_EQ(WriteRecord(1, {TextItem("kept")}, kWithExit), kIoSuccess);
    EXPECT_EQ(WriteRecord(1, {TextItem("lost")}, kWithExit), kErrWriteFailed);
    CloseUnit(1);
    EXPECT_EQ(ReadFile("f.txt"), "line\nkept\r\n");
  }
  {
    FaultPlan plan;
    plan.close = SystemErrorFor(CommonFailure::kOther);
    InjectFaults faults(plan);
    ASSERT_EQ(OpenUnit(1, "f.txt", "formatted", {}, kWithExit), kIoSuccess);
    EXPECT_EQ(CloseUnit(1, kWithExit), kErrCloseFailed);
    EXPECT_EQ(UnitFileName(1), "");  // the number is free all the same
  }
}

TEST(RecordFileFailures, CloseAllUnitsClosesEveryOpenUnit) {
  ScratchFolder scratch;
  OpenUnit(1, "a.txt");
  OpenUnit(2, "b.txt");
  CloseAllUnits();
  EXPECT_EQ(UnitFileName(1), "");
  EXPECT_EQ(UnitFileName(2), "");
  EXPECT_EQ(OpenUnit(4, "a.txt", "formatted", {}, kWithExit), kIoSuccess);  // no lock left
}

// The unit table: numbers that are not open, a number opened again, a full
// table, and the names an open resolves.
TEST(RecordFileUnits, NumbersAndNames) {
  ScratchFolder scratch;
  WriteFile("a.txt", "from a\n");
  WriteFile("b.txt", "from b\n");
  TextField<6> field;

  // A number that is not open: reads and writes fail, a close is nothing.
  EXPECT_EQ(ReadField(5, field.span(), kWithExit), kErrReadFailed);
  EXPECT_EQ(WriteRecord(5, {TextItem("x")}, kWithExit), kErrWriteFailed);
  EXPECT_EQ(CloseUnit(5, kWithExit), kIoSuccess);

  // Opened again, the number reads the new file, and the old one is free.
  ASSERT_EQ(OpenUnit(1, "a.txt", "formatted", {}, kWithExit), kIoSuccess);
  ASSERT_EQ(OpenUnit(1, "b.txt", "formatted", {}, kWithExit), kIoSuccess);
  EXPECT_EQ(ReadField(1, field.span(), kWithExit), kIoSuccess);
  EXPECT_EQ(field.view(), "from b");
  EXPECT_EQ(OpenUnit(2, "a.txt", "formatted", {}, kWithExit), kIoSuccess);
  CloseAllUnits();

  // 32 units at most; a closed one makes room again.
  for (int unit = 1; unit <= 32; ++unit)
    ASSERT_EQ(OpenUnit(unit, "u" + std::to_string(unit), "formatted", {}, kWithExit), kIoSuccess);
  EXPECT_EQ(OpenUnit(33, "u33", "formatted", {}, kWithExit), kErrOpenFailure);
  EXPECT_EQ(UnitFileName(33), "");
  CloseUnit(7);
  EXPECT_EQ(OpenUnit(33, "u33", "formatted", {}, kWithExit), kIoSuccess);
  EXPECT_EQ(UnitFileName(33), scratch.FullPath("u33"));
  CloseAllUnits();

  // A full path is taken as it is; a name of blanks names no file.
  const std::string full = scratch.FullPath("a.txt");
  ASSERT_EQ(OpenUnit(3, full, "formatted", {}, kWithExit), kIoSuccess);
  EXPECT_EQ(UnitFileName(3), full);
  CloseUnit(3);
  EXPECT_EQ(OpenUnit(3, "   ", "formatted", {}, kWithExit), kErrFileNotFound);
  EXPECT_EQ(UnitFileName(3), "");

  // Mode 3 only asks.
  const std::int32_t mode = SetIoLockingMode(3);
  EXPECT_EQ(SetIoLockingMode(3), mode);
}

#ifndef _WIN32
// Append on a pipe: there is no end to seek to, and the open must not fail
// for it.
TEST(RecordFileUnits, AppendToAPipeWritesWithoutSeeking) {
  ScratchFolder scratch;
  ASSERT_EQ(mkfifo("pipe", 0600), 0);
  ASSERT_EQ(OpenUnit(1, "pipe", "formatted", "append", kWithExit), kIoSuccess);
  EXPECT_EQ(WriteRecord(1, {TextItem("through")}, kWithExit), kIoSuccess);
  const int reader = open("pipe", O_RDONLY | O_NONBLOCK);
  ASSERT_GE(reader, 0);
  char bytes[16] = {};
  EXPECT_EQ(read(reader, bytes, sizeof bytes), 9);
  EXPECT_STREQ(bytes, "through\r\n");
  close(reader);
  CloseUnit(1);
}
#endif

}  // namespace
}  // namespace scenreg

namespace scenreg {
namespace {

TEST(RecordFileMessages, EveryErrorHasItsExactText) {
  const std::pair<int, std::string_view> texts[] = {
      {9, "permission to access file denied"},
      {10, "cannot overwrite existing file"},
      {22, "input record too long"},
      {24, "end-of-file during read"},
      {28, "CLOSE error"},
      {29, "file not found"},
      {30, "open failure"},
      {38, "error during write"},
      {39, "error during read"},
      {42, "no such device"},
      {43, "file name specification error"},
      {47, "write to READONLY file"},
      {64, "input conversion error"},
      {66, "output statement overflows record"},
  };
  const DiagnosticArg args[] = {1, "C:\\FS9\\scenery.cfg"};
  for (const auto& [number, text] : texts)
    EXPECT_EQ(FormatDiagnosticLine(MakeDiagnosticCode(kSevere, number), args),
              "scenreg: severe (" + std::to_string(number) + "): " + std::string(text) +
                  ", unit 1, file C:\\FS9\\scenery.cfg\r\n");
  EXPECT_EQ(FormatDiagnosticLine(MakeDiagnosticCode(kSevere, 41), args),
            "scenreg: severe (41): insufficient virtual memory\r\n");
}

#ifndef _WIN32
// Without an exit a failure ends the program with the diagnostic, after the
// system's own text when a system call failed. Natively both go to standard
// error and the status keeps the low byte of the code.
TEST(RecordFileMessagesDeathTest, FailuresWithoutExitEndTheProgram) {
  ScratchFolder scratch;
  const std::string path = scratch.FullPath("f.txt");
  WriteFile("f.txt", "line\n");
  EXPECT_EXIT(
      {
        FaultPlan plan;
        plan.open_writable = plan.open_read_only = SystemErrorFor(CommonFailure::kAccessDenied);
        InjectFaults faults(plan);
        OpenUnit(3, "f.txt");
      },
      ::testing::ExitedWithCode(9),
      "scenreg: Permission denied\n" + LiteralPattern(FileDiagnostic(9, 3, path)));
  EXPECT_EXIT(
      {
        FaultPlan plan;
        plan.open_writable = SystemErrorFor(CommonFailure::kAccessDenied);
        InjectFaults faults(plan);
        OpenUnit(1, "f.txt");
        WriteRecord(1, {TextItem("x")});
      },
      ::testing::ExitedWithCode(47), "^" + LiteralPattern(FileDiagnostic(47, 1, path)));
  EXPECT_EXIT(
      {
        OpenUnit(1, "f.txt");
        TextField<4> field;
        ReadField(1, field.span());
        ReadField(1, field.span());
      },
      ::testing::ExitedWithCode(24), "^" + LiteralPattern(FileDiagnostic(24, 1, path)));
  // After the end mark, every later read reports its own unit and file, not
  // an earlier, unrelated failure.
  WriteFile("mark.txt", "\x1a\nmore\n");
  EXPECT_EXIT(
      {
        TextField<4> field;
        OpenUnit(1, "mark.txt");
        ReadField(1, field.span(), kWithExit);
        OpenUnit(2, "nofolder/x.txt", "formatted", {}, kWithExit);
        ReadField(1, field.span());
      },
      ::testing::ExitedWithCode(24),
      "^" + LiteralPattern(FileDiagnostic(24, 1, scratch.FullPath("mark.txt"))) + "$");
  EXPECT_EXIT(
      {
        std::int32_t value;
        ReadIntegerFromText("12]", value);
      },
      ::testing::ExitedWithCode(64), MessageText(64));
}
#endif

#ifndef _WIN32
// A disk that fills in the middle of a record: a file size limit makes the
// system write part of it and then refuse the rest. The part is cut off.
TEST(RecordFileFailures, RecordCutShortByAFullDiskLeavesNoPart) {
  ScratchFolder scratch;
  WriteFile("f.txt", "line\r\n");
  rlimit previous{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &previous), 0);
  const auto previous_handler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit limited = previous;
  limited.rlim_cur = 20;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
  ASSERT_EQ(OpenUnit(1, "f.txt", "formatted", "append", kWithExit), kIoSuccess);
  EXPECT_EQ(WriteRecord(1, {TextItem("kept")}, kWithExit), kIoSuccess);
  EXPECT_EQ(WriteRecord(1, {TextItem("cut after four")}, kWithExit), kErrWriteFailed);
  CloseUnit(1);
  setrlimit(RLIMIT_FSIZE, &previous);
  std::signal(SIGXFSZ, previous_handler);
  EXPECT_EQ(ReadFile("f.txt"), "line\r\nkept\r\n");
}
#endif

}  // namespace
}  // namespace scenreg
