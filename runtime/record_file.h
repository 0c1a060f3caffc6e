// Record file access: text files as numbered units of line records.
//
// Every operation can be called with an exit or without one. With an exit it
// returns its IoOutcome (0 success, -1 end of file, else the error number);
// without one, any failure, end of file included, is a severe run-time error
// that ends the program, so the call returns only on success.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <span>
#include <string_view>

namespace scenreg {

using IoOutcome = std::int32_t;
inline constexpr IoOutcome kIoSuccess = 0;
inline constexpr IoOutcome kIoEndOfFile = -1;

// Run-time error numbers of record file access.
enum IoError : std::int32_t {
  kErrPermissionDenied = 9,
  kErrCannotOverwrite = 10,
  kErrRecordTooLong = 22,
  kErrEndOfFileDuringRead = 24,
  kErrCloseFailed = 28,
  kErrFileNotFound = 29,
  kErrOpenFailure = 30,
  kErrChangedByAnother = 31,
  kErrWriteFailed = 38,
  kErrReadFailed = 39,
  kErrNoMemory = 41,
  kErrNoSuchDevice = 42,
  kErrBadFileName = 43,
  kErrWriteToReadOnly = 47,
  kErrOutputConversion = 63,
  kErrInputConversion = 64,
  kErrRecordOverflow = 66,
};

enum class OnFailure { kEndProgram, kReturnOutcome };
inline constexpr OnFailure kWithoutExit = OnFailure::kEndProgram;
inline constexpr OnFailure kWithExit = OnFailure::kReturnOutcome;

// The pseudo unit of an integer read from a text in memory.
inline constexpr int kInternalUnit = -1;

// One piece of an output record.
struct RecordItem {
  enum Kind { kText, kChar, kInt } kind;
  std::string_view text;
  std::int32_t value = 0;
  int width = 0;  // kChar: 0 means without width
};
inline RecordItem TextItem(std::string_view text) {
  return {RecordItem::kText, text};
}
inline RecordItem CharItem(std::string_view value, int width = 0) {
  return {RecordItem::kChar, value, 0, width};
}
inline RecordItem IntItem(std::int32_t value, int width) {
  return {RecordItem::kInt, {}, value, width};
}

// Opens or creates the file. form is "formatted"; access is "append" or empty
// for sequential. Both are matched without regard to case and trailing blanks.
IoOutcome OpenUnit(int unit, std::string_view file_name, std::string_view form = "formatted",
                   std::string_view access = {}, OnFailure on_failure = kWithoutExit);

// Reads the next record into the field: its first field.size() bytes,
// blank-padded.
IoOutcome ReadField(int unit, std::span<char> field, OnFailure on_failure = kWithoutExit);

// Reads the text as one integer field of its width in which blanks do not
// count. On failure the target is 0 and the error is 64.
IoOutcome ReadIntegerFromText(std::string_view text, std::int32_t& target,
                              OnFailure on_failure = kWithoutExit);

// Writes one record built from the items, ended by CR LF, to the file at once.
IoOutcome WriteRecord(int unit, std::span<const RecordItem> items,
                      OnFailure on_failure = kWithoutExit);
inline IoOutcome WriteRecord(int unit, std::initializer_list<RecordItem> items,
                             OnFailure on_failure = kWithoutExit) {
  return WriteRecord(unit, std::span<const RecordItem>(items.begin(), items.size()), on_failure);
}

IoOutcome CloseUnit(int unit, OnFailure on_failure = kWithoutExit);

// What an operation without an exit does with the outcome of one called
// with an exit: success is returned, anything else is the fatal report.
IoOutcome ReportOutcome(IoOutcome outcome, int unit);

// Opens the file like OpenUnit, sequential and formatted, but a missing file
// is not created: that is error 29.
IoOutcome OpenExistingUnit(int unit, std::string_view file_name,
                           OnFailure on_failure = kWithoutExit);

// Opens a scratch file for writing: created empty (one that is there already
// is emptied) and closed to every other process. Its file goes when the unit
// is closed, by the run or at the end of the process, unless it has taken
// another file's place (ReplaceWithScratchUnit).
IoOutcome OpenScratchUnit(int unit, std::string_view file_name,
                          OnFailure on_failure = kWithoutExit);

// The file's bytes as they stand, from where the last read ended; count is
// below the buffer's size only at the end of the file. Not for a unit whose
// records are read.
IoOutcome ReadBytes(int unit, std::span<char> buffer, std::size_t& count,
                    OnFailure on_failure = kWithoutExit);

// The next ReadBytes starts at the file's first byte again.
IoOutcome RewindUnit(int unit, OnFailure on_failure = kWithoutExit);

// Writes the bytes as they are, at once.
IoOutcome WriteBytes(int unit, std::string_view bytes, OnFailure on_failure = kWithoutExit);

// Puts the scratch unit's file in the place of the target unit's file in one
// step: flushed to the disk first, given the target's attributes, and the
// target's old bytes kept in the backup file (same folder, the name resolved
// like a unit's). A target that another program changed after the unit
// stopped keeping writers out fails with 31 and is not replaced. A backup
// that is there already is set aside under the previous-backup name while
// the replace runs and deleted after it. Both units are closed. A target
// that was opened read-only fails with 47. On any failure the target keeps
// its bytes, the backup that was there is back, and the scratch file is
// gone.
IoOutcome ReplaceWithScratchUnit(int scratch_unit, int target_unit, std::string_view backup_name,
                                 std::string_view previous_backup_name,
                                 OnFailure on_failure = kWithoutExit);

// Deletes the named file; one that is not there is no failure.
IoOutcome RemoveFile(std::string_view file_name, OnFailure on_failure = kWithoutExit);

// Closes every unit that is still open; failures are not reported. An
// operation like the others: safe from any thread.
void CloseAllUnits();

// The close at the end of the process, from whichever thread ends it (the
// window thread when the user closes the main window). From its start no
// operation may start, write or report: any later call, on any thread,
// waits for the process to end and never returns. An operation in progress
// may finish first; one that takes too long (a stalled read) is left to the
// end of the process, and its unit with it. Later calls return at once.
// Read buffers are not freed, so a record handed out stays readable.
void CloseAllUnitsAtEnd();

// Whether the close at the end of the process has begun.
bool EndCloseBegun();

// The full path that the unit's open resolved its name to; empty when the
// unit is not open.
std::string_view UnitFileName(int unit);

// Reports a file error for the unit at the given severity: the system's own
// text first when the failing system call left an error number, then the
// diagnostic. A severe report ends the program.
void ReportFileError(int unit, std::int32_t error, std::uint32_t severity);

// The locking mode of the unit table (2 at start; 0: own flags only).
// Mode 3 only asks. Returns the previous mode.
std::int32_t SetIoLockingMode(std::int32_t mode);

}  // namespace scenreg
