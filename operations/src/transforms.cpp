#include "corvella/operations/transforms.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "corvella/platform/error.h"
#include "kernel_support.h"

namespace corvella::operations {

using imaging::ConstImageView;
using imaging::ImageView;
using imaging::kBytesPerPixel;

namespace {

// Side of the square tiles of the rotations, in pixels: one tile of source rows and one of
// target rows (3 x 32 x 32 bytes each) stay in the first-level cache together.
constexpr int32_t kTile = 32;

// Copies one pixel with a 4-byte load and store. The fourth byte read is the next byte of the
// source row and the fourth byte written is the first byte of the next target pixel, which the
// caller writes afterwards; callers use it only where both stay inside their rows.
inline void CopyPixelWide(uint8_t* dst, const uint8_t* src) {
  uint32_t v;
  std::memcpy(&v, src, 4);
  std::memcpy(dst, &v, 4);
}

inline void CopyPixel(uint8_t* dst, const uint8_t* src) {
  dst[0] = src[0];
  dst[1] = src[1];
  dst[2] = src[2];
}

// Where the pixels of a rotation come from: target row j, pixel i is the source pixel at
// First(j) + i x step. The source column is fixed per target row and the source row moves by one
// per target pixel.
struct RotationSource {
  const uint8_t* origin;  // First(0)
  ptrdiff_t columnStep;   // First(j + 1) - First(j): +3 or -3 bytes
  ptrdiff_t step;         // one source row up or down
  int32_t lastColumnRow;  // the target row that reads the last pixel of each source row
  const uint8_t* First(int32_t j) const { return origin + j * columnStep; }
};

// Tiles keep the strided source reads in cache.
void RotatePortable(const RotationSource& from, const ImageView& dst) {
  const int32_t width = dst.width;
  const int32_t height = dst.height;
  for (int32_t j0 = 0; j0 < height; j0 += kTile) {
    const int32_t j1 = std::min(height, j0 + kTile);
    for (int32_t i0 = 0; i0 < width; i0 += kTile) {
      const int32_t i1 = std::min(width, i0 + kTile);
      // The wide copy may write one byte past the pixel only while another pixel of the same
      // target row follows, and may read one byte past the source pixel only when it is not the
      // last pixel of its source row.
      const int32_t wideEnd = i1 < width ? i1 : i1 - 1;
      for (int32_t j = j0; j < j1; ++j) {
        const uint8_t* s = from.First(j) + static_cast<ptrdiff_t>(i0) * from.step;
        uint8_t* d = dst.Row(j) + static_cast<ptrdiff_t>(i0) * kBytesPerPixel;
        int32_t i = i0;
        if (j != from.lastColumnRow) {
          for (; i < wideEnd; ++i, s += from.step, d += kBytesPerPixel)
            CopyPixelWide(d, s);
        }
        for (; i < i1; ++i, s += from.step, d += kBytesPerPixel)
          CopyPixel(d, s);
      }
    }
  }
}

#ifdef CORVELLA_OPERATIONS_AVX2

// Target pixels per band of the AVX2 rotation: the band reads this many source rows side by side,
// each from its start to its end, and the prefetches run this many pixels ahead in every row.
constexpr int32_t kBandRows = 256;
constexpr int32_t kPrefetchPixels = 128;

// Eight pixels of a source row (24 bytes) as one pixel per 32-bit lane: bytes 0..11 to the low
// half, 12..23 to the high half. 28 bytes are read.
[[gnu::target("avx2")]] inline __m256i LoadEightPixels(const uint8_t* p, __m256i widen) {
  const __m256i both = _mm256_inserti128_si256(
      _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p))),
      _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 12)), 1);
  return _mm256_shuffle_epi8(both, widen);
}

// Eight pixels, one per 32-bit lane, as 24 bytes at @p p; 28 bytes are written when @p wide says
// that the 4 after them are written again later.
[[gnu::target("avx2")]] inline void StoreEightPixels(uint8_t* p, __m256i v, __m256i narrow,
                                                     bool wide) {
  const __m256i packed = _mm256_shuffle_epi8(v, narrow);  // 12 bytes at the bottom of each half
  const __m128i low = _mm256_castsi256_si128(packed);
  const __m128i high = _mm256_extracti128_si256(packed, 1);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(p), low);
  if (wide) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p + 12), high);
    return;
  }
  _mm_storel_epi64(reinterpret_cast<__m128i*>(p + 12), high);
  const auto last = static_cast<uint32_t>(_mm_extract_epi32(high, 2));
  std::memcpy(p + 20, &last, 4);
}

