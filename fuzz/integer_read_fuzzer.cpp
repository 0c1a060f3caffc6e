// The integer read of three columns, on any three bytes, against a second,
// plain reading of the number rule: blanks count for nothing, one leading
// sign, then digits; anything else fails and leaves the target 0.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string_view>

#include "runtime/record_file.h"

namespace {

std::optional<std::int32_t> ReadByTheRule(std::string_view text) {
  std::size_t at = 0;
  while (at < text.size() && text[at] == ' ') ++at;
  bool negative = false;
  if (at < text.size() && (text[at] == '+' || text[at] == '-')) negative = text[at++] == '-';
  std::int64_t value = 0;
  for (; at < text.size(); ++at) {
    if (text[at] == ' ') continue;
    if (text[at] < '0' || text[at] > '9') return std::nullopt;
    value = value * 10 + (text[at] - '0');
  }
  return static_cast<std::int32_t>(negative ? -value : value);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size != 3) return 0;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  std::int32_t target = 777;
  const scenreg::IoOutcome outcome =
      scenreg::ReadIntegerFromText(text, target, scenreg::kWithExit);
  const std::optional<std::int32_t> expected = ReadByTheRule(text);
  if (expected ? (outcome != scenreg::kIoSuccess || target != *expected)
               : (outcome != scenreg::kErrInputConversion || target != 0))
    std::abort();
  return 0;
}
