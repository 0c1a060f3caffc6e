#include "runtime/record_scan.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>

#include "runtime/record_unit.h"

// The 16-byte search: always there in 64-bit builds; 32-bit builds carry it
// for the processors that have it, and the others search without vectors.
#if defined(__SSE2__) || (defined(__i386__) && defined(__GNUC__))
#define SCENREG_SSE2_SEARCH 1
#include <emmintrin.h>
#endif
// 64-bit builds also carry a 32-byte search, taken where the processor has it.
#if defined(__x86_64__) && defined(__GNUC__)
#define SCENREG_AVX2_SEARCH 1
#include <immintrin.h>
#endif

namespace scenreg {

namespace record_unit {
bool portable_record_search = false;
bool narrow_record_search = false;
}  // namespace record_unit

namespace {

using namespace record_unit;

// The texts are short: compared in place, without a call, so that the
// search around it keeps its vectors in registers.
[[gnu::always_inline]] inline bool SameBytes(const char* a, const char* b, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i)
    if (a[i] != b[i]) return false;
  return true;
}

// Whether the `available` bytes at `at` begin with one of the texts. A text
// longer than them counts when they are its beginning, unless it must be
// there whole.
[[gnu::always_inline]] inline bool BeginsWithAText(const char* at, std::size_t available,
                                                   const RecordStarts& starts, bool whole) {
  const std::span<const std::string_view> texts = starts.texts;
  if (available >= 8 && texts.size() <= starts.start_words.size()) {
    std::uint64_t word;
    std::memcpy(&word, at, 8);
    for (std::size_t i = 0; i < texts.size(); ++i) {
      const RecordStarts::StartWord start = starts.start_words[i];
      if ((word & start.mask) != start.bytes) continue;
      if (texts[i].size() <= 8) return true;
      const std::size_t compared = std::min(texts[i].size(), available);
      if ((!whole || compared == texts[i].size()) &&
          SameBytes(at + 8, texts[i].data() + 8, compared - 8))
        return true;
    }
    return false;
  }
  for (const std::string_view text : texts) {
    const std::size_t compared = std::min(text.size(), available);
    if ((!whole || compared == text.size()) && SameBytes(at, text.data(), compared)) return true;
  }
  return false;
}

// The exact rule, applied to a record once it is cut.
[[gnu::always_inline]] inline bool IsWanted(std::string_view record, const RecordStarts& starts) {
  return BeginsWithAText(record.data(), record.size(), starts, true);
}

// Whether the record that starts at `at` can be wanted, judged from the bytes
// read so far. Never false for a record the exact rule wants: the bytes up to
// the LF are the record's own (a dropped CR sits right before the LF, which no
// record holds). The end mark has to reach the record layer as well.
[[gnu::always_inline]] inline bool MayBeWanted(const char* at, const char* end,
                                               const RecordStarts& starts) {
  if (*at == kEndMark) return true;
  return BeginsWithAText(at, static_cast<std::size_t>(end - at), starts, false);
}

// The first record start in [from, end) that may be wanted, or end; from is
// past the unit's next record, so every record start there follows an LF.
std::size_t FindCandidatePortable(const char* buffer, std::size_t from, std::size_t end,
                                  const RecordStarts& starts) {
  const char* const last = buffer + end - 1;  // an LF there starts no record within
  for (const char* lf = buffer + from - 1; lf < last; ++lf) {
    lf = static_cast<const char*>(std::memchr(lf, '\n', static_cast<std::size_t>(last - lf)));
    if (lf == nullptr) break;
    if (MayBeWanted(lf + 1, buffer + end, starts)) return static_cast<std::size_t>(lf + 1 - buffer);
  }
  return end;
}

// The vector searches read this far past a position, for the pairs' later
// bytes.
constexpr std::size_t kLaterReach = 7;

// What a visit of candidates returns to stop the search.
constexpr std::size_t kStopSearch = ~std::size_t{0};

// The vector searches look at 64 positions per step, one bit each.
constexpr std::size_t kChunk = 64;

struct ChunkMasks {
  std::uint64_t line_starts = 0;  // follows an LF
  // A line start that begins like one of the texts by their pairs' two
  // bytes, or holds the end mark: a candidate, confirmed by the visit.
  std::uint64_t candidates = 0;
};

// Hands each candidate from `from` to `visit` in order, with where its LF is
// or where to search for it (no LF comes before that), and goes on where the
// visit says (past the candidate), or stops at kStopSearch. Library lines
// are short, so a chunk holds a candidate or two, each tested in place, and
// its LF is mostly known from the chunk's line starts. A wanted record holds
// both bytes of its text's pair, so none is missed; the bytes of a shorter
// record's successor can only make a needless candidate. `from` must follow
// an LF, or be tested already. Returns where the chunks that fit end (for
// the bytes after them) or kStopSearch. The visit works on a copy of its
// state, which is handed back at the end: as a local, nothing the visit
// stores can make the compiler read it again.
template <typename ChunkSearch, typename Visit>
std::size_t VisitCandidatesInChunks(const char* buffer, std::size_t from, std::size_t end,
                                    const ChunkSearch& search, Visit& visit_state) {
  constexpr std::size_t kFits = kChunk + kLaterReach;  // bytes a chunk's masks read
  Visit visit = visit_state;
  std::size_t at = from;
  while (end - at >= kFits) {
    const ChunkMasks masks = search(buffer + at);
    std::uint64_t candidates = masks.candidates;
    std::size_t resume = at + kChunk;
    while (candidates != 0) {
      const auto offset = static_cast<unsigned>(std::countr_zero(candidates));
      const std::size_t position = at + offset;
      const std::uint64_t later_starts = (masks.line_starts >> offset) >> 1;
      const std::size_t lf_hint =
          later_starts != 0 ? position + static_cast<std::size_t>(std::countr_zero(later_starts))
                            : at + kChunk - 1;
      const std::size_t goes_on = visit(position, lf_hint);
      if (goes_on >= at + kChunk) {  // kStopSearch too
        resume = goes_on;
        break;
      }
      candidates &= ~std::uint64_t{0} << (goes_on - at);
    }
    at = resume;
    if (at == kStopSearch) break;
  }
  visit_state = visit;
  return at;
}

#if defined(SCENREG_SSE2_SEARCH)
[[gnu::always_inline]] __attribute__((target("sse2"))) inline __m128i LoadSse2(const char* at) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
}