// The rotations in blocks of 8 x 8 pixels: the eight source runs of a block are widened to one
// pixel per 32-bit lane, transposed as an 8 x 8 matrix of lanes and narrowed back into eight
// target runs. Blocks whose loads would read past the end of a source row, and partial blocks at
// the edges, are copied pixel by pixel. Blocks are visited band by band: all target rows for
// kBandRows target pixels, so that every source row of the band is read from one end to the other
// while the prefetches keep ahead of it; strided reads across many rows would each wait for
// memory.
[[gnu::target("avx2")]] void RotateAvx2(const RotationSource& from, const ImageView& dst,
                                        int32_t sourceWidth) {
  const __m256i widen = _mm256_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1,
                                         0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1);
  const __m256i narrow = _mm256_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1,
                                          0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
  const bool ascending = from.columnStep > 0;
  const int32_t width = dst.width;
  const int32_t height = dst.height;
  auto copyPixels = [&](int32_t j, int32_t i0, int32_t i1) {
    const uint8_t* s = from.First(j) + static_cast<ptrdiff_t>(i0) * from.step;
    uint8_t* d = dst.Row(j) + static_cast<ptrdiff_t>(i0) * kBytesPerPixel;
    for (int32_t i = i0; i < i1; ++i, s += from.step, d += kBytesPerPixel)
      CopyPixel(d, s);
  };
  // Blocks of eight target rows are visited in the order in which their source columns ascend in
  // memory (the prefetchers' direction): upwards from row 0 for RotateRight, downwards from the
  // last row for RotateLeft.
  const int32_t blocks = height / 8;
  const int32_t firstSpare = ascending ? blocks * 8 : 0;  // the rows left to copy pixel by pixel
  const int32_t spareEnd = ascending ? height : height - blocks * 8;
  const ptrdiff_t ahead = kPrefetchPixels * kBytesPerPixel;
  for (int32_t i0 = 0; i0 < width; i0 += kBandRows) {
    const int32_t i1 = std::min(width, i0 + kBandRows);
    const int32_t blocksEnd = i0 + (i1 - i0) / 8 * 8;
    for (int32_t k = 0; k < blocks; ++k) {
      const int32_t j = ascending ? 8 * k : height - 8 * (k + 1);
      // The eight target rows read eight adjacent source pixels of every source row; in memory
      // they start at the pixel of row j (ascending) or of row j + 7 (descending).
      const uint8_t* base = from.First(ascending ? j : j + 7);
      const int32_t column = ascending ? j : sourceWidth - 8 - j;
      if (column + 10 > sourceWidth) {  // the 28-byte loads would leave the row
        for (int p = 0; p < 8; ++p)
          copyPixels(j + p, i0, i1);
        continue;
      }
      // Every 16 target rows (48 source bytes, under one cache line), the bytes that the band
      // reads kPrefetchPixels further on.
      if (k % 2 == 0 && column + kPrefetchPixels < sourceWidth) {
        for (int32_t i = i0; i < i1; ++i) {
          _mm_prefetch(
              reinterpret_cast<const char*>(base + static_cast<ptrdiff_t>(i) * from.step + ahead),
              _MM_HINT_T0);
        }
      }
      uint8_t* rows[8];
      for (int p = 0; p < 8; ++p)
        rows[p] = dst.Row(ascending ? j + p : j + 7 - p);
      const uint8_t* s = base + static_cast<ptrdiff_t>(i0) * from.step;
      for (int32_t i = i0; i < blocksEnd; i += 8, s += 8 * from.step) {
        __m256i r[8];
        for (int a = 0; a < 8; ++a)
          r[a] = LoadEightPixels(s + a * from.step, widen);
        // r[a] holds target pixel i + a of the eight rows; transpose to one row per register.
        const __m256i t0 = _mm256_unpacklo_epi32(r[0], r[1]);
        const __m256i t1 = _mm256_unpackhi_epi32(r[0], r[1]);
        const __m256i t2 = _mm256_unpacklo_epi32(r[2], r[3]);
        const __m256i t3 = _mm256_unpackhi_epi32(r[2], r[3]);
        const __m256i t4 = _mm256_unpacklo_epi32(r[4], r[5]);
        const __m256i t5 = _mm256_unpackhi_epi32(r[4], r[5]);
        const __m256i t6 = _mm256_unpacklo_epi32(r[6], r[7]);
        const __m256i t7 = _mm256_unpackhi_epi32(r[6], r[7]);
        const __m256i u0 = _mm256_unpacklo_epi64(t0, t2);
        const __m256i u1 = _mm256_unpackhi_epi64(t0, t2);
        const __m256i u2 = _mm256_unpacklo_epi64(t1, t3);
        const __m256i u3 = _mm256_unpackhi_epi64(t1, t3);
        const __m256i u4 = _mm256_unpacklo_epi64(t4, t6);
        const __m256i u5 = _mm256_unpackhi_epi64(t4, t6);
        const __m256i u6 = _mm256_unpacklo_epi64(t5, t7);
        const __m256i u7 = _mm256_unpackhi_epi64(t5, t7);
        const __m256i out[8] = {
            _mm256_permute2x128_si256(u0, u4, 0x20), _mm256_permute2x128_si256(u1, u5, 0x20),
            _mm256_permute2x128_si256(u2, u6, 0x20), _mm256_permute2x128_si256(u3, u7, 0x20),
            _mm256_permute2x128_si256(u0, u4, 0x31), _mm256_permute2x128_si256(u1, u5, 0x31),
            _mm256_permute2x128_si256(u2, u6, 0x31), _mm256_permute2x128_si256(u3, u7, 0x31)};
        const bool wideStore = i + 10 <= width;
        const ptrdiff_t offset = static_cast<ptrdiff_t>(i) * kBytesPerPixel;
        for (int p = 0; p < 8; ++p)
          StoreEightPixels(rows[p] + offset, out[p], narrow, wideStore);
      }
      for (int p = 0; p < 8; ++p)
        copyPixels(j + p, blocksEnd, i1);
    }
    for (int32_t j = firstSpare; j < spareEnd; ++j)
      copyPixels(j, i0, i1);
  }
}

