// Arbitrary bytes as scenery.cfg, scanned for a title taken from the first
// bytes, behind a filler of area sections whose length the next byte gives,
// so that the bytes land on every edge of the 8192-byte buffer. The results
// are checked against the scan's rules applied to the records as they are cut
// independently here.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "fuzz/fuzz_support.h"
#include "registration/library_scan.h"
#include "runtime/record_file.h"
#include "runtime/text_field.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

std::string Padded(std::string_view text, std::size_t length) {
  std::string padded(text.substr(0, length));
  padded.resize(length, ' ');
  return padded;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace scenreg;
  if (size < 2) return 0;
  const std::size_t filler_length = data[0] * std::size_t{67};
  const std::size_t title_length = std::min<std::size_t>(data[1] % 21, size - 2);
  const std::string_view title(reinterpret_cast<const char*>(data) + 2, title_length);
  std::string library;
  for (int area = 1; library.size() < filler_length; ++area)
    library += "[Area." + std::to_string(area % 1000) + "]\r\nTitle=" + std::string(title) +
               std::to_string(area % 7) + "\r\nLocal=x\r\n\r\n";
  library.resize(filler_length);
  library.append(reinterpret_cast<const char*>(data) + 2 + title_length, size - 2 - title_length);
  fuzzing::ServeFile(kLibraryFileName, library);

  const std::int32_t initial_number = static_cast<std::int32_t>(size);
  std::int32_t largest_area_number = initial_number;
  const LibraryScan scan = ScanLibrary(MakeTextField<20>(title), largest_area_number);
  Check(!UnitFileName(kLibraryUnit).empty());
  CloseAllUnits();

  // The same rules, on the records cut by the reference.
  const std::string title_line = Padded("Title=" + std::string(title), 26);
  bool entered = false;
  std::int32_t headers = 0;
  std::int32_t number = initial_number;
  for (const std::string_view record : fuzzing::ExpectedRecords(library)) {
    const std::string line = Padded(record, 80);
    const std::string_view word = std::string_view(line).substr(0, 6);
    if (word == "[Area." || word == "[area." || word == "[AREA.") {
      ++headers;
      const std::string_view columns = std::string_view(line).substr(6);
      std::int32_t carried = 0;
      if (ReadIntegerFromText(columns.substr(0, columns.find(']')), carried, kWithExit) ==
              kIoSuccess &&
          carried < 1000)
        number = std::max(number, carried);
    }
    if (line.compare(0, 26, title_line) == 0) {
      entered = true;
      break;
    }
  }
  Check(scan.already_entered == entered);
  Check(scan.header_count == headers);
  Check(largest_area_number == number);
  return 0;
}
