#pragma once
// Helpers shared by the codec tests: files, little-endian byte builders and pixel access.

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "corvella/codec/picture_loader.h"
#include "corvella/imaging/dib_section.h"
#include "corvella/imaging/pixel_limit.h"

namespace corvella::codec::test {

using Bytes = std::vector<uint8_t>;

/// The bytes of tests/data/images/@p name; fails the test when the file is missing.
inline Bytes ReadImage(const std::string& name) {
  std::ifstream in(std::string(CORVELLA_TEST_DATA) + "/images/" + name, std::ios::binary);
  EXPECT_TRUE(in.good()) << name;
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void PutU16(Bytes& out, uint32_t value) {
  out.push_back(static_cast<uint8_t>(value));
  out.push_back(static_cast<uint8_t>(value >> 8));
}

inline void PutU32(Bytes& out, uint32_t value) {
  PutU16(out, value & 0xFFFF);
  PutU16(out, value >> 16);
}

inline void PutU32BigEndian(Bytes& out, uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8)
    out.push_back(static_cast<uint8_t>(value >> shift));
}

/// Blue, green, red.
using Bgr = std::array<uint8_t, 3>;

/// A decoded picture in a buffer of its own, as the tests look at it.
class Picture {
 public:
  int32_t Width() const { return dib_->dib_width(); }
  int32_t Height() const { return dib_->dib_height(); }
  /// Row @p y from the top: blue, green, red bytes.
  const uint8_t* Row(int32_t y) const { return dib_->ConstView().Row(y); }
  imaging::cDIBSection& Dib() const { return *dib_; }

 private:
  std::unique_ptr<imaging::cDIBSection> dib_ = std::make_unique<imaging::cDIBSection>();
};

/// Pixel (x, y) of a picture, y from the top, as blue, green, red.
inline Bgr PixelOf(const Picture& picture, int32_t x, int32_t y) {
  const uint8_t* p = picture.Row(y);
  return {p[3 * x], p[3 * x + 1], p[3 * x + 2]};
}

/// Every pixel of a picture, row by row from the top, as blue, green, red.
inline std::vector<Bgr> PixelsOf(const Picture& picture) {
  std::vector<Bgr> pixels;
  pixels.reserve(static_cast<size_t>(picture.Width()) * picture.Height());
  for (int32_t y = 0; y < picture.Height(); ++y) {
    for (int32_t x = 0; x < picture.Width(); ++x)
      pixels.push_back(PixelOf(picture, x, y));
  }
  return pixels;
}

/// Runs @p body and answers the fault of the PictureError it threw, std::nullopt when it returned.
/// A PictureError of another format than @p format, or any other exception, fails the test.
template <typename Body>
std::optional<PictureFault> FaultOf(PictureFormat format, Body&& body) {
  try {
    body();
  } catch (const PictureError& error) {
    EXPECT_EQ(error.Format(), format) << error.what();
    return error.Fault();
  } catch (const std::exception& other) {
    ADD_FAILURE() << "not a picture fault: " << other.what();
    return PictureFault::DecoderRefused;
  }
  return std::nullopt;
}

/// Sets the host's pixel limit for the life of the object.
class PixelLimitGuard {
 public:
  explicit PixelLimitGuard(uint64_t pixels) : saved_(imaging::MaxPixels()) {
    imaging::SetMaxPixels(pixels);
  }
  ~PixelLimitGuard() { imaging::SetMaxPixels(saved_); }
  PixelLimitGuard(const PixelLimitGuard&) = delete;
  PixelLimitGuard& operator=(const PixelLimitGuard&) = delete;

 private:
  uint64_t saved_;
};

/// Offsets at which to cut a file of @p size bytes: every offset of the first @p dense bytes,
/// then about @p more further offsets spread over the rest.
inline std::vector<size_t> CutPoints(size_t size, size_t dense = 512, size_t more = 200) {
  std::vector<size_t> cuts;
  for (size_t i = 0; i < size && i < dense; ++i)
    cuts.push_back(i);
  if (size > dense) {
    size_t step = std::max<size_t>(1, (size - dense) / more);
    for (size_t i = dense; i < size; i += step)
      cuts.push_back(i);
  }
  return cuts;
}

}  // namespace corvella::codec::test

namespace corvella::codec {

// The loaders with a buffer of their own, for the tests.
inline test::Picture LoadPicture(std::span<const uint8_t> bytes) {
  test::Picture picture;
  LoadPicture(bytes, picture.Dib());
  return picture;
}
inline test::Picture LoadPng(std::span<const uint8_t> bytes) {
  test::Picture picture;
  LoadPng(bytes, picture.Dib());
  return picture;
}
inline test::Picture LoadGif(std::span<const uint8_t> bytes) {
  test::Picture picture;
  LoadGif(bytes, picture.Dib());
  return picture;
}
inline test::Picture LoadBmp(std::span<const uint8_t> bytes) {
  test::Picture picture;
  LoadBmp(bytes, picture.Dib());
  return picture;
}

}  // namespace corvella::codec
