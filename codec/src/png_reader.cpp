// PNG files through libpng's sequential reader, from memory.

#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "corvella/codec/picture_loader.h"
#include "loader_support.h"

// libpng reports a fatal error by calling the error function, which must not return: ours keeps
// the message and longjmps to the jump target that libpng holds (png_jmpbuf). The functions that
// set that target (ReadHeader, ReadRows, ReadRowsOverWhite) and every frame that a longjmp may
// cross hold only trivially destructible objects; the C++ code that owns the target and the row
// tables calls them and raises after they have returned.

namespace corvella::codec {

namespace {

[[noreturn]] void Fail(PictureFault fault, std::string context = {}) {
  detail::Refuse(PictureFormat::Png, fault, std::move(context));
}

// Everything the libpng callbacks touch, in one trivially destructible record.
struct PngJob {
  png_structp png;
  png_infop info;
  const uint8_t* data;
  size_t size;
  size_t position;
  char message[160];
  // After ReadHeader: the size and the channels (3: blue, green, red; 4: with alpha) of a row as
  // libpng will deliver it.
  png_uint_32 width;
  png_uint_32 height;
  int channels;
  size_t rowBytes;
  int passes;  // 7 for an interlaced image, else 1
};

void OnError(png_structp png, png_const_charp message) {
  auto* job = static_cast<PngJob*>(png_get_error_ptr(png));
  std::snprintf(job->message, sizeof job->message, "%s", message);
  png_longjmp(png, 1);
}

void OnWarning(png_structp /*png*/, png_const_charp /*message*/) {
}

void ReadFromMemory(png_structp png, png_bytep out, size_t count) {
  auto* job = static_cast<PngJob*>(png_get_io_ptr(png));
  if (count > job->size - job->position) png_error(png, "unexpected end of file");
  if (count > 0) std::memcpy(out, job->data + job->position, count);
  job->position += count;
}

// Ancillary chunks that play no part in the pixels; libpng skips them unread (text, profiles and
// gamma included: samples are used as stored).
constexpr png_byte kIgnoredChunks[] = {
    'b', 'K', 'G', 'D', '\0', 'c', 'H', 'R', 'M', '\0', 'e', 'X', 'I', 'f', '\0',
    'g', 'A', 'M', 'A', '\0', 'h', 'I', 'S', 'T', '\0', 'i', 'C', 'C', 'P', '\0',
    'i', 'T', 'X', 't', '\0', 'o', 'F', 'F', 's', '\0', 'p', 'C', 'A', 'L', '\0',
    'p', 'H', 'Y', 's', '\0', 's', 'B', 'I', 'T', '\0', 's', 'C', 'A', 'L', '\0',
    's', 'P', 'L', 'T', '\0', 's', 'R', 'G', 'B', '\0', 't', 'E', 'X', 't', '\0',
    't', 'I', 'M', 'E', '\0', 'z', 'T', 'X', 't', '\0',
};

// Reads the header and sets up the transformations to 8-bit blue, green, red (and alpha).
void HeaderSteps(PngJob* job) {
  png_structp png = job->png;
  png_infop info = job->info;
  png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, kIgnoredChunks,
                              static_cast<int>(sizeof kIgnoredChunks / 5));
  png_read_info(png, info);
  png_uint_32 width = 0;
  png_uint_32 height = 0;
  int depth = 0;
  int colourType = 0;
  png_get_IHDR(png, info, &width, &height, &depth, &colourType, nullptr, nullptr, nullptr);
  if (colourType == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
  if (colourType == PNG_COLOR_TYPE_GRAY && depth < 8) png_set_expand_gray_1_2_4_to_8(png);
  if (png_get_valid(png, info, PNG_INFO_tRNS) != 0) png_set_tRNS_to_alpha(png);
  if (depth == 16) png_set_scale_16(png);  // rounded, not truncated
  if (colourType == PNG_COLOR_TYPE_GRAY || colourType == PNG_COLOR_TYPE_GRAY_ALPHA) {
    png_set_gray_to_rgb(png);
  }
  png_set_bgr(png);
  job->passes = png_set_interlace_handling(png);
  png_read_update_info(png, info);
  job->width = width;
  job->height = height;
  job->channels = png_get_channels(png, info);
  job->rowBytes = png_get_rowbytes(png, info);
}

bool ReadHeader(PngJob* job) {
  if (setjmp(png_jmpbuf(job->png)) != 0) return false;
  HeaderSteps(job);
  return true;
}

// Reads every row (every pass of an interlaced image) into the rows given.
bool ReadRows(PngJob* job, png_bytepp rows) {
  if (setjmp(png_jmpbuf(job->png)) != 0) return false;
  png_read_image(job->png, rows);
  return true;
}

// Blue, green, red, alpha bytes to blue, green, red over white.
void CompositeRow(const uint8_t* in, uint8_t* out, png_uint_32 width) {
  for (png_uint_32 x = 0; x < width; ++x, in += 4, out += 3) {
    const uint8_t alpha = in[3];
    out[0] = CompositeOverWhite(in[0], alpha);
    out[1] = CompositeOverWhite(in[1], alpha);
    out[2] = CompositeOverWhite(in[2], alpha);
  }
}

// Reads the rows of an image without interlacing one by one into @p scratch (one row with
// alpha) and composites each into its row of @p target.
bool ReadRowsOverWhite(PngJob* job, uint8_t* scratch, const imaging::ImageView* target) {
  if (setjmp(png_jmpbuf(job->png)) != 0) return false;
  for (png_uint_32 y = 0; y < job->height; ++y) {
    png_read_row(job->png, scratch, nullptr);
    CompositeRow(scratch, target->Row(static_cast<int32_t>(y)), job->width);
  }
  return true;
}

struct PngDestroyer {
  PngJob* job;
  ~PngDestroyer() { png_destroy_read_struct(&job->png, &job->info, nullptr); }
};

}  // namespace

void LoadPng(std::span<const uint8_t> bytes, imaging::cDIBSection& target) {
  PngJob job{};
  job.data = bytes.data();
  job.size = bytes.size();
  job.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &job, OnError, OnWarning);
  if (job.png == nullptr) throw std::bad_alloc();
  PngDestroyer destroyer{&job};
  job.info = png_create_info_struct(job.png);
  if (job.info == nullptr) throw std::bad_alloc();
  png_set_read_fn(job.png, &job, ReadFromMemory);

