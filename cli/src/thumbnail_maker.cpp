// MakeThumbnail: scaled decode, area reduction, EXIF orientation, encoding; each step on the
// views of bitmaps (cDIBSection) made once per thumbnail.

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

// A working bitmap of @p width x @p height pixels, made in @p dib.
ImageView Make(imaging::cDIBSection& dib, int32_t width, int32_t height) {
  if (!dib.Create(width, height)) throw std::bad_alloc();
  return dib.View();
}

// The upright picture of @p src under EXIF orientation @p orientation (2..8: mirrored, turned
// half, flipped, transposed, turned right, transversed, turned left).
ConstImageView Upright(const ImageView& src, int32_t orientation, imaging::cDIBSection& turned) {
  ImageView result = src;
  if (orientation >= 5) {
    result = Make(turned, src.height, src.width);
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

namespace {

std::vector<uint8_t> Thumbnail(std::span<const uint8_t> file, const ThumbnailSettings& settings) {
  const bool jpeg = codec::SniffPictureFormat(file) == codec::PictureFormat::Jpeg;
  int32_t orientation = 1;
  codec::JpegParams params;
  if (jpeg) {
    codec::RefuseJpeg(codec::ReadJpegParams(file, params));
    orientation = ExifOrientation(file);
  }

  // The size before turning: the upright size's sides swapped for orientations 5..8.
  auto reducedSize = [&](int32_t width, int32_t height, int32_t& w, int32_t& h) {
    const bool swapped = orientation >= 5;
    ThumbnailSize(swapped ? height : width, swapped ? width : height, settings, w, h);
    if (swapped) std::swap(w, h);
  };

  // Every bitmap is made once: the decoded picture, the reduced one, the turned one.
  imaging::cDIBSection decoded;
  ImageView source;
  int32_t width = 0;
  int32_t height = 0;
  if (jpeg && params.channels != 4) {
    if (!imaging::WithinPixelLimit(params.width, params.height)) {
      throw codec::PictureError(codec::PictureFormat::Jpeg, codec::PictureFault::OverPixelLimit);
    }
    reducedSize(params.width, params.height, width, height);
    const codec::JpegScale scale = codec::ChooseJpegScale(params.width, params.height, width,
                                                          height);
    source = Make(decoded, scale.width, scale.height);
    codec::RefuseJpeg(codec::DecodeJpegScaled(file, scale, source));
  } else {
    // Every other picture, four-component JPEGs included, decoded at full size as the object
    // decodes it.
    codec::LoadPicture(file, decoded);
    source = decoded.View();
    reducedSize(source.width, source.height, width, height);
  }

  imaging::cDIBSection reduced;
  ImageView small = source;
  if (width != source.width || height != source.height) {
    small = Make(reduced, width, height);
    operations::BoxReduceInto(source, small);
  }
  imaging::cDIBSection turned;
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

}  // namespace

std::vector<uint8_t> MakeThumbnail(std::span<const uint8_t> file,
                                   const ThumbnailSettings& settings) {
  try {
    return Thumbnail(file, settings);
  } catch (const codec::PictureError& error) {
    component::RaisePictureError(error);
  }
}

}  // namespace corvella::cli