// 16 positions at a time, four to a chunk.
template <std::size_t kPairs>
struct Sse2ChunkSearch {
  // Per pair, its two bytes and the later one's distance, kept in registers.
  struct {
    __m128i firsts[kPairs];
    __m128i laters[kPairs];
    std::size_t later_offsets[kPairs];
    __m128i every;
  } pairs;

  __attribute__((target("sse2"))) explicit Sse2ChunkSearch(const RecordStarts& starts) {
    for (std::size_t i = 0; i < kPairs; ++i) {
      pairs.firsts[i] = _mm_set1_epi8(starts.byte_pairs[i].first);
      pairs.laters[i] = _mm_set1_epi8(starts.byte_pairs[i].later);
      pairs.later_offsets[i] = starts.byte_pairs[i].later_offset;
    }
    pairs.every = _mm_set1_epi8(starts.every_first_byte ? -1 : 0);
  }

  __attribute__((target("sse2"))) ChunkMasks operator()(const char* at) const {
    const __m128i line_feed = _mm_set1_epi8('\n');
    const __m128i end_mark = _mm_set1_epi8(kEndMark);
    ChunkMasks masks;
    for (std::size_t piece = 0; piece < kChunk; piece += 16) {
      const char* const here_at = at + piece;
      const __m128i here = LoadSse2(here_at);
      __m128i begun = _mm_or_si128(_mm_cmpeq_epi8(here, end_mark), pairs.every);
      for (std::size_t i = 0; i < kPairs; ++i)
        begun = _mm_or_si128(
            begun, _mm_and_si128(_mm_cmpeq_epi8(here, pairs.firsts[i]),
                                 _mm_cmpeq_epi8(LoadSse2(here_at + pairs.later_offsets[i]),
                                                pairs.laters[i])));
      const __m128i after_lf = _mm_cmpeq_epi8(LoadSse2(here_at - 1), line_feed);
      masks.line_starts |= std::uint64_t{static_cast<std::uint16_t>(_mm_movemask_epi8(after_lf))}
                           << piece;
      masks.candidates |= std::uint64_t{static_cast<std::uint16_t>(
                              _mm_movemask_epi8(_mm_and_si128(after_lf, begun)))}
                          << piece;
    }
    return masks;
  }
};

