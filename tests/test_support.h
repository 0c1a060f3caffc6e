// Helpers shared by the tests: scratch folders, file contents, and a
// file-system table that injects failures into the platform's one.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "runtime/file_system.h"

namespace scenreg::testing {

// A fresh, empty folder that is the working directory while the object
// lives; removed afterwards.
class ScratchFolder {
 public:
  ScratchFolder();
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  const std::filesystem::path& path() const { return path_; }
  // The full path that an open of the bare name resolves to.
  std::string FullPath(std::string_view name) const;

 private:
  std::filesystem::path path_;
  std::filesystem::path previous_;
};

void WriteFile(const std::filesystem::path& path, std::string_view bytes);
std::string ReadFile(const std::filesystem::path& path);

// A death test's pattern that matches the text as it stands.
std::string LiteralPattern(std::string_view text);

// The folder of the real scenery libraries.
std::filesystem::path RealWorldFolder();

// The calls of the table that count as positions of a fault.
enum class FileCall {
  kOpenWritable,
  kOpenReadOnly,
  kRead,
  kWrite,
  kSeekToEnd,
  kClose,
  // The calls of a file replaced as a whole; those from kCreateEmpty on name
  // their file by its path.
  kSeekToStart,
  kFlush,
  kCreateEmpty,
  kGetAttributes,
  kSetAttributes,
  kCopy,  // the path is the copy's
  kMove,  // the path is the new name
  kRemove,
};

// Failures to inject; 0 means the platform's own behaviour. Counters count
// calls down to the one that fails (1 fails the next call).
struct FaultPlan {
  SystemError open_writable = 0;
  SystemError open_read_only = 0;
  // Every open meets a link, as at a reparse point, which Wine cannot make.
  bool open_finds_link = false;
  SystemError read = 0;
  void (*before_read)() = nullptr;   // called at the start of every read
  void (*before_write)() = nullptr;  // called at the start of every write
  SystemError write = 0;
  int write_countdown = 1;
  SystemError close = 0;
  // One failure anywhere: calls are numbered from 1 in the order they are
  // made, every kind together; the call at fail_call and the fail_count - 1
  // after it fail with fail_error instead of reaching the platform (a failed
  // close still closes). 0 fails none.
  int fail_call = 0;
  int fail_count = 1;
  SystemError fail_error = 0;
  // Told of every call after it is made: its kind, handle (the new one for
  // an open), the path of an open, and the error it returns.
  void (*after_call)(FileCall call, FileHandle handle, const std::string& path,
                     SystemError error) = nullptr;
};

// Installs the fault-injecting table for its lifetime.
class InjectFaults {
 public:
  explicit InjectFaults(const FaultPlan& plan);
  ~InjectFaults();
  InjectFaults(const InjectFaults&) = delete;
  InjectFaults& operator=(const InjectFaults&) = delete;
};

}  // namespace scenreg::testing
