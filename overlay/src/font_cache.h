#pragma once
// The process-wide font cache behind TextFont.
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

#include <fontconfig/fontconfig.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
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

/// A font file and face index, with its pool of idle instances. Lives as long as the process.
class FaceSource {
 public:
  FaceSource(std::string file, int32_t index, FcCharSet* charset);
  FaceSource(const FaceSource&) = delete;
  FaceSource& operator=(const FaceSource&) = delete;

  const std::string& File() const { return file_; }
  int32_t Index() const { return index_; }
  /// True when fontconfig lists @p codePoint as covered by this face.
  bool Covers(uint32_t codePoint) const;

  /// An idle instance, or a newly opened one; nullptr when the file cannot be opened as a
  /// scalable face.
  std::unique_ptr<FaceInstance> Acquire();
  /// Puts an instance back into the pool.
  void Release(std::unique_ptr<FaceInstance> instance);

 private:
  std::string file_;
  int32_t index_;
  FcCharSet* charset_;  // owned reference; may be null
  std::mutex mutex_;
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
