#pragma once
// Scripted failures of the native file system's system calls, for tests of every failure path of
// the real code: a FileFaults object installs, for its lifetime, a file system factory whose
// native services make their system calls through a table that counts each call and fails the
// ones a test names (the n-th write with ENOSPC, the first fsync with EIO, ...), optionally
// running an action first (removing the target's folder between two steps). It also counts the
// descriptors that the service opened and has not closed yet.
//
// The table is made of plain functions, so the scripted state is process-wide: one FileFaults at a
// time, on one thread.

#if !defined(_WIN32)

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "corvella/platform/file_system.h"

namespace corvella::testing {

/// The system calls of the native service, as counted and failed here.
enum class FileCall : uint8_t { Open, Read, Write, Fsync, Close, Rename, Unlink, Linkat };
inline constexpr size_t kFileCallKinds = 8;

inline const char* FileCallName(FileCall call) {
  static constexpr const char* kNames[] = {"open",  "read",   "write",  "fsync",
                                           "close", "rename", "unlink", "linkat"};
  return kNames[static_cast<size_t>(call)];
}

class FileFaults {
 public:
  FileFaults() : factory_([] { return platform::MakeNativeFileSystem(Table()); }) {
    EXPECT_EQ(active_, nullptr) << "one FileFaults at a time";
    active_ = this;
  }
  ~FileFaults() { active_ = nullptr; }
  FileFaults(const FileFaults&) = delete;
  FileFaults& operator=(const FileFaults&) = delete;

  /// Makes the @p nth call (counted from 1 since this object was made) of kind @p call fail with
  /// @p error after running @p before; an @p error of 0 lets the call go through after @p before.
  /// A failed close still releases the descriptor, as on the system.
  void Fail(FileCall call, int nth, int error, std::function<void()> before = {}) {
    faults_.push_back({call, nth, error, std::move(before)});
  }

  /// The device holds only @p bytes more: writes take what fits, then fail with ENOSPC.
  void LimitSpace(size_t bytes) {
    spaceLimited_ = true;
    space_ = bytes;
  }

  /// Files without a name (O_TMPFILE) are refused, as on a file system that has none: writes
  /// go through named temporary files.
  void RefuseNamelessFiles() { namelessRefused_ = true; }

  /// Writes take nothing and answer 0 without an error, as a stalled device might.
  void StallWrites() { stalled_ = true; }

  /// Calls of kind @p call made so far.
  int Count(FileCall call) const { return counts_[static_cast<size_t>(call)]; }
  /// Descriptors opened through the table and not closed yet.
  int OpenDescriptors() const { return openDescriptors_; }

  /// The table of counted and scripted calls.
  static const platform::NativeFileCalls& Table() {
    using Calls = platform::NativeFileCalls;
    // clang-format off
    static const Calls table = {Open, Plain<FileCall::Read, &Calls::read>, Write,
                                Plain<FileCall::Fsync, &Calls::fsync>, Close,
                                Plain<FileCall::Rename, &Calls::rename>,
                                Plain<FileCall::Unlink, &Calls::unlink>,
                                Plain<FileCall::Linkat, &Calls::linkat>};
    // clang-format on
    return table;
  }

 private:
  struct Fault {
    FileCall call;
    int nth;
    int error;
    std::function<void()> before;
  };

  // Counts a call; answers the errno it must fail with, or 0.
  static int Next(FileCall call) {
    FileFaults* self = active_;
    if (self == nullptr) return 0;
    int n = ++self->counts_[static_cast<size_t>(call)];
    for (const Fault& fault : self->faults_) {
      if (fault.call != call || fault.nth != n) continue;
      if (fault.before) fault.before();
      if (fault.error != 0) return fault.error;
    }
    return 0;
  }

  static const platform::NativeFileCalls& System() { return platform::SystemFileCalls(); }

  static int Open(const char* path, int flags, mode_t mode) {
#ifdef O_TMPFILE
    if (active_ != nullptr && active_->namelessRefused_ && (flags & O_TMPFILE) == O_TMPFILE) {
      errno = EOPNOTSUPP;
      return -1;
    }
#endif
    if (int error = Next(FileCall::Open)) {
      errno = error;
      return -1;
    }
    int fd = System().open(path, flags, mode);
    if (fd >= 0 && active_ != nullptr) ++active_->openDescriptors_;
    return fd;
  }
  // A call that fails when a test named it and otherwise is the system's own.
  template <FileCall kCall, auto kEntry, typename Result, typename... Args>
  static Result Plain(Args... args) {
    if (int error = Next(kCall)) {
      errno = error;
      return -1;
    }
    return (System().*kEntry)(args...);
  }
  static ssize_t Write(int fd, const void* buffer, size_t count) {
    if (int error = Next(FileCall::Write)) {
      errno = error;
      return -1;
    }
    FileFaults* self = active_;
    if (self != nullptr && self->stalled_) return 0;
    if (self != nullptr && self->spaceLimited_) {
      if (count > 0 && self->space_ == 0) {
        errno = ENOSPC;
        return -1;
      }
      count = std::min(count, self->space_);
    }
    ssize_t written = System().write(fd, buffer, count);
    if (written > 0 && self != nullptr && self->spaceLimited_) {
      self->space_ -= static_cast<size_t>(written);
    }
    return written;
  }
  static int Close(int fd) {
    int error = Next(FileCall::Close);
    int result = System().close(fd);
    if (result == 0 && active_ != nullptr) --active_->openDescriptors_;
    if (error != 0) {
      errno = error;
      return -1;
    }
    return result;
  }
  static inline FileFaults* active_ = nullptr;

  platform::ScopedFileSystemFactory factory_;
  std::vector<Fault> faults_;
  std::array<int, kFileCallKinds> counts_{};
  int openDescriptors_ = 0;
  bool stalled_ = false;
  bool namelessRefused_ = false;
  bool spaceLimited_ = false;
  size_t space_ = 0;
};

}  // namespace corvella::testing

#endif  // !defined(_WIN32)
