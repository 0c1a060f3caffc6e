#include "tests/test_support.h"

#include <atomic>
#include <chrono>
#include <fstream>
#include <sstream>

#include "runtime/record_file.h"

namespace scenreg::testing {
namespace {

FaultPlan plan;
int calls_made = 0;

// The error injected into the call being made, 0 for none.
SystemError InjectedError() {
  ++calls_made;
  if (plan.fail_call == 0 || calls_made < plan.fail_call ||
      calls_made >= plan.fail_call + plan.fail_count)
    return 0;
  return plan.fail_error;
}

void Told(FileCall call, FileHandle handle, SystemError error, const std::string& path = {}) {
  if (plan.after_call != nullptr) plan.after_call(call, handle, path, error);
}

OpenAttempt FaultyOpenWith(OpenAttempt (*open)(const std::string&, bool), const std::string& path,
                           bool writable) {
  const FileCall call = writable ? FileCall::kOpenWritable : FileCall::kOpenReadOnly;
  SystemError error = InjectedError();
  if (error == 0) error = writable ? plan.open_writable : plan.open_read_only;
  const OpenAttempt attempt = plan.open_finds_link ? OpenAttempt{-1, 0, true}
                              : error != 0         ? OpenAttempt{-1, error}
                                                   : open(path, writable);
  Told(call, attempt.handle, attempt.error, path);
  return attempt;
}

OpenAttempt FaultyOpen(const std::string& path, bool writable) {
  return FaultyOpenWith(PlatformFileSystem().open_or_create, path, writable);
}

OpenAttempt FaultyOpenExisting(const std::string& path, bool writable) {
  return FaultyOpenWith(PlatformFileSystem().open_existing, path, writable);
}

OpenAttempt FaultyCreateEmpty(const std::string& path) {
  const SystemError error = InjectedError();
  const OpenAttempt attempt =
      error != 0 ? OpenAttempt{-1, error} : PlatformFileSystem().create_empty(path);
  Told(FileCall::kCreateEmpty, attempt.handle, attempt.error, path);
  return attempt;
}

// A call on an open file: the injected error, or the platform's outcome.
template <typename Call>
SystemError FaultyHandleCall(FileCall kind, FileHandle handle, Call call) {
  SystemError error = InjectedError();
  if (error == 0) error = call();
  Told(kind, handle, error);
  return error;
}

// A call on a named file, likewise.
template <typename Call>
SystemError FaultyPathCall(FileCall kind, const std::string& path, Call call) {
  SystemError error = InjectedError();
  if (error == 0) error = call();
  Told(kind, -1, error, path);
  return error;
}

SystemError FaultySeekToStart(FileHandle handle) {
  return FaultyHandleCall(FileCall::kSeekToStart, handle,
                          [&] { return PlatformFileSystem().seek_to_start(handle); });
}

SystemError FaultyFlush(FileHandle handle) {
  return FaultyHandleCall(FileCall::kFlush, handle,
                          [&] { return PlatformFileSystem().flush(handle); });
}

SystemError FaultyGetAttributes(const std::string& path, std::uint32_t& attributes) {
  return FaultyPathCall(FileCall::kGetAttributes, path,
                        [&] { return PlatformFileSystem().get_attributes(path, attributes); });
}

SystemError FaultySetAttributes(const std::string& path, std::uint32_t attributes) {
  return FaultyPathCall(FileCall::kSetAttributes, path,
                        [&] { return PlatformFileSystem().set_attributes(path, attributes); });
}

SystemError FaultyCopy(const std::string& from, const std::string& to) {
  return FaultyPathCall(FileCall::kCopy, to, [&] { return PlatformFileSystem().copy(from, to); });
}

SystemError FaultyMove(const std::string& from, const std::string& to) {
  return FaultyPathCall(FileCall::kMove, to, [&] { return PlatformFileSystem().move(from, to); });
}

SystemError FaultyRemove(const std::string& path) {
  return FaultyPathCall(FileCall::kRemove, path, [&] { return PlatformFileSystem().remove(path); });
}

ReadAttempt FaultyRead(FileHandle handle, char* buffer, std::size_t size) {
  if (plan.before_read != nullptr) plan.before_read();
  SystemError error = InjectedError();
  if (error == 0) error = plan.read;
  const ReadAttempt attempt =
      error != 0 ? ReadAttempt{0, error} : PlatformFileSystem().read(handle, buffer, size);
  Told(FileCall::kRead, handle, attempt.error);
  return attempt;
}

SystemError FaultyWrite(FileHandle handle, const char* data, std::size_t size) {
  if (plan.before_write != nullptr) plan.before_write();
  SystemError error = InjectedError();
  if (error == 0 && plan.write != 0 && --plan.write_countdown <= 0) error = plan.write;
  if (error == 0) error = PlatformFileSystem().write(handle, data, size);
  Told(FileCall::kWrite, handle, error);
  return error;
}

SystemError FaultySeekToEnd(FileHandle handle) {
  SystemError error = InjectedError();
  if (error == 0) error = PlatformFileSystem().seek_to_end(handle);
  Told(FileCall::kSeekToEnd, handle, error);
  return error;
}

SystemError FaultyClose(FileHandle handle) {
  const SystemError injected = InjectedError();
  SystemError error = PlatformFileSystem().close(handle);
  if (plan.close != 0) error = plan.close;
  if (injected != 0) error = injected;
  Told(FileCall::kClose, handle, error);
  return error;
}

FileSystem MakeFaultyFileSystem() {
  FileSystem fs = PlatformFileSystem();
  fs.open_or_create = FaultyOpen;
  fs.read = FaultyRead;
  fs.write = FaultyWrite;
  fs.seek_to_end = FaultySeekToEnd;
  fs.close = FaultyClose;
  fs.open_existing = FaultyOpenExisting;
  fs.create_empty = FaultyCreateEmpty;
  fs.seek_to_start = FaultySeekToStart;
  fs.flush = FaultyFlush;
  fs.get_attributes = FaultyGetAttributes;
  fs.set_attributes = FaultySetAttributes;
  fs.copy = FaultyCopy;
  fs.move = FaultyMove;
  fs.remove = FaultyRemove;
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

std::string LiteralPattern(std::string_view text) {
  std::string pattern;
  for (const char c : text) {
    if (std::string_view("\\^$.|?*+()[]{}").find(c) != std::string_view::npos) pattern += '\\';
    pattern += c;
  }
  return pattern;
}

std::filesystem::path RealWorldFolder() {
  if (const char* folder = std::getenv("SCENREG_REAL_WORLD")) return folder;
  return std::filesystem::path(__FILE__).parent_path() / "data";
}

InjectFaults::InjectFaults(const FaultPlan& faults) {
  plan = faults;
  calls_made = 0;
  faulty_file_system = MakeFaultyFileSystem();
  UseFileSystem(&faulty_file_system);
}

InjectFaults::~InjectFaults() {
  UseFileSystem(nullptr);
  plan = FaultPlan{};
}

}  // namespace scenreg::testing
