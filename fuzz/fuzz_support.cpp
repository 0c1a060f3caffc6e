#include "fuzz/fuzz_support.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "runtime/file_system.h"

namespace scenreg::fuzzing {
namespace {

// The one file in memory, under a handle of its own. A second open while it
// is open fails as a sharing violation would; a call on any other handle, or
// on this one once closed, is a fault of the code under test and aborts.
constexpr FileHandle kMemoryHandle = 7;

struct MemoryFile {
  std::string name;
  std::string bytes;
  std::size_t position = 0;
  bool open = false;
} memory_file;

bool IsMemoryFile(FileHandle handle) {
  return handle == kMemoryHandle && memory_file.open;
}

bool ResolveName(const std::string& name, std::string& full_path) {
  if (name.empty()) return false;
  full_path = name;
  return true;
}

OpenAttempt OpenMemoryFile(const std::string& path, bool) {
  if (path != memory_file.name) return {-1, SystemErrorFor(CommonFailure::kFileNotFound)};
  if (memory_file.open) return {-1, SystemErrorFor(CommonFailure::kSharingViolation)};
  memory_file.open = true;
  memory_file.position = 0;
  return {kMemoryHandle, 0};
}

bool IsDiskFile(FileHandle handle) {
  return IsMemoryFile(handle);
}

SystemError SeekToEnd(FileHandle handle) {
  if (!IsMemoryFile(handle)) std::abort();
  memory_file.position = memory_file.bytes.size();
  return 0;
}

ReadAttempt ReadMemoryFile(FileHandle handle, char* buffer, std::size_t size) {
  if (!IsMemoryFile(handle)) std::abort();
  const std::size_t count = std::min(
      size, memory_file.bytes.size() - std::min(memory_file.position, memory_file.bytes.size()));
  if (count > 0) std::memcpy(buffer, memory_file.bytes.data() + memory_file.position, count);
  memory_file.position += count;
  return {count, 0};
}

SystemError WriteMemoryFile(FileHandle handle, const char* data, std::size_t size) {
  if (!IsMemoryFile(handle)) std::abort();
  memory_file.bytes.replace(std::min(memory_file.position, memory_file.bytes.size()), size, data,
                            size);
  memory_file.position += size;
  return 0;
}

SystemError CloseMemoryFile(FileHandle handle) {
  if (!IsMemoryFile(handle)) std::abort();
  memory_file.open = false;
  return 0;
}

// The fuzz targets replace no file: the operations for that are left out.
constexpr FileSystem kMemoryFileSystem = {
    ResolveName,     OpenMemoryFile, IsDiskFile, SeekToEnd, ReadMemoryFile, WriteMemoryFile,
    CloseMemoryFile, OpenMemoryFile, nullptr,    nullptr,   nullptr,        nullptr,
    nullptr,         nullptr,        nullptr,    nullptr,   nullptr};

void EnterScratchFolder() {
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

}  // namespace

void ServeFile(const char* name, std::string_view bytes) {
  static const bool on_disk = [] {
    const bool disk = std::getenv("SCENREG_FUZZ_DISK") != nullptr;
    if (disk)
      EnterScratchFolder();
    else
      UseFileSystem(&kMemoryFileSystem);
    return disk;
  }();
  if (on_disk) {
    WriteWholeFile(name, bytes);
    return;
  }
  // An input that left the file open is the harness's fault, not a finding
  // of the code under test; every target closes what it opened.
  if (memory_file.open) std::abort();
  memory_file.name = name;
  memory_file.bytes.assign(bytes);
  memory_file.position = 0;
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
