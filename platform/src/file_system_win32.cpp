// The native file system service on Windows: every system call that the component makes on files
// is in this file (the wide-character Win32 API). The POSIX build compiles file_system_posix.cpp
// instead.

#if defined(_WIN32)

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <random>
#include <string>

#include "corvella/platform/error.h"
#include "corvella/platform/file_system.h"
#include "corvella/platform/text.h"

namespace corvella::platform {

namespace {

const wchar_t* Wide(const std::u16string& text) {
  return reinterpret_cast<const wchar_t*>(text.c_str());
}

// The path as the system takes it: "/" turned into "\", and a long absolute path given the
// "\\?\" prefix so that it is not cut at MAX_PATH characters. A path with a NUL inside would be
// cut short silently by every system call, so it is refused.
std::u16string NativePath(std::u16string_view path) {
  if (path.find(u'\0') != std::u16string_view::npos) {
    Raise(RuntimeError::PathFileAccessError,
          "'" + WideToUtf8(path) + "': the path contains a NUL character");
  }
  std::u16string native(path);
  std::replace(native.begin(), native.end(), u'/', u'\\');
  if (native.size() >= MAX_PATH - 12 && native.rfind(u"\\\\?\\", 0) != 0) {
    if (native.size() > 2 && native[1] == u':' && native[2] == u'\\') {
      native.insert(0, u"\\\\?\\");
    } else if (native.rfind(u"\\\\", 0) == 0) {
      native.replace(0, 2, u"\\\\?\\UNC\\");
    }
  }
  return native;
}

// The folder part of a native path, with its trailing separator ("" when there is none).
std::u16string FolderOf(const std::u16string& native) {
  size_t separator = native.find_last_of(u'\\');
  if (separator == std::u16string::npos) {
    // "C:name" lies in the current folder of drive C.
    return native.size() > 1 && native[1] == u':' ? native.substr(0, 2) : std::u16string();
  }
  return native.substr(0, separator + 1);
}

DWORD Attributes(const std::u16string& native) {
  return native.empty() ? INVALID_FILE_ATTRIBUTES : GetFileAttributesW(Wide(native));
}

bool IsFolder(const std::u16string& native) {
  DWORD attributes = Attributes(native.empty() ? u"." : native);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

RuntimeError ErrorForCode(DWORD error, const std::u16string& native) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
      // A missing folder on the way is reported as such, a missing last component as a file.
      return IsFolder(FolderOf(native)) ? RuntimeError::FileNotFound : RuntimeError::PathNotFound;
    case ERROR_PATH_NOT_FOUND:
    case ERROR_BAD_NETPATH:
    case ERROR_INVALID_DRIVE:
      return RuntimeError::PathNotFound;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_WRITE_PROTECT:
      return RuntimeError::PermissionDenied;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return RuntimeError::DiskFull;
    case ERROR_CRC:
    case ERROR_IO_DEVICE:
    case ERROR_GEN_FAILURE:
    case ERROR_NOT_READY:
      return RuntimeError::DeviceIoError;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
      return RuntimeError::OutOfMemory;
    default:
      return RuntimeError::PathFileAccessError;
  }
}

// The system's text for an error code, without the trailing line break.
std::string SystemMessage(DWORD error) {
  wchar_t* buffer = nullptr;
  DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, error, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::u16string text;
  if (length > 0 && buffer != nullptr) {
    text.assign(reinterpret_cast<const char16_t*>(buffer), length);
  }
  if (buffer != nullptr) LocalFree(buffer);
  while (!text.empty() && (text.back() == u'\n' || text.back() == u'\r' || text.back() == u' ' ||
                           text.back() == u'.')) {
    text.pop_back();
  }
  if (text.empty()) return "system error " + std::to_string(error);
  return WideToUtf8(text);
}

// Raises the runtime error for a failed system call: "<what> '<path>': <system's reason>".
[[noreturn]] void RaiseSystemError(DWORD error, std::string_view what, std::u16string_view path,
                                   const std::u16string& native) {
  std::string detail(what);
  detail += " '";
  detail += WideToUtf8(path);
  detail += "': ";
  detail += SystemMessage(error);
  Raise(ErrorForCode(error, native), detail);
}

[[noreturn]] void RaiseNotAFile(std::u16string_view path, std::string_view why) {
  Raise(RuntimeError::PathFileAccessError, "'" + WideToUtf8(path) + "' " + std::string(why));
}

// Owns a file handle and closes it when dropped.
class FileHandle {
 public:
  explicit FileHandle(HANDLE handle = INVALID_HANDLE_VALUE) : handle_(handle) {}
  ~FileHandle() {
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
  }
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;
  HANDLE get() const { return handle_; }
  bool valid() const { return handle_ != INVALID_HANDLE_VALUE; }
  void Reset(HANDLE handle) {
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
    handle_ = handle;
  }
  /// Closes now and answers 0 or the error of the failed close.
  DWORD Close() {
    BOOL closed = CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
    return closed ? 0 : GetLastError();
  }

 private:
  HANDLE handle_;
};

// A random tag for temporary file names; generators are per thread, so no lock is needed.
std::u16string RandomTag() {
  thread_local std::mt19937_64 generator{std::random_device{}() ^
                                         (static_cast<uint64_t>(GetCurrentProcessId()) << 32) ^
                                         GetTickCount64()};
  char text[17];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(generator()));
  return Utf8ToWide(text);
}

// Removes the temporary file of an unfinished write, closing it first.
class TemporaryFile {
 public:
  TemporaryFile(FileHandle& file, std::u16string path) : file_(file), path_(std::move(path)) {}
  ~TemporaryFile() {
    if (path_.empty()) return;
    if (file_.valid()) file_.Close();
    DeleteFileW(Wide(path_));
  }
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;
  /// The file has been moved into place: nothing is left to remove.
  void Keep() { path_.clear(); }

