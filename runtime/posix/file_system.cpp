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

// A name that is a symbolic link is not followed (ELOOP), and a file with
// other names is refused: nothing is read or written through a link.
OpenAttempt OpenWithLock(const std::string& path, int flags) {
  const int fd = open(path.c_str(), flags | O_NOFOLLOW | O_CLOEXEC, 0666);
  if (fd < 0) {
    if (errno == ELOOP) return {-1, 0, true};
    return {-1, static_cast<SystemError>(errno)};
  }
  struct stat status;
  if (fstat(fd, &status) == 0 && S_ISREG(status.st_mode) && status.st_nlink > 1) {
    close(fd);
    return {-1, 0, true};
  }
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int error = errno == EWOULDBLOCK ? EBUSY : errno;
    close(fd);
    return {-1, static_cast<SystemError>(error)};
  }
  return {fd, 0};
}

OpenAttempt OpenOrCreate(const std::string& path, bool writable) {
  return OpenWithLock(path, (writable ? O_RDWR : O_RDONLY) | O_CREAT);
}

OpenAttempt OpenExisting(const std::string& path, bool writable) {
  return OpenWithLock(path, writable ? O_RDWR : O_RDONLY);
}

// Whatever is under the name goes first (unlink takes a link, not its
// file); the file is then created new, the program's own.
OpenAttempt CreateEmpty(const std::string& path) {
  if (unlink(path.c_str()) != 0 && errno != ENOENT) return {-1, static_cast<SystemError>(errno)};
  return OpenWithLock(path, O_WRONLY | O_CREAT | O_EXCL);
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

SystemError LastError(bool failed) {
  return failed ? static_cast<SystemError>(errno) : 0;
}

SystemError SeekToStart(FileHandle handle) {
  return LastError(lseek(static_cast<int>(handle), 0, SEEK_SET) < 0);
}

SystemError Flush(FileHandle handle) {
  return LastError(fsync(static_cast<int>(handle)) != 0);
}

SystemError GetAttributes(const std::string& path, std::uint32_t& attributes) {
  struct stat status;
  if (stat(path.c_str(), &status) != 0) return static_cast<SystemError>(errno);
  attributes = status.st_mode & 07777;
  return 0;
}

// Through the name's own file only: chmod would follow a link, and a mode
// is every name's of the file.
SystemError SetAttributes(const std::string& path, std::uint32_t attributes) {
  const int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return static_cast<SystemError>(errno == ELOOP ? EACCES : errno);
  struct stat status;
  SystemError error = LastError(fstat(fd, &status) != 0);
  if (error == 0 && status.st_nlink > 1) error = EACCES;
  if (error == 0) error = LastError(fchmod(fd, static_cast<mode_t>(attributes)) != 0);
  close(fd);
  return error;
}

// The folder of the file, so that a rename in it can be made lasting.
std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

SystemError CopyFile(const std::string& from, const std::string& to) {
  const int in = open(from.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return static_cast<SystemError>(errno);
  // A new file: whatever was under the name goes first.
  if (unlink(to.c_str()) != 0 && errno != ENOENT) {
    const auto error = static_cast<SystemError>(errno);
    close(in);
    return error;
  }
  const int out = open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (out < 0) {
    const auto error = static_cast<SystemError>(errno);
    close(in);
    return error;
  }
  char block[65536];
  SystemError error = 0;
  for (;;) {
    const ReadAttempt got = Read(in, block, sizeof block);
    if (got.error == 0 && got.count > 0) error = Write(out, block, got.count);
    if (got.error != 0) error = got.error;
    if (error != 0 || got.count < sizeof block) break;
  }
  if (error == 0) error = Flush(out);
  if (close(out) != 0 && error == 0) error = static_cast<SystemError>(errno);
  close(in);
  return error;
}

SystemError Move(const std::string& from, const std::string& to) {
  if (rename(from.c_str(), to.c_str()) != 0) return static_cast<SystemError>(errno);
  // The rename lasts once the folder is on the disk; a failure here leaves
  // the file moved all the same, so it is not reported.
  const int folder = open(FolderOf(to).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folder >= 0) {
    fsync(folder);
    close(folder);
  }
  return 0;
}

SystemError Remove(const std::string& path) {
  return LastError(unlink(path.c_str()) != 0);
}

SystemError Stamp(const std::string& path, FileStamp& stamp) {
  struct stat status {};
  if (stat(path.c_str(), &status) != 0) return static_cast<SystemError>(errno);
  stamp = {static_cast<std::uint64_t>(status.st_dev), static_cast<std::uint64_t>(status.st_ino),
           static_cast<std::uint64_t>(status.st_size),
           static_cast<std::uint64_t>(status.st_mtim.tv_sec) * 1000000000u +
               static_cast<std::uint64_t>(status.st_mtim.tv_nsec)};
  return 0;
}

constexpr FileSystem kPosixFileSystem = {
    ResolveFullPath, OpenOrCreate, IsDiskFile,  SeekToEnd,   Read,  Write,
    Close,           OpenExisting, CreateEmpty, SeekToStart, Flush, GetAttributes,
    SetAttributes,   CopyFile,     Move,        Remove,      Stamp};

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
