#pragma once
// The process-wide font cache behind TextFont.
//
// On Windows the system's font lookup (GDI) takes fontconfig's place: it chooses the face for a
// family, weight and style and hands over the bytes of its font file, which FreeType then reads
// from memory; fallback faces are the system's common families with wide coverage. Glyphs come
// from FreeType on every system.
//
// Three levels, each filled once:
// - a fontconfig configuration of the cache's own is loaded once, the first time any font is
//   asked for, and released when the process exits;
// - a request (family, weight, italic, language) is matched once: the primary face and the
//   fallback faces that fontconfig sorts after it; at most kMaxRequests requests are remembered
//   (the table is emptied when it is full, so that scripts inventing names cannot grow it without
//   bound; matches in use stay alive through their shared pointers);
// - a font file (with its face index) is a FaceSource that lives for the rest of the process and
//   keeps a pool of open FreeType instances.
//
// Thread safety. FreeType objects are not thread-safe, so an instance (an FT_Library of its own
// with one FT_Face in it) is used by one thread at a time: a caller checks it out of the pool,
// and no lock is held while it draws. Many threads drawing the same font at once each get an
// instance (the pool grows to the largest number of concurrent users and never shrinks).
// Lookups take a short lock on the tables; fontconfig calls are serialised by a lock of their own
// and happen only when a request is new.

#include <ft2build.h>
#include FT_FREETYPE_H

#if !defined(_WIN32)
#include <fontconfig/fontconfig.h>
#endif

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace corvella::overlay::fonts {

/// One open face with a FreeType library of its own, used by one thread at a time. A face
/// without a Unicode character map but with a symbol one has the symbol map selected.
struct FaceInstance {
  FT_Library library = nullptr;
  FT_Face face = nullptr;
  bool symbolMap = false;  ///< characters 0x20 .. 0xFF are found at 0xF020 .. 0xF0FF
  bool bold = false;       ///< the face is bold by design (weight class 600 or more)
  bool italic = false;     ///< the face is italic or oblique by design
  FaceInstance() = default;
  FaceInstance(const FaceInstance&) = delete;
  FaceInstance& operator=(const FaceInstance&) = delete;
  ~FaceInstance();
};

#if defined(_WIN32)
/// What the system's font lookup is asked for.
struct FaceQuery {
  std::u16string family;  ///< empty: the system's default face
  int32_t weight = 400;
  bool italic = false;
  uint8_t charset = 1;  ///< the platform's character set code (1: the default one)
  bool exact = false;   ///< only a face of this very family will do (fallback faces)
};
#endif

/// A font file and face index, with its pool of idle instances. Lives as long as the process.
class FaceSource {
 public:
#if defined(_WIN32)
  /// The face that the system's font lookup chooses for @p query; the font file is read the
  /// first time an instance or the coverage is asked for.
  explicit FaceSource(FaceQuery query);
  /// The family name that the face's file gives (empty until the file has been read).
  std::string Family() const;
#else
  FaceSource(std::string file, int32_t index, FcCharSet* charset);
#endif
  FaceSource(const FaceSource&) = delete;
  FaceSource& operator=(const FaceSource&) = delete;

#if defined(_WIN32)
  /// The face's full name as its file gives it ("Liberation Sans Bold"): the system's lookup
  /// hands over the file's bytes, not its path.
  const std::string& File() const;
#else
  const std::string& File() const {
    return file_;
  }
#endif
#if defined(_WIN32)
  int32_t Index() const;
#else
  int32_t Index() const {
    return index_;
  }
#endif
  /// True when fontconfig (on Windows: the face's character map) lists @p codePoint as covered
  /// by this face.
  bool Covers(uint32_t codePoint) const;

  /// An idle instance, or a newly opened one; nullptr when the file cannot be opened as a
  /// scalable face.
  std::unique_ptr<FaceInstance> Acquire();
  /// Puts an instance back into the pool.
  void Release(std::unique_ptr<FaceInstance> instance);

 private:
  std::string file_;
  int32_t index_;
#if defined(_WIN32)
  // Reads the font file through the system's lookup, once; false when there is no usable face.
  // Called with mutex_ held.
  bool Load() const;
  FaceQuery query_;
  mutable int32_t faceIndex_ = 0;  // within a font collection
  mutable bool loaded_ = false;
  mutable std::shared_ptr<const std::vector<uint8_t>> data_;  // the font file's bytes
  mutable std::string family_;
  mutable std::string name_;  // the face's full name, reported as its file
  mutable std::vector<std::pair<uint32_t, uint32_t>> coverage_;  // sorted ranges of code points
#else
  FcCharSet* charset_;  // owned reference; may be null
#endif
  mutable std::mutex mutex_;
  std::vector<std::unique_ptr<FaceInstance>> idle_;
};

/// A checked-out instance; goes back to its pool when the lease ends.
class FaceLease {
 public:
  FaceLease() = default;
  FaceLease(FaceSource* source, std::unique_ptr<FaceInstance> instance)
      : source_(source), instance_(std::move(instance)) {}
  FaceLease(FaceLease&&) noexcept = default;
  FaceLease& operator=(FaceLease&& other) noexcept;
  ~FaceLease();

  explicit operator bool() const { return instance_ != nullptr; }
  FaceInstance* operator->() const { return instance_.get(); }

 private:
  FaceSource* source_ = nullptr;
  std::unique_ptr<FaceInstance> instance_;
};

/// A face chosen for a request.
struct ResolvedFace {
  FaceSource* source = nullptr;
  std::string family;
};

/// The faces of a request: the primary one, then the fallbacks in fontconfig's order.
struct ResolvedFont {
  ResolvedFace primary;
  std::vector<ResolvedFace> fallbacks;
};

/// What a request is matched by.
struct RequestKey {
  std::string family;  ///< UTF-8, as given
  int32_t weight = 400;
  bool italic = false;
  std::string language;  ///< fontconfig language tag, or empty
  auto operator<=>(const RequestKey&) const = default;
};

/// The fontconfig language for a character set code of the platform, or empty.
const char* LanguageOfCharset(int32_t charset);

/// The faces of @p key, matched on first use and cached. Answers nullptr only when not even the
/// default face can be opened.
std::shared_ptr<const ResolvedFont> Resolve(const RequestKey& key);

/// Requests matched through fontconfig, and face instances opened, since the process started.
uint64_t MatchesMade();
uint64_t InstancesOpened();

/// Requested weights (1 .. 1000) at and above which bold is asked for; faces whose weight class
/// reaches it are bold.
inline constexpr int32_t kBoldWeight = 600;

/// Requests remembered at most.
inline constexpr size_t kMaxRequests = 256;
/// Fallback faces kept per request at most.
inline constexpr size_t kMaxFallbacks = 32;

}  // namespace corvella::overlay::fonts
