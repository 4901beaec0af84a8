// Format sniffing, the faults and their texts, the size checks shared by the readers, and the
// JPEG path of the picture loader.

#include "corvella/codec/picture_loader.h"

#include <algorithm>
#include <cstdint>
#include <new>
#include <iterator>
#include <string>
#include <utility>

#include "corvella/codec/jpeg_codec.h"
#include "corvella/imaging/pixel_limit.h"
#include "loader_support.h"

namespace corvella::codec {

namespace {

// One text per fault, in the order of the enumeration.
constexpr std::string_view kFaultTexts[] = {
    "unknown picture format",
    "the image exceeds the pixel limit",
    "invalid size",
    "file too short for its header",
    "pixel data truncated",
    "pixel data missing",
    "pixel data offset inside the header",
    "unsupported header size",
    "unsupported bit count",
    "unsupported compression",
    "compression with this bit count",
    "top-down bitmap with run-length compression",
    "bit field mask wider than the pixel",
    "bit field mask is not contiguous",
    "file holds no image",
    "unexpected record",
    "frame exceeds the pixel limit",
    "unexpected row layout",
    "the decoder refused the file",
};
static_assert(std::size(kFaultTexts) == static_cast<size_t>(PictureFault::DecoderRefused) + 1);

}  // namespace

std::string_view PictureFaultText(PictureFault fault) {
  return kFaultTexts[static_cast<size_t>(fault)];
}

std::string_view PictureFormatName(PictureFormat format) {
  switch (format) {
    case PictureFormat::Jpeg:
      return "JPEG";
    case PictureFormat::Png:
      return "PNG";
    case PictureFormat::Gif:
      return "GIF";
    case PictureFormat::Bmp:
      return "BMP";
    case PictureFormat::Unknown:
      break;
  }
  return "";
}

PictureError::PictureError(PictureFormat format, PictureFault fault, std::string context)
    : format_(format), fault_(fault), context_(std::move(context)) {
  if (format != PictureFormat::Unknown) {
    text_ = PictureFormatName(format);
    text_ += ": ";
  }
  text_ += PictureFaultText(fault);
  if (!context_.empty()) {
    text_ += ": ";
    text_ += context_;
  }
}

namespace detail {

void Refuse(PictureFormat format, PictureFault fault, std::string context) {
  throw PictureError(format, fault, std::move(context));
}

void RequirePictureSize(PictureFormat format, int64_t width, int64_t height) {
  if (width <= 0 || height <= 0) {
    Refuse(format, PictureFault::InvalidSize,
           std::to_string(width) + " x " + std::to_string(height));
  }
  if (width > INT32_MAX || height > INT32_MAX || !imaging::WithinPixelLimit(width, height)) {
    Refuse(format, PictureFault::OverPixelLimit);
  }
}

imaging::ImageView PrepareTarget(PictureFormat format, int64_t width, int64_t height,
                                 imaging::cDIBSection& target) {
  RequirePictureSize(format, width, height);
  if (!target.Create(static_cast<int32_t>(width), static_cast<int32_t>(height))) {
    throw std::bad_alloc();
  }
  return target.View();
}

}  // namespace detail

PictureFormat SniffPictureFormat(std::span<const uint8_t> bytes) {
  auto startsWith = [&](std::initializer_list<uint8_t> signature) {
    return bytes.size() >= signature.size() &&
           std::equal(signature.begin(), signature.end(), bytes.begin());
  };
  if (startsWith({0xFF, 0xD8})) return PictureFormat::Jpeg;
  if (startsWith({0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A})) return PictureFormat::Png;
  if (startsWith({'G', 'I', 'F', '8', '7', 'a'}) || startsWith({'G', 'I', 'F', '8', '9', 'a'})) {
    return PictureFormat::Gif;
  }
  if (startsWith({'B', 'M'})) return PictureFormat::Bmp;
  return PictureFormat::Unknown;
}

void LoadPicture(std::span<const uint8_t> bytes, imaging::cDIBSection& target) {
  switch (SniffPictureFormat(bytes)) {
    case PictureFormat::Jpeg:
      return LoadJpegPicture(bytes, target);
    case PictureFormat::Png:
      return LoadPng(bytes, target);
    case PictureFormat::Gif:
      return LoadGif(bytes, target);
    case PictureFormat::Bmp:
      return LoadBmp(bytes, target);
    case PictureFormat::Unknown:
      break;
  }
  detail::Refuse(PictureFormat::Unknown, PictureFault::UnknownFormat);
}

void RefuseJpeg(const JpegStatus& status) {
  switch (status.code) {
    case JpegCode::Ok:
      return;
    case JpegCode::OutOfMemory:
      throw std::bad_alloc();
    case JpegCode::PixelLimit:
      detail::Refuse(PictureFormat::Jpeg, PictureFault::OverPixelLimit);
    case JpegCode::Truncated:
      detail::Refuse(PictureFormat::Jpeg, PictureFault::DataTruncated);
    default:
      detail::Refuse(PictureFormat::Jpeg, PictureFault::DecoderRefused, status.reason);
  }
}

void LoadJpegPicture(std::span<const uint8_t> bytes, imaging::cDIBSection& target) {
  JpegParams params;
  RefuseJpeg(ReadJpegParams(bytes, params));
  RefuseJpeg(DecodeJpeg(
      bytes, detail::PrepareTarget(PictureFormat::Jpeg, params.width, params.height, target)));
}

}  // namespace corvella::codec
