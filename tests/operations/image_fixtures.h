#pragma once
// Buffers for pixel tests: random fills, a reader for plain 24-bit BMP files, byte snapshots,
// top-down pixel access that does not go through the code under test, the SIMD levels this
// machine runs and rounding half to even.

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "corvella/imaging/dib_section.h"
#include "corvella/imaging/simd.h"

namespace corvella::testing {

/// Nearest integer, ties to the even one.
inline double RoundEven(double v) {
  const double f = std::floor(v);
  const double d = v - f;
  if (d != 0.5) return d < 0.5 ? f : f + 1;
  return std::fmod(f, 2.0) == 0.0 ? f : f + 1;
}

/// The kernel levels this machine can run.
inline std::vector<imaging::SimdLevel> Levels() {
  std::vector<imaging::SimdLevel> levels;
  for (auto level :
       {imaging::SimdLevel::Portable, imaging::SimdLevel::Avx2, imaging::SimdLevel::Avx512}) {
    if (imaging::IsSupported(level)) levels.push_back(level);
  }
  return levels;
}

/// A small deterministic generator (xorshift32).
class Random {
 public:
  explicit Random(uint32_t seed) : state_(seed ? seed : 1) {}
  uint32_t Next() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 17;
    state_ ^= state_ << 5;
    return state_;
  }
  uint8_t Byte() { return static_cast<uint8_t>(Next() >> 24); }
  int32_t Between(int32_t low, int32_t high) {  // inclusive
    return low + static_cast<int32_t>(Next() % static_cast<uint32_t>(high - low + 1));
  }

 private:
  uint32_t state_;
};

/// A live buffer of @p width x @p height whose every byte, padding included, is random.
inline std::unique_ptr<imaging::cDIBSection> RandomDib(int32_t width, int32_t height,
                                                       uint32_t seed) {
  auto dib = std::make_unique<imaging::cDIBSection>();
  EXPECT_TRUE(dib->Create(width, height));
  Random random(seed);
  const size_t bytes = static_cast<size_t>(dib->BytesPerScanLine()) * height;
  for (size_t i = 0; i < bytes; ++i)
    dib->DIBSectionBitsPtr()[i] = random.Byte();
  return dib;
}

/// Every byte of the buffer's memory, padding included, bottom row first.
inline std::vector<uint8_t> Bytes(const imaging::cDIBSection& dib) {
  if (dib.DIBSectionBitsPtr() == nullptr) return {};
  const size_t bytes = static_cast<size_t>(dib.BytesPerScanLine()) * dib.dib_height();
  return {dib.DIBSectionBitsPtr(), dib.DIBSectionBitsPtr() + bytes};
}

/// A live buffer whose every byte, padding included, is @p value.
inline std::unique_ptr<imaging::cDIBSection> Uniform(int32_t width, int32_t height, uint8_t value) {
  auto dib = std::make_unique<imaging::cDIBSection>();
  EXPECT_TRUE(dib->Create(width, height));
  std::memset(dib->DIBSectionBitsPtr(), value,
              static_cast<size_t>(dib->BytesPerScanLine()) * height);
  return dib;
}

using Pixel = std::array<uint8_t, 3>;  // blue, green, red

/// The pixels of the buffer, top-down, read from the bottom-up memory by hand.
inline std::vector<Pixel> TopDown(const imaging::cDIBSection& dib) {
  std::vector<Pixel> pixels;
  for (int32_t y = dib.dib_height() - 1; y >= 0; --y) {
    const uint8_t* row = dib.DIBSectionBitsPtr() + static_cast<size_t>(y) * dib.BytesPerScanLine();
    for (int32_t x = 0; x < dib.dib_width(); ++x)
      pixels.push_back({row[3 * x], row[3 * x + 1], row[3 * x + 2]});
  }
  return pixels;
}

/// Byte @p c (0 blue, 1 green, 2 red) of device point (x, y), y counted from the top.
inline uint8_t& At(const imaging::cDIBSection& dib, int32_t x, int32_t y, int32_t c) {
  const int32_t memoryRow = dib.dib_height() - 1 - y;
  return dib
      .DIBSectionBitsPtr()[static_cast<size_t>(memoryRow) * dib.BytesPerScanLine() + 3 * x + c];
}

/// Byte @p c of pixel x in memory row r (row 0 is the bottom of the picture).
inline uint8_t& AtMemory(const imaging::cDIBSection& dib, int32_t x, int32_t r, int32_t c) {
  return dib.DIBSectionBitsPtr()[static_cast<size_t>(r) * dib.BytesPerScanLine() + 3 * x + c];
}

/// A copy of @p dib (pixels and padding).
inline std::unique_ptr<imaging::cDIBSection> Copy(const imaging::cDIBSection& dib) {
  auto copy = std::make_unique<imaging::cDIBSection>();
  EXPECT_TRUE(copy->Create(dib.dib_width(), dib.dib_height()));
  std::vector<uint8_t> bytes = Bytes(dib);
  std::memcpy(copy->DIBSectionBitsPtr(), bytes.data(), bytes.size());
  return copy;
}

/// Reads an uncompressed bottom-up 24-bit BMP file into a buffer (its rows are laid out exactly
/// as the buffer's). Fails the test and answers nullptr for anything else.
inline std::unique_ptr<imaging::cDIBSection> LoadBmp24(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<uint8_t> file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  auto u32 = [&](size_t at) {
    return static_cast<uint32_t>(file[at] | file[at + 1] << 8 | file[at + 2] << 16 |
                                 file[at + 3] << 24);
  };
  if (file.size() < 54 || file[0] != 'B' || file[1] != 'M') {
    ADD_FAILURE() << path << " is not a BMP file";
    return nullptr;
  }
  const uint32_t offset = u32(10);
  const auto width = static_cast<int32_t>(u32(18));
  const auto height = static_cast<int32_t>(u32(22));
  const uint32_t bitsAndPlanes = u32(26);
  const uint32_t compression = u32(30);
  if (bitsAndPlanes != (24u << 16 | 1u) || compression != 0 || width <= 0 || height <= 0) {
    ADD_FAILURE() << path << " is not a plain bottom-up 24-bit BMP";
    return nullptr;
  }
  auto dib = std::make_unique<imaging::cDIBSection>();
  EXPECT_TRUE(dib->Create(width, height));
  const size_t bytes = static_cast<size_t>(dib->BytesPerScanLine()) * height;
  if (file.size() < offset + bytes) {
    ADD_FAILURE() << path << " is truncated";
    return nullptr;
  }
  std::memcpy(dib->DIBSectionBitsPtr(), file.data() + offset, bytes);
  return dib;
}

/// The real photo used by the end-to-end pixel tests: 600 x 450.
inline std::unique_ptr<imaging::cDIBSection> LoadSnake() {
  return LoadBmp24(std::string(CORVELLA_TEST_DATA) + "/images/snake_24bit_600x450.bmp");
}

}  // namespace corvella::testing