// Flattened: the chunk loop, the search and the visit become one loop.
template <std::size_t kPairs, typename Visit>
[[gnu::flatten]] __attribute__((target("sse2"))) std::size_t VisitCandidatesSse2(
    const char* buffer, std::size_t from, std::size_t end, const RecordStarts& starts,
    Visit& visit) {
  const Sse2ChunkSearch<kPairs> search(starts);
  return VisitCandidatesInChunks(buffer, from, end, search, visit);
}

#if defined(__SSE2__)
constexpr bool has_sse2 = true;
#else
const bool has_sse2 = __builtin_cpu_supports("sse2");
#endif
#endif

#if defined(SCENREG_AVX2_SEARCH)
[[gnu::always_inline]] __attribute__((target("avx2"))) inline __m256i LoadAvx2(const char* at) {
  return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at));
}

// 32 positions at a time, two to a chunk.
template <std::size_t kPairs>
struct Avx2ChunkSearch {
  struct {
    __m256i firsts[kPairs];
    __m256i laters[kPairs];
    std::size_t later_offsets[kPairs];
    __m256i every;
  } pairs;

  __attribute__((target("avx2"))) explicit Avx2ChunkSearch(const RecordStarts& starts) {
    for (std::size_t i = 0; i < kPairs; ++i) {
      pairs.firsts[i] = _mm256_set1_epi8(starts.byte_pairs[i].first);
      pairs.laters[i] = _mm256_set1_epi8(starts.byte_pairs[i].later);
      pairs.later_offsets[i] = starts.byte_pairs[i].later_offset;
    }
    pairs.every = _mm256_set1_epi8(starts.every_first_byte ? -1 : 0);
  }

  __attribute__((target("avx2"))) ChunkMasks operator()(const char* at) const {
    const __m256i line_feed = _mm256_set1_epi8('\n');
    const __m256i end_mark = _mm256_set1_epi8(kEndMark);
    ChunkMasks masks;
    for (std::size_t piece = 0; piece < kChunk; piece += 32) {
      const char* const here_at = at + piece;
      const __m256i here = LoadAvx2(here_at);
      __m256i begun = _mm256_or_si256(_mm256_cmpeq_epi8(here, end_mark), pairs.every);
      for (std::size_t i = 0; i < kPairs; ++i)
        begun = _mm256_or_si256(
            begun, _mm256_and_si256(_mm256_cmpeq_epi8(here, pairs.firsts[i]),
                                    _mm256_cmpeq_epi8(LoadAvx2(here_at + pairs.later_offsets[i]),
                                                      pairs.laters[i])));
      const __m256i after_lf = _mm256_cmpeq_epi8(LoadAvx2(here_at - 1), line_feed);
      masks.line_starts |= std::uint64_t{static_cast<std::uint32_t>(_mm256_movemask_epi8(after_lf))}
                           << piece;
      masks.candidates |= std::uint64_t{static_cast<std::uint32_t>(
                              _mm256_movemask_epi8(_mm256_and_si256(after_lf, begun)))}
                          << piece;
    }
    return masks;
  }
};

template <std::size_t kPairs, typename Visit>
[[gnu::flatten]] __attribute__((target("avx2"))) std::size_t VisitCandidatesAvx2(
    const char* buffer, std::size_t from, std::size_t end, const RecordStarts& starts,
    Visit& visit) {
  const Avx2ChunkSearch<kPairs> search(starts);
  return VisitCandidatesInChunks(buffer, from, end, search, visit);
}

