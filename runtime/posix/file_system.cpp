// The file-system seam on POSIX. An exclusive, non-blocking lock held while
// a unit is open stands in for the read-only sharing of Windows: a second
// opener fails as with a sharing violation.
#include "runtime/file_system.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>

#include "runtime/record_file.h"

namespace scenreg {
namespace {

bool ResolveFullPath(const std::string& name, std::string& full_path) {
  if (name.empty()) return false;
  if (name.front() == '/') {
    full_path = name;
    return true;
  }
  char directory[PATH_MAX];
  if (getcwd(directory, sizeof directory) == nullptr) return false;
  full_path = directory;
  if (full_path.back() != '/') full_path += '/';
  full_path += name;
  return true;
}

OpenAttempt OpenOrCreate(const std::string& path, bool writable) {
  const int fd = open(path.c_str(), (writable ? O_RDWR : O_RDONLY) | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) return {-1, static_cast<SystemError>(errno)};
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int error = errno == EWOULDBLOCK ? EBUSY : errno;
    close(fd);
    return {-1, static_cast<SystemError>(error)};
  }
  return {fd, 0};
}

bool IsDiskFile(FileHandle handle) {
  struct stat status;
  return fstat(static_cast<int>(handle), &status) == 0 && S_ISREG(status.st_mode);
}

SystemError SeekToEnd(FileHandle handle) {
  return lseek(static_cast<int>(handle), 0, SEEK_END) < 0 ? static_cast<SystemError>(errno) : 0;
}

ReadAttempt Read(FileHandle handle, char* buffer, std::size_t size) {
  std::size_t total = 0;
  while (total < size) {
    const ssize_t count = read(static_cast<int>(handle), buffer + total, size - total);
    if (count < 0) {
      if (errno == EINTR) continue;
      return {total, static_cast<SystemError>(errno)};
    }
    if (count == 0) break;
    total += static_cast<std::size_t>(count);
  }
  return {total, 0};
}

// A record is written whole or not at all: when the disk fills in the
// middle of one, the part already written is cut off again, so that the
// file ends with the last whole record.
SystemError Write(FileHandle handle, const char* data, std::size_t size) {
  const int fd = static_cast<int>(handle);
  std::size_t written = 0;
  while (written < size) {
    const ssize_t count = write(fd, data + written, size - written);
    if (count < 0) {
      if (errno == EINTR) continue;
      const auto error = static_cast<SystemError>(errno);
      const off_t end = lseek(fd, 0, SEEK_CUR);
      if (written > 0 && end >= static_cast<off_t>(written) &&
          ftruncate(fd, end - static_cast<off_t>(written)) == 0)
        lseek(fd, end - static_cast<off_t>(written), SEEK_SET);
      return error;
    }
    written += static_cast<std::size_t>(count);
  }
  return 0;
}

SystemError Close(FileHandle handle) {
  return close(static_cast<int>(handle)) != 0 ? static_cast<SystemError>(errno) : 0;
}

constexpr FileSystem kPosixFileSystem = {ResolveFullPath, OpenOrCreate, IsDiskFile, SeekToEnd, Read,
                                         Write,           Close};

}  // namespace

const FileSystem& PlatformFileSystem() {
  return kPosixFileSystem;
}

SystemError SystemErrorFor(CommonFailure failure) {
  switch (failure) {
    case CommonFailure::kFileNotFound:
    case CommonFailure::kPathNotFound:
      return ENOENT;
    case CommonFailure::kTooManyOpenFiles:
      return EMFILE;
    case CommonFailure::kAccessDenied:
      return EACCES;
    case CommonFailure::kWriteProtected:
      return EROFS;
    case CommonFailure::kInvalidDrive:
      return ENODEV;
    case CommonFailure::kFileExists:
      return EEXIST;
    case CommonFailure::kInvalidName:
      return EINVAL;
    case CommonFailure::kNameTooLong:
      return ENAMETOOLONG;
    case CommonFailure::kSharingViolation:
      return EBUSY;
    case CommonFailure::kEndOfFile:
      return 0;  // POSIX reports the end by a short read only
    case CommonFailure::kReadFault:
      return EIO;
    case CommonFailure::kDiskFull:
      return ENOSPC;
    case CommonFailure::kOther:
      return EFAULT;
  }
  return EFAULT;
}

bool IsAccessRefusal(SystemError error) {
  return error == EACCES || error == EROFS || error == EPERM;
}

bool IsEndOfFileError(SystemError) {
  return false;
}

int OpenErrorNumber(SystemError error) {
  switch (error) {
    case ENOENT:
    case ENOTDIR:
      return kErrFileNotFound;
    case EMFILE:
    case ENFILE:
      return kErrOpenFailure;
    case EACCES:
    case EROFS:
    case EPERM:
    case EISDIR:
      return kErrPermissionDenied;
    case ENODEV:
    case ENXIO:
      return kErrNoSuchDevice;
    case EEXIST:
      return kErrCannotOverwrite;
    case EINVAL:
    case ENAMETOOLONG:
      return kErrBadFileName;
    default:
      return kErrOpenFailure;
  }
}

}  // namespace scenreg
