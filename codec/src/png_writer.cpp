// PNG files through libpng's sequential writer, into memory.

#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <new>
#include <string>

#include "corvella/codec/picture_writer.h"
#include "corvella/platform/error.h"

// libpng reports a fatal error through the error function, which longjmps to the target set in
// WriteRows. That function and every frame a longjmp may cross hold only trivially destructible
// objects; the output vector lives in EncodePng, which calls WriteRows and raises after it has
// returned. The write callback never lets an exception reach libpng: a failed allocation there is
// noted and turned into a libpng error.

namespace corvella::codec {

namespace {

struct PngOut {
  png_structp png;
  png_infop info;
  std::vector<uint8_t>* bytes;
  bool outOfMemory;
  char message[160];
};

void OnError(png_structp png, png_const_charp message) {
  auto* out = static_cast<PngOut*>(png_get_error_ptr(png));
  std::snprintf(out->message, sizeof out->message, "%s", message);
  png_longjmp(png, 1);
}

void OnWarning(png_structp /*png*/, png_const_charp /*message*/) {
}

void WriteToMemory(png_structp png, png_bytep data, size_t count) {
  auto* out = static_cast<PngOut*>(png_get_io_ptr(png));
  try {
    out->bytes->insert(out->bytes->end(), data, data + count);
  } catch (const std::bad_alloc&) {
    out->outOfMemory = true;
  }
  if (out->outOfMemory) png_error(png, "out of memory");
}

void FlushNothing(png_structp /*png*/) {
}

bool WriteRows(PngOut* out, const imaging::ConstImageView* source) {
  if (setjmp(png_jmpbuf(out->png)) != 0) return false;
  png_structp png = out->png;
  png_set_user_limits(png, PNG_UINT_31_MAX, PNG_UINT_31_MAX);
  png_set_IHDR(png, out->info, static_cast<png_uint_32>(source->width),
               static_cast<png_uint_32>(source->height), 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, out->info);
  png_set_bgr(png);  // the rows are blue, green, red
  for (int32_t y = 0; y < source->height; ++y)
    png_write_row(png, source->Row(y));
  png_write_end(png, nullptr);
  return true;
}

struct PngDestroyer {
  PngOut* out;
  ~PngDestroyer() { png_destroy_write_struct(&out->png, &out->info); }
};

}  // namespace

std::vector<uint8_t> EncodePng(const imaging::ConstImageView& source) {
  if (source.Empty()) {
    platform::Raise(platform::RuntimeError::InvalidProcedureCall, "PNG: the image is empty");
  }
  std::vector<uint8_t> bytes;
  PngOut out{};
  out.bytes = &bytes;
  out.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &out, OnError, OnWarning);
  if (out.png == nullptr) throw std::bad_alloc();
  PngDestroyer destroyer{&out};
  out.info = png_create_info_struct(out.png);
  if (out.info == nullptr) throw std::bad_alloc();
  png_set_write_fn(out.png, &out, WriteToMemory, FlushNothing);

  if (!WriteRows(&out, &source)) {
    if (out.outOfMemory) throw std::bad_alloc();
    platform::Raise(platform::RuntimeError::InvalidProcedureCall,
                    std::string("PNG: ") + out.message);
  }
  return bytes;
}

}  // namespace corvella::codec
