// Feeds arbitrary bytes to OpenBinary: signature tests, header size reads and the JPEG marker
// walk, then JPEGSkipVariables from the first positions. Every input must end in a return or a
// documented error; a successful open must leave consistent sizes.

#include <cstdint>
#include <cstdlib>
#include <span>

#include "corvella/component/pictron.h"
#include "corvella/platform/byte_array.h"
#include "corvella/platform/error.h"

namespace {

using corvella::component::Pictron;
using corvella::platform::ByteArray;

void Check(bool condition) {
  if (!condition) std::abort();
}

void OpenOnce(std::span<const uint8_t> bytes, int32_t lowerBound) {
  Pictron p;
  try {
    p.OpenBinary(ByteArray::FromBytes(bytes, lowerBound));
    const auto& s = p.State();
    Check(!s.strFormat.empty());
    // The image is counted from index 0 to the upper bound: elements below index 0 (a negative
    // lower bound) are not part of it.
    Check(s.lngOriginalSize == lowerBound + static_cast<int32_t>(bytes.size()) &&
          s.lngSize == s.lngOriginalSize);
    Check(s.lngWidth == s.lngOriginalWidth && s.lngHeight == s.lngOriginalHeight);
    Check(s.lngWidth >= 0 && s.lngWidth <= 32767 && s.lngHeight >= 0 && s.lngHeight <= 32767);
  } catch (const corvella::platform::Error& error) {
    Check(error.Source() == "Corvella.Pictron");
  }
  Check(p.State().blDecoded == 0);
  // The public segment skipper from each of the first positions, on whatever was stored.
  for (int32_t start = lowerBound - 1; start < lowerBound + 16; ++start) {
    int32_t pos = start;
    try {
      p.JPEGSkipVariables(pos);
      Check(pos >= start + 2);
    } catch (const corvella::platform::Error&) {
      Check(pos >= start);
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::span<const uint8_t> bytes(data, size);
  OpenOnce(bytes, 0);
  // The same bytes at other bounds: positions are indices, so detection sees other data.
  if (size > 0) OpenOnce(bytes, static_cast<int32_t>(data[0] % 5) - 2);
  return 0;
}
