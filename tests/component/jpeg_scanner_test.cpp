// The JPEG segment skip against a plain byte walk; the marker walk and the size reads are
// checked through OpenBinary and JPEGSkipVariables in open_test.cpp.

#include "jpeg_scanner.h"

#include <gtest/gtest.h>

#include <vector>

#include "support/errors.h"

namespace corvella::component {
namespace {

using platform::ByteArray;
using testing::Component;
using testing::ErrorNumberOf;

ByteArray Bytes(std::vector<uint8_t> bytes, int32_t lowerBound = 0) {
  return ByteArray::FromBytes(bytes, lowerBound);
}

// SkipSegment as a plain walk, byte by byte through NextByte: the independent reference.
void ReferenceSkip(const ByteArray& d, int32_t& pos) {
  int32_t length = ReadWord(d, pos);
  if (length < 2) platform::Raise(platform::ComponentError::MarkerLength);
  for (int32_t i = 0; i < length - 2; ++i)
    NextByte(d, pos);
}

TEST(JpegScanner, SkipSegmentMatchesTheByteWalkEverywhere) {
  // Every start position and every length field over a small array, both lower bounds.
  for (int32_t lowerBound : {0, -3}) {
    for (int length = 0; length < 14; ++length) {
      std::vector<uint8_t> bytes(12, 0x11);
      for (size_t start = 0; start + 1 < bytes.size(); ++start) {
        std::vector<uint8_t> data = bytes;
        data[start] = 0;
        data[start + 1] = static_cast<uint8_t>(length);
        ByteArray d = Bytes(data, lowerBound);
        int32_t expected = static_cast<int32_t>(start) + lowerBound;
        int32_t actual = expected;
        int32_t expectedError = ErrorNumberOf([&] { ReferenceSkip(d, expected); });
        int32_t actualError = ErrorNumberOf([&] { SkipSegment(d, actual); });
        EXPECT_EQ(actualError, expectedError) << "length " << length << " start " << start;
        EXPECT_EQ(actual, expected) << "length " << length << " start " << start;
      }
    }
  }
  // Lengths of 0 and 1: 1150 with the position past the length field.
  ByteArray d = Bytes({0x00, 0x01, 0x00, 0x00, 0x00, 0x00});
  int32_t pos = 0;
  EXPECT_EQ(ErrorNumberOf([&] { SkipSegment(d, pos); }), Component(1150));
  EXPECT_EQ(pos, 2);
  // A large length near the end of the array: no overflow, 1160 at L.
  ByteArray big = Bytes({0xFF, 0xFF, 0x00, 0x00, 0x00});
  pos = 0;
  EXPECT_EQ(ErrorNumberOf([&] { SkipSegment(big, pos); }), Component(1160));
  EXPECT_EQ(pos, 4);
}

}  // namespace
}  // namespace corvella::component
