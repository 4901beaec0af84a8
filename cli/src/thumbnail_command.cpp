// corvella thumbnail: small pictures of many photos, fast: decoded no larger than needed,
// reduced by area averaging, turned upright by their EXIF orientation, several at a time.

#include <cctype>
#include <charconv>
#include <filesystem>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "batch_runner.h"
#include "bound_object.h"
#include "commands.h"
#include "corvella/platform/file_system.h"
#include "corvella/platform/text.h"
#include "option_scanner.h"
#include "thumbnail_maker.h"

namespace corvella::cli {

namespace {

constexpr int32_t kMaxSide = 1000000;  // a bound, not a size: thumbnails never grow

struct ThumbnailJob {
  std::vector<std::string> inputs;
  std::optional<std::string> outDir;
  std::optional<std::string> output;
  std::optional<bool> png;
  std::optional<int32_t> jobs;
  bool hasSize = false;
  ThumbnailSettings settings;
};

int32_t Side(std::string_view text, std::string_view size) {
  int32_t value = 0;
  auto [end, failure] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (failure != std::errc() || end != text.data() + text.size() || value < 1 ||
      value > kMaxSide) {
    throw UsageError("--size: '" + std::string(size) + "' is not W or WxH with sides from 1 to " +
                     std::to_string(kMaxSide));
  }
  return value;
}

void ParseSize(std::string_view text, ThumbnailSettings& settings) {
  const size_t x = text.find_first_of("xX");
  settings.boxWidth = Side(text.substr(0, x), text);
  settings.boxHeight = x == std::string_view::npos ? 0 : Side(text.substr(x + 1), text);
}

bool ParsePng(std::string_view text) {
  if (text == "png" || text == "PNG") return true;
  if (text == "jpg" || text == "jpeg" || text == "JPG" || text == "JPEG") return false;
  throw UsageError("--format: '" + std::string(text) + "' is not one of jpg, png");
}

ThumbnailJob Parse(Arguments args, bool& helpWanted) {
  ThumbnailJob job;
  OptionScanner scanner(args);
  while (scanner.Next()) {
    const std::string_view name = scanner.Current();
    if (!scanner.IsOption()) {
      job.inputs.emplace_back(name);
    } else if (name == "--help" || name == "-h") {
      helpWanted = true;
      return job;
    } else if (name == "--size") {
      ParseSize(scanner.Value(), job.settings);
      job.hasSize = true;
    } else if (name == "--out-dir") {
      job.outDir = std::string(scanner.Value());
      if (job.outDir->empty()) throw UsageError("--out-dir: the folder name is empty");
    } else if (name == "-o" || name == "--output") {
      job.output = std::string(scanner.Value());
      if (job.output->empty()) throw UsageError("-o: the file name is empty");
    } else if (name == "--quality") {
      const std::string_view text = scanner.Value();
      int32_t quality = 0;
      auto [end, failure] = std::from_chars(text.data(), text.data() + text.size(), quality);
      if (failure != std::errc() || end != text.data() + text.size() || quality < 1 ||
          quality > 100) {
        throw UsageError("--quality: '" + std::string(text) + "' is not a whole number from 1 to 100");
      }
      job.settings.quality = quality;
    } else if (name == "--format") {
      job.png = ParsePng(scanner.Value());
    } else if (name == "--jobs") {
      job.jobs = ParseJobs(scanner.Value());
    } else {
      throw UsageError("unknown option '" + std::string(name) + "'");
    }
  }
  if (job.inputs.empty()) throw UsageError("thumbnail needs at least one INPUT");
  if (!job.hasSize) throw UsageError("thumbnail needs --size W[xH]");
  if (job.outDir.has_value() == job.output.has_value()) {
    throw UsageError("thumbnail needs either --out-dir DIR or -o OUTPUT");
  }
  if (job.output && job.inputs.size() > 1) {
    throw UsageError("-o names one output; use --out-dir DIR for many inputs");
  }
  return job;
}

// Reads @p input, makes its thumbnail and writes it to @p output ("-": standard output).
void ThumbnailFile(Console& console, const ThumbnailSettings& settings, const std::string& input,
                   const std::string& output) {
  std::shared_ptr<platform::FileSystem> files = platform::CreateFileSystem();
  const platform::ByteArray bytes =
      files->ReadAll(ShellPath(console.workingFolder, platform::Utf8ToWide(input)));
  const std::vector<uint8_t> thumbnail = MakeThumbnail(bytes.Bytes(), settings);
  if (output == "-") {
    if (!WriteAll(console.out, thumbnail)) {
      platform::Raise(platform::RuntimeError::DeviceIoError, "cannot write to standard output");
    }
    return;
  }
  files->WriteFileAtomically(ShellPath(console.workingFolder, platform::Utf8ToWide(output)),
                             thumbnail);
}

int Run(Console& console, ThumbnailJob& job) {
  if (job.output) {
    const std::string& output = *job.output;
    if (output == "-" && console.outIsTerminal) {
      throw UsageError("will not write image bytes to a terminal; redirect standard output");
    }
    std::string extension = std::filesystem::path(output).extension().string();
    for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    job.settings.png = job.png.value_or(extension == ".png");
    if (output != "-") CheckOutputs(console, job.inputs, {output});
    return ReportingErrors(console, job.inputs[0], [&] {
      ThumbnailFile(console, job.settings, job.inputs[0], output);
      return kExitOk;
    });
  }

  job.settings.png = job.png.value_or(false);
  const std::string& folder = *job.outDir;
  std::vector<std::string> outputs;
  for (const std::string& input : job.inputs) {
    outputs.push_back(folder + (folder.back() == '/' ? "" : "/") +
                      std::filesystem::path(input).stem().string() +
                      (job.settings.png ? ".png" : ".jpg"));
  }
  CheckOutputs(console, job.inputs, outputs);
  std::error_code failure;
  const std::filesystem::path target = console.workingFolder / std::filesystem::path(folder);
  if (!std::filesystem::is_directory(target, failure)) {
    std::filesystem::create_directories(target, failure);
    if (failure) {
      std::fprintf(console.err, "corvella thumbnail: cannot create the output folder '%s': %s\n",
                   folder.c_str(), failure.message().c_str());
      return kExitFailed;
    }
  }
  const size_t failed =
      RunBatch(console, job.inputs, job.jobs.value_or(DefaultJobs()), [&](size_t i) {
        ThumbnailFile(console, job.settings, job.inputs[i], outputs[i]);
      });
  const size_t total = job.inputs.size();
  if (failed == 0) {
    std::fprintf(console.err, "made %zu %s in %s\n", total,
                 total == 1 ? "thumbnail" : "thumbnails", folder.c_str());
    return kExitOk;
  }
  std::fprintf(console.err, "made %zu of %zu thumbnails in %s; %zu failed\n", total - failed,
               total, folder.c_str(), failed);
  return kExitFailed;
}

}  // namespace

int RunThumbnail(Arguments args, Console& console) {
  try {
    bool helpWanted = false;
    ThumbnailJob job = Parse(args, helpWanted);
    if (helpWanted) {
      std::fputs(ThumbnailHelp().data(), console.out);
      return kExitOk;
    }
    return Run(console, job);
  } catch (const UsageError& error) {
    return ReportUsageError(console, "thumbnail", error);
  }
}

std::string_view ThumbnailHelp() {
  return R"(usage: corvella thumbnail INPUT... --size W[xH] (--out-dir DIR | -o OUTPUT)
                           [--quality N] [--format jpg|png] [--jobs N]

Makes a small picture of each INPUT (JPEG, GIF, BMP or PNG) that fits inside W x H pixels
(--size W: W pixels wide, any height), keeping its proportions; a picture already smaller keeps
its size. A JPEG is decoded at the smallest of libjpeg's scales 1/8 .. 8/8 that still covers the
thumbnail, every other format in full; the rest is reduced by averaging the area each thumbnail
pixel covers, so that fine patterns do not alias. A photo's EXIF orientation (all eight) is
applied, so the thumbnail stands upright. This is not the object's Resample: for the exact
bilinear path use 'corvella convert INPUT OUTPUT --resample W,H'.
  -o OUTPUT          the thumbnail of the one INPUT; "-" writes it to standard output. A name
                     ending in .png gives a PNG file, any other a JPEG.
  --out-dir DIR      folder of the thumbnails (made when missing), each named after its input
                     with the extension .jpg or .png
  --quality N        JPEG quality 1..100 (default 80); the JPEG is 4:2:0
  --format jpg|png   format of the thumbnails (default jpg, or by the name of OUTPUT)
  --jobs N           N files at a time (default: the number of processors); the thumbnails are
                     the same for any N
A failing file is reported as "INPUT: error NUMBER (SOURCE): DESCRIPTION" and the others go on;
a summary ends a batch, and the status is 1 when any file failed. Outputs that would overwrite
an input or each other are refused before anything is made: by name, and by file identity
where they exist.
)";
}

}  // namespace corvella::cli