#endif  // CORVELLA_OPERATIONS_AVX2

void Rotate(const RotationSource& from, const ImageView& dst, int32_t sourceWidth,
            imaging::SimdLevel level) {
#ifdef CORVELLA_OPERATIONS_AVX2
  if (imaging::MayUse(level, imaging::SimdLevel::Avx2)) {
    RotateAvx2(from, dst, sourceWidth);
    return;
  }
#else
  (void)sourceWidth;
  (void)level;
#endif
  RotatePortable(from, dst);
}

// Whether there are pixels to turn. A target that is not the source turned is a broken contract
// of the caller: an internal error, not a silent no-op.
bool Fits(const ConstImageView& src, const ImageView& dst) {
  if (src.Empty() || dst.Empty()) return false;
  if (dst.width != src.height || dst.height != src.width) {
    platform::Raise(platform::RuntimeError::InternalError);
  }
  return true;
}

}  // namespace

void FlipInPlace(const ImageView& picture) {
  if (picture.Empty()) return;
  const ImageView image = InMemoryOrder(picture);
  const size_t bytes = static_cast<size_t>(image.width) * kBytesPerPixel;
  std::vector<uint8_t> spare(bytes);
  for (int32_t top = 0, bottom = image.height - 1; top < bottom; ++top, --bottom) {
    uint8_t* a = image.Row(top);
    uint8_t* b = image.Row(bottom);
    std::memcpy(spare.data(), a, bytes);
    std::memcpy(a, b, bytes);
    std::memcpy(b, spare.data(), bytes);
  }
}