 private:
  FileHandle& file_;
  std::u16string path_;
};

class NativeFileSystem final : public FileSystem {
 public:
  bool FileExists(std::u16string_view path) override {
    std::u16string native;
    try {
      native = NativePath(path);
    } catch (const Error&) {
      return false;
    }
    DWORD attributes = Attributes(native);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
  }

  bool FolderExists(std::u16string_view path) override {
    std::u16string native;
    try {
      native = NativePath(path);
    } catch (const Error&) {
      return false;
    }
    return !native.empty() && IsFolder(native);
  }

  FileInfo GetFile(std::u16string_view path) override {
    std::u16string native = NativePath(path);
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (native.empty() || !GetFileAttributesExW(Wide(native), GetFileExInfoStandard, &data)) {
      RaiseSystemError(native.empty() ? ERROR_FILE_NOT_FOUND : GetLastError(), "cannot find", path,
                       native);
    }
    if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
      RaiseNotAFile(path, "is a folder, not a file");
    }
    const int64_t size =
        static_cast<int64_t>((static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow);
    return FileInfo{std::u16string(path), size};
  }

  ByteArray ReadAll(std::u16string_view path) override {
    std::u16string native = NativePath(path);
    if (IsFolder(native) && !native.empty()) RaiseNotAFile(path, "is a folder, not a file");
    FileHandle file(CreateFileW(
        Wide(native), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file.valid()) {
      RaiseSystemError(native.empty() ? ERROR_FILE_NOT_FOUND : GetLastError(),
                       "cannot open for reading", path, native);
    }
    if (GetFileType(file.get()) != FILE_TYPE_DISK) RaiseNotAFile(path, "is not a regular file");
    LARGE_INTEGER length;
    if (!GetFileSizeEx(file.get(), &length)) {
      RaiseSystemError(GetLastError(), "cannot examine", path, native);
    }
    if (length.QuadPart > std::numeric_limits<int32_t>::max()) {
      Raise(RuntimeError::Overflow, "'" + WideToUtf8(path) + "' is too large to be read (" +
                                        std::to_string(length.QuadPart) + " bytes)");
    }
    const size_t size = static_cast<size_t>(length.QuadPart);
    ByteArray bytes = ByteArray::AllocateForOverwrite(size);
    size_t done = 0;
    while (done < size) {
      DWORD chunk = static_cast<DWORD>(std::min<size_t>(size - done, 1u << 30));
      DWORD read = 0;
      if (!ReadFile(file.get(), bytes.Data() + done, chunk, &read, nullptr)) {
        RaiseSystemError(GetLastError(), "cannot read", path, native);
      }
      if (read == 0) {
        Raise(RuntimeError::DeviceIoError,
              "cannot read '" + WideToUtf8(path) + "': the file became shorter while it was read");
      }
      done += read;
    }
    return bytes;
  }

  void WriteFileAtomically(std::u16string_view path, std::span<const uint8_t> bytes) override {
    std::u16string target = NativePath(path);
    if (target.empty() || target.back() == u'\\') RaiseNotAFile(path, "names no file");
    const DWORD targetAttributes = Attributes(target);
    const bool replacing = targetAttributes != INVALID_FILE_ATTRIBUTES;
    if (replacing && (targetAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
      RaiseNotAFile(path, "is a folder, not a file");
    }

    // The temporary file lies in the target's folder, so that the move stays on one volume and
    // replaces the target in one step. Its name is kept short and made unique by a random tag.
    const std::u16string folder = FolderOf(target);
    std::u16string name = target.substr(folder.size());
    std::u16string stem = u"." + name.substr(0, 64) + u".";
    FileHandle file;
    std::u16string temporary;
    for (int attempt = 0; !file.valid(); ++attempt) {
      temporary = folder + stem + RandomTag() + u".tmp";
      file.Reset(CreateFileW(Wide(temporary), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                             FILE_ATTRIBUTE_NORMAL, nullptr));
      if (!file.valid()) {
        DWORD error = GetLastError();
        if (error != ERROR_FILE_EXISTS || attempt >= 100) {
          RaiseSystemError(error, "cannot create a temporary file beside", path, target);
        }
      }
    }
    TemporaryFile cleanup(file, temporary);

    size_t done = 0;
    while (done < bytes.size()) {
      DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 30));
      DWORD written = 0;
      if (!WriteFile(file.get(), bytes.data() + done, chunk, &written, nullptr)) {
        RaiseSystemError(GetLastError(), "cannot write", path, target);
      }
      done += written;
    }
    if (!FlushFileBuffers(file.get()))
      RaiseSystemError(GetLastError(), "cannot flush", path, target);
    if (DWORD error = file.Close(); error != 0)
      RaiseSystemError(error, "cannot close", path, target);
    // A replaced file keeps its attributes (hidden, archive, ...).
    if (replacing) {
      constexpr DWORD kKept = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                              FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
      if ((targetAttributes & kKept) != 0) {
        SetFileAttributesW(Wide(temporary), targetAttributes & kKept);
      }
    }
    if (!MoveFileExW(Wide(temporary), Wide(target),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      RaiseSystemError(GetLastError(), "cannot replace", path, target);
    }
    cleanup.Keep();
  }
};

}  // namespace

std::shared_ptr<FileSystem> MakeNativeFileSystem() {
  return std::make_shared<NativeFileSystem>();
}

}  // namespace corvella::platform

#endif  // defined(_WIN32)
