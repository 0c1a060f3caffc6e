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

// The folder of the real scenery libraries.
std::filesystem::path RealWorldFolder();

// Failures to inject; 0 means the platform's own behaviour. Counters count
// calls down to the one that fails (1 fails the next call).
struct FaultPlan {
  SystemError open_writable = 0;
  SystemError open_read_only = 0;
  SystemError read = 0;
  void (*before_read)() = nullptr;   // called at the start of every read
  void (*before_write)() = nullptr;  // called at the start of every write
  SystemError write = 0;
  int write_countdown = 1;
  SystemError close = 0;
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
