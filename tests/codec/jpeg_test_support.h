#pragma once
// Plain libjpeg helpers for the JPEG tests: an independent decoder, an encoder for fixtures that
// our codec never writes (grey, CMYK, progressive, odd component counts) and a marker walker.
// They use libjpeg's own error handling, which ends the process: they are only given valid data.

// libjpeg's header needs size_t and FILE declared first.
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <jpeglib.h>

#include "codec_test_support.h"

namespace corvella::codec::test {

/// A decoded image: top-down rows of `components` bytes per pixel, no padding.
struct Decoded {
  int width = 0;
  int height = 0;
  int components = 0;
  Bytes pixels;

  const uint8_t* Pixel(int x, int y) const {
    return pixels.data() + (static_cast<size_t>(y) * width + x) * components;
  }
};

/// Decodes @p jpeg with the plain libjpeg API: RGB for colour streams, grey for grey ones, the
/// raw CMYK for four components; @p scaleDenom 1, 2, 4 or 8 scales down in the DCT.
inline Decoded ReferenceDecode(const Bytes& jpeg, unsigned scaleDenom = 1) {
  jpeg_decompress_struct cinfo;
  jpeg_error_mgr errors;
  cinfo.err = jpeg_std_error(&errors);
  jpeg_create_decompress(&cinfo);
  jpeg_mem_src(&cinfo, jpeg.data(), static_cast<unsigned long>(jpeg.size()));
  jpeg_read_header(&cinfo, TRUE);
  if (cinfo.num_components == 3) cinfo.out_color_space = JCS_RGB;
  cinfo.scale_num = 1;
  cinfo.scale_denom = scaleDenom;
  jpeg_start_decompress(&cinfo);
  Decoded image;
  image.width = static_cast<int>(cinfo.output_width);
  image.height = static_cast<int>(cinfo.output_height);
  image.components = cinfo.output_components;
  image.pixels.resize(static_cast<size_t>(image.width) * image.height * image.components);
  while (cinfo.output_scanline < cinfo.output_height) {
    JSAMPROW row = image.pixels.data() +
                   static_cast<size_t>(cinfo.output_scanline) * image.width * image.components;
    jpeg_read_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_decompress(&cinfo);
  jpeg_destroy_decompress(&cinfo);
  return image;
}

/// What EncodeFixture writes.
struct FixtureLayout {
  int width = 0;
  int height = 0;
  int components = 3;
  J_COLOR_SPACE input = JCS_RGB;
  J_COLOR_SPACE stored = JCS_YCbCr;
  bool adobeMarker = true;  ///< only looked at for CMYK and YCCK
  int quality = 100;
  const jpeg_scan_info* scans = nullptr;  ///< a progressive scan script, or none
  int scanCount = 0;
};

/// Runs @p body on a compressor that writes to memory, then finishes it; answers the stream.
template <typename Body>
Bytes Compress(Body&& body) {
  jpeg_compress_struct cinfo;
  jpeg_error_mgr errors;
  cinfo.err = jpeg_std_error(&errors);
  jpeg_create_compress(&cinfo);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&cinfo, &buffer, &size);
  body(cinfo);
  jpeg_finish_compress(&cinfo);
  Bytes out(buffer, buffer + size);
  std::free(buffer);
  jpeg_destroy_compress(&cinfo);
  return out;
}

/// Encodes top-down rows of @p layout.components bytes per pixel with the plain libjpeg API.
inline Bytes EncodeFixture(const Bytes& pixels, const FixtureLayout& layout) {
  return Compress([&](jpeg_compress_struct& cinfo) {
    cinfo.image_width = static_cast<JDIMENSION>(layout.width);
    cinfo.image_height = static_cast<JDIMENSION>(layout.height);
    cinfo.input_components = layout.components;
    cinfo.in_color_space = layout.input;
    jpeg_set_defaults(&cinfo);
    jpeg_set_colorspace(&cinfo, layout.stored);
    if (layout.stored == JCS_CMYK || layout.stored == JCS_YCCK) {
      cinfo.write_Adobe_marker = layout.adobeMarker ? TRUE : FALSE;
    }
    jpeg_set_quality(&cinfo, layout.quality, TRUE);
    if (layout.scans != nullptr) {
      cinfo.scan_info = layout.scans;
      cinfo.num_scans = layout.scanCount;
    }
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
      auto* row = const_cast<JSAMPROW>(pixels.data() + static_cast<size_t>(cinfo.next_scanline) *
                                                           layout.width * layout.components);
      jpeg_write_scanlines(&cinfo, &row, 1);
    }
  });
}

/// Rewrites a stream losslessly as a progressive one (libjpeg's standard scan script).
inline Bytes MakeProgressive(const Bytes& jpeg) {
  jpeg_decompress_struct in;
  jpeg_error_mgr inErrors;
  in.err = jpeg_std_error(&inErrors);
  jpeg_create_decompress(&in);
  jpeg_mem_src(&in, jpeg.data(), static_cast<unsigned long>(jpeg.size()));
  jpeg_read_header(&in, TRUE);
  jvirt_barray_ptr* coefficients = jpeg_read_coefficients(&in);
  Bytes result = Compress([&](jpeg_compress_struct& out) {
    jpeg_copy_critical_parameters(&in, &out);
    jpeg_simple_progression(&out);
    jpeg_write_coefficients(&out, coefficients);
  });
  jpeg_finish_decompress(&in);
  jpeg_destroy_decompress(&in);
  return result;
}

/// One marker segment: the marker byte (after FF), where its payload starts and how long it is.
struct Segment {
  uint8_t marker = 0;
  size_t payload = 0;
  size_t length = 0;
};

/// The segments from SOI up to and including the first SOS.
inline std::vector<Segment> SegmentsOf(const Bytes& jpeg) {
  std::vector<Segment> segments;
  size_t pos = 2;
  while (pos + 4 <= jpeg.size() && jpeg[pos] == 0xFF) {
    Segment segment;
    segment.marker = jpeg[pos + 1];
    size_t length = (size_t{jpeg[pos + 2]} << 8) | jpeg[pos + 3];
    segment.payload = pos + 4;
    segment.length = length - 2;
    segments.push_back(segment);
    if (segment.marker == 0xDA) break;
    pos += 2 + length;
  }
  return segments;
}

}  // namespace corvella::codec::test
