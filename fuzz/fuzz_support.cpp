#include "fuzz/fuzz_support.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace scenreg::fuzzing {

void EnterScratchFolder() {
  static bool entered = false;
  if (entered) return;
  entered = true;
  std::string pattern = (std::filesystem::temp_directory_path() / "scenreg-fuzz-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) std::abort();
  std::filesystem::current_path(pattern);
}

void WriteWholeFile(const char* name, std::string_view bytes) {
  std::FILE* file = std::fopen(name, "wb");
  if (file == nullptr) std::abort();
  if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size())
    std::abort();
  std::fclose(file);
}

std::vector<std::string_view> ExpectedRecords(std::string_view bytes) {
  std::vector<std::string_view> records;
  while (!bytes.empty()) {
    const std::size_t lf = bytes.find('\n');
    std::string_view record = bytes.substr(0, lf);
    bytes.remove_prefix(lf == std::string_view::npos ? bytes.size() : lf + 1);
    if (record.ends_with('\r')) record.remove_suffix(1);
    if (record == "\x1a") break;
    records.push_back(record);
  }
  return records;
}

}  // namespace scenreg::fuzzing
