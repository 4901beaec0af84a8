#include "corvella/codec/jpeg_codec.h"

// libjpeg's headers need size_t and FILE declared first.
#include <climits>
#include <csetjmp>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include <jerror.h>
#include <jpeglib.h>

#include "corvella/imaging/pixel_limit.h"

// libjpeg reports a fatal error by calling error_exit, which must not return: ours longjmps back to
// the function that started the libjpeg sequence. Everything that a longjmp may cross (the frames
// of the Run* functions below, of libjpeg and of our callbacks) holds only trivially destructible
// objects and never throws; the C++ wrappers that own strings and vectors call the Run* functions
// and look at the result afterwards.

namespace corvella::codec {

namespace {

constexpr size_t kReasonLength = JMSG_LENGTH_MAX;

// The error manager shared by decoder and encoder: libjpeg's fields first, then where to jump and
// what went wrong.
struct ErrorManager {
  jpeg_error_mgr pub;
  jmp_buf jump;
  JpegCode code;
  char reason[kReasonLength];
  bool refuseTruncation;  // a whole-image decode: data that ends before the pixels is a failure
  bool dataEnded;         // the source ran out and libjpeg was given an end-of-image marker
};

ErrorManager* ErrorsOf(j_common_ptr cinfo) {
  return reinterpret_cast<ErrorManager*>(cinfo->err);
}

// Sorts libjpeg's fatal messages into our result codes.
JpegCode CodeForMessage(int messageCode, bool decoding) {
  switch (messageCode) {
    case JERR_INPUT_EMPTY:
    case JERR_NO_SOI:
      return JpegCode::NotJpeg;
    case JERR_OUT_OF_MEMORY:
      return JpegCode::OutOfMemory;
    case JERR_NO_BACKING_STORE:  // the working memory would exceed max_memory_to_use
      return JpegCode::ResourceLimit;
    case JERR_BAD_PRECISION:
    case JERR_CONVERSION_NOTIMPL:
    case JERR_NOT_COMPILED:
      return decoding ? JpegCode::Unsupported : JpegCode::EncodeFailed;
    default:
      return decoding ? JpegCode::CorruptStream : JpegCode::EncodeFailed;
  }
}

[[noreturn]] void OnFatalError(j_common_ptr cinfo) {
  ErrorManager* errors = ErrorsOf(cinfo);
  if (errors->code == JpegCode::Ok) {
    errors->code = CodeForMessage(errors->pub.msg_code, cinfo->is_decompressor != 0);
    (*errors->pub.format_message)(cinfo, errors->reason);
  }
  std::longjmp(errors->jump, 1);
}

// Stops the running sequence with one of our own codes.
[[noreturn]] void Stop(j_common_ptr cinfo, JpegCode code, const char* reason) {
  ErrorManager* errors = ErrorsOf(cinfo);
  errors->code = code;
  std::snprintf(errors->reason, kReasonLength, "%s", reason);
  std::longjmp(errors->jump, 1);
}

// Whether the data ran out before the pixels did, judged when libjpeg warns. The source warns
// when it has no bytes left (JWRN_JPEG_EOF) and hands libjpeg an end-of-image marker; the entropy
// decoder reads a few bytes ahead, so that warning alone also comes at the end of a complete
// stream that lacks its own end-of-image marker. The data is short when the source ran out before
// the last row of blocks of the scan being read, or when the entropy decoder then needed bits that
// were not there (JWRN_HIT_MARKER). A progressive stream is refused only while its first scan is
// incomplete; later scans only refine the picture.
bool DataEndedEarly(j_decompress_ptr cinfo, const ErrorManager& errors) {
  if (cinfo->progressive_mode && cinfo->input_scan_number > 1) return false;
  const int code = errors.pub.msg_code;
  if (code == JWRN_JPEG_EOF) return cinfo->input_iMCU_row + 1 < cinfo->total_iMCU_rows;
  return code == JWRN_HIT_MARKER && errors.dataEnded;
}

// Warnings (level -1) are counted, never printed; trace messages are dropped. Data that ends
// before the pixels do stops a whole-image decode.
void OnMessage(j_common_ptr cinfo, int level) {
  if (level >= 0) return;
  ++cinfo->err->num_warnings;
  ErrorManager* errors = ErrorsOf(cinfo);
  if (!errors->refuseTruncation || cinfo->is_decompressor == 0) return;
  auto* decompress = reinterpret_cast<j_decompress_ptr>(cinfo);
  if (errors->pub.msg_code == JWRN_JPEG_EOF) errors->dataEnded = true;
  if (DataEndedEarly(decompress, *errors)) {
    Stop(cinfo, JpegCode::Truncated, "the data ends before the image does");
  }
}

void OnOutput(j_common_ptr /*cinfo*/) {
}

void InitErrors(ErrorManager& errors) {
  jpeg_std_error(&errors.pub);
  errors.pub.error_exit = OnFatalError;
  errors.pub.emit_message = OnMessage;
  errors.pub.output_message = OnOutput;
  errors.code = JpegCode::Ok;
  errors.reason[0] = '\0';
  errors.refuseTruncation = false;
  errors.dataEnded = false;
}

// ---------------------------------------------------------------------------------------------
// Decoding

// Everything one decode needs, in one trivially destructible record.
struct DecodeJob {
  jpeg_decompress_struct cinfo;
  ErrorManager errors;
  jpeg_progress_mgr progress;
  const uint8_t* data;
  size_t size;
  bool wholeImage;  // false: read the header only
  JpegParams params;
  // The target: top row, signed stride, size in pixels.
  uint8_t* top;
  ptrdiff_t stride;
  int32_t width;
  int32_t height;
};

void OnProgress(j_common_ptr cinfo) {
  if (cinfo->is_decompressor == 0) return;
  auto* decompress = reinterpret_cast<j_decompress_ptr>(cinfo);
  if (decompress->input_scan_number > kJpegMaxScans) {
    Stop(cinfo, JpegCode::ResourceLimit, "too many progressive scans");
  }
}

uint64_t RoundUp(uint64_t value, uint64_t step) {
  return step == 0 ? value : (value + step - 1) / step * step;
}

// The working memory that a frame justifies, for libjpeg's max_memory_to_use: the coefficient
// buffers that a multi-scan stream keeps for the whole image (one block of 64 coefficients per
// 8 x 8 samples of every component, padded to whole MCUs), plus an allowance for the row buffers
// and tables that libjpeg has allocated before it asks for them (2 KiB per column and 32 MiB).
long MemoryBudget(const jpeg_decompress_struct& cinfo) {
  uint64_t bytes = 0;
  for (int i = 0; i < cinfo.num_components; ++i) {
    const jpeg_component_info& component = cinfo.comp_info[i];
    uint64_t blocksWide = RoundUp(component.width_in_blocks, component.h_samp_factor);
    uint64_t blocksHigh = RoundUp(component.height_in_blocks, component.v_samp_factor);
    bytes += blocksWide * blocksHigh * sizeof(JBLOCK);
  }
  bytes += uint64_t{cinfo.image_width} * 2048;
  bytes += uint64_t{32} << 20;
  return bytes > static_cast<uint64_t>(LONG_MAX) ? LONG_MAX : static_cast<long>(bytes);
}

// CMYK to BGR. Adobe's encoders store the inks inverted (255 is no ink); other streams store the
// ink itself. Each channel is (255 - ink) x (255 - black) / 255, rounded.
uint8_t InkToLight(unsigned light, unsigned black) {
  unsigned product = light * black + 128;
  return static_cast<uint8_t>((product + (product >> 8)) >> 8);
}

void CmykRowToBgr(const uint8_t* cmyk, uint8_t* bgr, int32_t width, bool inverted) {
  const unsigned flip = inverted ? 0 : 255;
  for (int32_t x = 0; x < width; ++x, cmyk += 4, bgr += 3) {
    unsigned black = cmyk[3] ^ flip;
    bgr[0] = InkToLight(cmyk[2] ^ flip, black);
    bgr[1] = InkToLight(cmyk[1] ^ flip, black);
    bgr[2] = InkToLight(cmyk[0] ^ flip, black);
  }
}

// The body of a decode, reached from RunDecode once its jump target is set. libjpeg may longjmp
// out of here at any call.
void DecodeSteps(DecodeJob* job) {
  j_decompress_ptr cinfo = &job->cinfo;
  jpeg_create_decompress(cinfo);
  cinfo->progress = &job->progress;
  jpeg_mem_src(cinfo, job->data, static_cast<unsigned long>(job->size));
  jpeg_read_header(cinfo, TRUE);
  job->params.width = static_cast<int32_t>(cinfo->image_width);
  job->params.height = static_cast<int32_t>(cinfo->image_height);
  job->params.channels = cinfo->num_components;
  if (!job->wholeImage) return;

  // Refuse before libjpeg allocates anything for the frame.
  if (!imaging::WithinPixelLimit(cinfo->image_width, cinfo->image_height)) {
    Stop(reinterpret_cast<j_common_ptr>(cinfo), JpegCode::PixelLimit,
         "the image exceeds the pixel limit");
  }
  if (cinfo->image_width != static_cast<JDIMENSION>(job->width) ||
      cinfo->image_height != static_cast<JDIMENSION>(job->height)) {
    Stop(reinterpret_cast<j_common_ptr>(cinfo), JpegCode::SizeMismatch,
         "the image size differs from the bitmap's");
  }
  bool cmyk = false;
  switch (cinfo->num_components) {
    case 1:
    case 3:
      cinfo->out_color_space = JCS_EXT_BGR;
      break;
    case 4:
      if (cinfo->jpeg_color_space != JCS_CMYK && cinfo->jpeg_color_space != JCS_YCCK) {
        Stop(reinterpret_cast<j_common_ptr>(cinfo), JpegCode::Unsupported,
             "unsupported four-component colour space");
      }
      cinfo->out_color_space = JCS_CMYK;  // libjpeg turns YCCK into CMYK
      cmyk = true;
      break;
    default:
      Stop(reinterpret_cast<j_common_ptr>(cinfo), JpegCode::Unsupported,
           "unsupported number of colour components");
  }
  cinfo->dct_method = JDCT_ISLOW;
  cinfo->mem->max_memory_to_use = MemoryBudget(*cinfo);
  jpeg_start_decompress(cinfo);
  // At scale 1 the output has the image's size; checked again because rows are written blindly.
  if (cinfo->output_width != static_cast<JDIMENSION>(job->width) ||
      cinfo->output_height != static_cast<JDIMENSION>(job->height) ||
      cinfo->output_components != (cmyk ? 4 : 3)) {
    Stop(reinterpret_cast<j_common_ptr>(cinfo), JpegCode::SizeMismatch, "unexpected output layout");
  }

  constexpr JDIMENSION kBatch = 16;
  JSAMPROW rows[kBatch];
  JSAMPARRAY cmykRow = nullptr;
  if (cmyk) {
    cmykRow = (*cinfo->mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(cinfo), JPOOL_IMAGE,
                                          cinfo->output_width * 4, 1);
  }
  const bool invertedInks = cinfo->saw_Adobe_marker != 0;
  while (cinfo->output_scanline < cinfo->output_height) {
    JDIMENSION y = cinfo->output_scanline;
    JDIMENSION read;
    if (cmyk) {
      read = jpeg_read_scanlines(cinfo, cmykRow, 1);
      if (read == 1) {
        CmykRowToBgr(cmykRow[0], job->top + static_cast<ptrdiff_t>(y) * job->stride, job->width,
                     invertedInks);
      }
    } else {
      // Each scanline goes straight into its final row of the target.
      JDIMENSION count = cinfo->output_height - y < kBatch ? cinfo->output_height - y : kBatch;
      for (JDIMENSION i = 0; i < count; ++i) {
        rows[i] = job->top + static_cast<ptrdiff_t>(y + i) * job->stride;
      }
      read = jpeg_read_scanlines(cinfo, rows, count);
    }
    if (read == 0) {
      Stop(reinterpret_cast<j_common_ptr>(cinfo), JpegCode::CorruptStream,
           "the decoder made no progress");
    }
  }
  // The rest of the stream (normally just the end-of-image marker) is not read: trailing bytes
  // do not spoil an image that is complete.
}

// Runs one decode sequence; answers Ok or the code of the failure. The only frame between the
// jump target and libjpeg is DecodeSteps.
JpegCode RunDecode(DecodeJob* job) {
  InitErrors(job->errors);
  job->errors.refuseTruncation = job->wholeImage;
  job->cinfo.err = &job->errors.pub;
  job->progress.progress_monitor = OnProgress;
  if (setjmp(job->errors.jump) != 0) {
    jpeg_destroy_decompress(&job->cinfo);
    return job->errors.code;
  }
  DecodeSteps(job);
  jpeg_destroy_decompress(&job->cinfo);
  return JpegCode::Ok;
}

JpegStatus MakeStatus(JpegCode code, const ErrorManager& errors) {
  JpegStatus status;
  status.code = code;
  status.warnings = static_cast<int32_t>(errors.pub.num_warnings);
  if (code != JpegCode::Ok) status.reason = errors.reason;
  return status;
}

JpegStatus Refuse(JpegCode code, const char* reason) {
  JpegStatus status;
  status.code = code;
  status.reason = reason;
  return status;
}

bool UsableView(const uint8_t* top, int32_t width, int32_t height, ptrdiff_t stride) {
  if (top == nullptr || width <= 0 || height <= 0) return false;
  int64_t rowBytes = int64_t{width} * 3;
  return stride >= rowBytes || -stride >= rowBytes;
}

// ---------------------------------------------------------------------------------------------
// Encoding

struct EncodeJob {
  jpeg_compress_struct cinfo;
  ErrorManager errors;
  jpeg_destination_mgr destination;
  // The growing output, owned by the caller of RunEncode (malloc'd; freed there on every path).
  uint8_t* buffer;
  size_t capacity;
  size_t used;
  const uint8_t* top;
  ptrdiff_t stride;
  int32_t width;
  int32_t height;
  int quality;
  const uint8_t* comment;
  unsigned commentSize;
};

EncodeJob* EncodeJobOf(j_compress_ptr cinfo) {
  return static_cast<EncodeJob*>(cinfo->client_data);
}

// A first guess of the stream's size (about 2 bits per pixel), so that typical images need no
// or one reallocation; the buffer doubles when the guess is short.
size_t InitialCapacity(int32_t width, int32_t height) {
  uint64_t guess = uint64_t(width) * uint64_t(height) / 4 + 16384;
  constexpr uint64_t kMax = uint64_t{64} << 20;
  return static_cast<size_t>(guess < kMax ? guess : kMax);
}

void OnInitDestination(j_compress_ptr cinfo) {
  EncodeJob* job = EncodeJobOf(cinfo);
  job->capacity = InitialCapacity(job->width, job->height);
  job->buffer = static_cast<uint8_t*>(std::malloc(job->capacity));
  if (job->buffer == nullptr) {
    Stop(reinterpret_cast<j_common_ptr>(cinfo), JpegCode::OutOfMemory,
         "no memory for the output stream");
  }
  job->destination.next_output_byte = job->buffer;
  job->destination.free_in_buffer = job->capacity;
}

// Called when the buffer is full: doubles it and goes on after the bytes written so far.
boolean OnBufferFull(j_compress_ptr cinfo) {
  EncodeJob* job = EncodeJobOf(cinfo);
  size_t written = job->capacity;
  if (written > SIZE_MAX / 2) {
    Stop(reinterpret_cast<j_common_ptr>(cinfo), JpegCode::OutOfMemory, "output stream too large");
  }
  size_t grown = written * 2;
  auto* buffer = static_cast<uint8_t*>(std::realloc(job->buffer, grown));
  if (buffer == nullptr) {
    Stop(reinterpret_cast<j_common_ptr>(cinfo), JpegCode::OutOfMemory,
         "no memory for the output stream");
  }
  job->buffer = buffer;
  job->capacity = grown;
  job->destination.next_output_byte = buffer + written;
  job->destination.free_in_buffer = grown - written;
  return TRUE;
}

void OnTermDestination(j_compress_ptr cinfo) {
  EncodeJob* job = EncodeJobOf(cinfo);
  job->used = job->capacity - job->destination.free_in_buffer;
}

void EncodeSteps(EncodeJob* job) {
  j_compress_ptr cinfo = &job->cinfo;
  jpeg_create_compress(cinfo);
  cinfo->client_data = job;
  cinfo->dest = &job->destination;
  cinfo->image_width = static_cast<JDIMENSION>(job->width);
  cinfo->image_height = static_cast<JDIMENSION>(job->height);
  cinfo->input_components = 3;
  cinfo->in_color_space = JCS_EXT_BGR;
  jpeg_set_defaults(cinfo);  // YCbCr, JFIF header, standard Huffman tables
  jpeg_set_quality(cinfo, job->quality, TRUE);
  // 4:2:0: luma at full resolution, both chroma components halved in both directions.
  cinfo->comp_info[0].h_samp_factor = 2;
  cinfo->comp_info[0].v_samp_factor = 2;
  for (int i = 1; i < 3; ++i) {
    cinfo->comp_info[i].h_samp_factor = 1;
    cinfo->comp_info[i].v_samp_factor = 1;
  }
  cinfo->dct_method = JDCT_ISLOW;
  jpeg_start_compress(cinfo, TRUE);
  if (job->commentSize > 0) jpeg_write_marker(cinfo, JPEG_COM, job->comment, job->commentSize);

  constexpr JDIMENSION kBatch = 16;
  JSAMPROW rows[kBatch];
  while (cinfo->next_scanline < cinfo->image_height) {
    JDIMENSION y = cinfo->next_scanline;
    JDIMENSION count = cinfo->image_height - y < kBatch ? cinfo->image_height - y : kBatch;
    for (JDIMENSION i = 0; i < count; ++i) {
      // libjpeg only reads the rows it is given.
      rows[i] = const_cast<JSAMPROW>(job->top + static_cast<ptrdiff_t>(y + i) * job->stride);
    }
    if (jpeg_write_scanlines(cinfo, rows, count) == 0) {
      Stop(reinterpret_cast<j_common_ptr>(cinfo), JpegCode::EncodeFailed,
           "the encoder made no progress");
    }
  }
  jpeg_finish_compress(cinfo);
}

JpegCode RunEncode(EncodeJob* job) {
  InitErrors(job->errors);
  job->cinfo.err = &job->errors.pub;
  job->destination.init_destination = OnInitDestination;
  job->destination.empty_output_buffer = OnBufferFull;
  job->destination.term_destination = OnTermDestination;
  if (setjmp(job->errors.jump) != 0) {
    jpeg_destroy_compress(&job->cinfo);
    return job->errors.code;
  }
  EncodeSteps(job);
  jpeg_destroy_compress(&job->cinfo);
  return JpegCode::Ok;
}

}  // namespace

JpegStatus ReadJpegParams(std::span<const uint8_t> stream, JpegParams& params) {
  if (stream.size() > ULONG_MAX) return Refuse(JpegCode::InvalidArgument, "stream too large");
  DecodeJob job{};
  job.data = stream.data();
  job.size = stream.size();
  job.wholeImage = false;
  JpegCode code = RunDecode(&job);
  if (code == JpegCode::Ok) params = job.params;
  return MakeStatus(code, job.errors);
}

JpegStatus DecodeJpeg(std::span<const uint8_t> stream, const imaging::ImageView& target) {
  if (!UsableView(target.top, target.width, target.height, target.stride)) {
    return Refuse(JpegCode::InvalidArgument, "the bitmap has no usable pixel memory");
  }
  if (stream.size() > ULONG_MAX) return Refuse(JpegCode::InvalidArgument, "stream too large");
  DecodeJob job{};
  job.data = stream.data();
  job.size = stream.size();
  job.wholeImage = true;
  job.top = target.top;
  job.stride = target.stride;
  job.width = target.width;
  job.height = target.height;
  JpegCode code = RunDecode(&job);
  return MakeStatus(code, job.errors);
}

JpegStatus DecodeJpeg(std::span<const uint8_t> stream, const imaging::cDIBSection& dib) {
  return DecodeJpeg(stream, dib.View());
}

JpegStatus EncodeJpeg(const imaging::ConstImageView& source, const JpegEncodeSettings& settings,
                      std::vector<uint8_t>& stream) {
  stream.clear();
  if (!UsableView(source.top, source.width, source.height, source.stride)) {
    return Refuse(JpegCode::InvalidArgument, "the bitmap has no usable pixel memory");
  }
  constexpr size_t kMaxComment = 65533;  // a segment's length field counts itself
  if (settings.comment.size() > kMaxComment) {
    return Refuse(JpegCode::InvalidArgument, "comment longer than 65533 bytes");
  }
  EncodeJob job{};
  job.top = source.top;
  job.stride = source.stride;
  job.width = source.width;
  job.height = source.height;
  job.quality = settings.quality < 1 ? 1 : settings.quality > 100 ? 100 : settings.quality;
  job.comment = settings.comment.data();
  job.commentSize = static_cast<unsigned>(settings.comment.size());
  JpegCode code = RunEncode(&job);
  JpegStatus status = MakeStatus(code, job.errors);
  if (code == JpegCode::Ok) {
    try {
      stream.assign(job.buffer, job.buffer + job.used);
    } catch (const std::bad_alloc&) {
      status = Refuse(JpegCode::OutOfMemory, "no memory for the output stream");
    }
  }
  std::free(job.buffer);
  return status;
}

JpegStatus EncodeJpeg(const imaging::cDIBSection& dib, const JpegEncodeSettings& settings,
                      std::vector<uint8_t>& stream) {
  return EncodeJpeg(dib.ConstView(), settings, stream);
}

}  // namespace corvella::codec
