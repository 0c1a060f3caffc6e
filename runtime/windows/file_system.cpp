// The file-system seam on Windows, over the system's own file functions.
#include "runtime/file_system.h"

#include <windows.h>

#include <algorithm>
#include <cstdint>

#include "runtime/record_file.h"

namespace scenreg {
namespace {

HANDLE AsHandle(FileHandle handle) {
  return reinterpret_cast<HANDLE>(handle);
}

bool ResolveFullPath(const std::string& name, std::string& full_path) {
  char buffer[MAX_PATH + 1];
  const DWORD length = GetFullPathNameA(name.c_str(), sizeof buffer, buffer, nullptr);
  if (length == 0 || length >= sizeof buffer) return false;
  full_path.assign(buffer, length);
  return true;
}

OpenAttempt Open(const std::string& path, DWORD access, DWORD sharing, DWORD disposition) {
  const HANDLE handle = CreateFileA(path.c_str(), access, sharing, nullptr, disposition,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return {-1, GetLastError()};
  return {reinterpret_cast<FileHandle>(handle), 0};
}

DWORD AccessFor(bool writable) {
  return writable ? GENERIC_READ | GENERIC_WRITE : GENERIC_READ;
}

OpenAttempt OpenOrCreate(const std::string& path, bool writable) {
  return Open(path, AccessFor(writable), FILE_SHARE_READ, OPEN_ALWAYS);
}

OpenAttempt OpenExisting(const std::string& path, bool writable) {
  return Open(path, AccessFor(writable), FILE_SHARE_READ, OPEN_EXISTING);
}

OpenAttempt CreateEmpty(const std::string& path) {
  // A file that a killed run left may carry the attributes it was given for
  // the replace; a hidden or system file refuses to be created anew.
  SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  return Open(path, GENERIC_WRITE, 0, CREATE_ALWAYS);
}

bool IsDiskFile(FileHandle handle) {
  return GetFileType(AsHandle(handle)) == FILE_TYPE_DISK;
}

SystemError SeekToEnd(FileHandle handle) {
  LONG high = 0;
  if (SetFilePointer(AsHandle(handle), 0, &high, FILE_END) == INVALID_SET_FILE_POINTER) {
    const DWORD error = GetLastError();
    if (error != NO_ERROR) return error;
  }
  return 0;
}

ReadAttempt Read(FileHandle handle, char* buffer, std::size_t size) {
  std::size_t total = 0;
  while (total < size) {
    const DWORD wanted = static_cast<DWORD>(std::min<std::size_t>(size - total, 1u << 30));
    DWORD count = 0;
    if (!ReadFile(AsHandle(handle), buffer + total, wanted, &count, nullptr))
      return {total, GetLastError()};
    if (count == 0) break;
    total += count;
  }
  return {total, 0};
}

// A record is written whole or not at all: when the disk fills in the
// middle of one, the part already written is cut off again, so that the
// file ends with the last whole record.
SystemError Write(FileHandle handle, const char* data, std::size_t size) {
  std::size_t written = 0;
  while (written < size) {
    const DWORD wanted = static_cast<DWORD>(std::min<std::size_t>(size - written, 1u << 30));
    DWORD count = 0;
    SystemError error = 0;
    if (!WriteFile(AsHandle(handle), data + written, wanted, &count, nullptr))
      error = GetLastError();
    else if (count == 0)
      error = ERROR_WRITE_FAULT;
    if (error != 0) {
      LARGE_INTEGER back{};
      back.QuadPart = -static_cast<LONGLONG>(written);
      if (written > 0 && SetFilePointerEx(AsHandle(handle), back, nullptr, FILE_CURRENT))
        SetEndOfFile(AsHandle(handle));
      return error;
    }
    written += count;
  }
  return 0;
}

SystemError Close(FileHandle handle) {
  return CloseHandle(AsHandle(handle)) ? 0 : GetLastError();
}

SystemError LastError(BOOL succeeded) {
  return succeeded ? 0 : GetLastError();
}

SystemError SeekToStart(FileHandle handle) {
  return LastError(SetFilePointerEx(AsHandle(handle), LARGE_INTEGER{}, nullptr, FILE_BEGIN));
}

SystemError Flush(FileHandle handle) {
  return LastError(FlushFileBuffers(AsHandle(handle)));
}

SystemError GetAttributes(const std::string& path, std::uint32_t& attributes) {
  const DWORD found = GetFileAttributesA(path.c_str());
  if (found == INVALID_FILE_ATTRIBUTES) return GetLastError();
  attributes = found;
  return 0;
}

SystemError SetAttributes(const std::string& path, std::uint32_t attributes) {
  return LastError(SetFileAttributesA(path.c_str(), attributes));
}

SystemError Copy(const std::string& from, const std::string& to) {
  return LastError(CopyFileA(from.c_str(), to.c_str(), FALSE));
}

// Runs the step; when it is refused over a read-only file, runs it once more
// without that attribute, and gives the attribute back if it fails again.
template <typename Step>
SystemError PastReadOnly(const std::string& path, Step step) {
  if (step()) return 0;
  const DWORD error = GetLastError();
  const DWORD attributes = GetFileAttributesA(path.c_str());
  if (error != ERROR_ACCESS_DENIED || attributes == INVALID_FILE_ATTRIBUTES ||
      (attributes & FILE_ATTRIBUTE_READONLY) == 0 ||
      !SetFileAttributesA(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY))
    return error;
  if (step()) return 0;
  const DWORD second_error = GetLastError();
  SetFileAttributesA(path.c_str(), attributes);
  return second_error;
}

// One move that writes through: the file under the new name is never
// missing and never half written.
SystemError Move(const std::string& from, const std::string& to) {
  return PastReadOnly(to, [&] {
    return MoveFileExA(from.c_str(), to.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
  });
}

SystemError Remove(const std::string& path) {
  return PastReadOnly(path, [&] { return DeleteFileA(path.c_str()); });
}

std::uint64_t Joined(DWORD high, DWORD low) {
  return (static_cast<std::uint64_t>(high) << 32) | low;
}

// Attributes access only, shared with every kind of open: it neither waits
// for nor conflicts with the unit's own handle or another program's.
SystemError Stamp(const std::string& path, FileStamp& stamp) {
  const HANDLE handle = CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return GetLastError();
  BY_HANDLE_FILE_INFORMATION info{};
  const SystemError error = LastError(GetFileInformationByHandle(handle, &info));
  CloseHandle(handle);
  if (error != 0) return error;
  stamp = {info.dwVolumeSerialNumber, Joined(info.nFileIndexHigh, info.nFileIndexLow),
           Joined(info.nFileSizeHigh, info.nFileSizeLow),
           Joined(info.ftLastWriteTime.dwHighDateTime, info.ftLastWriteTime.dwLowDateTime)};
  return 0;
}

constexpr FileSystem kWindowsFileSystem = {
    ResolveFullPath, OpenOrCreate, IsDiskFile,  SeekToEnd,   Read,  Write,
    Close,           OpenExisting, CreateEmpty, SeekToStart, Flush, GetAttributes,
    SetAttributes,   Copy,         Move,        Remove,      Stamp};

}  // namespace

const FileSystem& PlatformFileSystem() {
  return kWindowsFileSystem;
}

SystemError SystemErrorFor(CommonFailure failure) {
  switch (failure) {
    case CommonFailure::kFileNotFound:
      return ERROR_FILE_NOT_FOUND;
    case CommonFailure::kPathNotFound:
      return ERROR_PATH_NOT_FOUND;
    case CommonFailure::kTooManyOpenFiles:
      return ERROR_TOO_MANY_OPEN_FILES;
    case CommonFailure::kAccessDenied:
      return ERROR_ACCESS_DENIED;
    case CommonFailure::kWriteProtected:
      return ERROR_WRITE_PROTECT;
    case CommonFailure::kInvalidDrive:
      return ERROR_INVALID_DRIVE;
    case CommonFailure::kFileExists:
      return ERROR_FILE_EXISTS;
    case CommonFailure::kInvalidName:
      return ERROR_INVALID_NAME;
    case CommonFailure::kNameTooLong:
      return ERROR_FILENAME_EXCED_RANGE;
    case CommonFailure::kSharingViolation:
      return ERROR_SHARING_VIOLATION;
    case CommonFailure::kEndOfFile:
      return ERROR_HANDLE_EOF;
    case CommonFailure::kReadFault:
      return ERROR_READ_FAULT;
    case CommonFailure::kDiskFull:
      return ERROR_DISK_FULL;
    case CommonFailure::kOther:
      return ERROR_GEN_FAILURE;
  }
  return ERROR_GEN_FAILURE;
}

bool IsAccessRefusal(SystemError error) {
  return error == ERROR_ACCESS_DENIED || error == ERROR_WRITE_PROTECT;
}

bool IsEndOfFileError(SystemError error) {
  return error == ERROR_HANDLE_EOF;
}

int OpenErrorNumber(SystemError error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
      return kErrFileNotFound;
    case ERROR_TOO_MANY_OPEN_FILES:
      return kErrOpenFailure;
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT:
      return kErrPermissionDenied;
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_UNIT:
      return kErrNoSuchDevice;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
      return kErrCannotOverwrite;
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_FILENAME_EXCED_RANGE:
      return kErrBadFileName;
    default:
      return kErrOpenFailure;
  }
}

}  // namespace scenreg
