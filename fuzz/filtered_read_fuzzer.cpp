// Arbitrary bytes read with filtered reads (records beginning with one of
// up to five texts taken from the input) mixed with plain record reads,
// against the records cut by the independent reference. A filler of short
// lines in front moves the input across the 8192-byte buffer's edges and
// doublings.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "runtime/record_file.h"
#include "runtime/record_scan.h"
#include "runtime/text_field.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

// Takes n bytes from the front of the input, fewer when it runs out.
std::string_view Take(std::string_view& input, std::size_t n) {
  const std::string_view taken = input.substr(0, n);
  input.remove_prefix(taken.size());
  return taken;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace scenreg;
  if (size < 5) return 0;
  std::string_view input(reinterpret_cast<const char*>(data), size);
  const auto control = static_cast<unsigned char>(Take(input, 1)[0]);
  const std::string_view filler_bytes = Take(input, 2);
  const std::size_t filler_length = (static_cast<unsigned char>(filler_bytes[0]) |
                                     static_cast<unsigned char>(filler_bytes[1]) << 8) %
                                    17000;
  std::vector<std::string_view> texts;
  const std::size_t text_count = static_cast<unsigned char>(Take(input, 1)[0]) % 6;
  for (std::size_t i = 0; i < text_count && !input.empty(); ++i)
    texts.push_back(Take(input, static_cast<unsigned char>(Take(input, 1)[0]) % 13));

  // Lines of one length, their end CR LF or LF, their first byte 'T' or 'x'.
  std::string bytes;
  const std::size_t line_length = 1 + control % 37;
  while (bytes.size() < filler_length) {
    std::string line(line_length, 'x');
    if ((bytes.size() / line_length) % 5 == 0) line[0] = 'T';
    bytes += line + ((control & 0x40) ? "\r\n" : "\n");
  }
  bytes.resize(filler_length);
  bytes += input;
  fuzzing::ServeFile("records.txt", bytes);

  auto wanted = [&](std::string_view record) {
    for (const std::string_view text : texts)
      if (record.starts_with(text)) return true;
    return false;
  };

  Check(OpenUnit(1, "records.txt", "formatted", {}, kWithExit) == kIoSuccess);
  const std::vector<std::string_view> expected = fuzzing::ExpectedRecords(bytes);
  std::minstd_rand choices(control);
  std::size_t next = 0;
  TextField<80> field;
  for (;;) {
    if (choices() % 4 == 0) {
      const IoOutcome outcome = ReadField(1, field.span(), kWithExit);
      if (next == expected.size()) {
        Check(outcome == kIoEndOfFile);
        break;
      }
      Check(outcome == kIoSuccess);
      Check(SameText(field.view(), expected[next].substr(0, 80)));
      ++next;
    } else {
      while (next < expected.size() && !wanted(expected[next])) ++next;
      std::string_view record;
      const IoOutcome outcome = ReadRecordStartingWith(1, texts, record, kWithExit);
      if (next == expected.size()) {
        Check(outcome == kIoEndOfFile);
        break;
      }
      Check(outcome == kIoSuccess && record == expected[next]);
      ++next;
    }
  }
  std::string_view record;
  Check(ReadRecordStartingWith(1, texts, record, kWithExit) == kIoEndOfFile);
  Check(ReadField(1, field.span(), kWithExit) == kIoEndOfFile);
  Check(CloseUnit(1, kWithExit) == kIoSuccess);
  return 0;
}