const bool has_avx2 = __builtin_cpu_supports("avx2");
#endif

// Visits the candidates from `from` with the widest search the processor
// and the fuzz targets' settings allow, made for the number of pairs, which
// it then tests unrolled. Returns where the vector chunks end (`from` itself
// without them) or kStopSearch.
template <typename Visit>
std::size_t VisitCandidates([[maybe_unused]] const char* buffer, std::size_t from,
                            [[maybe_unused]] std::size_t end,
                            [[maybe_unused]] const RecordStarts& starts,
                            [[maybe_unused]] Visit& visit) {
#if defined(SCENREG_AVX2_SEARCH)
  if (has_avx2 && !portable_record_search && !narrow_record_search) {
    switch (starts.pair_count) {
      case 0:  // the first pair then matches nothing
      case 1:
        return VisitCandidatesAvx2<1>(buffer, from, end, starts, visit);
      case 2:
        return VisitCandidatesAvx2<2>(buffer, from, end, starts, visit);
      case 3:
        return VisitCandidatesAvx2<3>(buffer, from, end, starts, visit);
      default:
        return VisitCandidatesAvx2<4>(buffer, from, end, starts, visit);
    }
  }
#endif
#if defined(SCENREG_SSE2_SEARCH)
  if (has_sse2 && !portable_record_search) {
    switch (starts.pair_count) {
      case 0:
      case 1:
        return VisitCandidatesSse2<1>(buffer, from, end, starts, visit);
      case 2:
        return VisitCandidatesSse2<2>(buffer, from, end, starts, visit);
      case 3:
        return VisitCandidatesSse2<3>(buffer, from, end, starts, visit);
      default:
        return VisitCandidatesSse2<4>(buffer, from, end, starts, visit);
    }
  }
#endif
  return from;
}

// The first record start in [from, end) that may be wanted, or end; from is
// past the unit's next record, so every record start there follows an LF.
std::size_t FindCandidate(const char* buffer, std::size_t from, std::size_t end,
                          const RecordStarts& starts) {
  struct StopAtCandidate {
    const char* buffer;
    std::size_t end;
    const RecordStarts* starts;
    std::size_t found;
    std::size_t operator()(std::size_t position, std::size_t) {
      if (!MayBeWanted(buffer + position, buffer + end, *starts)) return position + 1;
      found = position;
      return kStopSearch;
    }
  } stop_at{buffer, end, &starts, end};
  const std::size_t searched = VisitCandidates(buffer, from, end, starts, stop_at);
  return searched == kStopSearch ? stop_at.found
                                 : FindCandidatePortable(buffer, searched, end, starts);
}

// One past the last LF in [from, end), or 0 when there is none. Whole
// words at a time: a long line is searched to its start.
std::size_t AfterLastLineFeed(const char* buffer, std::size_t from, std::size_t end) {
  std::size_t at = end;
  while (at - from >= 8 && FirstLineFeedInWord(buffer + at - 8) == 8) at -= 8;
  for (; at > from; --at)
    if (buffer[at - 1] == '\n') return at;
  return 0;
}

// Moves the unit's next record past every record that cannot be wanted,
// reading ahead as ReadField would, up to one that may be (the caller cuts
// it and decides) or to the end of the file's bytes. Without reading ahead,
// kNoWholeRecord where a read would be next.
IoOutcome PassOverRecords(UnitConnection& connection, const RecordStarts& starts,
                          bool may_read_ahead) {
  // Record starts before this position are known not to be candidates.
  std::size_t examined = connection.next;
  for (;;) {
    const char* const buffer = connection.buffer;
    const std::size_t known_without_lf = examined;
    if (examined == connection.next && connection.next < connection.end) {
      if (MayBeWanted(buffer + connection.next, buffer + connection.end, starts)) return kIoSuccess;
      ++examined;
    }
    if (examined < connection.end) {
      const std::size_t found = FindCandidate(buffer, examined, connection.end, starts);
      if (found < connection.end) {
        connection.next = found;
        return kIoSuccess;
      }
    }
    // The whole records read are passed over; an unfinished one stays for
    // the read ahead, which keeps it at the front as it does for ReadField.
    // Before known_without_lf there is no LF of that record.
    connection.next =
        std::max(connection.next, AfterLastLineFeed(buffer, known_without_lf, connection.end));
    if (connection.file_ended) return kIoSuccess;  // the cut reports the end
    if (!may_read_ahead) return kNoWholeRecord;
    examined = connection.end - connection.next;
    if (const IoOutcome outcome = ReadAhead(connection); outcome != kIoSuccess) return outcome;
  }
}

