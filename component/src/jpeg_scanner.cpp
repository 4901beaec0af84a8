// The JPEG marker walk and the checked header size read.

#include "jpeg_scanner.h"

#include "corvella/platform/checked.h"
#include "corvella/platform/error.h"

namespace corvella::component {

using platform::ComponentError;
using platform::Raise;

uint8_t ReadByte(const platform::ByteArray& d, int32_t& pos) {
  if (pos > d.UBound()) Raise(ComponentError::ReadImageParams);
  uint8_t value = d.At(pos);
  ++pos;
  return value;
}

uint8_t NextByte(const platform::ByteArray& d, int32_t& pos) {
  uint8_t value = ReadByte(d, pos);
  if (pos == d.UBound()) Raise(ComponentError::PrematureEof);
  return value;
}

int32_t ReadWord(const platform::ByteArray& d, int32_t& pos) {
  int32_t hi = NextByte(d, pos);
  int32_t lo = NextByte(d, pos);
  return hi * 256 + lo;
}

uint8_t NextMarker(const platform::ByteArray& d, int32_t& pos) {
  uint8_t code = NextByte(d, pos);
  while (code != 0xFF)
    code = NextByte(d, pos);
  do {
    code = NextByte(d, pos);
  } while (code == 0xFF);
  return code;
}

void SkipSegment(const platform::ByteArray& d, int32_t& pos) {
  int32_t length = ReadWord(d, pos);
  if (length < 2) Raise(ComponentError::MarkerLength);
  // Skipping byte by byte through NextByte would stop with 1160 at the first byte that leaves pos
  // on L. ReadWord has left pos inside the array and below L, so every skipped index is valid and
  // the outcome is known without touching the bytes: either pos lands on L (1160) or moves past
  // the whole segment.
  int64_t skip = length - 2;
  int64_t last = d.UBound();
  if (skip > 0 && pos + skip >= last) {
    pos = static_cast<int32_t>(last);
    Raise(ComponentError::PrematureEof);
  }
  pos = static_cast<int32_t>(pos + skip);
}

int16_t ReadCheckedWord(const platform::ByteArray& d, int64_t hiIndex, int64_t loIndex) {
  int16_t high = platform::checked::Mul16(d.At(hiIndex), 256);
  return platform::checked::Add16(high, d.At(loIndex));
}

}  // namespace corvella::component
