#pragma once
/// @file
/// The text renderer of the overlays: fonts matched by fontconfig, glyph outlines loaded and
/// rasterised by FreeType, blended into a 24-bit image.
///
/// A TextFont is made for one call from a FontRequest and lives only for that call. Behind it,
/// matches and loaded faces are cached for the whole process (overlay/src/font_cache.h): the
/// fonts of the system are scanned once, a request is matched once, and a font file is opened
/// once per concurrent user, so that a call after the first does no font lookup and no file work.
///
/// Threads. Any number of TextFont objects may be used on different threads at once; one TextFont
/// belongs to one thread. FreeType objects are not thread-safe, so every open face has a FreeType
/// library of its own and is lent to one TextFont at a time from a pool; no lock is held while
/// glyphs are loaded or drawn. The cache's tables and fontconfig are guarded by locks that are
/// taken only to look up a request, and held long only when a new request is matched.
///
/// Geometry. A line is measured unrotated: cx is the sum of the glyph advances (whole pixels,
/// no kerning), cy the cell height = ascent + descent of the face. Drawing puts the top-left
/// corner of the first cell at (x, y) and turns the whole line counter-clockwise around that
/// point by the request's escapement; glyph outlines are transformed and rasterised at the
/// angle (no bitmap is rotated). Only target pixels that glyph ink covers change, each blended
/// towards the colour by its coverage; the background is left as it is (transparent).

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "corvella/imaging/image_view.h"
#include "corvella/overlay/colour.h"

namespace corvella::overlay {

/// number x numerator / denominator in 64-bit, rounded to the nearest integer (halves away from
/// zero). Answers -1 when the denominator is 0 or the result does not fit 32 bits, as the
/// platform's MulDiv does.
int32_t MulDiv(int32_t number, int32_t numerator, int32_t denominator);

/// Dots per inch that stand in for the screen's vertical resolution.
inline constexpr int32_t kScreenDpi = 96;

/// The em height of the default font size, 12 points at 96 dpi; used for a height of 0.
inline constexpr int32_t kDefaultEmPixels = 16;

/// What a caller asks of a font; the fields follow the platform's font request.
struct FontRequest {
  /// Family name, UTF-16. A name that matches no installed family gets the system's default
  /// face (never an error); "Arial" finds a metric-compatible family where one is installed.
  std::u16string face = u"Arial";
  /// Pixels: negative = em height -height; positive = cell height (ascent + descent), the em
  /// made to fit; 0 = the default size (kDefaultEmPixels). The em is held to 1 .. 65535.
  int32_t height = -kDefaultEmPixels;
  /// 1 .. 1000, 400 normal, 700 bold; 600 and above asks for bold (synthesised when the family
  /// has no bold face). 0 means normal.
  int32_t weight = 400;
  bool italic = false;  ///< synthesised as an oblique when the family has no italic face
  bool underline = false;
  /// The platform's character set code; codes that name a script (128 Japanese, 161 Greek, 204
  /// Cyrillic, ...) ask fontconfig for a face covering that language. 0, 1 and others: no
  /// preference.
  int32_t charset = 1;
  /// Angle in tenths of a degree, counter-clockwise.
  int32_t escapement = 0;
};

/// The em height in pixels of a font size in points: MulDiv(points, 96, 72).
inline int32_t PointsToPixels(int32_t points) {
  return MulDiv(points, kScreenDpi, 72);
}

/// The unrotated extent of a line in pixels.
struct TextExtent {
  int32_t cx = 0;  ///< total advance width
  int32_t cy = 0;  ///< cell height: ascent + descent
};

/// The face that a request resolves to (for diagnostics and tests).
struct FontMatch {
  std::string file;    ///< path of the font file, UTF-8
  int32_t index = 0;   ///< face index within the file
  std::string family;  ///< family name as the file gives it
  bool syntheticBold = false;
  bool syntheticItalic = false;
};

/// Resolves @p request (through the cache) and describes the face chosen for it.
FontMatch DescribeFontMatch(const FontRequest& request);

/// Counters of the process-wide font cache, for diagnostics: requests matched through fontconfig
/// and font instances opened since the process started. A request seen before adds to neither
/// unless the call overlaps other calls that hold every open instance of its face.
struct FontCacheCounters {
  uint64_t matches = 0;
  uint64_t facesOpened = 0;
};
FontCacheCounters FontCacheStatistics();

/// The blend of one channel towards @p colour by @p coverage (0 .. 255), exact and rounded to
/// nearest: (target x (255 - coverage) + colour x coverage + 127) / 255. Coverage 0 keeps the
/// target, 255 gives the colour.
inline uint8_t BlendChannel(uint8_t target, uint8_t colour, uint8_t coverage) {
  return static_cast<uint8_t>((target * (255 - coverage) + colour * coverage + 127) / 255);
}

/// A line laid out in one TextFont: which face and glyph each character uses, and its advance.
class TextLine {
 public:
  const TextExtent& Extent() const { return extent_; }

 private:
  friend class TextFont;
  struct Glyph {
    uint32_t face;   ///< 0: the primary face; n: fallback n - 1
    uint32_t index;  ///< glyph index in that face
    int64_t penX;    ///< offset of its origin along the baseline, 26.6 pixels
  };
  std::vector<Glyph> glyphs_;
  int64_t width_ = 0;  ///< total advance, 26.6 pixels
  TextExtent extent_;
};

/// A font made for one call.
class TextFont {
 public:
  /// Resolves @p request through the process-wide cache and prepares its faces at the size
  /// asked. Raises runtime error 5 only when no usable font exists on the system at all.
  explicit TextFont(const FontRequest& request);
  ~TextFont();
  TextFont(const TextFont&) = delete;
  TextFont& operator=(const TextFont&) = delete;

  /// Lays out @p text (UTF-16; an unpaired surrogate reads as U+FFFD) on one line: each
  /// character from the primary face, else from the first fallback face that fontconfig lists
  /// for it, else the primary face's missing-glyph shape. Raises runtime error 6 when the total
  /// width exceeds the 32-bit range.
  TextLine Layout(std::u16string_view text);

  /// Draws @p line with the top-left corner of its first cell at device point (x, y) of
  /// @p target, turned by the request's angle, in @p colour, clipped to the target. With
  /// underline, a bar at the face's underline position and thickness runs under the whole
  /// advance width.
  void Draw(const TextLine& line, const imaging::ImageView& target, int32_t x, int32_t y,
            Rgb colour);

  /// The em height in pixels that the font was made at.
  int32_t EmPixels() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace corvella::overlay
