// The portable part of the file system service: the process-wide factory and the pure path text
// operations. The system calls live in file_system_posix.cpp.

#include "corvella/platform/file_system.h"

#include <mutex>
#include <utility>

namespace corvella::platform {

namespace {

// The factory installed by a host, or empty for the native one. Guarded because objects on
// different script threads may each create a file system object.
std::mutex factoryMutex;
FileSystemFactory installedFactory;

}  // namespace

std::u16string FileSystem::GetFileName(std::u16string_view path) {
  size_t separator = path.find_last_of(u"\\/");
  if (separator == std::u16string_view::npos) return std::u16string(path);
  return std::u16string(path.substr(separator + 1));
}

std::shared_ptr<FileSystem> CreateFileSystem() {
  FileSystemFactory factory;
  {
    std::lock_guard lock(factoryMutex);
    factory = installedFactory;
  }
  // Called outside the lock, so that a factory may itself create or install factories.
  if (factory) return factory();
  return MakeNativeFileSystem();
}

FileSystemFactory SetFileSystemFactory(FileSystemFactory factory) {
  std::lock_guard lock(factoryMutex);
  return std::exchange(installedFactory, std::move(factory));
}

}  // namespace corvella::platform
