#include "runtime/record_file.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <bit>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>

#include "runtime/diagnostics.h"
#include "runtime/file_system.h"
#include "runtime/record_unit.h"
#include "runtime/text_field.h"

namespace scenreg {
namespace {

using namespace record_unit;

constexpr std::size_t kMaxFileNameLength = 256;
constexpr std::size_t kInitialBufferSize = 8192;
constexpr std::string_view kInternalFileName = "internal text";

std::array<UnitConnection, 32> unit_table;

// The table's own flags, in every locking mode. table_busy: an operation is
// inside the table. table_ending: the close at the end of the process has
// begun; no operation may start, write or report any more. An operation
// announces itself before it looks at table_ending, and the end close the
// other way round, so one of the two always sees the other.
std::atomic<bool> table_busy{false};
std::atomic<bool> table_ending{false};

// How long the end close waits for an operation in progress, such as a read
// of a pipe that never delivers, before it leaves the units to the end of
// the process.
constexpr auto kEndCloseWait = std::chrono::milliseconds(1000);

// What the last failing operation knew, for the fatal report after it.
struct FailureContext {
  std::string file_name;
  SystemError system_error = 0;
};
FailureContext last_failure;

// An operation that would start, write or report after the end close has
// begun: the thread waits here for the process to end.
[[noreturn]] void WaitForProcessEnd() {
  for (;;) std::this_thread::sleep_for(std::chrono::hours(1));
}

void Report(int unit, std::int32_t error, std::uint32_t severity, std::string_view file_name,
            SystemError system_error) {
  if (table_ending.load()) WaitForProcessEnd();  // nothing is told after the end close
  const DiagnosticCode code = MakeDiagnosticCode(static_cast<Severity>(severity), error);
  if (system_error != 0) ReportSystemErrorText(kPrefixWord, system_error, code);
  const DiagnosticArg args[] = {unit, file_name};
  ReportDiagnostic(code, args);
}

}  // namespace

namespace record_unit {

std::atomic<std::int32_t> locking_mode{2};
std::mutex table_mutex;

void EnterTable() {
  // Another thread's operation: rare, and short but for a stalled read.
  while (table_busy.exchange(true)) std::this_thread::yield();
  if (table_ending.load()) {
    table_busy.store(false, std::memory_order_release);
    WaitForProcessEnd();
  }
}

void LeaveTable() {
  table_busy.store(false, std::memory_order_release);
}

UnitConnection* FindUnit(int unit) {
  for (UnitConnection& connection : unit_table)
    if (connection.in_use && connection.unit == unit) return &connection;
  return nullptr;
}

// Out of line: the failure paths stay off the record loop.
[[gnu::noinline]] IoOutcome Fail(std::int32_t error, std::string_view file_name,
                                 SystemError system_error) {
  last_failure.file_name.assign(file_name);
  last_failure.system_error = system_error;
  return error;
}

// The single place where an operation without an exit turns its outcome into
// the fatal report.
IoOutcome Finish(IoOutcome outcome, int unit, OnFailure on_failure) {
  if (outcome == kIoSuccess || on_failure == kWithExit) return outcome;
  const std::int32_t error = outcome == kIoEndOfFile ? kErrEndOfFileDuringRead : outcome;
  const FailureContext failure = std::move(last_failure);
  Report(unit, error, kSevere, failure.file_name, failure.system_error);
  std::abort();  // a severe report does not return
}

}  // namespace record_unit

namespace {

bool MatchesWord(std::string_view value, std::string_view word) {
  value = TrimmedText(value);
  if (value.size() != word.size()) return false;
  for (std::size_t i = 0; i < word.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(value[i])) != word[i]) return false;
  return true;
}

void Release(UnitConnection& connection) {
  std::free(connection.buffer);
  connection = UnitConnection{};
}

IoOutcome CloseConnection(UnitConnection& connection) {
  const SystemError error = CurrentFileSystem().close(connection.handle);
  std::string file_name = std::move(connection.file_name);
  if (connection.scratch) CurrentFileSystem().remove(file_name);
  Release(connection);
  if (error != 0) return Fail(kErrCloseFailed, file_name, error);
  return kIoSuccess;
}

// How an open treats the file's existence.
enum class OpenKind { kOpenOrCreate, kExisting, kScratch };

// The unit's file name as given, leading and trailing blanks dropped, resolved
// against the working directory.
std::string FullPathOf(std::string_view file_name) {
  std::string name(file_name.substr(0, kMaxFileNameLength));
  name.erase(0, std::min(name.find_first_not_of(' '), name.size()));
  name.resize(TrimmedLength(name));
  std::string full_path;
  if (!CurrentFileSystem().resolve_full_path(name, full_path)) full_path = name;
  return full_path;
}

IoOutcome OpenLocked(int unit, std::string_view file_name, std::string_view form,
                     std::string_view access, OpenKind kind = OpenKind::kOpenOrCreate) {
  const FileSystem& fs = CurrentFileSystem();
  std::string full_path = FullPathOf(file_name);

  const bool append = MatchesWord(access, "append");
  // A form of blanks only is no form at all: "formatted" as well.
  if (!(MatchesWord(form, "formatted") || TrimmedLength(form) == 0) ||
      !(append || MatchesWord(access, "sequential") || TrimmedLength(access) == 0))
    return Fail(kErrOpenFailure, full_path);

  // Reopening a unit number that is open closes the old connection first.
  if (UnitConnection* open = FindUnit(unit)) CloseConnection(*open);
  // The first free slot: every read looks its unit up from the front of the
  // table, so a unit placed last would cost a walk over the whole table per
  // record.
  UnitConnection* slot = nullptr;
  for (UnitConnection& connection : unit_table) {
    if (!connection.in_use) {
      slot = &connection;
      break;
    }
  }
  if (slot == nullptr) return Fail(kErrOpenFailure, full_path);

  bool read_only = false;
  const auto open = kind == OpenKind::kExisting ? fs.open_existing : fs.open_or_create;
  OpenAttempt attempt =
      kind == OpenKind::kScratch ? fs.create_empty(full_path) : open(full_path, true);
  if (attempt.error != 0 && IsAccessRefusal(attempt.error) && kind != OpenKind::kScratch) {
    attempt = open(full_path, false);
    read_only = attempt.error == 0;
  }
  // A linked file is not the one its name promises: access is denied.
  if (attempt.linked) return Fail(kErrPermissionDenied, full_path);
  if (attempt.error != 0) return Fail(OpenErrorNumber(attempt.error), full_path, attempt.error);

  if (append && fs.is_disk_file(attempt.handle)) {
    if (const SystemError error = fs.seek_to_end(attempt.handle); error != 0) {
      fs.close(attempt.handle);
      return Fail(kErrOpenFailure, full_path, error);
    }
  }
  char* buffer = static_cast<char*>(std::malloc(kInitialBufferSize));
  if (buffer == nullptr) {
    fs.close(attempt.handle);
    return Fail(kErrNoMemory, full_path);
  }
  *slot = UnitConnection{};
  slot->in_use = true;
  slot->unit = unit;
  slot->file_name = std::move(full_path);
  slot->handle = attempt.handle;
  slot->read_only = read_only;
  slot->scratch = kind == OpenKind::kScratch;
  slot->buffer = buffer;
  slot->capacity = kInitialBufferSize;
  return kIoSuccess;
}

constexpr char kEndMark = 0x1A;

// The offset of the first LF among the 8 bytes at `at`, or 8 when there is
// none.
std::size_t FirstLineFeedInWord(const char* at) {
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
std::string_view RecordEndingAt(const char* start, const char* lf) {
  std::size_t length = static_cast<std::size_t>(lf - start);
  if (length > 0 && start[length - 1] == '\r') --length;
  return std::string_view(start, length);
}

// Takes the record that ends at the LF out of the buffer, without the LF and
// one CR before it. It does not test for the end mark.
void CutRecord(UnitConnection& connection, const char* lf, std::string_view& record) {
  record = RecordEndingAt(connection.buffer + connection.next, lf);
  connection.next = static_cast<std::size_t>(lf + 1 - connection.buffer);
}

// The first LF in [p, end), or null. Library lines are short: their first
// words are searched inline, a word at a time, which beats a call to memchr
// per record; memchr takes over for long lines.
const char* FindLineFeed(const char* p, const char* end) {
  const char* const inline_end = p + std::min<std::ptrdiff_t>(end - p, 32);
  for (; inline_end - p >= 8; p += 8)
    if (const std::size_t offset = FirstLineFeedInWord(p); offset < 8) return p + offset;
  return static_cast<const char*>(std::memchr(p, '\n', end - p));
}

// One step of reading ahead: the unread bytes move to the front, the buffer
// doubles when they fill it, and the free rest is read. At the file's end an
// LF is added after a last line without one. kIoEndOfFile when the file had
// ended already.
IoOutcome ReadAhead(UnitConnection& connection) {
  if (connection.file_ended) return kIoEndOfFile;  // nothing is left unread
  const std::size_t unread_count = connection.end - connection.next;
  std::memmove(connection.buffer, connection.buffer + connection.next, unread_count);
  connection.next = 0;
  connection.end = unread_count;
  if (connection.end == connection.capacity) {
    const std::size_t larger = connection.capacity * 2;
    char* grown = larger > connection.capacity
                      ? static_cast<char*>(std::realloc(connection.buffer, larger))
                      : nullptr;
    if (grown == nullptr) return Fail(kErrRecordTooLong, connection.file_name);
    connection.buffer = grown;
    connection.capacity = larger;
  }
  const std::size_t wanted = connection.capacity - connection.end;
  const ReadAttempt attempt =
      CurrentFileSystem().read(connection.handle, connection.buffer + connection.end, wanted);
  if (attempt.error != 0 && !IsEndOfFileError(attempt.error))
    return Fail(kErrReadFailed, connection.file_name, attempt.error);
  connection.end += attempt.count;
  // Only a short read ends the file: a read that reports the end together
  // with a full buffer leaves it to the next one, which has room for the LF.
  if (attempt.count < wanted) {
    connection.file_ended = true;
    // A last line without line end is still a record; there is room for
    // the LF because the read fell short.
    if (connection.end > 0 && connection.buffer[connection.end - 1] != '\n')
      connection.buffer[connection.end++] = '\n';
  }
  return kIoSuccess;
}

// Reads ahead until the unread bytes hold a whole record, or the file has
// no more. Kept out of line: most records are cut from bytes already read,
// and the lean common path is what a scan of many short lines pays for.
[[gnu::noinline]] IoOutcome ReadAheadAndCut(UnitConnection& connection, std::string_view& record) {
  for (;;) {
    const std::size_t unread_count = connection.end - connection.next;
    if (const IoOutcome outcome = ReadAhead(connection); outcome != kIoSuccess) return outcome;
    // Only the bytes just read can hold the LF.
    if (const char* lf =
            FindLineFeed(connection.buffer + unread_count, connection.buffer + connection.end)) {
      CutRecord(connection, lf, record);
      return kIoSuccess;
    }
  }
}

// End of file, recorded as the unit's own failure for the fatal report.
[[gnu::noinline]] IoOutcome EndOfFile(const UnitConnection& connection) {
  Fail(kErrEndOfFileDuringRead, connection.file_name);
  return kIoEndOfFile;
}

}  // namespace

IoOutcome record_unit::TakeRecord(UnitConnection& connection, std::string_view& record) {
  if (connection.end_mark_seen) return EndOfFile(connection);
  if (const char* lf =
          FindLineFeed(connection.buffer + connection.next, connection.buffer + connection.end)) {
    CutRecord(connection, lf, record);
  } else {
    if (const IoOutcome outcome = ReadAheadAndCut(connection, record); outcome != kIoSuccess)
      return outcome == kIoEndOfFile ? EndOfFile(connection) : outcome;
  }
  if (record.size() == 1 && record[0] == kEndMark) {
    connection.end_mark_seen = true;
    return EndOfFile(connection);
  }
  return kIoSuccess;
}

namespace {

IoOutcome ReadLocked(int unit, std::span<char> field) {
  UnitConnection* connection = FindUnit(unit);
  if (connection == nullptr) return Fail(kErrReadFailed, {});
  std::string_view record;
  if (const IoOutcome outcome = TakeRecord(*connection, record); outcome != kIoSuccess)
    return outcome;
  AssignText(field, record);
  return kIoSuccess;
}

std::size_t DecimalDigits(std::int64_t magnitude, char* digits) {
  char reversed[24];
  std::size_t count = 0;
  do {
    reversed[count++] = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  for (std::size_t i = 0; i < count; ++i) digits[i] = reversed[count - 1 - i];
  return count;
}

std::size_t ItemLength(const RecordItem& item) {
  switch (item.kind) {
    case RecordItem::kText:
      return item.text.size();
    case RecordItem::kChar:
      return item.width > 0 ? static_cast<std::size_t>(item.width) : item.text.size();
    case RecordItem::kInt:
      return item.width > 0 ? static_cast<std::size_t>(item.width) : 0;
  }
  return 0;
}

char* AppendItem(const RecordItem& item, char* out) {
  const std::size_t width = ItemLength(item);
  switch (item.kind) {
    case RecordItem::kText:
      return std::copy(item.text.begin(), item.text.end(), out);
    case RecordItem::kChar:
      if (item.width <= 0 || item.text.size() >= width)
        return std::copy_n(item.text.begin(), width, out);
      out = std::fill_n(out, width - item.text.size(), ' ');
      return std::copy(item.text.begin(), item.text.end(), out);
    case RecordItem::kInt: {
      const std::int64_t value = item.value;
      char digits[24];
      std::size_t length = DecimalDigits(value < 0 ? -value : value, digits + 1);
      char* text = digits + 1;
      if (value < 0) {
        *--text = '-';
        ++length;
      }
      if (length > width) return std::fill_n(out, width, '*');
      out = std::fill_n(out, width - length, ' ');
      return std::copy_n(text, length, out);
    }
  }
  return out;
}

IoOutcome WriteLocked(int unit, std::span<const RecordItem> items) {
  UnitConnection* connection = FindUnit(unit);
  if (connection == nullptr) return Fail(kErrWriteFailed, {});
  if (connection->read_only) return Fail(kErrWriteToReadOnly, connection->file_name);
  // A length that does not fit in size_t (two widths near INT_MAX on a
  // 32-bit build) is memory that cannot be had, not a small record.
  std::size_t length = 2;
  bool fits = true;
  for (const RecordItem& item : items)
    fits &= !__builtin_add_overflow(length, ItemLength(item), &length);
  char* record = fits ? static_cast<char*>(std::malloc(length)) : nullptr;
  if (record == nullptr) return Fail(kErrRecordOverflow, connection->file_name);
  char* out = record;
  for (const RecordItem& item : items) out = AppendItem(item, out);
  *out++ = '\r';
  *out++ = '\n';
  const SystemError error = CurrentFileSystem().write(connection->handle, record, length);
  std::free(record);
  if (error != 0) return Fail(kErrWriteFailed, connection->file_name, error);
  return kIoSuccess;
}

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// The number rule: leading blanks, an optional sign, then digits among which
// blanks do not count; nothing after the sign is 0. False for any other
// character or a value outside the 32-bit range.
bool ParseInteger(std::string_view text, std::int64_t& value) {
  // The common area number: three plain digits.
  if (text.size() == 3 && IsDigit(text[0]) && IsDigit(text[1]) && IsDigit(text[2])) {
    value = (text[0] - '0') * 100 + (text[1] - '0') * 10 + (text[2] - '0');
    return true;
  }
  std::size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  value = 0;
  for (; i < text.size(); ++i) {
    if (text[i] == ' ') continue;
    if (!IsDigit(text[i])) return false;
    value = value * 10 + (text[i] - '0');
    if (value > std::int64_t{1} << 31) return false;
  }
  if (negative) value = -value;
  return value <= INT32_MAX;
}

}  // namespace

IoOutcome OpenUnit(int unit, std::string_view file_name, std::string_view form,
                   std::string_view access, OnFailure on_failure) {
  const IoOutcome outcome =
      Locked([&]() noexcept { return OpenLocked(unit, file_name, form, access); });
  return Finish(outcome, unit, on_failure);
}

IoOutcome ReadField(int unit, std::span<char> field, OnFailure on_failure) {
  const IoOutcome outcome = Locked([&]() noexcept { return ReadLocked(unit, field); });
  // Records are read by the million; the common case skips the call.
  return outcome == kIoSuccess ? outcome : Finish(outcome, unit, on_failure);
}

IoOutcome ReadIntegerFromText(std::string_view text, std::int32_t& target, OnFailure on_failure) {
  target = 0;
  std::int64_t value = 0;
  if (!ParseInteger(text, value)) {
    Fail(kErrInputConversion, kInternalFileName);
    return Finish(kErrInputConversion, kInternalUnit, on_failure);
  }
  target = static_cast<std::int32_t>(value);
  return kIoSuccess;
}

IoOutcome WriteRecord(int unit, std::span<const RecordItem> items, OnFailure on_failure) {
  const IoOutcome outcome = Locked([&]() noexcept { return WriteLocked(unit, items); });
  return Finish(outcome, unit, on_failure);
}

IoOutcome CloseUnit(int unit, OnFailure on_failure) {
  const IoOutcome outcome = Locked([&]() noexcept {
    UnitConnection* connection = FindUnit(unit);
    return connection ? CloseConnection(*connection) : kIoSuccess;
  });
  return Finish(outcome, unit, on_failure);
}

IoOutcome ReportOutcome(IoOutcome outcome, int unit) {
  return Finish(outcome, unit, kWithoutExit);
}

IoOutcome OpenExistingUnit(int unit, std::string_view file_name, OnFailure on_failure) {
  const IoOutcome outcome = Locked(
      [&]() noexcept { return OpenLocked(unit, file_name, "formatted", {}, OpenKind::kExisting); });
  return Finish(outcome, unit, on_failure);
}

IoOutcome OpenScratchUnit(int unit, std::string_view file_name, OnFailure on_failure) {
  const IoOutcome outcome = Locked(
      [&]() noexcept { return OpenLocked(unit, file_name, "formatted", {}, OpenKind::kScratch); });
  return Finish(outcome, unit, on_failure);
}

IoOutcome ReadBytes(int unit, std::span<char> buffer, std::size_t& count, OnFailure on_failure) {
  count = 0;
  const IoOutcome outcome = Locked([&]() noexcept {
    UnitConnection* connection = FindUnit(unit);
    if (connection == nullptr) return Fail(kErrReadFailed, {});
    const ReadAttempt attempt =
        CurrentFileSystem().read(connection->handle, buffer.data(), buffer.size());
    count = attempt.count;
    if (attempt.error != 0 && !IsEndOfFileError(attempt.error))
      return Fail(kErrReadFailed, connection->file_name, attempt.error);
    return kIoSuccess;
  });
  return Finish(outcome, unit, on_failure);
}

IoOutcome RewindUnit(int unit, OnFailure on_failure) {
  const IoOutcome outcome = Locked([&]() noexcept {
    UnitConnection* connection = FindUnit(unit);
    if (connection == nullptr) return Fail(kErrReadFailed, {});
    if (const SystemError error = CurrentFileSystem().seek_to_start(connection->handle); error != 0)
      return Fail(kErrReadFailed, connection->file_name, error);
    connection->next = connection->end = 0;
    connection->file_ended = connection->end_mark_seen = false;
    return kIoSuccess;
  });
  return Finish(outcome, unit, on_failure);
}

IoOutcome WriteBytes(int unit, std::string_view bytes, OnFailure on_failure) {
  const IoOutcome outcome = Locked([&]() noexcept {
    UnitConnection* connection = FindUnit(unit);
    if (connection == nullptr) return Fail(kErrWriteFailed, {});
    if (connection->read_only) return Fail(kErrWriteToReadOnly, connection->file_name);
    const SystemError error =
        CurrentFileSystem().write(connection->handle, bytes.data(), bytes.size());
    if (error != 0) return Fail(kErrWriteFailed, connection->file_name, error);
    return kIoSuccess;
  });
  return Finish(outcome, unit, on_failure);
}

namespace {

// The backup and the last step of the replace. The backup that was there is
// only set aside, so that a failure at any step puts every file back as it
// was; the last step is a single move, so that the target is never missing.
// The target was closed for the copy and the move, so another program may
// have written it since: then it is left as that program made it.
IoOutcome ReplaceWithBackup(const std::string& scratch_path, const std::string& target_path,
                            const FileStamp& target_stamp, const std::string& backup_path,
                            const std::string& aside_path) {
  const FileSystem& fs = CurrentFileSystem();
  const SystemError aside_error = fs.move(backup_path, aside_path);
  const bool set_aside = aside_error == 0;
  if (!set_aside && OpenErrorNumber(aside_error) != kErrFileNotFound)
    return Fail(OpenErrorNumber(aside_error), backup_path, aside_error);

  const std::string* failed_path = &backup_path;
  SystemError error = fs.copy(target_path, backup_path);
  bool changed = false;
  if (error == 0) {
    failed_path = &target_path;
    // Checked after the copy, so that the backup holds what was read. A
    // write between this check and the move is still lost: the move cannot
    // go over a file that is open, so no handle can keep writers out then.
    FileStamp stamp;
    error = fs.stamp(target_path, stamp);
    changed = error == 0 && !(stamp == target_stamp);
  }
  if (error == 0 && !changed) error = fs.move(scratch_path, target_path);
  if (error == 0 && !changed) {
    // One left behind is taken away by the next replace.
    fs.remove(aside_path);
    return kIoSuccess;
  }
  if (set_aside)
    fs.move(aside_path, backup_path);
  else
    fs.remove(backup_path);
  if (changed) return Fail(kErrChangedByAnother, target_path);
  return Fail(OpenErrorNumber(error), *failed_path, error);
}

// The steps of ReplaceWithScratchUnit up to the scratch file's release; the
// unit whose file failed is told through failed_unit.
IoOutcome ReplaceLocked(UnitConnection& scratch, UnitConnection& target,
                        const std::string& backup_path, const std::string& aside_path,
                        int& failed_unit) {
  const FileSystem& fs = CurrentFileSystem();
  failed_unit = target.unit;
  if (target.read_only) return Fail(kErrWriteToReadOnly, target.file_name);
  std::uint32_t attributes = 0;
  if (const SystemError error = fs.get_attributes(target.file_name, attributes); error != 0)
    return Fail(OpenErrorNumber(error), target.file_name, error);

  failed_unit = scratch.unit;
  if (const SystemError error = fs.flush(scratch.handle); error != 0)
    return Fail(kErrWriteFailed, scratch.file_name, error);
  const SystemError close_error = fs.close(scratch.handle);
  scratch.handle = -1;
  if (close_error != 0) return Fail(kErrCloseFailed, scratch.file_name, close_error);
  if (const SystemError error = fs.set_attributes(scratch.file_name, attributes); error != 0)
    return Fail(OpenErrorNumber(error), scratch.file_name, error);

  // The target is closed for the replace: Windows moves no file over one
  // that is open. Until then the unit's handle kept other writers out, so
  // the stamp taken now is that of the bytes that were read.
  failed_unit = target.unit;
  const std::string target_path = target.file_name;
  FileStamp target_stamp;
  if (const SystemError error = fs.stamp(target_path, target_stamp); error != 0)
    return Fail(OpenErrorNumber(error), target_path, error);
  if (const IoOutcome outcome = CloseConnection(target); outcome != kIoSuccess) return outcome;
  return ReplaceWithBackup(scratch.file_name, target_path, target_stamp, backup_path, aside_path);
}

}  // namespace

IoOutcome ReplaceWithScratchUnit(int scratch_unit, int target_unit, std::string_view backup_name,
                                 std::string_view previous_backup_name, OnFailure on_failure) {
  int failed_unit = target_unit;
  const IoOutcome outcome = Locked([&]() noexcept {
    UnitConnection* scratch = FindUnit(scratch_unit);
    UnitConnection* target = FindUnit(target_unit);
    if (scratch == nullptr || !scratch->scratch || target == nullptr)
      return Fail(kErrWriteFailed, target ? std::string_view(target->file_name) : "");
    const IoOutcome replaced = ReplaceLocked(*scratch, *target, FullPathOf(backup_name),
                                             FullPathOf(previous_backup_name), failed_unit);
    // Whatever happened, the scratch file is no unit's any more: in the
    // target's place, or gone.
    const FileSystem& fs = CurrentFileSystem();
    if (scratch->handle != -1) fs.close(scratch->handle);
    if (replaced != kIoSuccess) fs.remove(scratch->file_name);
    Release(*scratch);
    return replaced;
  });
  return Finish(outcome, failed_unit, on_failure);
}

IoOutcome RemoveFile(std::string_view file_name, OnFailure on_failure) {
  const IoOutcome outcome = Locked([&]() noexcept {
    const std::string full_path = FullPathOf(file_name);
    const SystemError error = CurrentFileSystem().remove(full_path);
    if (error == 0 || OpenErrorNumber(error) == kErrFileNotFound) return kIoSuccess;
    return Fail(OpenErrorNumber(error), full_path, error);
  });
  return Finish(outcome, 0, on_failure);
}

void CloseAllUnits() {
  Locked([]() noexcept {
    for (UnitConnection& connection : unit_table)
      if (connection.in_use) CloseConnection(connection);
    return kIoSuccess;
  });
}

void CloseAllUnitsAtEnd() {
  if (table_ending.exchange(true)) return;  // begun already, by this thread or another
  // Neither the mutex nor an endless wait: the thread inside may be stalled.
  const auto deadline = std::chrono::steady_clock::now() + kEndCloseWait;
  while (table_busy.exchange(true)) {
    // Still in use when the wait is over: nothing is freed or closed under
    // the operation; the end of the process closes the files.
    if (std::chrono::steady_clock::now() >= deadline) return;
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  // The files only, not their read buffers: a record that a filtered read
  // handed out points into its buffer, and the program thread may still be
  // looking at it. The buffers go with the process, which ends next.
  for (UnitConnection& connection : unit_table) {
    if (connection.in_use) {
      CurrentFileSystem().close(connection.handle);
      if (connection.scratch) CurrentFileSystem().remove(connection.file_name);
      connection.in_use = false;
    }
  }
  LeaveTable();
}

bool EndCloseBegun() {
  return table_ending.load();
}

std::string_view UnitFileName(int unit) {
  const UnitConnection* connection = FindUnit(unit);
  return connection ? std::string_view(connection->file_name) : std::string_view{};
}

void ReportFileError(int unit, std::int32_t error, std::uint32_t severity) {
  std::string file_name;
  Locked([&]() noexcept {
    file_name = UnitFileName(unit);
    return kIoSuccess;
  });
  Report(unit, error, severity, file_name, 0);
}

std::int32_t SetIoLockingMode(std::int32_t mode) {
  // Read by every operation of either thread.
  return mode == 3 ? locking_mode.load() : locking_mode.exchange(mode);
}

}  // namespace scenreg
