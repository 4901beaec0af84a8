// The native file system service on POSIX systems: every system call that the component makes on
// files is in this file. A Windows build compiles its own counterpart instead.

#if !defined(_WIN32)

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <random>
#include <string>
#include <system_error>

#include "corvella/platform/error.h"
#include "corvella/platform/file_system.h"
#include "corvella/platform/text.h"

namespace corvella::platform {

namespace {

// The path as the system takes it: UTF-8, with "\" turned into "/". A path with a NUL inside
// would be cut short silently by every system call, so it is refused.
std::string NativePath(std::u16string_view path) {
  std::string native = WideToUtf8(path);
  if (native.find('\0') != std::string::npos) {
    Raise(RuntimeError::PathFileAccessError,
          "'" + WideToUtf8(path) + "': the path contains a NUL character");
  }
  std::replace(native.begin(), native.end(), '\\', '/');
  return native;
}

// The folder part of a native path ("." when there is none, "/" for a file in the root).
std::string FolderOf(const std::string& native) {
  size_t slash = native.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return native.substr(0, slash);
}

bool IsFolder(const std::string& native) {
  struct stat info;
  return ::stat(native.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

RuntimeError ErrorForErrno(int error, const std::string& native) {
  switch (error) {
    case ENOENT:
      // A missing folder on the way is reported as such, a missing last component as a file.
      return IsFolder(FolderOf(native)) ? RuntimeError::FileNotFound : RuntimeError::PathNotFound;
    case ENOTDIR:
      return RuntimeError::PathNotFound;
    case EACCES:
    case EPERM:
    case EROFS:
      return RuntimeError::PermissionDenied;
    case ENOSPC:
    case EFBIG:  // a file size limit stopped the write: to the caller, no space is left
#ifdef EDQUOT
    case EDQUOT:
#endif
      return RuntimeError::DiskFull;
    case EIO:
      return RuntimeError::DeviceIoError;
    case ENOMEM:
      return RuntimeError::OutOfMemory;
    default:
      return RuntimeError::PathFileAccessError;
  }
}

// Raises the runtime error for a failed system call: "<what> '<path>': <system's reason>".
[[noreturn]] void RaiseSystemError(int error, std::string_view what, std::u16string_view path,
                                   const std::string& native) {
  std::string detail(what);
  detail += " '";
  detail += WideToUtf8(path);
  detail += "': ";
  detail += std::generic_category().message(error);
  Raise(ErrorForErrno(error, native), detail);
}

// The real system calls, in the shape of the table's entries (open is variadic).
int SystemOpen(const char* path, int flags, mode_t mode) {
  return ::open(path, flags, mode);
}

constexpr NativeFileCalls kSystemCalls = {SystemOpen, ::read,   ::write, ::fsync,
                                          ::close,    ::rename, ::unlink};

// Owns a file descriptor and closes it when dropped.
class FileDescriptor {
 public:
  explicit FileDescriptor(const NativeFileCalls& calls, int fd = -1) : calls_(calls), fd_(fd) {}
  ~FileDescriptor() {
    if (fd_ >= 0) calls_.close(fd_);
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  int get() const { return fd_; }
  /// Takes ownership of @p fd, closing the descriptor held so far.
  void Reset(int fd) {
    if (fd_ >= 0) calls_.close(fd_);
    fd_ = fd;
  }
  /// Closes now and answers 0 or the errno of the failed close. The descriptor is released
  /// either way (a close that fails, even with EINTR, must not be repeated).
  int Close() {
    int result = calls_.close(fd_);
    fd_ = -1;
    return result == 0 ? 0 : errno;
  }

 private:
  const NativeFileCalls& calls_;
  int fd_;
};

int OpenRetrying(const NativeFileCalls& calls, const char* path, int flags, mode_t mode = 0) {
  int fd;
  do {
    fd = calls.open(path, flags, mode);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

// A random tag for temporary file names; generators are per thread, so no lock is needed.
std::string RandomTag() {
  thread_local std::mt19937_64 generator{std::random_device{}() ^
                                         (static_cast<uint64_t>(::getpid()) << 32)};
  char text[17];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(generator()));
  return text;
}

// Removes the temporary file of an unfinished write, closing it first.
class TemporaryFile {
 public:
  TemporaryFile(const NativeFileCalls& calls, FileDescriptor& fd, std::string path)
      : calls_(calls), fd_(fd), path_(std::move(path)) {}
  ~TemporaryFile() {
    if (path_.empty()) return;
    if (fd_.get() >= 0) fd_.Close();
    calls_.unlink(path_.c_str());
  }
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;
  /// The file has been renamed into place: nothing is left to remove.
  void Keep() { path_.clear(); }

 private:
  const NativeFileCalls& calls_;
  FileDescriptor& fd_;
  std::string path_;
};

class NativeFileSystem final : public FileSystem {
 public:
  explicit NativeFileSystem(const NativeFileCalls& calls) : calls_(calls) {}

  bool FileExists(std::u16string_view path) override {
    struct stat info;
    std::string native;
    try {
      native = NativePath(path);
    } catch (const Error&) {
      return false;
    }
    return !native.empty() && ::stat(native.c_str(), &info) == 0 && !S_ISDIR(info.st_mode);
  }

  bool FolderExists(std::u16string_view path) override {
    std::string native;
    try {
      native = NativePath(path);
    } catch (const Error&) {
      return false;
    }
    return !native.empty() && IsFolder(native);
  }

  FileInfo GetFile(std::u16string_view path) override {
    std::string native = NativePath(path);
    struct stat info;
    if (::stat(native.c_str(), &info) != 0) RaiseSystemError(errno, "cannot find", path, native);
    if (S_ISDIR(info.st_mode)) RaiseNotAFile(path, "is a folder, not a file");
    return FileInfo{std::u16string(path), static_cast<int64_t>(info.st_size)};
  }

  ByteArray ReadAll(std::u16string_view path) override {
    std::string native = NativePath(path);
    // Non-blocking, so that a FIFO given as a file fails below instead of waiting for a writer;
    // reads of a regular file are not affected.
    FileDescriptor fd(calls_,
                      OpenRetrying(calls_, native.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (fd.get() < 0) RaiseSystemError(errno, "cannot open for reading", path, native);
    struct stat info;
    if (::fstat(fd.get(), &info) != 0) RaiseSystemError(errno, "cannot examine", path, native);
    if (S_ISDIR(info.st_mode)) RaiseNotAFile(path, "is a folder, not a file");
    if (!S_ISREG(info.st_mode)) RaiseNotAFile(path, "is not a regular file");
    if (info.st_size > std::numeric_limits<int32_t>::max()) {
      Raise(RuntimeError::Overflow, "'" + WideToUtf8(path) + "' is too large to be read (" +
                                        std::to_string(info.st_size) + " bytes)");
    }
    size_t size = static_cast<size_t>(info.st_size);
    ByteArray bytes = ByteArray::AllocateForOverwrite(size);
    size_t done = 0;
    while (done < size) {
      ssize_t n =
          calls_.read(fd.get(), bytes.Data() + done, std::min<size_t>(size - done, 1u << 30));
      if (n < 0) {
        if (errno == EINTR) continue;
        RaiseSystemError(errno, "cannot read", path, native);
      }
      if (n == 0) {
        Raise(RuntimeError::DeviceIoError,
              "cannot read '" + WideToUtf8(path) + "': the file became shorter while it was read");
      }
      done += static_cast<size_t>(n);
    }
    return bytes;
  }

  void WriteFileAtomically(std::u16string_view path, std::span<const uint8_t> bytes) override {
    std::string target = NativePath(path);
    if (target.empty() || target.back() == '/') RaiseNotAFile(path, "names no file");
    // Writing through a symbolic link replaces the file it points to, not the link.
    char resolved[PATH_MAX];
    struct stat linkInfo;
    if (::lstat(target.c_str(), &linkInfo) == 0 && S_ISLNK(linkInfo.st_mode) &&
        ::realpath(target.c_str(), resolved) != nullptr) {
      target = resolved;
    }
    struct stat targetInfo;
    bool replacing = ::stat(target.c_str(), &targetInfo) == 0;
    if (replacing && S_ISDIR(targetInfo.st_mode)) RaiseNotAFile(path, "is a folder, not a file");

    // The temporary file lies in the target's folder, so that the rename stays on one file
    // system and is atomic. Its name is hidden, kept short and made unique by a random tag.
    std::string folder = FolderOf(target);
    size_t slash = target.rfind('/');
    std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
    std::string stem = "." + name.substr(0, 64) + ".";
    FileDescriptor fd(calls_);
    std::string temporary;
    for (int attempt = 0; fd.get() < 0; ++attempt) {
      temporary = (folder == "/" ? "" : folder) + "/" + stem + RandomTag() + ".tmp";
      fd.Reset(
          OpenRetrying(calls_, temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
      if (fd.get() < 0 && (errno != EEXIST || attempt >= 100)) {
        RaiseSystemError(errno, "cannot create a temporary file beside", path, target);
      }
    }
    TemporaryFile cleanup(calls_, fd, temporary);

    if (replacing && ::fchmod(fd.get(), targetInfo.st_mode & 07777) != 0) {
      RaiseSystemError(errno, "cannot set the permissions of the new", path, target);
    }
    size_t done = 0;
    while (done < bytes.size()) {
      ssize_t n = calls_.write(fd.get(), bytes.data() + done,
                               std::min<size_t>(bytes.size() - done, 1u << 30));
      if (n < 0) {
        if (errno == EINTR) continue;
        RaiseSystemError(errno, "cannot write", path, target);
      }
      // A write that takes nothing of a non-empty block would be repeated forever; the system
      // answers so only when the device has no room left.
      if (n == 0) RaiseSystemError(ENOSPC, "cannot write", path, target);
      done += static_cast<size_t>(n);
    }
    if (calls_.fsync(fd.get()) != 0) RaiseSystemError(errno, "cannot flush", path, target);
    if (int error = fd.Close(); error != 0) RaiseSystemError(error, "cannot close", path, target);
    if (calls_.rename(temporary.c_str(), target.c_str()) != 0) {
      RaiseSystemError(errno, "cannot replace", path, target);
    }
    cleanup.Keep();
    // Makes the rename itself durable. The new contents are already in place, so a folder that
    // cannot be flushed (some file systems refuse) is not reported as a failed write.
    FileDescriptor folderFd(
        calls_, OpenRetrying(calls_, folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folderFd.get() >= 0) calls_.fsync(folderFd.get());
  }

 private:
  [[noreturn]] static void RaiseNotAFile(std::u16string_view path, std::string_view why) {
    Raise(RuntimeError::PathFileAccessError, "'" + WideToUtf8(path) + "' " + std::string(why));
  }

  const NativeFileCalls calls_;
};

}  // namespace

const NativeFileCalls& SystemFileCalls() {
  return kSystemCalls;
}

std::shared_ptr<FileSystem> MakeNativeFileSystem() {
  return std::make_shared<NativeFileSystem>(kSystemCalls);
}

std::shared_ptr<FileSystem> MakeNativeFileSystem(const NativeFileCalls& calls) {
  return std::make_shared<NativeFileSystem>(calls);
}

}  // namespace corvella::platform

#endif  // !defined(_WIN32)
