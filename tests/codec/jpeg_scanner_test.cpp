#include "corvella/codec/jpeg_scanner.h"

#include <gtest/gtest.h>

#include <vector>

#include "support/errors.h"

namespace corvella::codec {
namespace {

using platform::ByteArray;
using testing::Component;
using testing::ErrorNumberOf;
using testing::Runtime;

ByteArray Bytes(std::vector<uint8_t> bytes, int32_t lowerBound = 0) {
  return ByteArray::FromBytes(bytes, lowerBound);
}

TEST(JpegScanner, ReadByteAndNextByteStopAtTheEnd) {
  ByteArray d = Bytes({0x10, 0x20, 0x30, 0x40});  // L = 3
  int32_t pos = 0;
  EXPECT_EQ(NextByte(d, pos), 0x10);
  EXPECT_EQ(pos, 1);
  EXPECT_EQ(NextByte(d, pos), 0x20);
  // Reading index L - 1 leaves pos on L: 1160, although index L is still there.
  EXPECT_EQ(ErrorNumberOf([&] { NextByte(d, pos); }), Component(1160));
  EXPECT_EQ(pos, 3);
  EXPECT_EQ(ReadByte(d, pos), 0x40);
  EXPECT_EQ(pos, 4);
  // A read that starts beyond L: 1120, position unchanged.
  EXPECT_EQ(ErrorNumberOf([&] { ReadByte(d, pos); }), Component(1120));
  EXPECT_EQ(pos, 4);

  // Positions are indices, whatever the lower bound.
  ByteArray shifted = Bytes({0xAA, 0xBB, 0xCC, 0xDD}, 10);  // indices 10 .. 13
  pos = 9;
  EXPECT_EQ(ErrorNumberOf([&] { ReadByte(shifted, pos); }), Runtime(9));
  EXPECT_EQ(pos, 9);
  pos = 11;
  EXPECT_EQ(NextByte(shifted, pos), 0xBB);
  ByteArray none;
  pos = 0;
  EXPECT_EQ(ErrorNumberOf([&] { ReadByte(none, pos); }), Runtime(9));
  EXPECT_EQ(pos, 0);
}

TEST(JpegScanner, ReadWordIsBigEndianWithTheEndTestAfterEachByte) {
  ByteArray d = Bytes({0xFF, 0xFE, 0x01, 0x00, 0x00});  // L = 4
  int32_t pos = 0;
  EXPECT_EQ(ReadWord(d, pos), 0xFFFE);
  EXPECT_EQ(pos, 2);
  // The second byte is index L - 1: 1160 after both reads, pos = L.
  EXPECT_EQ(ErrorNumberOf([&] { ReadWord(d, pos); }), Component(1160));
  EXPECT_EQ(pos, 4);
  // The first byte already leaves pos on L.
  pos = 3;
  EXPECT_EQ(ErrorNumberOf([&] { ReadWord(d, pos); }), Component(1160));
  EXPECT_EQ(pos, 4);
}

TEST(JpegScanner, NextMarkerSkipsStrayAndFillBytes) {
  ByteArray d = Bytes({0x00, 0x12, 0xFF, 0xFF, 0xFF, 0xC0, 0x00, 0x11, 0x08, 0x00});
  int32_t pos = 0;
  EXPECT_EQ(NextMarker(d, pos), 0xC0);
  EXPECT_EQ(pos, 6);
  // A 0x00 after 0xFF (stuffing in entropy-coded data) is a code like any other.
  ByteArray stuffed = Bytes({0x55, 0xFF, 0x00, 0x01, 0x02});
  pos = 0;
  EXPECT_EQ(NextMarker(stuffed, pos), 0x00);
  EXPECT_EQ(pos, 3);
  // No marker before the end.
  ByteArray plain = Bytes({0x01, 0x02, 0x03, 0x04});
  pos = 0;
  EXPECT_EQ(ErrorNumberOf([&] { NextMarker(plain, pos); }), Component(1160));
  EXPECT_EQ(pos, 3);
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

TEST(JpegScanner, StartOfFrameCodes) {
  std::vector<int> frames;
  for (int code = 0; code < 256; ++code) {
    if (IsStartOfFrame(static_cast<uint8_t>(code))) frames.push_back(code);
  }
  EXPECT_EQ(frames, (std::vector<int>{0xC0, 0xC1, 0xC2, 0xC3, 0xC5, 0xC6, 0xC7, 0xC9, 0xCA, 0xCB,
                                      0xCD, 0xCE, 0xCF}));
}

TEST(JpegScanner, CheckedWordReadsTheHighByteFirst) {
  ByteArray d = Bytes({0x7F, 0xFF, 0x80, 0x00, 0x00});
  EXPECT_EQ(ReadCheckedWord(d, 0, 1), 32767);
  EXPECT_EQ(ReadCheckedWord(d, 3, 2), 128);
  EXPECT_EQ(ReadCheckedWord(d, 3, 4), 0);
  // A high byte of 0x80 or more overflows 16-bit arithmetic, before the low byte is read.
  EXPECT_EQ(ErrorNumberOf([&] { ReadCheckedWord(d, 2, 3); }), Runtime(6));
  EXPECT_EQ(ErrorNumberOf([&] { ReadCheckedWord(d, 1, 0); }), Runtime(6));
  EXPECT_EQ(ErrorNumberOf([&] { ReadCheckedWord(d, 2, 99); }), Runtime(6));
  EXPECT_EQ(ErrorNumberOf([&] { ReadCheckedWord(d, 0, 99); }), Runtime(9));
  EXPECT_EQ(ErrorNumberOf([&] { ReadCheckedWord(d, 99, 0); }), Runtime(9));
}

}  // namespace
}  // namespace corvella::codec
