// The first frame of a GIF file through giflib, from memory.

#include <gif_lib.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "corvella/codec/picture_loader.h"
#include "corvella/imaging/pixel_limit.h"
#include "loader_support.h"

namespace corvella::codec {

namespace {

[[noreturn]] void Fail(PictureFault fault, std::string context = {}) {
  detail::Refuse(PictureFormat::Gif, fault, std::move(context));
}

struct MemorySource {
  const uint8_t* data;
  size_t size;
  size_t position;
  bool exhausted;  // a read asked for more than was left
};

// giflib's input function: copies up to @p count bytes; a short count is giflib's end of file.
int ReadFromMemory(GifFileType* gif, GifByteType* out, int count) {
  auto* source = static_cast<MemorySource*>(gif->UserData);
  size_t left = source->size - source->position;
  size_t n = count <= 0 ? 0 : std::min(static_cast<size_t>(count), left);
  if (n > 0) std::memcpy(out, source->data + source->position, n);
  source->position += n;
  if (n < static_cast<size_t>(count)) source->exhausted = true;
  return static_cast<int>(n);
}

// giflib's error, or the end of the data when that is what made giflib fail (it reports a colour
// table cut short as a missing screen descriptor, for instance).
[[noreturn]] void RaiseGifError(int error, const MemorySource& source) {
  if (error == D_GIF_ERR_READ_FAILED || source.exhausted) {
    Fail(PictureFault::DataTruncated);
  }
  const char* text = GifErrorString(error);
  Fail(PictureFault::DecoderRefused, text != nullptr ? text : std::to_string(error));
}

struct GifCloser {
  void operator()(GifFileType* gif) const {
    int error = 0;
    DGifCloseFile(gif, &error);
  }
};
using GifHandle = std::unique_ptr<GifFileType, GifCloser>;

// The default colour table of a file that has none: grey levels spread evenly over the indices
// that @p codeSize bits can hold (index i is grey i for 8 bits, 0 and 255 for 1 bit).
void FillGreyRamp(uint8_t (&palette)[256][3], int codeSize) {
  const int max = (1 << std::clamp(codeSize, 1, 8)) - 1;
  for (int i = 0; i <= max; ++i) {
    std::memset(palette[i], (i * 255 + max / 2) / max, 3);
  }
}

// Decodes the image whose descriptor giflib has just read into a screen-sized target;
// @p codeSize is the frame's LZW minimum code size, its bits per pixel.
void DrawFirstFrame(GifFileType* gif, const MemorySource& source, int transparentIndex,
                    int codeSize, imaging::cDIBSection& target) {
  const GifImageDesc& frame = gif->Image;
  const ColorMapObject* colours = frame.ColorMap != nullptr ? frame.ColorMap : gif->SColorMap;

  int64_t screenWidth = gif->SWidth;
  int64_t screenHeight = gif->SHeight;
  if (screenWidth <= 0 || screenHeight <= 0) {
    screenWidth = int64_t{frame.Left} + frame.Width;
    screenHeight = int64_t{frame.Top} + frame.Height;
  }
  detail::RequirePictureSize(PictureFormat::Gif, screenWidth, screenHeight);
  if (frame.Width > 0 && frame.Height > 0 &&
      !imaging::WithinPixelLimit(frame.Width, frame.Height)) {
    Fail(PictureFault::FrameOverPixelLimit);
  }
  const imaging::ImageView picture =
      detail::PrepareTarget(PictureFormat::Gif, screenWidth, screenHeight, target);
  // What the frame does not cover is transparent, so white.
  for (int32_t y = 0; y < picture.height; ++y) {
    std::memset(picture.Row(y), 0xFF, static_cast<size_t>(picture.width) * 3);
  }
  if (frame.Width <= 0 || frame.Height <= 0) return;

  // Blue, green, red for every possible index: entries beyond the table black, the transparent
  // index white.
  uint8_t palette[256][3] = {};
  if (colours != nullptr) {
    int count = std::clamp(colours->ColorCount, 0, 256);
    for (int i = 0; i < count; ++i) {
      palette[i][0] = colours->Colors[i].Blue;
      palette[i][1] = colours->Colors[i].Green;
      palette[i][2] = colours->Colors[i].Red;
    }
  } else {
    FillGreyRamp(palette, codeSize);
  }
  if (transparentIndex >= 0 && transparentIndex < 256) {
    std::memset(palette[transparentIndex], 0xFF, 3);
  }

  // The columns of the frame that land on the screen.
  const int64_t left = frame.Left;
  const int64_t visible = std::clamp<int64_t>(screenWidth - left, 0, frame.Width);
  std::vector<GifPixelType> line(static_cast<size_t>(frame.Width));
  auto drawLine = [&](int64_t frameRow) {
    if (DGifGetLine(gif, line.data(), frame.Width) == GIF_ERROR) RaiseGifError(gif->Error, source);
    int64_t y = int64_t{frame.Top} + frameRow;
    if (y >= screenHeight || visible == 0) return;
    uint8_t* out = picture.Row(static_cast<int32_t>(y)) + left * 3;
    for (int64_t x = 0; x < visible; ++x, out += 3) {
      const uint8_t* colour = palette[line[static_cast<size_t>(x)]];
      out[0] = colour[0];
      out[1] = colour[1];
      out[2] = colour[2];
    }
  };

  if (frame.Interlace) {
    // Four passes: every 8th row from 0, every 8th from 4, every 4th from 2, every 2nd from 1.
    constexpr int kStart[] = {0, 4, 2, 1};
    constexpr int kStep[] = {8, 8, 4, 2};
    for (int pass = 0; pass < 4; ++pass) {
      for (int64_t row = kStart[pass]; row < frame.Height; row += kStep[pass])
        drawLine(row);
    }
  } else {
    // Rows below the screen are not decoded at all.
    int64_t rows = std::min<int64_t>(frame.Height, screenHeight - frame.Top);
    for (int64_t row = 0; row < rows; ++row)
      drawLine(row);
  }
}

}  // namespace

void LoadGif(std::span<const uint8_t> bytes, imaging::cDIBSection& target) {
  MemorySource source{bytes.data(), bytes.size(), 0, false};
  int error = 0;
  GifHandle gif(DGifOpen(&source, ReadFromMemory, &error));
  if (!gif) RaiseGifError(error, source);

  // Records up to the first image; a graphic control extension before it may name a transparent
  // index.
  int transparentIndex = -1;
  for (;;) {
    GifRecordType type = UNDEFINED_RECORD_TYPE;
    if (DGifGetRecordType(gif.get(), &type) == GIF_ERROR) RaiseGifError(gif->Error, source);
    switch (type) {
      case IMAGE_DESC_RECORD_TYPE:
        if (DGifGetImageDesc(gif.get()) == GIF_ERROR) RaiseGifError(gif->Error, source);
        // giflib has read up to the image data's first byte, the LZW minimum code size, and
        // keeps it to itself.
        return DrawFirstFrame(gif.get(), source, transparentIndex, source.data[source.position - 1],
                              target);
      case EXTENSION_RECORD_TYPE: {
        int code = 0;
        GifByteType* block = nullptr;
        if (DGifGetExtension(gif.get(), &code, &block) == GIF_ERROR)
          RaiseGifError(gif->Error, source);
        // The block starts with its length: flags, two bytes of delay, the transparent index.
        if (code == GRAPHICS_EXT_FUNC_CODE && block != nullptr && block[0] >= 4) {
          transparentIndex = (block[1] & 0x01) != 0 ? block[4] : -1;
        }
        while (block != nullptr) {
          if (DGifGetExtensionNext(gif.get(), &block) == GIF_ERROR)
            RaiseGifError(gif->Error, source);
        }
        break;
      }
      case TERMINATE_RECORD_TYPE:
        Fail(PictureFault::NoImage);
      default:
        Fail(PictureFault::UnexpectedRecord);
    }
  }
}

}  // namespace corvella::codec
