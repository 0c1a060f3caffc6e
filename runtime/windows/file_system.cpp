// The file-system seam on Windows, over the system's own file functions.
#include "runtime/file_system.h"

#include <windows.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <string_view>

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

// The name's final path as the system resolves it, without the "\\?\"
// prefix; empty when the system cannot tell.
std::string FinalPathOf(HANDLE handle) {
  char buffer[2 * MAX_PATH];
  const DWORD length =
      GetFinalPathNameByHandleA(handle, buffer, sizeof buffer, FILE_NAME_NORMALIZED);
  if (length == 0 || length >= sizeof buffer) return {};
  const std::string_view path(buffer, length);
  return std::string(path.starts_with("\\\\?\\") ? path.substr(4) : path);
}

bool SameNameIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

// Whether the file that the name led to was reached through a link at the
// name itself. Windows opens a link as such when asked to (it is then a
// reparse point); Wine follows a host's symbolic link even so, and only the
// final path shows where it went. Links further up the path (a simulator
// folder reached through a junction) are the owner's choice and count not:
// the file's final path is compared with its folder's.
bool ReachedThroughLink(HANDLE file, DWORD attributes, const std::string& path) {
  if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return true;
  const std::size_t slash = path.find_last_of("\\/");
  if (slash == std::string::npos) return false;
  std::string folder_name = path.substr(0, slash);
  if (folder_name.ends_with(':')) folder_name += '\\';
  const HANDLE folder = CreateFileA(folder_name.c_str(), FILE_READ_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (folder == INVALID_HANDLE_VALUE) return false;
  std::string expected = FinalPathOf(folder);
  CloseHandle(folder);
  const std::string found = FinalPathOf(file);
  // Where the system cannot tell (some network shares), the checks of the
  // handle stand alone.
  if (expected.empty() || found.empty()) return false;
  if (!expected.ends_with('\\')) expected += '\\';
  expected += path.substr(slash + 1);
  return !SameNameIgnoringCase(found, expected);
}

// The file as the open handle sees it: its attributes, and whether the
// name is a link or one of several names of the file.
struct NameFacts {
  DWORD attributes = 0;
  bool linked = false;  // a link at the name
  bool other_names = false;
  // A link that the system follows instead of working on it: Wine deletes
  // and moves the file a host's symbolic link points to. Windows works on
  // a link itself.
  bool Followed() const { return linked && !(attributes & FILE_ATTRIBUTE_REPARSE_POINT); }
};

bool ReadNameFacts(HANDLE file, const std::string& path, NameFacts& facts) {
  // A pipe or a device has neither names nor links to tell.
  if (GetFileType(file) != FILE_TYPE_DISK) return true;
  BY_HANDLE_FILE_INFORMATION information;
  if (!GetFileInformationByHandle(file, &information)) return false;
  facts.attributes = information.dwFileAttributes;
  facts.other_names = information.nNumberOfLinks > 1;
  facts.linked = ReachedThroughLink(file, information.dwFileAttributes, path);
  return true;
}

// A handle of the name itself: a link is opened, not followed, where the
// system can.
HANDLE OpenName(const std::string& path, DWORD access, DWORD sharing, DWORD disposition) {
  return CreateFileA(path.c_str(), access, sharing, nullptr, disposition,
                     FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
}

// A handle of the name itself for the access, shared with every other
// open, with what it tells of the name; closed again on a failure.
SystemError OpenNameFacts(const std::string& path, DWORD access, HANDLE& file, NameFacts& facts) {
  file =
      OpenName(path, access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, OPEN_EXISTING);
  if (file == INVALID_HANDLE_VALUE) return GetLastError();
  if (ReadNameFacts(file, path, facts)) return 0;
  const SystemError error = GetLastError();
  CloseHandle(file);
  return error;
}

// Opens the file as a unit's: refused when the name is a link or the file
// has another name, so that nothing is read or written through one.
OpenAttempt OpenUnitFile(const std::string& path, DWORD access, DWORD disposition) {
  const HANDLE handle = OpenName(path, access, FILE_SHARE_READ, disposition);
  if (handle == INVALID_HANDLE_VALUE) return {-1, GetLastError()};
  NameFacts facts;
  if (!ReadNameFacts(handle, path, facts)) {
    const DWORD error = GetLastError();
    CloseHandle(handle);
    return {-1, error};
  }
  if (facts.linked || facts.other_names) {
    CloseHandle(handle);
    return {-1, 0, true};
  }
  return {reinterpret_cast<FileHandle>(handle), 0};
}

DWORD AccessFor(bool writable) {
  return writable ? GENERIC_READ | GENERIC_WRITE : GENERIC_READ;
}

// Two steps, so that a missing file is only ever created new: an open that
// may create follows a link that points nowhere and creates its target.
OpenAttempt OpenOrCreate(const std::string& path, bool writable) {
  for (int round = 0; round < 2; ++round) {
    OpenAttempt attempt = OpenUnitFile(path, AccessFor(writable), OPEN_EXISTING);
    if (attempt.error != ERROR_FILE_NOT_FOUND) return attempt;
    attempt = OpenUnitFile(path, AccessFor(writable), CREATE_NEW);
    // Another process may have created it meanwhile: opened once more.
    if (attempt.error != ERROR_FILE_EXISTS) return attempt;
  }
  // Neither there nor creatable: a name that leads nowhere.
  return {-1, 0, true};
}

OpenAttempt OpenExisting(const std::string& path, bool writable) {
  return OpenUnitFile(path, AccessFor(writable), OPEN_EXISTING);
}

SystemError LastError(BOOL succeeded) {
  return succeeded ? 0 : GetLastError();
}

SystemError SetHandleAttributes(HANDLE file, DWORD attributes) {
  FILE_BASIC_INFO basic{};  // zero times stay as they are
  basic.FileAttributes = attributes != 0 ? attributes : FILE_ATTRIBUTE_NORMAL;
  return LastError(SetFileInformationByHandle(file, FileBasicInfo, &basic, sizeof basic));
}

// Deletes the name through a handle of its own, so that what was checked is
// what goes. A read-only file is made writable first only when the name is
// its only one: the attribute is the file's, and would change for its other
// names too.
SystemError RemoveName(const std::string& path) {
  HANDLE file;
  NameFacts facts;
  SystemError error =
      OpenNameFacts(path, DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES, file, facts);
  if (error != 0) return error;
  if (facts.Followed()) error = ERROR_ACCESS_DENIED;
  const bool read_only = (facts.attributes & FILE_ATTRIBUTE_READONLY) != 0;
  if (error == 0 && read_only) {
    error = facts.other_names
                ? ERROR_ACCESS_DENIED
                : SetHandleAttributes(file, facts.attributes & ~FILE_ATTRIBUTE_READONLY);
  }
  if (error == 0) {
    FILE_DISPOSITION_INFO disposition{TRUE};
    error = LastError(
        SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof disposition));
    if (error != 0 && read_only) SetHandleAttributes(file, facts.attributes);
  }
  CloseHandle(file);
  return error;
}

OpenAttempt CreateEmpty(const std::string& path) {
  // Whatever is under the name goes first: a file that a killed run left,
  // or a link that someone planted. The file is then created new, the
  // program's own.
  const SystemError error = RemoveName(path);
  if (error != 0 && error != ERROR_FILE_NOT_FOUND) return {-1, error};
  const HANDLE handle = OpenName(path, GENERIC_WRITE, 0, CREATE_NEW);
  if (handle == INVALID_HANDLE_VALUE) return {-1, GetLastError()};
  return {reinterpret_cast<FileHandle>(handle), 0};
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

// Through a handle of the name, never a name whose file has other names or
// that is a link: the attribute would change for another file too.
SystemError SetAttributes(const std::string& path, std::uint32_t attributes) {
  HANDLE file;
  NameFacts facts;
  SystemError error =
      OpenNameFacts(path, FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES, file, facts);
  if (error != 0) return error;
  if (facts.linked || facts.other_names) error = ERROR_ACCESS_DENIED;
  if (error == 0) error = SetHandleAttributes(file, attributes);
  CloseHandle(file);
  return error;
}

// The copy is a new file: whatever was under its name is deleted first.
SystemError Copy(const std::string& from, const std::string& to) {
  const SystemError error = RemoveName(to);
  if (error != 0 && error != ERROR_FILE_NOT_FOUND) return error;
  return LastError(CopyFileA(from.c_str(), to.c_str(), TRUE));
}

// Whether the name may be moved: never a followed link.
SystemError CheckMovable(const std::string& path) {
  HANDLE file;
  NameFacts facts;
  const SystemError error = OpenNameFacts(path, FILE_READ_ATTRIBUTES, file, facts);
  if (error != 0) return error;
  CloseHandle(file);
  return facts.Followed() ? ERROR_ACCESS_DENIED : 0;
}

// One move that writes through: the file under the new name is never
// missing and never half written. A read-only file under the new name is
// replaced after its attribute is taken off, which SetAttributes allows
// only on a name that is the file's only one.
SystemError Move(const std::string& from, const std::string& to) {
  if (const SystemError error = CheckMovable(from); error != 0) return error;
  const auto move = [&] {
    return MoveFileExA(from.c_str(), to.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
  };
  if (move()) return 0;
  const DWORD error = GetLastError();
  const DWORD attributes = GetFileAttributesA(to.c_str());
  if (error != ERROR_ACCESS_DENIED || attributes == INVALID_FILE_ATTRIBUTES ||
      (attributes & FILE_ATTRIBUTE_READONLY) == 0 ||
      SetAttributes(to, attributes & ~FILE_ATTRIBUTE_READONLY) != 0)
    return error;
  if (move()) return 0;
  const DWORD second_error = GetLastError();
  SetAttributes(to, attributes);
  return second_error;
}

SystemError Remove(const std::string& path) {
  return RemoveName(path);
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
