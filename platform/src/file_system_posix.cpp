// The native file system service on POSIX systems: every system call that the component makes on
// files is in this file. A Windows build compiles its own counterpart instead.

#if !defined(_WIN32)

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <limits>
#include <optional>
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

constexpr NativeFileCalls kSystemCalls = {SystemOpen, ::read,   ::write,  ::fsync,
                                          ::close,    ::rename, ::unlink, ::linkat};

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

// Temporary files are named ".NAME.PID.TAG.tmp" beside their target NAME: hidden, made unique by a
// random TAG, and saying which process made them, so that a later write can tell a file left by a
// killed process from one that a live process is still writing.
constexpr char kTemporarySuffix[] = ".tmp";
constexpr size_t kTemporarySuffixSize = sizeof kTemporarySuffix - 1;
constexpr int kMaxEntriesSwept = 65536;
constexpr time_t kStaleSeconds = 600;

std::string TemporaryPrefix(const std::string& target) {
  const std::string folder = FolderOf(target);
  size_t slash = target.rfind('/');
  std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
  return (folder == "/" ? "" : folder) + "/." + name.substr(0, 64) + "." +
         std::to_string(::getpid()) + ".";
}

// The process that made the temporary file named @p name, or nothing for any other name.
std::optional<pid_t> TemporaryOwner(std::string_view name) {
  constexpr size_t kTag = 16;
  if (name.size() < 1 + kTag + kTemporarySuffixSize + 4 || name.front() != '.' ||
      !name.ends_with(kTemporarySuffix)) {
    return std::nullopt;
  }
  name.remove_suffix(kTemporarySuffixSize);
  std::string_view tag = name.substr(name.size() - kTag);
  name.remove_suffix(kTag);
  if (tag.find_first_not_of("0123456789abcdef") != std::string_view::npos || !name.ends_with('.')) {
    return std::nullopt;
  }
  name.remove_suffix(1);
  size_t dot = name.rfind('.');
  std::string_view digits = name.substr(dot + 1);
  if (dot == 0 || dot == std::string_view::npos || digits.empty() || digits.size() > 9 ||
      digits.find_first_not_of("0123456789") != std::string_view::npos) {
    return std::nullopt;
  }
  return static_cast<pid_t>(std::stol(std::string(digits)));
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
  const std::string& Path() const { return path_; }

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
    const std::string given = NativePath(path);
    if (given.empty() || given.back() == '/') RaiseNotAFile(path, "names no file");
    // What is there now, links followed: a folder is refused, and a device or FIFO is written
    // into as it is (replacing it by a regular file would destroy it, /dev/null included).
    struct stat info;
    if (::stat(given.c_str(), &info) == 0) {
      if (S_ISDIR(info.st_mode)) RaiseNotAFile(path, "is a folder, not a file");
      if (!S_ISREG(info.st_mode) && WriteIntoSpecialFile(path, given, bytes)) return;
    }
    // A link stays a link: the file it finally points to is replaced, or made when it is missing.
    const std::string target = FinalTarget(path, given);
    const std::string folder = FolderOf(target);
#ifdef O_TMPFILE
    // A file without a name is linked into place only when it is complete, so a process killed
    // in the middle leaves nothing behind. File systems without such files get a named one.
    FileDescriptor fd(calls_, OpenRetrying(calls_, folder.c_str(),
                                           O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666));
    if (fd.get() >= 0) {
      if (WriteAnonymous(path, target, folder, fd, bytes)) return;
    } else if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) {
      RaiseSystemError(errno, "cannot create a temporary file beside", path, target);
    }
