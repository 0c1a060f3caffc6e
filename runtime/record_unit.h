// Inside record file access: the unit table's connection and the steps that
// both the record-by-record read (record_file.cpp) and the filtered read
// (record_scan.cpp) are built from. Not for use outside runtime/.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

#include "runtime/file_system.h"
#include "runtime/record_file.h"

namespace scenreg::record_unit {

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

// The next record, taken out of the read buffer (reading ahead as needed)
// without its line end; kIoEndOfFile at the end of the file and at a record
// of 0x1A alone, which ends it for good. The record stays valid until the
// next operation on the unit.
IoOutcome TakeRecord(UnitConnection& connection, std::string_view& record);

}  // namespace scenreg::record_unit
