// Behaviour that only the Windows file layer shows for real: file
// attributes, share modes and the system's own error texts.
#include <gtest/gtest.h>
#include <windows.h>

#include <optional>

#include "runtime/diagnostic_display.h"
#include "runtime/record_file.h"
#include "runtime/text_field.h"
#include "tests/test_support.h"

namespace scenreg {
namespace {

using testing::FaultPlan;
using testing::FileCall;
using testing::InjectFaults;
using testing::ReadFile;
using testing::ScratchFolder;
using testing::WriteFile;

TEST(WindowsFileLayer, ReadOnlyAttributeGivesAReadOnlyUnit) {
  ScratchFolder scratch;
  WriteFile("scenery.cfg", "[Area.001]\r\n");
  ASSERT_TRUE(SetFileAttributesA("scenery.cfg", FILE_ATTRIBUTE_READONLY));
  const HANDLE probe = CreateFileA("scenery.cfg", GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
  if (probe != INVALID_HANDLE_VALUE) {
    // Wine run by root keeps the attribute only as POSIX permission bits,
    // which root passes; the fallback is covered by injected refusals.
    CloseHandle(probe);
    SetFileAttributesA("scenery.cfg", FILE_ATTRIBUTE_NORMAL);
    GTEST_SKIP() << "this system does not enforce the read-only attribute";
  }
  ASSERT_EQ(OpenUnit(1, "scenery.cfg", "formatted", "append", kWithExit), kIoSuccess);
  EXPECT_EQ(WriteRecord(1, {TextItem("x")}, kWithExit), kErrWriteToReadOnly);
  CloseUnit(1);
  ASSERT_EQ(OpenUnit(1, "scenery.cfg", "formatted", {}, kWithExit), kIoSuccess);
  TextField<10> field;
  EXPECT_EQ(ReadField(1, field.span(), kWithExit), kIoSuccess);
  EXPECT_EQ(field.view(), "[Area.001]");
  CloseUnit(1);
  SetFileAttributesA("scenery.cfg", FILE_ATTRIBUTE_NORMAL);
  EXPECT_EQ(ReadFile("scenery.cfg"), "[Area.001]\r\n");
}

TEST(WindowsFileLayer, AnotherWriterMakesTheOpenFailWith30) {
  ScratchFolder scratch;
  WriteFile("scenery.cfg", "x\r\n");
  const HANDLE writer =
      CreateFileA("scenery.cfg", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(writer, INVALID_HANDLE_VALUE);
  EXPECT_EQ(OpenUnit(1, "scenery.cfg", "formatted", {}, kWithExit), kErrOpenFailure);
  CloseHandle(writer);
  EXPECT_EQ(OpenUnit(1, "scenery.cfg", "formatted", {}, kWithExit), kIoSuccess);
  // While the unit is open, others may read the file but not write it.
  const HANDLE reader = CreateFileA("scenery.cfg", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  EXPECT_NE(reader, INVALID_HANDLE_VALUE);
  CloseHandle(reader);
  const HANDLE second_writer =
      CreateFileA("scenery.cfg", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  EXPECT_EQ(second_writer, INVALID_HANDLE_VALUE);
  CloseUnit(1);
}

TEST(WindowsFileLayer, NamesResolveToFullPaths) {
  ScratchFolder scratch;
  ASSERT_EQ(OpenUnit(2, " scconf.txt ", "formatted", {}, kWithExit), kIoSuccess);
  char expected[MAX_PATH];
  GetFullPathNameA("scconf.txt", MAX_PATH, expected, nullptr);
  EXPECT_EQ(UnitFileName(2), expected);
  CloseUnit(2);
  EXPECT_EQ(OpenUnit(2, "no-such-folder\\scconf.txt", "formatted", {}, kWithExit),
            kErrFileNotFound);
  EXPECT_EQ(OpenUnit(2, "bad|name?.txt", "formatted", {}, kWithExit), kErrBadFileName);
}

// The replace for real, next to a hidden, read-only backup of an earlier
// run: with every file free, the new bytes take the library's place with its
// attributes and the old ones are the backup; with the backup held, or the
// library held by a reader so that the last step fails, the library and the
// earlier backup keep their bytes and attributes and the scratch file goes.
// Another program's write after the unit let go of the library is kept.
TEST(WindowsFileLayer, ReplaceKeepsABackupOrChangesNothing) {
  const struct {
    const char* name;
    const char* held;  // null: none
    IoOutcome outcome;
    bool written_after_copy = false;
  } kCases[] = {
      {"all free", nullptr, kIoSuccess},
      {"backup held", "scenery.bak", kErrOpenFailure},
      // The system refuses a move over an open file as access denied.
      {"library held at the last step", "scenery.cfg", kErrPermissionDenied},
      {"library written before the last step", nullptr, kErrChangedByAnother, true},
  };
  // Another program that writes the library between the backup copy and
  // the move.
  FaultPlan writer;
  writer.after_call = [](FileCall call, FileHandle, const std::string&, SystemError) {
    if (call != FileCall::kCopy) return;
    const HANDLE file = CreateFileA("scenery.cfg", FILE_APPEND_DATA, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    ::WriteFile(file, "more\r\n", 6, &written, nullptr);
    CloseHandle(file);
  };
  for (const auto& [name, held, outcome, written_after_copy] : kCases) {
    SCOPED_TRACE(name);
    ScratchFolder scratch;
    WriteFile("scenery.cfg", "old\r\n");
    WriteFile("scenery.bak", "earlier");
    const DWORD attributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE;
    ASSERT_TRUE(SetFileAttributesA("scenery.cfg", attributes));
    ASSERT_TRUE(SetFileAttributesA("scenery.bak", attributes | FILE_ATTRIBUTE_READONLY));
    const DWORD backup_attributes = GetFileAttributesA("scenery.bak");
    // A scratch file that a killed run left, with the attributes it got.
    WriteFile("scenery.new", "stale");
    SetFileAttributesA("scenery.new", attributes);
    ASSERT_EQ(OpenExistingUnit(1, "scenery.cfg", kWithExit), kIoSuccess);
    ASSERT_EQ(OpenScratchUnit(3, "scenery.new", kWithExit), kIoSuccess);
    ASSERT_EQ(WriteBytes(3, "new\n", kWithExit), kIoSuccess);
    // A reader of the library lets the unit be, but not the move over it.
    const HANDLE holder = held ? CreateFileA(held, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                             nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)
                               : INVALID_HANDLE_VALUE;
    ASSERT_EQ(holder == INVALID_HANDLE_VALUE, held == nullptr);
    {
      const std::optional<InjectFaults> written =
          written_after_copy ? std::optional<InjectFaults>(std::in_place, writer) : std::nullopt;
      EXPECT_EQ(ReplaceWithScratchUnit(3, 1, "scenery.bak", "scenery.old", kWithExit), outcome);
    }
    if (holder != INVALID_HANDLE_VALUE) CloseHandle(holder);
    EXPECT_EQ(UnitFileName(1), "");
    EXPECT_EQ(UnitFileName(3), "");
    EXPECT_EQ(GetFileAttributesA("scenery.new"), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetFileAttributesA("scenery.old"), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(ReadFile("scenery.cfg"), outcome == kIoSuccess ? "new\n"
                                       : written_after_copy  ? "old\r\nmore\r\n"
                                                             : "old\r\n");
    EXPECT_EQ(GetFileAttributesA("scenery.cfg"), attributes);
    EXPECT_EQ(ReadFile("scenery.bak"), outcome == kIoSuccess ? "old\r\n" : "earlier");
    if (outcome != kIoSuccess) {
      EXPECT_EQ(GetFileAttributesA("scenery.bak"), backup_attributes);
    }
    SetFileAttributesA("scenery.cfg", FILE_ATTRIBUTE_NORMAL);
    SetFileAttributesA("scenery.bak", FILE_ATTRIBUTE_NORMAL);
  }
}

TEST(WindowsFileLayer, SystemErrorTextsComeFromTheSystem) {
  EXPECT_FALSE(SystemErrorMessage(ERROR_ACCESS_DENIED).empty());
  EXPECT_TRUE(SystemErrorMessage(0x2FFFFFFF).empty());
}

}  // namespace
}  // namespace scenreg
