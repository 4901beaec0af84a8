#pragma once
// Helpers shared by the codec tests: files, little-endian byte builders and pixel access.

#include <gtest/gtest.h>

#include <array>
#include <cmath>
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

inline uint32_t Be32(const Bytes& bytes, size_t at) {
  return uint32_t{bytes[at]} << 24 | bytes[at + 1] << 16 | bytes[at + 2] << 8 | bytes[at + 3];
}

/// Blue, green, red.
using Bgr = std::array<uint8_t, 3>;
inline constexpr Bgr kWhite = {255, 255, 255};
inline constexpr Bgr kBlack = {0, 0, 0};

/// The reference for compositing, computed in floating point: @p value over white, rounded.
inline uint8_t OverWhite(int value, int alpha) {
  return static_cast<uint8_t>(std::lround((value * alpha + 255.0 * (255 - alpha)) / 255.0));
}

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

/// Cuts @p whole at every offset of its first @p dense bytes, then at about @p more further offsets
/// spread over the rest, and loads each part with @p load: every part is refused with a fault of
/// @p format, unless at most @p tail bytes are missing.
template <typename Load>
void ExpectCutsRefused(const Bytes& whole, PictureFormat format, Load load, size_t dense,
                       size_t more, size_t tail) {
  const size_t step = whole.size() > dense ? std::max<size_t>(1, (whole.size() - dense) / more) : 1;
  for (size_t size = 0; size < whole.size(); size += size < dense ? 1 : step) {
    Bytes part(whole.begin(), whole.begin() + size);
    if (!FaultOf(format, [&] { load(part); })) {
      EXPECT_GE(size + tail, whole.size()) << "decoded a file cut at " << size;
    }
  }
}

/// The loaders with a buffer of their own: LoadPng(bytes) and the others. (Inside this namespace
/// the loaders that fill a caller's buffer are reached as codec::LoadPng.)
template <void (*kLoad)(std::span<const uint8_t>, imaging::cDIBSection&)>
Picture Loaded(std::span<const uint8_t> bytes) {
  Picture picture;
  kLoad(bytes, picture.Dib());
  return picture;
}
inline constexpr auto LoadPicture = [](const Bytes& b) { return Loaded<codec::LoadPicture>(b); };
inline constexpr auto LoadPng = [](const Bytes& b) { return Loaded<codec::LoadPng>(b); };
inline constexpr auto LoadGif = [](const Bytes& b) { return Loaded<codec::LoadGif>(b); };
inline constexpr auto LoadBmp = [](const Bytes& b) { return Loaded<codec::LoadBmp>(b); };

}  // namespace corvella::codec::test
