#pragma once
// One thumbnail from the bytes of one image file: decoded at the smallest size that still covers
// the target (a JPEG through libjpeg's scaled inverse DCT, other formats fully), reduced by area
// averaging, turned upright by the photo's EXIF orientation, and encoded.

#include <cstdint>
#include <span>
#include <vector>

namespace corvella::cli {

/// What a thumbnail should be.
struct ThumbnailSettings {
  int32_t boxWidth = 0;   ///< the thumbnail fits inside boxWidth x boxHeight pixels
  int32_t boxHeight = 0;  ///< 0: no limit on the height
  int32_t quality = 80;   ///< JPEG quality, 1..100
  bool png = false;       ///< a PNG file instead of a JPEG (4:2:0)
};

/// The EXIF orientation of a JPEG file (1..8, as the tag defines them), read through libexif;
/// 1 when the file has no EXIF segment or no valid orientation tag.
int32_t ExifOrientation(std::span<const uint8_t> file);

/// The thumbnail's size for an upright image of @p width x @p height pixels: the proportions
/// kept, as large as fits the box, never larger than the image itself, never 0.
void ThumbnailSize(int32_t width, int32_t height, const ThumbnailSettings& settings,
                   int32_t& thumbWidth, int32_t& thumbHeight);

/// The encoded thumbnail of @p file. Raises error 481 for a file that is not a readable image,
/// 7 when memory is short.
std::vector<uint8_t> MakeThumbnail(std::span<const uint8_t> file,
                                   const ThumbnailSettings& settings);

}  // namespace corvella::cli
