// MakeThumbnail: scaled decode, area reduction, EXIF orientation, encoding; each step on row
// pointers into buffers made once per thumbnail.

#include "thumbnail_maker.h"

#include <libexif/exif-data.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <new>
#include <string>

#include "corvella/codec/jpeg_codec.h"
#include "corvella/codec/jpeg_scaled.h"
#include "corvella/codec/picture_loader.h"
#include "corvella/codec/picture_writer.h"
#include "corvella/component/picture_faults.h"
#include "corvella/imaging/dib_section.h"
#include "corvella/imaging/pixel_limit.h"
#include "corvella/operations/box_reduce.h"
#include "corvella/operations/transforms.h"
#include "corvella/platform/error.h"

namespace corvella::cli {

namespace {

using imaging::ConstImageView;
using imaging::ImageView;

// A packed top-down 24-bit bitmap of its own (rows of a multiple of 4 bytes).
class Bitmap {
 public:
  Bitmap(int32_t width, int32_t height)
      : stride_((static_cast<ptrdiff_t>(width) * imaging::kBytesPerPixel + 3) & ~ptrdiff_t{3}),
        bytes_(static_cast<size_t>(stride_) * static_cast<size_t>(height)),
        width_(width),
        height_(height) {}
  ImageView View() { return {bytes_.data(), width_, height_, stride_}; }

 private:
  ptrdiff_t stride_;
  std::vector<uint8_t> bytes_;
  int32_t width_;
  int32_t height_;
};

[[noreturn]] void RaiseJpeg(const codec::JpegStatus& status) {
  if (status.code == codec::JpegCode::OutOfMemory) throw std::bad_alloc();
  platform::Raise(platform::RuntimeError::InvalidPicture, "JPEG: " + status.reason);
}

// The upright picture of @p src under EXIF orientation @p orientation (2..8: mirrored, turned
// half, flipped, transposed, turned right, transversed, turned left).
ConstImageView Upright(const ImageView& src, int32_t orientation, std::unique_ptr<Bitmap>& turned) {
  ImageView result = src;
  if (orientation >= 5) {
    turned = std::make_unique<Bitmap>(src.height, src.width);
    result = turned->View();
    if (orientation == 5 || orientation == 6) {
      operations::RotateRightInto(src, result);
    } else {
      operations::RotateLeftInto(src, result);
    }
  }
  if (orientation == 2 || orientation == 3 || orientation == 5 || orientation == 7) {
    operations::MirrorInPlace(result);
  }
  if (orientation == 3 || orientation == 4) operations::FlipInPlace(result);
  return result;
}

}  // namespace

int32_t ExifOrientation(std::span<const uint8_t> file) {
  // libexif finds the APP1 segment among the markers that start a JPEG file.
  std::unique_ptr<ExifData, void (*)(ExifData*)> data(exif_data_new(), exif_data_unref);
  if (!data) throw std::bad_alloc();
  exif_data_unset_option(data.get(), EXIF_DATA_OPTION_FOLLOW_SPECIFICATION);
  exif_data_load_data(data.get(), file.data(), static_cast<unsigned int>(std::min<size_t>(
                                                   file.size(), UINT32_MAX)));
  ExifEntry* entry = exif_content_get_entry(data->ifd[EXIF_IFD_0], EXIF_TAG_ORIENTATION);
  if (entry == nullptr || entry->format != EXIF_FORMAT_SHORT || entry->components < 1 ||
      entry->size < 2) {
    return 1;
  }
  const int32_t value = exif_get_short(entry->data, exif_data_get_byte_order(data.get()));
  return value >= 1 && value <= 8 ? value : 1;
}

void ThumbnailSize(int32_t width, int32_t height, const ThumbnailSettings& settings,
                   int32_t& thumbWidth, int32_t& thumbHeight) {
  const int64_t boxWidth = std::min(settings.boxWidth, width);
  const int64_t boxHeight = settings.boxHeight > 0 ? std::min(settings.boxHeight, height) : height;
  // The side that limits is the one with the smaller ratio box / image.
  if (boxWidth * height <= boxHeight * width) {
    thumbWidth = static_cast<int32_t>(boxWidth);
    thumbHeight = static_cast<int32_t>((int64_t{height} * boxWidth + width / 2) / width);
  } else {
    thumbHeight = static_cast<int32_t>(boxHeight);
    thumbWidth = static_cast<int32_t>((int64_t{width} * boxHeight + height / 2) / height);
  }
  thumbWidth = std::max(thumbWidth, 1);
  thumbHeight = std::max(thumbHeight, 1);
}

std::vector<uint8_t> MakeThumbnail(std::span<const uint8_t> file,
                                   const ThumbnailSettings& settings) {
  const bool jpeg = codec::SniffPictureFormat(file) == codec::PictureFormat::Jpeg;
  int32_t orientation = 1;
  codec::JpegParams params;
  if (jpeg) {
    const codec::JpegStatus status = codec::ReadJpegParams(file, params);
    if (!status.Ok()) RaiseJpeg(status);
    orientation = ExifOrientation(file);
  }

  // The size before turning: the upright size's sides swapped for orientations 5..8.
  auto reducedSize = [&](int32_t width, int32_t height, int32_t& w, int32_t& h) {
    const bool swapped = orientation >= 5;
    ThumbnailSize(swapped ? height : width, swapped ? width : height, settings, w, h);
    if (swapped) std::swap(w, h);
  };

  std::unique_ptr<Bitmap> decoded;
  imaging::cDIBSection full;
  ImageView source;
  int32_t width = 0;
  int32_t height = 0;
  if (jpeg && params.channels != 4) {
    if (!imaging::WithinPixelLimit(params.width, params.height)) {
      platform::Raise(platform::RuntimeError::InvalidPicture,
                      "JPEG: the image exceeds the pixel limit");
    }
    reducedSize(params.width, params.height, width, height);
    const codec::JpegScale scale = codec::ChooseJpegScale(params.width, params.height, width,
                                                          height);
    decoded = std::make_unique<Bitmap>(scale.width, scale.height);
    source = decoded->View();
    const codec::JpegStatus status = codec::DecodeJpegScaled(file, scale, source);
    if (!status.Ok()) RaiseJpeg(status);
  } else {
    // Every other picture, four-component JPEGs included, decoded at full size as the object
    // decodes it.
    component::LoadPicture(file, full);
    source = full.View();
    reducedSize(source.width, source.height, width, height);
  }

  std::unique_ptr<Bitmap> reduced;
  ImageView small = source;
  if (width != source.width || height != source.height) {
    reduced = std::make_unique<Bitmap>(width, height);
    small = reduced->View();
    operations::BoxReduceInto(source, small);
  }
  std::unique_ptr<Bitmap> turned;
  const ConstImageView upright = Upright(small, orientation, turned);

  if (settings.png) return codec::EncodePng(upright);
  codec::JpegEncodeSettings encoding;
  encoding.quality = settings.quality;
  std::vector<uint8_t> bytes;
  const codec::JpegStatus status = codec::EncodeJpeg(upright, encoding, bytes);
  if (status.code == codec::JpegCode::OutOfMemory) throw std::bad_alloc();
  if (!status.Ok()) {
    platform::Raise(platform::RuntimeError::InvalidProcedureCall, "JPEG: " + status.reason);
  }
  return bytes;
}

}  // namespace corvella::cli
