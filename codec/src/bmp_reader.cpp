// Windows and OS/2 bitmaps.
//
// The header is read and every size and offset checked (in 64-bit arithmetic, overflow-tested)
// before the picture is allocated; the pixel loops then only touch bytes whose presence has been
// established, or test each read (run-length data).

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>

#include "corvella/codec/picture_loader.h"
#include "loader_support.h"

namespace corvella::codec {

namespace {

[[noreturn]] void Fail(PictureFault fault, std::string context = {}) {
  detail::Refuse(PictureFormat::Bmp, fault, std::move(context));
}

std::string Hex(uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", value);
  return text;
}

uint16_t U16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | p[1] << 8);
}

uint32_t U32(const uint8_t* p) {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

constexpr size_t kFileHeaderSize = 14;

enum Compression : uint32_t {
  kRgb = 0,
  kRle8 = 1,
  kRle4 = 2,
  kBitFields = 3,
  kAlphaBitFields = 6,
};

// What the headers say, checked.
struct BmpLayout {
  uint32_t infoSize = 0;
  int64_t width = 0;
  int64_t height = 0;  // rows, positive
  bool topDown = false;
  uint32_t bitCount = 0;
  uint32_t compression = kRgb;
  uint64_t declaredColours = 0;  // 0: as many as the bit count allows
  size_t entrySize = 4;          // bytes per palette entry: blue, green, red (, reserved)
  uint64_t dataOffset = 0;
  uint64_t tableStart = 0;  // the first byte after the headers and masks: the palette
  // Blue, green, red of each palette index; indices the file does not define stay black.
  uint8_t palette[256][3] = {};
  // Red, green, blue and alpha masks of 16 and 32-bit pixels; an alpha mask of 0 means opaque.
  uint32_t masks[4] = {0, 0, 0, 0};
};

bool UsesBitFields(const BmpLayout& layout) {
  return layout.compression == kBitFields || layout.compression == kAlphaBitFields;
}

// The file and info headers: the header size, the sides, the bit count and the compression,
// checked against each other. Reads nothing beyond the info header.
BmpLayout CheckHeader(std::span<const uint8_t> file) {
  const uint8_t* data = file.data();
  if (file.size() < kFileHeaderSize + 4) Fail(PictureFault::HeaderTruncated);
  BmpLayout layout;
  layout.dataOffset = U32(data + 10);
  layout.infoSize = U32(data + 14);
  const uint32_t infoSize = layout.infoSize;
  if (infoSize != 12 && infoSize != 40 && infoSize != 52 && infoSize != 56 && infoSize != 108 &&
      infoSize != 124) {
    Fail(PictureFault::UnsupportedHeaderSize, std::to_string(infoSize));
  }
  if (file.size() < kFileHeaderSize + infoSize) Fail(PictureFault::HeaderTruncated);
  const uint8_t* info = data + kFileHeaderSize;
  if (infoSize == 12) {
    // The OS/2 core header: 16-bit unsigned sides, always bottom-up, three-byte palette entries,
    // no compression.
    layout.width = U16(info + 4);
    layout.height = U16(info + 6);
    layout.bitCount = U16(info + 10);
    layout.entrySize = 3;
  } else {
    layout.width = static_cast<int32_t>(U32(info + 4));
    const int64_t height = static_cast<int32_t>(U32(info + 8));
    layout.topDown = height < 0;
    layout.height = height < 0 ? -height : height;
    layout.bitCount = U16(info + 14);
    layout.compression = U32(info + 16);
    layout.declaredColours = U32(info + 32);
  }
  if (layout.width <= 0 || layout.height <= 0) {
    Fail(PictureFault::InvalidSize,
         std::to_string(layout.width) + " x " +
             std::to_string(layout.topDown ? -layout.height : layout.height));
  }
  const uint32_t bits = layout.bitCount;
  const bool coreBits = bits == 1 || bits == 4 || bits == 8 || bits == 24;
  if (!coreBits && (infoSize == 12 || (bits != 16 && bits != 32))) {
    Fail(PictureFault::UnsupportedBitCount, std::to_string(bits));
  }
  switch (layout.compression) {
    case kRgb:
      break;
    case kRle8:
    case kRle4:
      if (bits != (layout.compression == kRle8 ? 8u : 4u)) {
        Fail(PictureFault::CompressionBitCount, std::to_string(bits));
      }
      if (layout.topDown) Fail(PictureFault::TopDownRunLength);
      break;
    case kBitFields:
    case kAlphaBitFields:
      if (bits != 16 && bits != 32) Fail(PictureFault::CompressionBitCount, std::to_string(bits));
      break;
    default:
      Fail(PictureFault::UnsupportedCompression, std::to_string(layout.compression));
  }
  layout.tableStart = kFileHeaderSize + infoSize;
  return layout;
}

// The masks of 16 and 32-bit pixels: inside info headers of 52 bytes and more, after a 40-byte
// header otherwise (tableStart then moves past them), fixed when the file has no bit fields.
void ReadMasks(std::span<const uint8_t> file, BmpLayout& layout) {
  const uint32_t bits = layout.bitCount;
  const uint8_t* info = file.data() + kFileHeaderSize;
  if (UsesBitFields(layout)) {
    const uint8_t* masks = info + 40;
    if (layout.infoSize == 40) {
      const uint64_t maskBytes = layout.compression == kAlphaBitFields ? 16 : 12;
      if (file.size() < layout.tableStart + maskBytes) Fail(PictureFault::HeaderTruncated);
      masks = file.data() + layout.tableStart;
      layout.tableStart += maskBytes;
    }
    layout.masks[0] = U32(masks);
    layout.masks[1] = U32(masks + 4);
    layout.masks[2] = U32(masks + 8);
    const bool hasAlpha = layout.infoSize >= 56 ||
                          (layout.infoSize == 40 && layout.compression == kAlphaBitFields);
    layout.masks[3] = hasAlpha ? U32(masks + 12) : 0;
  } else if (bits == 16) {
    layout.masks[0] = 0x7C00;  // 5 bits each of red, green, blue
    layout.masks[1] = 0x03E0;
    layout.masks[2] = 0x001F;
  } else if (bits == 32) {
    layout.masks[0] = 0x00FF0000;
    layout.masks[1] = 0x0000FF00;
    layout.masks[2] = 0x000000FF;
    // The fourth byte is alpha only where a header with an alpha mask says so.
    if (layout.infoSize >= 56 && U32(info + 52) == 0xFF000000u) layout.masks[3] = 0xFF000000u;
  }
  for (uint32_t mask : layout.masks) {
    if (bits == 16 && mask > 0xFFFF) Fail(PictureFault::MaskTooWide, Hex(mask));
    // Contiguous: shifted down to bit 0, one less than a power of two.
    const uint32_t low = mask == 0 ? 0 : mask >> std::countr_zero(mask);
    if ((low & (low + 1)) != 0) Fail(PictureFault::MaskNotContiguous, Hex(mask));
  }
}

// The palette of 1, 4 and 8-bit pixels: between the headers and the pixel data, with fewer
// entries than the bit count allows when the file says so or has no room for more.
void ReadPalette(std::span<const uint8_t> file, BmpLayout& layout) {
  if (layout.bitCount > 8) return;
  const uint64_t maxColours = uint64_t{1} << layout.bitCount;
  uint64_t colours = layout.declaredColours == 0 ? maxColours
                                                 : std::min(layout.declaredColours, maxColours);
  colours = std::min(colours, (layout.dataOffset - layout.tableStart) / layout.entrySize);
  const uint8_t* entry = file.data() + layout.tableStart;
  for (uint64_t i = 0; i < colours; ++i, entry += layout.entrySize) {
    std::memcpy(layout.palette[i], entry, 3);
  }
}

BmpLayout ReadLayout(std::span<const uint8_t> file) {
  BmpLayout layout = CheckHeader(file);
  ReadMasks(file, layout);
  if (layout.dataOffset < layout.tableStart) {
    Fail(PictureFault::DataInsideHeader, std::to_string(layout.dataOffset));
  }
  if (layout.dataOffset >= file.size()) Fail(PictureFault::DataMissing);
  ReadPalette(file, layout);
  return layout;
}

// One channel of a 16 or 32-bit pixel: where its bits are and how they scale to 0 .. 255.
struct Channel {
  uint32_t mask = 0;
  int shift = 0;
  int bits = 0;
  uint32_t max = 0;
  uint8_t table[256] = {};  // scaled values when bits <= 8

  explicit Channel(uint32_t m) : mask(m) {
    if (mask == 0) return;
    shift = std::countr_zero(mask);
    bits = std::popcount(mask);
    max = static_cast<uint32_t>((uint64_t{1} << bits) - 1);
    if (bits <= 8) {
      for (uint32_t v = 0; v <= max; ++v)
        table[v] = static_cast<uint8_t>((v * 255 + max / 2) / max);
    }
  }

  uint8_t operator()(uint32_t pixel) const {
    uint32_t v = (pixel & mask) >> shift;
    if (bits <= 8) return table[v];
    return static_cast<uint8_t>((uint64_t{v} * 255 + max / 2) / max);
  }
};

// Bytes per row of uncompressed pixels: padded to a multiple of 4.
uint64_t RowBytes(const BmpLayout& layout) {
  return (static_cast<uint64_t>(layout.width) * layout.bitCount + 31) / 32 * 4;
}

// Raises unless the file holds every row of uncompressed pixels; the last row's padding may be
// missing.
void RequireRows(std::span<const uint8_t> file, const BmpLayout& layout) {
  const uint64_t lastRowBytes = (static_cast<uint64_t>(layout.width) * layout.bitCount + 7) / 8;
  const uint64_t rowBytes = RowBytes(layout);
  const uint64_t fullRows = static_cast<uint64_t>(layout.height - 1);
  const uint64_t available = file.size() - layout.dataOffset;
  // rowBytes x fullRows + lastRowBytes <= available, tested without overflowing.
  if (lastRowBytes > available ||
      (fullRows > 0 && rowBytes > (available - lastRowBytes) / fullRows)) {
    Fail(PictureFault::DataTruncated);
  }
}

// Uncompressed rows, checked by RequireRows: palette indices, 24-bit blue, green, red, or masked
// 16 and 32-bit pixels.
void DecodeRows(std::span<const uint8_t> file, const BmpLayout& layout,
                const imaging::ImageView& picture) {
  const uint32_t bits = layout.bitCount;
  const int32_t width = picture.width;
  const int32_t height = picture.height;
  const uint64_t rowBytes = RowBytes(layout);
  const uint8_t* pixels = file.data() + layout.dataOffset;
  auto sourceRow = [&](int32_t y) {
    // Picture row y (top-down) from the file's row order.
    int64_t fileRow = layout.topDown ? y : height - 1 - y;
    return pixels + static_cast<uint64_t>(fileRow) * rowBytes;
  };

  if (bits <= 8) {
    const unsigned mask = (1u << bits) - 1;
    for (int32_t y = 0; y < height; ++y) {
      const uint8_t* in = sourceRow(y);
      uint8_t* out = picture.Row(y);
      for (int32_t x = 0; x < width; ++x, out += 3) {
        // Pixels are packed from the most significant bits of each byte.
        uint64_t bit = static_cast<uint64_t>(x) * bits;
        unsigned index = (in[bit / 8] >> (8 - bits - bit % 8)) & mask;
        std::memcpy(out, layout.palette[index], 3);
      }
    }
    return;
  }
  if (bits == 24) {
    for (int32_t y = 0; y < height; ++y) {
      std::memcpy(picture.Row(y), sourceRow(y), static_cast<size_t>(width) * 3);
    }
    return;
  }

  const Channel red(layout.masks[0]);
  const Channel green(layout.masks[1]);
  const Channel blue(layout.masks[2]);
  const Channel alpha(layout.masks[3]);
  const size_t pixelBytes = bits / 8;
  auto pixelAt = [pixelBytes](const uint8_t* p) -> uint32_t {
    return pixelBytes == 2 ? U16(p) : U32(p);
  };
  // An alpha channel that is zero everywhere was left unset by its writer: the image is opaque.
  bool useAlpha = false;
  if (layout.masks[3] != 0) {
    for (int32_t y = 0; y < height && !useAlpha; ++y) {
      const uint8_t* in = sourceRow(y);
      for (int32_t x = 0; x < width; ++x, in += pixelBytes) {
        if ((pixelAt(in) & layout.masks[3]) != 0) {
          useAlpha = true;
          break;
        }
      }
    }
  }
  for (int32_t y = 0; y < height; ++y) {
    const uint8_t* in = sourceRow(y);
    uint8_t* out = picture.Row(y);
    for (int32_t x = 0; x < width; ++x, in += pixelBytes, out += 3) {
      uint32_t pixel = pixelAt(in);
      uint8_t b = blue(pixel);
      uint8_t g = green(pixel);
      uint8_t r = red(pixel);
      if (useAlpha) {
        uint8_t a = alpha(pixel);
        b = CompositeOverWhite(b, a);
        g = CompositeOverWhite(g, a);
        r = CompositeOverWhite(r, a);
      }
      out[0] = b;
      out[1] = g;
      out[2] = r;
    }
  }
}

// RLE8 and RLE4: runs of one index (RLE4: two alternating indices), literal stretches padded to
// 16 bits, and the escapes end of line, end of bitmap and delta. Rows run bottom-up. Pixels that
// the codes skip stay white; runs past the right edge are clipped.
void DecodeRunLength(std::span<const uint8_t> file, const BmpLayout& layout,
                     const imaging::ImageView& picture) {
  const bool rle4 = layout.compression == kRle4;
  const int64_t width = picture.width;
  const int64_t height = picture.height;
  for (int32_t y = 0; y < picture.height; ++y) {
    std::memset(picture.Row(y), 0xFF, static_cast<size_t>(width) * 3);
  }
  const uint8_t* data = file.data();
  const uint64_t size = file.size();
  uint64_t pos = layout.dataOffset;
  int64_t x = 0;
  int64_t y = 0;  // counted from the bottom row
  // Index i of a run or literal: RLE8 uses the byte, RLE4 alternates high and low nibble.
  auto put = [&](unsigned index) {
    if (x < width)
      std::memcpy(picture.Row(static_cast<int32_t>(height - 1 - y)) + x * 3, layout.palette[index],
                  3);
    ++x;
  };
  while (y < height) {
    if (size - pos < 2) Fail(PictureFault::DataTruncated);
    const unsigned count = data[pos];
    const unsigned value = data[pos + 1];
    pos += 2;
    if (count > 0) {
      for (unsigned i = 0; i < count && x < width; ++i) {
        put(rle4 ? ((i & 1) != 0 ? value & 0x0F : value >> 4) : value);
      }
      continue;
    }
    if (value == 0) {  // end of line
      x = 0;
      ++y;
    } else if (value == 1) {  // end of bitmap
      return;
    } else if (value == 2) {  // delta: move right and up
      if (size - pos < 2) Fail(PictureFault::DataTruncated);
      x += data[pos];
      y += data[pos + 1];
      pos += 2;
    } else {  // a literal stretch of `value` indices, padded to an even byte count
      const uint64_t bytes = rle4 ? (value + 1) / 2 : value;
      if (size - pos < bytes) Fail(PictureFault::DataTruncated);
      for (unsigned i = 0; i < value && x < width; ++i) {
        const uint8_t byte = data[pos + (rle4 ? i / 2 : i)];
        put(rle4 ? ((i & 1) != 0 ? byte & 0x0F : byte >> 4) : byte);
      }
      pos += std::min<uint64_t>((bytes + 1) & ~uint64_t{1}, size - pos);
    }
  }
}

}  // namespace

void LoadBmp(std::span<const uint8_t> bytes, imaging::cDIBSection& target) {
  if (bytes.size() < 2 || bytes[0] != 'B' || bytes[1] != 'M') Fail(PictureFault::UnknownFormat);
  const BmpLayout layout = ReadLayout(bytes);
  // Refused before anything is allocated: too many pixels, or rows the file does not hold.
  detail::RequirePictureSize(PictureFormat::Bmp, layout.width, layout.height);
  const bool runLength = layout.compression == kRle8 || layout.compression == kRle4;
  if (!runLength) RequireRows(bytes, layout);
  const imaging::ImageView picture =
      detail::PrepareTarget(PictureFormat::Bmp, layout.width, layout.height, target);
  if (runLength) {
    DecodeRunLength(bytes, layout, picture);
  } else {
    DecodeRows(bytes, layout, picture);
  }
}

}  // namespace corvella::codec