// The first LF in [from, end), or end. Whole words at a time and without a
// call, for the same reason as SameBytes.
[[gnu::always_inline]] inline std::size_t NextLineFeed(const char* buffer, std::size_t from,
                                                       std::size_t end) {
  std::size_t at = from;
  for (; end - at >= 8; at += 8)
    if (const std::size_t offset = FirstLineFeedInWord(buffer + at); offset < 8) return at + offset;
  for (; at < end; ++at)
    if (buffer[at] == '\n') return at;
  return end;
}

// The wanted records of one operation, with where each one's successor
// starts.
struct RecordBatch {
  std::array<std::string_view, kRecordBatch> records;
  std::array<std::size_t, kRecordBatch> ends;
  std::size_t count = 0;
  std::size_t capacity = kRecordBatch;  // one for a read of one record

  // True when it is full.
  bool Add(std::string_view record, std::size_t end) {
    records[count] = record;
    ends[count] = end;
    return ++count == capacity;
  }
};

// Once a record is gathered, the batch goes on within the bytes read: the
// search runs on across the records it finds, cutting each wanted one, as the
// record-at-a-time steps would, which take over where the search leaves off:
// at an end mark, at a record whose LF is not in the buffer, and in the bytes
// after the last whole chunk. It ends when the batch is full or when those
// steps would have to read. Nothing is handed over meanwhile, so the search
// calls nothing and keeps its vectors in registers.
void GatherWithinBuffer(UnitConnection& connection, const RecordStarts& starts,
                        RecordBatch& batch) {
  // The search's state, copied into registers while it runs.
  struct GatherCandidate {
    const char* buffer;
    std::size_t end;
    const RecordStarts* starts;
    RecordBatch* batch;
    std::size_t count;
    std::size_t next;
    std::size_t operator()(std::size_t position, std::size_t lf_hint) {
      next = position;
      if (buffer[position] == kEndMark) return kStopSearch;
      const std::size_t lf = NextLineFeed(buffer, lf_hint, end);
      if (lf == end) return kStopSearch;
      const std::string_view record = RecordEndingAt(buffer + position, buffer + lf);
      next = lf + 1;
      if (IsWanted(record, *starts)) {
        batch->records[count] = record;
        batch->ends[count] = next;
        if (++count == batch->capacity) return kStopSearch;
      }
      return next;
    }
  };
  while (batch.count < batch.capacity) {
    // The unit's next record follows an LF: one was gathered.
    GatherCandidate gather{connection.buffer, connection.end, &starts, &batch,
                           batch.count,       connection.next};
    VisitCandidates(connection.buffer, connection.next, connection.end, starts, gather);
    connection.next = gather.next;
    batch.count = gather.count;
    if (batch.count == batch.capacity || connection.end_mark_seen) return;
    IoOutcome outcome = PassOverRecords(connection, starts, false);
    std::string_view record;
    if (outcome == kIoSuccess) outcome = TakeRecord(connection, record, false);
    if (outcome != kIoSuccess) return;
    if (IsWanted(record, starts)) batch.Add(record, connection.next);
  }
}

