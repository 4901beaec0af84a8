// 24-bit Windows bitmaps, written in memory.

#include <cstring>
#include <limits>

#include "corvella/codec/picture_writer.h"
#include "corvella/platform/error.h"

namespace corvella::codec {

namespace {

constexpr uint32_t kFileHeaderBytes = 14;
constexpr uint32_t kInfoHeaderBytes = 40;

void Put16(uint8_t* at, uint16_t value) {
  at[0] = static_cast<uint8_t>(value);
  at[1] = static_cast<uint8_t>(value >> 8);
}

void Put32(uint8_t* at, uint32_t value) {
  for (int i = 0; i < 4; ++i)
    at[i] = static_cast<uint8_t>(value >> (8 * i));
}

}  // namespace

std::vector<uint8_t> EncodeBmp(const imaging::ConstImageView& source) {
  if (source.Empty()) {
    platform::Raise(platform::RuntimeError::InvalidProcedureCall, "BMP: the image is empty");
  }
  // Sizes in 64 bits first: the headers record the row bytes and the file size in 32 bits.
  const uint64_t pixelBytes = uint64_t{3} * static_cast<uint64_t>(source.width);
  const uint64_t rowBytes = (pixelBytes + 3) & ~uint64_t{3};
  const uint64_t imageBytes = rowBytes * static_cast<uint64_t>(source.height);
  const uint64_t offBits = kFileHeaderBytes + kInfoHeaderBytes;
  const uint64_t fileBytes = offBits + imageBytes;
  if (fileBytes > std::numeric_limits<uint32_t>::max() ||
      static_cast<uint64_t>(source.width) > std::numeric_limits<int32_t>::max()) {
    platform::Raise(platform::RuntimeError::Overflow, "BMP: the image is too large for the format");
  }

  // Value-initialised: the row padding stays zero.
  std::vector<uint8_t> file(static_cast<size_t>(fileBytes));
  uint8_t* h = file.data();
  h[0] = 'B';
  h[1] = 'M';
  Put32(h + 2, static_cast<uint32_t>(fileBytes));
  Put32(h + 10, static_cast<uint32_t>(offBits));  // bytes 6 .. 9 reserved, zero
  uint8_t* info = h + kFileHeaderBytes;
  Put32(info + 0, kInfoHeaderBytes);
  Put32(info + 4, static_cast<uint32_t>(source.width));
  Put32(info + 8, static_cast<uint32_t>(source.height));  // positive: rows bottom-up
  Put16(info + 12, 1);                                    // planes
  Put16(info + 14, 24);                                   // bits per pixel
  Put32(info + 20, static_cast<uint32_t>(imageBytes));
  // Compression (16), resolution (24, 28) and colour counts (32, 36) stay 0.

  uint8_t* row = h + offBits;
  for (int32_t y = source.height - 1; y >= 0; --y, row += rowBytes)
    std::memcpy(row, source.Row(y), static_cast<size_t>(pixelBytes));
  return file;
}

}  // namespace corvella::codec
