// The file-system seam under record file access: the few raw operations it
// needs from the platform, as a table of functions. The platform's table is
// the default; tests install a table of their own that wraps it and injects
// failures. The rules of record file access (fallbacks, error numbers,
// record cutting) live above this seam, once for every platform.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace scenreg {

using FileHandle = std::intptr_t;

// A system error number as the platform reports it (errno or GetLastError);
// 0 means no error.
using SystemError = std::uint32_t;

struct OpenAttempt {
  FileHandle handle = -1;
  SystemError error = 0;  // non-zero when the open failed
  // Refused, with nothing read, written or created: the name is a link, or
  // the file has other names as well. An elevated run would otherwise work
  // on a file that whoever planted the link chose.
  bool linked = false;
};

struct ReadAttempt {
  std::size_t count = 0;
  SystemError error = 0;
};

// What tells one version of a file from another: the file itself (a file
// put in its place by a move has another identity), its size and the time
// it was last written.
struct FileStamp {
  std::uint64_t volume = 0;
  std::uint64_t file_id = 0;
  std::uint64_t size = 0;
  std::uint64_t write_time = 0;
  bool operator==(const FileStamp&) const = default;
};

struct FileSystem {
  // Resolves a name against the working directory; false when it cannot.
  bool (*resolve_full_path)(const std::string& name, std::string& full_path);
  // Opens or creates the file, letting other processes read it but not
  // write it while it is open. writable false opens for reading only. A
  // missing file is created new, never through a link that points nowhere.
  OpenAttempt (*open_or_create)(const std::string& path, bool writable);
  bool (*is_disk_file)(FileHandle handle);
  SystemError (*seek_to_end)(FileHandle handle);
  // Reads up to size bytes; fewer only at the end of the file.
  ReadAttempt (*read)(FileHandle handle, char* buffer, std::size_t size);
  // Writes all size bytes or fails.
  SystemError (*write)(FileHandle handle, const char* data, std::size_t size);
  SystemError (*close)(FileHandle handle);

  // The operations of a file replaced as a whole. Opens the file like
  // open_or_create, but a missing file is not created.
  OpenAttempt (*open_existing)(const std::string& path, bool writable);
  // Creates the file new and empty for writing, after deleting whatever is
  // under the name (a link, not the file it points to), and keeps every
  // other process out of it while it is open. Never opens an existing file.
  OpenAttempt (*create_empty)(const std::string& path);
  SystemError (*seek_to_start)(FileHandle handle);
  // Returns once the bytes written are on the disk.
  SystemError (*flush)(FileHandle handle);
  // The platform's attributes of the file (file attributes on Windows, the
  // mode on POSIX), to give another file the same.
  SystemError (*get_attributes)(const std::string& path, std::uint32_t& attributes);
  SystemError (*set_attributes)(const std::string& path, std::uint32_t attributes);
  // Copies the file's bytes to a new file under the other name; whatever is
  // under that name is deleted first, never written through.
  SystemError (*copy)(const std::string& from, const std::string& to);
  // Gives the file the other name in one step, in its folder: a file under
  // that name is replaced, even a read-only one, and holds either its old
  // bytes or all of the moved file's whenever the process ends. Returns
  // once the move is on the disk.
  SystemError (*move)(const std::string& from, const std::string& to);
  // Deletes the name, even a read-only file's. Attributes are never changed
  // through a name whose file has other names: such a read-only file's name
  // is left, and refused. So is a name that the system follows to another
  // file when deleting it.
  SystemError (*remove)(const std::string& path);
  // The file's stamp, read without keeping anyone out of the file; works
  // while it is open elsewhere.
  SystemError (*stamp)(const std::string& path, FileStamp& stamp);
};

const FileSystem& PlatformFileSystem();

// The table in use; null restores the platform's.
const FileSystem& CurrentFileSystem();
void UseFileSystem(const FileSystem* file_system);

// Failures named independently of the platform, so that the same test can
// inject them into either platform's table.
enum class CommonFailure {
  kFileNotFound,
  kPathNotFound,
  kTooManyOpenFiles,
  kAccessDenied,
  kWriteProtected,
  kInvalidDrive,
  kFileExists,
  kInvalidName,
  kNameTooLong,
  kSharingViolation,
  kEndOfFile,
  kReadFault,
  kDiskFull,
  kOther,
};
SystemError SystemErrorFor(CommonFailure failure);

// The platform's classification of its own error numbers.
bool IsAccessRefusal(SystemError error);   // worth a read-only retry
bool IsEndOfFileError(SystemError error);  // a read that hit the end
int OpenErrorNumber(SystemError error);    // the run-time error of a failed open

}  // namespace scenreg
