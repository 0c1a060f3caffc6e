#include "runtime/file_system.h"

namespace scenreg {
namespace {
const FileSystem* installed_file_system = nullptr;
}

const FileSystem& CurrentFileSystem() {
  return installed_file_system ? *installed_file_system : PlatformFileSystem();
}

void UseFileSystem(const FileSystem* file_system) {
  installed_file_system = file_system;
}

}  // namespace scenreg
