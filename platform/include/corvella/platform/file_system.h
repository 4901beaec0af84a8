#pragma once
/// @file
/// The file system service: the operations that the component performs on files, behind an
/// abstract interface so that a host can replace it (a test host injects faults; a Windows build
/// supplies its own native implementation).
///
/// Paths are UTF-16 physical paths, as scripts and the page's MapPath produce them. Both "\" and
/// "/" separate path components on every platform, so a physical path written with backslashes
/// works on a system whose own separator is "/".
///
/// Failures of the operating system are raised as platform::Error runtime errors whose detail
/// names the operation, the path and the system's reason:
///   53 file not found, 76 path not found, 70 permission denied, 75 path/file access error
///   (a folder given as a file, a name that is too long, ...), 61 disk full, 57 device I/O error,
///   6 overflow (a file too large for a byte array), 7 out of memory.

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#if !defined(_WIN32)
#include <sys/types.h>
#endif

#include "corvella/platform/byte_array.h"

namespace corvella::platform {

/// What GetFile answers about an existing file.
struct FileInfo {
  std::u16string Path;  ///< the path as it was given
  int64_t Size = 0;     ///< the file's length in bytes
};

/// The operations of the file system service. One object serves one member call of the
/// component and is released when that call ends; implementations hold no state that a caller
/// relies on between calls.
class FileSystem {
 public:
  virtual ~FileSystem() = default;

  /// True when a file (not a folder) exists at @p path. Never raises: a path that cannot be
  /// examined (a missing folder on the way, no permission to search it) answers false.
  virtual bool FileExists(std::u16string_view path) = 0;

  /// True when a folder exists at @p path; a trailing separator is allowed ("C:\pictures\",
  /// "/srv/site/"). The empty path answers false. Never raises.
  virtual bool FolderExists(std::u16string_view path) = 0;

  /// Size and path of the file at @p path; raises the errors listed in the file comment when
  /// there is no readable file there (a folder included).
  virtual FileInfo GetFile(std::u16string_view path) = 0;

  /// The whole file at @p path, read in one piece into a new zero-based array (one allocation,
  /// no intermediate copy). A file of 0 bytes answers an allocated array without elements. A
  /// file of 2^31 bytes or more raises runtime error 6; anything that is not a regular file
  /// (a folder, a device) raises runtime error 75.
  virtual ByteArray ReadAll(std::u16string_view path) = 0;

  /// Replaces the file at @p path by @p bytes, all or nothing: the bytes go to a new temporary
  /// file in the target's folder, which is flushed to the disk and then renamed over the target.
  /// On any failure the target keeps its old contents (or stays absent), no temporary file is
  /// left behind, and the error names the path and the system's reason. A new file gets the
  /// default permissions of a created file; a replaced file keeps its permission bits.
  /// A symbolic link stays a link: the file it finally points to is written (made when missing).
  /// A target that exists and is neither a regular file nor a folder (a device, a FIFO) is
  /// written into in place, never replaced; a FIFO without a reader is refused. On POSIX systems
  /// the temporary file has no name until it is complete where the file system allows, so that a
  /// killed process leaves nothing behind; elsewhere a named one is used, and writes into the
  /// folder remove those that killed processes left.
  virtual void WriteFileAtomically(std::u16string_view path, std::span<const uint8_t> bytes) = 0;

  /// The last component of @p path: the part after the last "\" or "/" (the whole path when it
  /// has no separator, empty when it ends with one). Pure text; touches no file.
  static std::u16string GetFileName(std::u16string_view path);
};

/// Makes a file system object, as the component does for each member that needs one.
using FileSystemFactory = std::function<std::shared_ptr<FileSystem>()>;

/// A new file system object from the process-wide factory (the native one unless a host has
/// installed another). Safe to call from several threads.
std::shared_ptr<FileSystem> CreateFileSystem();

/// Installs @p factory as the process-wide factory and answers the one it replaces. An empty
/// factory restores the native one. Meant for hosts and tests; safe to call from several threads.
FileSystemFactory SetFileSystemFactory(FileSystemFactory factory);

/// Installs a factory for the lifetime of the object and restores the previous one afterwards.
class ScopedFileSystemFactory {
 public:
  explicit ScopedFileSystemFactory(FileSystemFactory factory)
      : previous_(SetFileSystemFactory(std::move(factory))) {}
  ~ScopedFileSystemFactory() { SetFileSystemFactory(std::move(previous_)); }
  ScopedFileSystemFactory(const ScopedFileSystemFactory&) = delete;
  ScopedFileSystemFactory& operator=(const ScopedFileSystemFactory&) = delete;

 private:
  FileSystemFactory previous_;
};

/// A new object of the operating system's own file system service. Defined in the one source
/// file that holds the system calls (file_system_posix.cpp, or file_system_win32.cpp on Windows).
std::shared_ptr<FileSystem> MakeNativeFileSystem();

#if !defined(_WIN32)
/// The system calls through which the native POSIX service opens, reads, writes, flushes, closes,
/// renames, links and removes files. Each entry has the signature and the errno convention of the call
/// it is named after. The service copies its table when it is made; SystemFileCalls() is the
/// table of the real calls, which MakeNativeFileSystem() uses.
///
/// This is a seam for tests: a table whose entries fail at a chosen call (a full disk in the
/// middle of a write, a failed flush or rename, a folder removed between two steps) drives the
/// service through every failure path of the real code. Hosts have no reason to replace it.
struct NativeFileCalls {
  int (*open)(const char* path, int flags, mode_t mode);
  ssize_t (*read)(int fd, void* buffer, size_t count);
  ssize_t (*write)(int fd, const void* buffer, size_t count);
  int (*fsync)(int fd);
  int (*close)(int fd);
  int (*rename)(const char* from, const char* to);
  int (*unlink)(const char* path);
  int (*linkat)(int fromFolder, const char* from, int toFolder, const char* to, int flags);
};

/// The table of the operating system's own calls.
const NativeFileCalls& SystemFileCalls();

/// A native file system service that makes the calls of @p calls instead of the system's own.
std::shared_ptr<FileSystem> MakeNativeFileSystem(const NativeFileCalls& calls);
#endif

}  // namespace corvella::platform