#endif
    WriteThroughNamedTemporary(path, target, folder, bytes);
  }

 private:
  // Writes @p bytes to a device or FIFO in place. False when the file turned out to be a regular
  // one after all (it was replaced meanwhile): the caller then writes it atomically.
  bool WriteIntoSpecialFile(std::u16string_view path, const std::string& native,
                            std::span<const uint8_t> bytes) {
    // Non-blocking, so that a FIFO without a reader fails (ENXIO) instead of waiting for one.
    FileDescriptor fd(calls_, OpenRetrying(calls_, native.c_str(),
                                           O_WRONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (fd.get() < 0) RaiseSystemError(errno, "cannot open for writing", path, native);
    struct stat info;
    if (::fstat(fd.get(), &info) != 0) RaiseSystemError(errno, "cannot examine", path, native);
    if (S_ISREG(info.st_mode)) return false;
    int flags = ::fcntl(fd.get(), F_GETFL);
    if (flags < 0 || ::fcntl(fd.get(), F_SETFL, flags & ~O_NONBLOCK) != 0) {
      RaiseSystemError(errno, "cannot write", path, native);
    }
    WriteAll(fd, path, native, bytes);
    if (int error = fd.Close(); error != 0) RaiseSystemError(error, "cannot close", path, native);
    return true;
  }

  // The file that @p native finally names once every symbolic link on its last component has been
  // followed, whether that file exists or not.
  std::string FinalTarget(std::u16string_view path, std::string native) const {
    for (int hops = 0; hops < 40; ++hops) {
      struct stat info;
      if (::lstat(native.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return native;
      std::string link(PATH_MAX, '\0');
      ssize_t length = ::readlink(native.c_str(), link.data(), link.size());
      if (length < 0) RaiseSystemError(errno, "cannot follow the link", path, native);
      link.resize(static_cast<size_t>(length));
      if (link.empty()) RaiseSystemError(ENOENT, "cannot follow the link", path, native);
      native = link.front() == '/' ? link : FolderOf(native) + "/" + link;
    }
    RaiseSystemError(ELOOP, "cannot follow the links of", path, native);
  }

  // Writes all of @p bytes, repeating short and interrupted writes.
  void WriteAll(FileDescriptor& fd, std::u16string_view path, const std::string& native,
                std::span<const uint8_t> bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
      ssize_t n = calls_.write(fd.get(), bytes.data() + done,
                               std::min<size_t>(bytes.size() - done, 1u << 30));
      if (n < 0) {
        if (errno == EINTR) continue;
        RaiseSystemError(errno, "cannot write", path, native);
      }
      // A write that takes nothing of a non-empty block would be repeated forever; the system
      // answers so only when the device has no room left.
      if (n == 0) RaiseSystemError(ENOSPC, "cannot write", path, native);
      done += static_cast<size_t>(n);
    }
  }

  // Gives the new file the permission bits of the file it replaces, writes and flushes it.
  void FillNewFile(FileDescriptor& fd, std::u16string_view path, const std::string& target,
                   std::span<const uint8_t> bytes) {
    struct stat old;
    if (::stat(target.c_str(), &old) == 0 && ::fchmod(fd.get(), old.st_mode & 07777) != 0) {
      RaiseSystemError(errno, "cannot set the permissions of the new", path, target);
    }
    WriteAll(fd, path, target, bytes);
    if (calls_.fsync(fd.get()) != 0) RaiseSystemError(errno, "cannot flush", path, target);
  }

  // Makes a new named temporary file beside @p target; its name says whose it is (see
  // RemoveStaleTemporaries).
  std::string CreateTemporary(std::u16string_view path, const std::string& target,
                              FileDescriptor& fd) {
    std::string prefix = TemporaryPrefix(target);
    for (int attempt = 0;; ++attempt) {
      std::string temporary = prefix + RandomTag() + kTemporarySuffix;
      fd.Reset(OpenRetrying(calls_, temporary.c_str(),
                            O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
      if (fd.get() >= 0) return temporary;
      if (errno != EEXIST || attempt >= 100) {
        RaiseSystemError(errno, "cannot create a temporary file beside", path, target);
      }
    }
  }

  // Renames a complete temporary file over the target and makes the rename durable.
  void RenameIntoPlace(std::u16string_view path, const std::string& temporary,
                       const std::string& target, const std::string& folder) {
    if (calls_.rename(temporary.c_str(), target.c_str()) != 0) {
      RaiseSystemError(errno, "cannot replace", path, target);
    }
    FlushFolder(folder);
  }

  // The new contents are already in place; a folder that cannot be flushed (some file systems
  // refuse) is not reported as a failed write.
  void FlushFolder(const std::string& folder) {
    FileDescriptor folderFd(
        calls_, OpenRetrying(calls_, folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folderFd.get() >= 0) calls_.fsync(folderFd.get());
  }

#ifdef O_TMPFILE
  // Fills the nameless file @p fd and links it into place: straight to the target when there is
  // none, else under a temporary name that is then renamed over it. False when the system cannot
  // link such files (no /proc): the caller then writes through a named temporary file.
  bool WriteAnonymous(std::u16string_view path, const std::string& target,
                      const std::string& folder, FileDescriptor& fd,
                      std::span<const uint8_t> bytes) {
    FillNewFile(fd, path, target, bytes);
    const std::string self = "/proc/self/fd/" + std::to_string(fd.get());
    struct stat old;
    if (::lstat(target.c_str(), &old) != 0) {
      if (calls_.linkat(AT_FDCWD, self.c_str(), AT_FDCWD, target.c_str(), AT_SYMLINK_FOLLOW) == 0) {
        if (int error = fd.Close(); error != 0) {
          // Linked, but a delayed write error makes the contents doubtful: take them away again.
          calls_.unlink(target.c_str());
          RaiseSystemError(error, "cannot close", path, target);
        }
        FlushFolder(folder);
        return true;
      }
      if (errno != EEXIST) {
        if (errno == ENOENT && IsFolder(folder)) return false;  // no /proc to link from
        RaiseSystemError(errno, "cannot create", path, target);
      }
    }
    // Replacing: a rename is the only atomic replacement, and it needs a name to rename from.
    const std::string prefix = TemporaryPrefix(target);
    std::string temporary;
    for (int attempt = 0;; ++attempt) {
      temporary = prefix + RandomTag() + kTemporarySuffix;
      if (calls_.linkat(AT_FDCWD, self.c_str(), AT_FDCWD, temporary.c_str(), AT_SYMLINK_FOLLOW) ==
          0) {
        break;
      }
      if (errno == ENOENT && IsFolder(folder)) return false;
      if (errno != EEXIST || attempt >= 100) {
        RaiseSystemError(errno, "cannot create a temporary file beside", path, target);
      }
    }
    TemporaryFile cleanup(calls_, fd, temporary);
    if (int error = fd.Close(); error != 0) RaiseSystemError(error, "cannot close", path, target);
    RenameIntoPlace(path, temporary, target, folder);
    cleanup.Keep();
    return true;
  }
#endif

  // The way of file systems without nameless files: a hidden temporary file in the target's
  // folder, flushed and renamed over the target. A process killed in the middle leaves it
  // behind; later writes into the folder remove it.
  void WriteThroughNamedTemporary(std::u16string_view path, const std::string& target,
                                  const std::string& folder, std::span<const uint8_t> bytes) {
    RemoveStaleTemporaries(folder);
    FileDescriptor fd(calls_);
    TemporaryFile cleanup(calls_, fd, CreateTemporary(path, target, fd));
    FillNewFile(fd, path, target, bytes);
    if (int error = fd.Close(); error != 0) RaiseSystemError(error, "cannot close", path, target);
    RenameIntoPlace(path, cleanup.Path(), target, folder);
    cleanup.Keep();
  }

  // Removes the temporary files that writes of this service left in @p folder when their
  // process was killed: files named by TemporaryPrefix, owned by this user, whose process is gone
  // and which nobody has written for a while (the age keeps the files of live processes in other
  // process namespaces or on other hosts that share the folder). Only the first entries of a very
  // large folder are examined, so that a write stays cheap.
  void RemoveStaleTemporaries(const std::string& folder) {
    DIR* listing = ::opendir(folder.c_str());
    if (listing == nullptr) return;
    const time_t now = ::time(nullptr);
    int examined = 0;
    while (const dirent* entry = ::readdir(listing)) {
      if (++examined > kMaxEntriesSwept) break;
      const std::optional<pid_t> owner = TemporaryOwner(entry->d_name);
      if (!owner || (::kill(*owner, 0) == 0 || errno != ESRCH)) continue;
      std::string file = (folder == "/" ? "" : folder) + "/" + entry->d_name;
      struct stat info;
      if (::lstat(file.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
          info.st_uid == ::geteuid() && now - info.st_mtime > kStaleSeconds) {
        calls_.unlink(file.c_str());
      }
    }
    ::closedir(listing);
  }

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
