// The filtered read of record file access: a forward pass over a unit that
// delivers only the records beginning with one of a few texts and passes over
// the others inside the read buffer, many bytes at a time, without copying
// them anywhere. Meant for scans of large files of which few records matter.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

#include "runtime/record_file.h"

namespace scenreg {

// The beginnings a filtered read looks for, prepared once for a pass. It
// refers to the caller's texts, which must outlive it.
struct RecordStarts {
  std::span<const std::string_view> texts;
  // For the bulk test, per text: its first byte and one more of its first
  // eight, the last of them, which tells apart lines with a common key such
  // as "Title=". A record of 0x1A alone is looked at as well; when the texts
  // do not fit, every record is.
  struct BytePair {
    char first = 0;
    char later = 0;
    std::uint8_t later_offset = 0;
  };
  std::array<BytePair, 4> byte_pairs{};
  std::uint8_t pair_count = 0;
  bool every_first_byte = false;
  // The first eight bytes of each of the first texts as a word, with a mask
  // of the bytes a shorter text has: a candidate is tested without a call.
  struct StartWord {
    std::uint64_t bytes = 0;
    std::uint64_t mask = 0;
  };
  std::array<StartWord, 4> start_words{};
};

RecordStarts MakeRecordStarts(std::span<const std::string_view> texts);

// Reads the unit's records up to the next one that begins with one of the
// texts and delivers it without its line end, as a view into the read buffer
// that stays valid until the next operation on the unit. The records passed
// over are read as ReadField reads them: the same reads of the file into the
// same buffer, the same end of file (a record of 0x1A alone included) and the
// same errors, so a pass ends exactly where reading them one by one would.
IoOutcome ReadRecordStartingWith(int unit, const RecordStarts& starts, std::string_view& record,
                                 OnFailure on_failure = kWithoutExit);

// The same for many records at once, in one operation on the unit: hands
// `take` the next records that begin with one of the texts, in order, as many
// as the bytes read so far hold (at most kRecordBatch); they stay valid during
// the call only. `take` returns how many of them it took, from the first (the
// first is always taken); the unit is left right after the last record taken,
// so the others come again.
// It reads ahead only before the first record, so the end of the file or a
// failed read is reported by a call that hands over nothing, right after the
// records before it. `take` runs while the unit table is busy: it must not
// use record file access.
inline constexpr std::size_t kRecordBatch = 64;
using RecordTaker = std::size_t (*)(std::span<const std::string_view> records, void* context);
IoOutcome ReadRecordsStartingWith(int unit, const RecordStarts& starts, RecordTaker take,
                                  void* context, OnFailure on_failure = kWithoutExit);

}  // namespace scenreg
