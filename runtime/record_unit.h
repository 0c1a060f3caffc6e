// Inside record file access: the unit table's connection and the read-buffer
// steps that both the record-by-record read (record_file.cpp) and the
// filtered read (record_scan.cpp) are built from. Not for use outside
// runtime/.
#pragma once

#include <atomic>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <string>
#include <string_view>

#include "runtime/file_system.h"
#include "runtime/record_file.h"

namespace scenreg::record_unit {

inline constexpr char kEndMark = 0x1A;

struct UnitConnection {
  bool in_use = false;
  int unit = 0;
  std::string file_name;
  FileHandle handle = -1;
  bool read_only = false;
  bool scratch = false;  // the file is deleted when the unit is closed
  // Read buffer: bytes [next, end) are read ahead and not yet delivered;
  // next is always the start of a record.
  char* buffer = nullptr;
  std::size_t capacity = 0;
  std::size_t next = 0;
  std::size_t end = 0;
  bool file_ended = false;     // the file has delivered its last byte
  bool end_mark_seen = false;  // a record of 0x1A alone ended the file
};

extern std::atomic<std::int32_t> locking_mode;
extern std::mutex table_mutex;

// The table's busy flag, taken by every operation in every locking mode, so
// that the close at the end of the process never frees a buffer in use.
void EnterTable();
void LeaveTable();

// Runs an operation on the unit table. In locking mode 0 the table's own
// flags guard it; otherwise the table's mutex serialises the threads as
// well. The operations do not throw, so no unwinding guard is needed;
// records are read by the million and this keeps the call lean.
template <typename Operation>
IoOutcome Locked(Operation operation) {
  const bool guarded = locking_mode.load(std::memory_order_relaxed) != 0;
  if (guarded) table_mutex.lock();
  EnterTable();
  const IoOutcome outcome = operation();
  LeaveTable();
  if (guarded) table_mutex.unlock();
  return outcome;
}

UnitConnection* FindUnit(int unit);

// Notes what the failing operation knew for a fatal report after it, and
// returns the error.
IoOutcome Fail(std::int32_t error, std::string_view file_name, SystemError system_error = 0);

// Turns the outcome of an operation without an exit into the fatal report.
IoOutcome Finish(IoOutcome outcome, int unit, OnFailure on_failure);

// One step of reading ahead: the unread bytes move to the front, the buffer
// doubles when they fill it, and the free rest is read. At the file's end an
// LF is added after a last line without one. kIoEndOfFile when the file had
// ended already.
IoOutcome ReadAhead(UnitConnection& connection);

// The next record, taken out of the read buffer (reading ahead as needed)
// without its line end; kIoEndOfFile at the end of the file and at a record
// of 0x1A alone, which ends it for good. The record stays valid until the
// next operation on the unit.
IoOutcome TakeRecord(UnitConnection& connection, std::string_view& record);

// The offset of the first LF among the 8 bytes at `at`, or 8 when there is
// none: a word at a time, for the searches that must not call memchr per
// short line.
inline std::size_t FirstLineFeedInWord(const char* at) {
  if constexpr (std::endian::native == std::endian::little) {
    constexpr std::uint64_t kOnes = 0x0101010101010101u;
    constexpr std::uint64_t kHighBits = 0x8080808080808080u;
    std::uint64_t word;
    std::memcpy(&word, at, 8);
    const std::uint64_t zero_where_lf = word ^ (kOnes * '\n');
    // The lowest set high bit marks the first zero byte exactly.
    const std::uint64_t found = (zero_where_lf - kOnes) & ~zero_where_lf & kHighBits;
    return static_cast<std::size_t>(std::countr_zero(found)) / 8;
  }
  std::size_t offset = 0;
  while (offset < 8 && at[offset] != '\n') ++offset;
  return offset;
}

// The record from `start` to the LF, without the LF and one CR before it.
inline std::string_view RecordEndingAt(const char* start, const char* lf) {
  std::size_t length = static_cast<std::size_t>(lf - start);
  if (length > 0 && start[length - 1] == '\r') --length;
  return std::string_view(start, length);
}

// Takes the record that ends at the LF out of the buffer, without the LF and
// one CR before it. It does not test for the end mark.
inline void CutRecord(UnitConnection& connection, const char* lf, std::string_view& record) {
  record = RecordEndingAt(connection.buffer + connection.next, lf);
  connection.next = static_cast<std::size_t>(lf + 1 - connection.buffer);
}

}  // namespace scenreg::record_unit
