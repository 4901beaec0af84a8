#pragma once
// Helpers shared by the fuzz targets that drive the whole object: a reader of the fuzzer's bytes,
// the test of whether an error is one the component documents, and a file system in memory, so
// that no input can read or write a file of the machine that runs the fuzzer.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <map>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <string_view>

#include "corvella/component/pictron.h"
#include "corvella/platform/byte_array.h"
#include "corvella/platform/error.h"
#include "corvella/platform/file_system.h"

namespace corvella::fuzz {

/// Takes values from the front of the fuzzer's bytes; answers zeros once they run out.
class ByteReader {
 public:
  explicit ByteReader(std::span<const uint8_t> bytes) : bytes_(bytes) {}

  uint8_t Byte() {
    if (bytes_.empty()) return 0;
    uint8_t value = bytes_.front();
    bytes_ = bytes_.subspan(1);
    return value;
  }
  uint16_t Word() { return static_cast<uint16_t>(Byte() << 8 | Byte()); }
  uint32_t Long() { return uint32_t{Word()} << 16 | Word(); }
  /// Up to @p most bytes.
  std::span<const uint8_t> Take(size_t most) {
    size_t n = std::min(most, bytes_.size());
    std::span<const uint8_t> taken = bytes_.first(n);
    bytes_ = bytes_.subspan(n);
    return taken;
  }
  std::span<const uint8_t> Rest() const { return bytes_; }
  bool Empty() const { return bytes_.empty(); }

 private:
  std::span<const uint8_t> bytes_;
};

/// Stops the run: a fault the fuzzer must report.
[[noreturn]] inline void Fault(const char* what) {
  std::fprintf(stderr, "fault: %s\n", what);
  std::abort();
}

inline void Check(bool condition, const char* what) {
  if (!condition) Fault(what);
}

/// True when @p error is one that the component documents: a row of its error table (with the
/// row's source) or a runtime error of the automation layer or of a platform service.
inline bool Documented(const platform::Error& error) {
  const auto number = static_cast<uint32_t>(error.Number());
  if ((number & 0xFFFF0000u) == platform::kComponentErrorBase) {
    uint32_t code = number & 0xFFFF;
    static constexpr uint32_t kCodes[] = {1000, 1010, 1030, 1050, 1060, 1080, 1085, 1086, 1090,
                                          1091, 1092, 1110, 1120, 1130, 1140, 1150, 1160, 1200};
    if (std::find(std::begin(kCodes), std::end(kCodes), code) == std::end(kCodes)) return false;
    if (error.Source() == "Ferrowick.File") return code == 1120;
    return error.Source() == "Corvella.Pictron";
  }
  if ((number & 0xFFFF0000u) == platform::kRuntimeErrorBase) {
    static constexpr uint32_t kRuntime[] = {5,  6,  7,  9,  11,  13,  53,  57,  61, 70,
                                            75, 76, 91, 94, 429, 438, 449, 450, 481};
    return std::find(std::begin(kRuntime), std::end(kRuntime), number & 0xFFFF) !=
           std::end(kRuntime);
  }
  return false;
}

/// Runs one member call: a documented error is an answer, anything else that escapes is a fault
/// (an undocumented error aborts here; another exception type ends the run as uncaught).
template <typename Body>
bool Call(Body&& body) {
  try {
    body();
    return true;
  } catch (const platform::Error& error) {
    if (!Documented(error)) {
      std::fprintf(stderr, "undocumented error %08X '%s' from '%s'\n",
                   static_cast<uint32_t>(error.Number()), error.Description().c_str(),
                   error.Source().c_str());
      std::abort();
    }
    return false;
  }
}

/// After a member that made a new working image (Resample, Crop, the rotations) returned, the
/// object's size fields are that image's size. (Opening reads the size from the header, which a
/// decoder may see differently, so the fields are not compared before such a member.)
inline void CheckNewImageSize(const component::Pictron& p) {
  const auto& s = p.State();
  if (s.blDecoded != 0 && s.cDib) {
    Check(s.lngWidth == s.cDib->dib_width() && s.lngHeight == s.cDib->dib_height(),
          "size fields differ from the working image");
  }
}

/// A file system held in memory: files by path ("\" and "/" alike), the folders that exist, and
/// room for a few files. Shared by every service object that the factory hands out.
class MemoryFileSystem final : public platform::FileSystem {
 public:
  static constexpr size_t kMaxFiles = 8;

  void AddFolder(std::u16string_view path) { folders_.insert({Key(path), true}); }
  /// A file that every run finds.
  void Put(std::u16string_view path, std::span<const uint8_t> bytes) {
    auto file = std::make_shared<const platform::ByteArray>(platform::ByteArray::FromBytes(bytes));
    fixed_[Key(path)] = file;
    files_[Key(path)] = file;
  }
  /// Forgets what a run wrote: only the files given by Put are left, with their contents.
  void Reset() { files_ = fixed_; }

  bool FileExists(std::u16string_view path) override { return files_.count(Key(path)) != 0; }
  bool FolderExists(std::u16string_view path) override {
    std::string key = Key(path);
    while (key.size() > 1 && key.back() == '/')
      key.pop_back();
    return folders_.count(key) != 0;
  }
  platform::FileInfo GetFile(std::u16string_view path) override {
    return {std::u16string(path), static_cast<int64_t>(Find(path).Size())};
  }
  platform::ByteArray ReadAll(std::u16string_view path) override { return Find(path); }
  void WriteFileAtomically(std::u16string_view path, std::span<const uint8_t> bytes) override {
    std::string key = Key(path);
    if (files_.count(key) == 0 && files_.size() >= kMaxFiles) {
      platform::Raise(platform::RuntimeError::DiskFull, "memory");
    }
    files_[key] =
        std::make_shared<const platform::ByteArray>(platform::ByteArray::FromBytes(bytes));
  }

 private:
  using File = std::shared_ptr<const platform::ByteArray>;

  static std::string Key(std::u16string_view path) {
    std::string key;
    key.reserve(path.size());
    for (char16_t c : path)
      key.push_back(c == u'\\' ? '/' : static_cast<char>(c & 0x7F));
    return key;
  }
  const platform::ByteArray& Find(std::u16string_view path) const {
    auto it = files_.find(Key(path));
    if (it == files_.end()) platform::Raise(platform::RuntimeError::FileNotFound, "memory");
    return *it->second;
  }

  std::map<std::string, File> fixed_;
  std::map<std::string, File> files_;
  std::map<std::string, bool> folders_;
};

/// Installs one memory file system as the process-wide factory, once; answers it.
inline MemoryFileSystem& InstallMemoryFileSystem() {
  static std::shared_ptr<MemoryFileSystem> fileSystem = [] {
    auto made = std::make_shared<MemoryFileSystem>();
    platform::SetFileSystemFactory([made] { return made; });
    return made;
  }();
  return *fileSystem;
}

}  // namespace corvella::fuzz