  if (!ReadHeader(&job)) Fail(PictureFault::DecoderRefused, job.message);
  // After the transformations every row is 8-bit blue, green, red with or without alpha.
  if ((job.channels != 3 && job.channels != 4) ||
      job.rowBytes != static_cast<size_t>(job.width) * static_cast<size_t>(job.channels)) {
    Fail(PictureFault::UnexpectedRowLayout);
  }
  const imaging::ImageView picture = detail::PrepareTarget(PictureFormat::Png, job.width, job.height, target);
  bool read = false;
  if (job.channels == 3) {
    // Straight into the target's rows.
    std::vector<png_bytep> rows(job.height);
    for (png_uint_32 y = 0; y < job.height; ++y)
      rows[y] = picture.Row(static_cast<int32_t>(y));
    read = ReadRows(&job, rows.data());
  } else if (job.passes == 1) {
    std::vector<uint8_t> scratch(job.rowBytes);
    read = ReadRowsOverWhite(&job, scratch.data(), &picture);
  } else {
    // The passes of an interlaced image revisit the rows: the whole image with alpha first.
    std::vector<uint8_t> image(job.rowBytes * job.height);
    std::vector<png_bytep> rows(job.height);
    for (png_uint_32 y = 0; y < job.height; ++y)
      rows[y] = image.data() + job.rowBytes * y;
    read = ReadRows(&job, rows.data());
    if (read) {
      for (png_uint_32 y = 0; y < job.height; ++y)
        CompositeRow(rows[y], picture.Row(static_cast<int32_t>(y)), job.width);
    }
  }
  if (!read) Fail(PictureFault::DecoderRefused, job.message);
}

}  // namespace corvella::codec