namespace {

// Reverses one row through a spare row (one byte longer, for the wide copies) and copies it back.
// The last pixel of the row is read first, with a 3-byte copy, because the byte after it is not
// part of the row.
void MirrorRowPortable(uint8_t* row, int32_t width, std::vector<uint8_t>& spare) {
  const size_t bytes = static_cast<size_t>(width) * kBytesPerPixel;
  const uint8_t* s = row + bytes - kBytesPerPixel;
  uint8_t* d = spare.data();
  CopyPixel(d, s);
  for (int32_t x = 1; x < width; ++x) {
    s -= kBytesPerPixel;
    d += kBytesPerPixel;
    CopyPixelWide(d, s);
  }
  std::memcpy(row, spare.data(), bytes);
}

#ifdef CORVELLA_OPERATIONS_AVX2

// MirrorRowPortable five pixels (15 bytes) at a time: each 16-byte load holds a block of the row
// and the byte before it, one byte shuffle reverses the block's pixels, and the 16-byte store into
// the spare row writes one byte too many, which the next store overwrites. The first five pixels
// of the row (the last of the spare) are copied one by one.
[[gnu::target("avx2")]] void MirrorRowAvx2(uint8_t* row, int32_t width,
                                           std::vector<uint8_t>& spare) {
  // Lane k < 15 is byte k % 3 of pixel 4 - k / 3 of the block, which starts in lane 1.
  const __m128i reverse = _mm_setr_epi8(13, 14, 15, 10, 11, 12, 7, 8, 9, 4, 5, 6, 1, 2, 3, -1);
  const size_t bytes = static_cast<size_t>(width) * kBytesPerPixel;
  uint8_t* d = spare.data();
  int32_t x = 0;  // pixels of the spare row done
  for (; x + 5 < width; x += 5) {
    const uint8_t* block = row + static_cast<ptrdiff_t>(width - x - 5) * kBytesPerPixel;
    const __m128i in = _mm_loadu_si128(reinterpret_cast<const __m128i*>(block - 1));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(d + static_cast<ptrdiff_t>(x) * kBytesPerPixel),
                     _mm_shuffle_epi8(in, reverse));
  }
  for (; x < width; ++x) {
    CopyPixel(d + static_cast<ptrdiff_t>(x) * kBytesPerPixel,
              row + static_cast<ptrdiff_t>(width - 1 - x) * kBytesPerPixel);
  }
  std::memcpy(row, spare.data(), bytes);
}

#endif  // CORVELLA_OPERATIONS_AVX2

}  // namespace

void MirrorInPlace(const ImageView& picture, imaging::SimdLevel level) {
  if (picture.Empty()) return;
  const ImageView image = InMemoryOrder(picture);
  // One byte more for the portable kernel's wide copies, sixteen for the AVX2 kernel's stores.
  std::vector<uint8_t> spare(static_cast<size_t>(image.width) * kBytesPerPixel + 16);
#ifdef CORVELLA_OPERATIONS_AVX2
  if (imaging::MayUse(level, imaging::SimdLevel::Avx2)) {
    for (int32_t y = 0; y < image.height; ++y)
      MirrorRowAvx2(image.Row(y), image.width, spare);
    return;
  }
#else
  (void)level;
#endif
  for (int32_t y = 0; y < image.height; ++y)
    MirrorRowPortable(image.Row(y), image.width, spare);
}

void RotateRightInto(const ConstImageView& src, const ImageView& dst, imaging::SimdLevel level) {
  if (!Fits(src, dst)) return;
  // Target row j, pixel i = source row height - 1 - i, pixel j: the source column is j and the
  // source row climbs by one per target pixel. Target row width - 1 reads the last source pixel
  // of each row.
  const RotationSource from{src.Row(src.height - 1), kBytesPerPixel, -src.stride, src.width - 1};
  Rotate(from, dst, src.width, level);
}

void RotateLeftInto(const ConstImageView& src, const ImageView& dst, imaging::SimdLevel level) {
  if (!Fits(src, dst)) return;
  // Target row j, pixel i = source row i, pixel width - 1 - j. Target row 0 reads the last
  // source pixel of each row.
  const RotationSource from{src.Row(0) + static_cast<ptrdiff_t>(src.width - 1) * kBytesPerPixel,
                            -kBytesPerPixel, src.stride, 0};
  Rotate(from, dst, src.width, level);
}

}  // namespace corvella::operations