// Reads ahead only before the first record: a batch keeps the table busy
// for no more than one read. Afterwards the unit goes back to the end of the
// last record taken, so that the records passed over after it (an end mark
// too) are there for the next operation, as they would be after one record
// at a time; no read happened meanwhile. At most `most` records.
IoOutcome ReadBatchLocked(int unit, const RecordStarts& starts, RecordTaker take, void* context,
                          std::size_t most) {
  UnitConnection* connection = FindUnit(unit);
  if (connection == nullptr) return Fail(kErrReadFailed, {});
  RecordBatch batch;
  batch.capacity = most;
  while (batch.count == 0) {
    IoOutcome outcome = kIoSuccess;
    if (!connection->end_mark_seen) outcome = PassOverRecords(*connection, starts, true);
    std::string_view record;
    if (outcome == kIoSuccess) outcome = TakeRecord(*connection, record, true);
    if (outcome != kIoSuccess) return outcome;
    if (IsWanted(record, starts)) batch.Add(record, connection->next);
  }
  if (batch.count < batch.capacity) GatherWithinBuffer(*connection, starts, batch);
  // The first is taken whatever `take` says: the records passed over before
  // it may be gone from the buffer with the read that found it.
  const std::size_t taken = std::clamp<std::size_t>(
      take(std::span(batch.records.data(), batch.count), context), 1, batch.count);
  connection->next = batch.ends[taken - 1];
  connection->end_mark_seen = false;
  return kIoSuccess;
}

std::size_t TakeOne(std::span<const std::string_view> records, void* context) {
  *static_cast<std::string_view*>(context) = records[0];
  return 1;
}

IoOutcome ReadFiltered(int unit, const RecordStarts& starts, RecordTaker take, void* context,
                       std::size_t most, OnFailure on_failure) {
  const IoOutcome outcome =
      Locked([&]() noexcept { return ReadBatchLocked(unit, starts, take, context, most); });
  return outcome == kIoSuccess ? outcome : Finish(outcome, unit, on_failure);
}

}  // namespace

RecordStarts MakeRecordStarts(std::span<const std::string_view> texts) {
  RecordStarts starts;
  starts.texts = texts;
  std::size_t count = 0;
  for (const std::string_view text : texts) {
    if (text.empty()) {
      starts.every_first_byte = true;  // every record begins with it
      continue;
    }
    const std::size_t later_offset = std::min<std::size_t>(text.size(), 8) - 1;
    const RecordStarts::BytePair pair = {text[0], text[later_offset],
                                         static_cast<std::uint8_t>(later_offset)};
    const auto same = [&](const RecordStarts::BytePair& known) {
      return known.first == pair.first && known.later == pair.later &&
             known.later_offset == pair.later_offset;
    };
    const auto known = starts.byte_pairs.begin() + count;
    if (std::find_if(starts.byte_pairs.begin(), known, same) != known) continue;
    if (count == starts.byte_pairs.size())
      starts.every_first_byte = true;
    else
      starts.byte_pairs[count++] = pair;
  }
  starts.pair_count = static_cast<std::uint8_t>(count);
  // Without a pair, the first matches nothing: a first byte of 0 with a
  // later byte of 1 at the same place.
  if (count == 0) starts.byte_pairs[0] = {0, 1, 0};
  for (std::size_t i = 0; i < std::min(texts.size(), starts.start_words.size()); ++i) {
    const std::size_t length = std::min<std::size_t>(texts[i].size(), 8);
    const std::array<unsigned char, 8> ones = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    std::memcpy(&starts.start_words[i].bytes, texts[i].data(), length);
    std::memcpy(&starts.start_words[i].mask, ones.data(), length);
  }
  return starts;
}

IoOutcome ReadRecordStartingWith(int unit, const RecordStarts& starts, std::string_view& record,
                                 OnFailure on_failure) {
  return ReadFiltered(unit, starts, TakeOne, &record, 1, on_failure);
}

IoOutcome ReadRecordsStartingWith(int unit, const RecordStarts& starts, RecordTaker take,
                                  void* context, OnFailure on_failure) {
  return ReadFiltered(unit, starts, take, context, kRecordBatch, on_failure);
}

}  // namespace scenreg
