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
