#pragma once
/// @file
/// Byte-level reading of image headers for format detection and JPEGSkipVariables: the
/// primitives that walk the marker segments of a JPEG stream, and the checked 16-bit size read
/// shared by every format's header.
///
/// All functions work on a byte array d and a scan position pos, which is an index into d (not an
/// offset from its lower bound) and always designates the next byte to read. L is the upper bound
/// of d. The functions allocate nothing. Their errors:
///   1120 "Failed to read image Params": a read starts beyond L (pos unchanged);
///   1160 "Premature EOF in JPEG file": a read leaves pos on L (pos = L afterwards);
///   1150 "Erroneous JPEG marker length": a segment length below 2 (pos past the length field);
///   runtime error 9: d unallocated, or an index below its lower bound (pos unchanged);
///   runtime error 6: a 16-bit size of 32768 or more.

#include <cstdint>

#include "corvella/platform/byte_array.h"

namespace corvella::component {

/// The byte at pos; pos advances by one. 1120 when pos > L.
uint8_t ReadByte(const platform::ByteArray& d, int32_t& pos);

/// ReadByte, then 1160 when pos now equals L. So the byte at L - 1 is never delivered.
uint8_t NextByte(const platform::ByteArray& d, int32_t& pos);

/// A big-endian 16-bit value (0 .. 65535) from two ReadByte calls, each followed by the end test
/// of NextByte.
int32_t ReadWord(const platform::ByteArray& d, int32_t& pos);

/// Skips to the next marker: bytes up to the next 0xFF, then any 0xFF fill bytes. Answers the
/// marker code (0x00 .. 0xFE); pos designates the byte after it. Every byte is read by NextByte.
uint8_t NextMarker(const platform::ByteArray& d, int32_t& pos);

/// Skips one marker segment: pos designates its 2-byte length field (which counts itself) and
/// afterwards the first byte after the segment. The bytes skipped are subject to the end test of
/// NextByte: a segment that reaches index L - 1 or beyond raises 1160 with pos = L.
void SkipSegment(const platform::ByteArray& d, int32_t& pos);

/// True for the start-of-frame codes whose segment gives the image size: 0xC0 .. 0xCF except
/// 0xC4 (Huffman tables), 0xC8 (reserved) and 0xCC (arithmetic conditioning).
constexpr bool IsStartOfFrame(uint8_t code) {
  return code >= 0xC0 && code <= 0xCF && code != 0xC4 && code != 0xC8 && code != 0xCC;
}

/// d[hiIndex] * 256 + d[loIndex] in checked 16-bit signed arithmetic: the high byte is read
/// first, and a high byte of 0x80 or more raises runtime error 6 before the low byte is read;
/// an index outside d raises runtime error 9.
int16_t ReadCheckedWord(const platform::ByteArray& d, int64_t hiIndex, int64_t loIndex);

}  // namespace corvella::component
