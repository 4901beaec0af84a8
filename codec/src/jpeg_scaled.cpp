// Reduced JPEG decoding: picks the libjpeg scale N/8 that still covers a target size and decodes
// straight into the caller's rows at that scale.

#include "corvella/codec/jpeg_scaled.h"

// libjpeg's headers need size_t and FILE declared first.
#include <climits>
#include <csetjmp>
#include <cstddef>
#include <cstdio>

#include <jerror.h>
#include <jpeglib.h>

#include "corvella/imaging/pixel_limit.h"

// As in the codec: libjpeg's fatal errors longjmp back to RunScaledDecode, and every frame that a
// jump may cross holds only trivially destructible objects.

namespace corvella::codec {

namespace {

struct ScaledDecode {
  jpeg_decompress_struct cinfo;
  jpeg_error_mgr errors;
  jpeg_progress_mgr progress;
  jmp_buf jump;
  JpegCode code;
  char reason[JMSG_LENGTH_MAX];
  const uint8_t* data;
  size_t size;
  int32_t eighths;
  imaging::ImageView target;
};

ScaledDecode* JobOf(j_common_ptr cinfo) {
  // The error manager is the record's second member; libjpeg hands back the decompressor.
  return reinterpret_cast<ScaledDecode*>(reinterpret_cast<char*>(cinfo) -
                                         offsetof(ScaledDecode, cinfo));
}

[[noreturn]] void Stop(j_common_ptr cinfo, JpegCode code, const char* reason) {
  ScaledDecode* job = JobOf(cinfo);
  job->code = code;
  std::snprintf(job->reason, sizeof job->reason, "%s", reason);
  std::longjmp(job->jump, 1);
}

[[noreturn]] void OnFatalError(j_common_ptr cinfo) {
  ScaledDecode* job = JobOf(cinfo);
  const int message = job->errors.msg_code;
  job->code = message == JERR_NO_SOI || message == JERR_INPUT_EMPTY ? JpegCode::NotJpeg
              : message == JERR_OUT_OF_MEMORY                        ? JpegCode::OutOfMemory
              : message == JERR_NO_BACKING_STORE                     ? JpegCode::ResourceLimit
              : message == JERR_BAD_PRECISION || message == JERR_CONVERSION_NOTIMPL
                  ? JpegCode::Unsupported
                  : JpegCode::CorruptStream;
  (*job->errors.format_message)(cinfo, job->reason);
  std::longjmp(job->jump, 1);
}

void OnMessage(j_common_ptr cinfo, int level) {
  if (level < 0) ++cinfo->err->num_warnings;
}

void OnOutput(j_common_ptr /*cinfo*/) {
}

void OnProgress(j_common_ptr cinfo) {
  if (reinterpret_cast<j_decompress_ptr>(cinfo)->input_scan_number > kJpegMaxScans) {
    Stop(cinfo, JpegCode::ResourceLimit, "too many progressive scans");
  }
}

// The working memory that the frame justifies: whole-image coefficient buffers (a multi-scan
// stream keeps them at full size, whatever the output scale) plus row buffers and tables.
long MemoryBudget(const jpeg_decompress_struct& cinfo) {
  uint64_t bytes = 0;
  for (int i = 0; i < cinfo.num_components; ++i) {
    const jpeg_component_info& component = cinfo.comp_info[i];
    const uint64_t h = static_cast<uint64_t>(component.h_samp_factor);
    const uint64_t v = static_cast<uint64_t>(component.v_samp_factor);
    bytes += (component.width_in_blocks + h) * (component.height_in_blocks + v) * sizeof(JBLOCK);
  }
  bytes += uint64_t{cinfo.image_width} * 2048 + (uint64_t{32} << 20);
  return bytes > static_cast<uint64_t>(LONG_MAX) ? LONG_MAX : static_cast<long>(bytes);
}

// True when every component's DC coefficients are known to full precision. Called between scans,
// where coef_bits describes the scans completed so far.
bool DcComplete(const jpeg_decompress_struct& cinfo) {
  for (int c = 0; c < cinfo.num_components; ++c) {
    if (cinfo.coef_bits[c][0] != 0) return false;
  }
  return true;
}

void DecodeSteps(ScaledDecode* job) {
  j_decompress_ptr cinfo = &job->cinfo;
  auto* common = reinterpret_cast<j_common_ptr>(cinfo);
  jpeg_create_decompress(cinfo);
  cinfo->progress = &job->progress;
  jpeg_mem_src(cinfo, job->data, static_cast<unsigned long>(job->size));
  jpeg_read_header(cinfo, TRUE);
  if (!imaging::WithinPixelLimit(cinfo->image_width, cinfo->image_height)) {
    Stop(common, JpegCode::PixelLimit, "the image exceeds the pixel limit");
  }
  if (cinfo->num_components != 1 && cinfo->num_components != 3) {
    Stop(common, JpegCode::Unsupported, "not a grey or three-component stream");
  }
  cinfo->out_color_space = JCS_EXT_BGR;
  cinfo->scale_num = static_cast<unsigned>(job->eighths);
  cinfo->scale_denom = 8;
  cinfo->dct_method = JDCT_ISLOW;
  cinfo->mem->max_memory_to_use = MemoryBudget(*cinfo);
  // At 1/8 each output pixel is its block's DC coefficient alone, so a progressive stream is read
  // only until its DC scans are complete: the AC scans (most of the file) cannot change the
  // output. The output is the same as after reading every scan; block smoothing, which guesses
  // AC coefficients that are still missing, stays off so that it cannot differ.
  const bool dcOnly = cinfo->progressive_mode && job->eighths == 1;
  if (dcOnly) {
    cinfo->buffered_image = TRUE;
    cinfo->do_block_smoothing = FALSE;
  }
  jpeg_start_decompress(cinfo);
  if (dcOnly) {
    for (;;) {
      const int event = jpeg_consume_input(cinfo);
      if (event == JPEG_REACHED_EOI || event == JPEG_SUSPENDED) break;
      if (event == JPEG_SCAN_COMPLETED && DcComplete(*cinfo)) break;
      if (cinfo->input_scan_number > kJpegMaxScans) {
        Stop(common, JpegCode::ResourceLimit, "too many progressive scans");
      }
    }
    jpeg_start_output(cinfo, cinfo->input_scan_number);
  }
  // Rows are written blindly: the output must be exactly the target.
  if (cinfo->output_width != static_cast<JDIMENSION>(job->target.width) ||
      cinfo->output_height != static_cast<JDIMENSION>(job->target.height) ||
      cinfo->output_components != 3) {
    Stop(common, JpegCode::SizeMismatch, "the scaled size differs from the bitmap's");
  }
  constexpr JDIMENSION kBatch = 16;
  JSAMPROW rows[kBatch];
  while (cinfo->output_scanline < cinfo->output_height) {
    const JDIMENSION y = cinfo->output_scanline;
    const JDIMENSION count = cinfo->output_height - y < kBatch ? cinfo->output_height - y : kBatch;
    for (JDIMENSION i = 0; i < count; ++i) {
      rows[i] = job->target.Row(static_cast<int32_t>(y + i));
    }
    if (jpeg_read_scanlines(cinfo, rows, count) == 0) {
      Stop(common, JpegCode::CorruptStream, "the decoder made no progress");
    }
  }
}

JpegCode RunScaledDecode(ScaledDecode* job) {
  jpeg_std_error(&job->errors);
  job->errors.error_exit = OnFatalError;
  job->errors.emit_message = OnMessage;
  job->errors.output_message = OnOutput;
  job->cinfo.err = &job->errors;
  job->progress.progress_monitor = OnProgress;
  job->code = JpegCode::Ok;
  job->reason[0] = '\0';
  if (setjmp(job->jump) != 0) {
    jpeg_destroy_decompress(&job->cinfo);
    return job->code;
  }
  DecodeSteps(job);
  jpeg_destroy_decompress(&job->cinfo);
  return JpegCode::Ok;
}

int32_t ScaledSide(int32_t side, int32_t eighths) {
  return static_cast<int32_t>((int64_t{side} * eighths + 7) / 8);
}

}  // namespace

JpegScale ChooseJpegScale(int32_t width, int32_t height, int32_t minWidth, int32_t minHeight) {
  JpegScale scale;
  for (scale.eighths = 1; scale.eighths < 8; ++scale.eighths) {
    if (ScaledSide(width, scale.eighths) >= minWidth &&
        ScaledSide(height, scale.eighths) >= minHeight) {
      break;
    }
  }
  scale.width = ScaledSide(width, scale.eighths);
  scale.height = ScaledSide(height, scale.eighths);
  return scale;
}

JpegStatus DecodeJpegScaled(std::span<const uint8_t> stream, const JpegScale& scale,
                            const imaging::ImageView& target) {
  JpegStatus status;
  if (target.Empty() || scale.eighths < 1 || scale.eighths > 8 || stream.size() > ULONG_MAX) {
    status.code = JpegCode::InvalidArgument;
    status.reason = "unusable scale or bitmap";
    return status;
  }
  ScaledDecode job{};
  job.data = stream.data();
  job.size = stream.size();
  job.eighths = scale.eighths;
  job.target = target;
  status.code = RunScaledDecode(&job);
  status.warnings = static_cast<int32_t>(job.errors.num_warnings);
  if (!status.Ok()) status.reason = job.reason;
  return status;
}

}  // namespace corvella::codec
