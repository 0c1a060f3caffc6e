// Arbitrary bytes read as a file of records into a field of a width taken
// from the first two bytes: every record must arrive as the record rules cut
// it, and the integer read of its first columns must keep to its contract.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "fuzz/fuzz_support.h"
#include "runtime/record_file.h"
#include "runtime/text_field.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace scenreg;
  if (size < 2) return 0;
  const std::size_t width = 1 + (data[0] | (data[1] << 8)) % 300;
  const std::string_view bytes(reinterpret_cast<const char*>(data) + 2, size - 2);
  fuzzing::ServeFile("records.txt", bytes);

  Check(OpenUnit(1, "records.txt", "formatted", {}, kWithExit) == kIoSuccess);
  std::string field(width, '\0');
  for (const std::string_view expected : fuzzing::ExpectedRecords(bytes)) {
    Check(ReadField(1, field, kWithExit) == kIoSuccess);
    const std::size_t kept = std::min(width, expected.size());
    Check(std::string_view(field).substr(0, kept) == expected.substr(0, kept));
    Check(TrimmedLength(std::string_view(field).substr(kept)) == 0);

    std::int32_t number = 12345;
    const IoOutcome outcome = ReadIntegerFromText(
        std::string_view(field).substr(0, std::min<std::size_t>(width, 9)), number, kWithExit);
    Check(outcome == kIoSuccess || (outcome == kErrInputConversion && number == 0));
  }
  Check(ReadField(1, field, kWithExit) == kIoEndOfFile);
  Check(ReadField(1, field, kWithExit) == kIoEndOfFile);
  Check(CloseUnit(1, kWithExit) == kIoSuccess);
  return 0;
}
