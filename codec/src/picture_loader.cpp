// Format sniffing, the size checks shared by the readers, and the JPEG path of the picture loader.

#include "corvella/codec/picture_loader.h"

#include <algorithm>
#include <cstdint>
#include <new>
#include <string>

#include "corvella/codec/jpeg_codec.h"
#include "corvella/imaging/pixel_limit.h"
#include "corvella/platform/error.h"
#include "loader_support.h"

namespace corvella::codec {

namespace detail {

void RaiseInvalidPicture(std::string_view format, std::string_view fault) {
  std::string detail(format);
  detail += ": ";
  detail += fault;
  platform::Raise(platform::RuntimeError::InvalidPicture, detail);
}

void RequirePictureSize(std::string_view format, int64_t width, int64_t height) {
  if (width <= 0 || height <= 0) {
    RaiseInvalidPicture(
        format, "image of " + std::to_string(width) + " x " + std::to_string(height) + " pixels");
  }
  // The buffer of a picture over the host's limit cannot be had, as when memory is short.
  if (width > INT32_MAX || height > INT32_MAX || !imaging::WithinPixelLimit(width, height)) {
    platform::Raise(platform::RuntimeError::OutOfMemory);
  }
}

imaging::ImageView PrepareTarget(std::string_view format, int64_t width, int64_t height,
                                 imaging::cDIBSection& target) {
  RequirePictureSize(format, width, height);
  if (!target.Create(static_cast<int32_t>(width), static_cast<int32_t>(height))) {
    platform::Raise(platform::RuntimeError::OutOfMemory);
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
  platform::Raise(platform::RuntimeError::InvalidPicture, "unknown picture format");
}

void LoadJpegPicture(std::span<const uint8_t> bytes, imaging::cDIBSection& target) {
  constexpr std::string_view kFormat = "JPEG";
  JpegParams params;
  JpegStatus status = ReadJpegParams(bytes, params);
  if (status.Ok()) {
    status = DecodeJpeg(bytes, detail::PrepareTarget(kFormat, params.width, params.height, target));
    if (status.Ok()) return;
  }
  if (status.code == JpegCode::OutOfMemory) throw std::bad_alloc();
  detail::RaiseInvalidPicture(kFormat, status.reason);
}

}  // namespace corvella::codec
