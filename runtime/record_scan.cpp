#include "runtime/record_scan.h"

#include "runtime/record_unit.h"

namespace scenreg {
namespace {

using namespace record_unit;

bool BeginsWithOneOf(std::string_view record, std::span<const std::string_view> texts) {
  for (const std::string_view text : texts)
    if (record.starts_with(text)) return true;
  return false;
}

// Every record is cut as ReadField cuts it, so the reads, the end of file and
// the errors are its own; only the copy into a field and the table's busy
// flag per record are saved.
IoOutcome ReadLocked(int unit, std::span<const std::string_view> texts, std::string_view& record) {
  UnitConnection* connection = FindUnit(unit);
  if (connection == nullptr) return Fail(kErrReadFailed, {});
  for (;;) {
    if (const IoOutcome outcome = TakeRecord(*connection, record); outcome != kIoSuccess)
      return outcome;
    if (BeginsWithOneOf(record, texts)) return kIoSuccess;
  }
}

}  // namespace

IoOutcome ReadRecordStartingWith(int unit, std::span<const std::string_view> texts,
                                 std::string_view& record, OnFailure on_failure) {
  const IoOutcome outcome = Locked([&]() noexcept { return ReadLocked(unit, texts, record); });
  return outcome == kIoSuccess ? outcome : Finish(outcome, unit, on_failure);
}

}  // namespace scenreg
