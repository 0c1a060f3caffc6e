#include "tests/test_support.h"

#include <atomic>
#include <chrono>
#include <fstream>
#include <sstream>

#include "runtime/record_file.h"

namespace scenreg::testing {
namespace {

FaultPlan plan;

OpenAttempt FaultyOpen(const std::string& path, bool writable) {
  const SystemError error = writable ? plan.open_writable : plan.open_read_only;
  if (error != 0) return {-1, error};
  return PlatformFileSystem().open_or_create(path, writable);
}

ReadAttempt FaultyRead(FileHandle handle, char* buffer, std::size_t size) {
  if (plan.before_read != nullptr) plan.before_read();
  if (plan.read != 0) return {0, plan.read};
  return PlatformFileSystem().read(handle, buffer, size);
}

SystemError FaultyWrite(FileHandle handle, const char* data, std::size_t size) {
  if (plan.before_write != nullptr) plan.before_write();
  if (plan.write != 0 && --plan.write_countdown <= 0) return plan.write;
  return PlatformFileSystem().write(handle, data, size);
}

SystemError FaultyClose(FileHandle handle) {
  const SystemError error = PlatformFileSystem().close(handle);
  return plan.close != 0 ? plan.close : error;
}

FileSystem MakeFaultyFileSystem() {
  FileSystem fs = PlatformFileSystem();
  fs.open_or_create = FaultyOpen;
  fs.read = FaultyRead;
  fs.write = FaultyWrite;
  fs.close = FaultyClose;
  return fs;
}

FileSystem faulty_file_system;

}  // namespace

ScratchFolder::ScratchFolder() : previous_(std::filesystem::current_path()) {
  static std::atomic<int> counter{0};
  const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
  path_ = std::filesystem::temp_directory_path() /
          ("scenreg-test-" + std::to_string(stamp) + "-" + std::to_string(counter++));
  std::filesystem::create_directories(path_);
  std::filesystem::current_path(path_);
}

ScratchFolder::~ScratchFolder() {
  CloseAllUnits();
  std::filesystem::current_path(previous_);
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::string ScratchFolder::FullPath(std::string_view name) const {
  std::string full;
  if (!PlatformFileSystem().resolve_full_path(std::string(name), full)) full = name;
  return full;
}

void WriteFile(const std::filesystem::path& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream contents;
  contents << in.rdbuf();
  return contents.str();
}

std::filesystem::path RealWorldFolder() {
  if (const char* folder = std::getenv("SCENREG_REAL_WORLD")) return folder;
  return std::filesystem::path(__FILE__).parent_path() / "../../shared/testdata/real-world";
}

InjectFaults::InjectFaults(const FaultPlan& faults) {
  plan = faults;
  faulty_file_system = MakeFaultyFileSystem();
  UseFileSystem(&faulty_file_system);
}

InjectFaults::~InjectFaults() {
  UseFileSystem(nullptr);
  plan = FaultPlan{};
}

}  // namespace scenreg::testing
