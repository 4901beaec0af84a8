// corvella convert: opens an image, applies the operations in the order given, one member call
// each, and writes the result; with --batch, the same for many files.

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "batch_runner.h"
#include "bound_object.h"
#include "commands.h"
#include "corvella/codec/picture_writer.h"
#include "corvella/platform/file_system.h"
#include "corvella/platform/text.h"
#include "option_scanner.h"
#include "values.h"

namespace corvella::cli {

namespace {

using platform::Variant;

enum class OutputFormat { Jpeg, Png, Bmp };

// How an operation option takes its value.
enum class ValueKind : uint8_t {
  None,      // no value: a method without arguments
  Flag,      // no value: the property is set to true
  Integer,   // one whole number
  Integers,  // a comma-separated list of whole numbers
  Numbers,   // a comma-separated list of numbers
  Text,      // one text, passed as a string
};

// One option that becomes one member call.
struct Operation {
  std::string_view option;
  std::u16string_view member;
  bool property;
  ValueKind kind;
  size_t count;           // parts of a list value
  std::string_view what;  // the value's form, for messages
  bool placed;            // takes --at X,Y (AddText, AddImage)
};

constexpr Operation kOperations[] = {
    {"--resample", u"Resample", false, ValueKind::Integers, 2, "W,H", false},
    {"--crop", u"Crop", false, ValueKind::Integers, 4, "X1,Y1,X2,Y2", false},
    {"--flip", u"Flip", false, ValueKind::None, 0, "", false},
    {"--mirror", u"Mirror", false, ValueKind::None, 0, "", false},
    {"--rotate-right", u"RotateRight", false, ValueKind::None, 0, "", false},
    {"--rotate-left", u"RotateLeft", false, ValueKind::None, 0, "", false},
    {"--blur", u"Blur", false, ValueKind::None, 0, "", false},
    {"--sharpen", u"Sharpen", false, ValueKind::None, 0, "", false},
    {"--gamma", u"Gamma", false, ValueKind::Numbers, 3, "R,G,B", false},
    {"--negative", u"Negative", false, ValueKind::None, 0, "", false},
    {"--greyscale", u"GreyScale", false, ValueKind::None, 0, "", false},
    {"--grayscale", u"GreyScale", false, ValueKind::None, 0, "", false},
    {"--text", u"AddText", false, ValueKind::Text, 1, "MESSAGE", true},
    {"--overlay", u"AddImage", false, ValueKind::Text, 1, "FILE", true},
    {"--quality", u"Quality", true, ValueKind::Integer, 1, "N", false},
    {"--comment", u"Comment", true, ValueKind::Text, 1, "TEXT", false},
    {"--font-face", u"FontFace", true, ValueKind::Text, 1, "NAME", false},
    {"--font-size", u"FontSize", true, ValueKind::Integer, 1, "POINTS", false},
    {"--font-bold", u"FontBold", true, ValueKind::Flag, 0, "", false},
    {"--font-italic", u"FontItalic", true, ValueKind::Flag, 0, "", false},
    {"--font-underline", u"FontUnderline", true, ValueKind::Flag, 0, "", false},
    {"--font-color", u"FontColor", true, ValueKind::Text, 1, "RRGGBB", false},
    {"--font-orientation", u"FontOrientation", true, ValueKind::Integer, 1, "DEG", false},
    {"--font-charset", u"FontCharset", true, ValueKind::Integer, 1, "N", false},
};

const Operation* FindOperation(std::string_view option) {
  for (const Operation& operation : kOperations) {
    if (operation.option == option) return &operation;
  }
  return nullptr;
}

// One member call with its arguments, as parsed.
struct Step {
  std::u16string member;
  bool property = false;
  std::vector<Variant> args;
};

struct ConvertJob {
  bool batch = false;
  std::vector<std::string> positionals;
  std::optional<std::string> outDir;
  std::optional<OutputFormat> format;
  std::optional<int32_t> jobs;
  std::vector<Step> steps;
};

OutputFormat ParseFormat(std::string_view text) {
  std::string lower(text);
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  if (lower == "jpg" || lower == "jpeg") return OutputFormat::Jpeg;
  if (lower == "png") return OutputFormat::Png;
  if (lower == "bmp") return OutputFormat::Bmp;
  throw UsageError("--format: '" + std::string(text) + "' is not one of jpg, png, bmp");
}

std::string_view Extension(OutputFormat format) {
  switch (format) {
    case OutputFormat::Png:
      return "png";
    case OutputFormat::Bmp:
      return "bmp";
    case OutputFormat::Jpeg:
      break;
  }
  return "jpg";
}

// The format of an output file by its extension: .png and .bmp are written losslessly, anything
// else is JPEG.
OutputFormat FormatOfName(const std::string& name) {
  std::string extension = std::filesystem::path(name).extension().string();
  if (extension.size() < 2) return OutputFormat::Jpeg;
  try {
    return ParseFormat(std::string_view(extension).substr(1));
  } catch (const UsageError&) {
    return OutputFormat::Jpeg;
  }
}

// A --text or --overlay step that still waits for its --at (and, for an overlay, may take
// --trans-color).
struct Placement {
  size_t step = 0;
  std::string option;
  bool overlay = false;
  bool hasPosition = false;
  std::optional<Variant> transColor;
};

class ConvertParser {
 public:
  ConvertJob Parse(Arguments args, bool& helpWanted) {
    OptionScanner scanner(args);
    while (scanner.Next()) {
      std::string_view name = scanner.Current();
      if (!scanner.IsOption()) {
        job_.positionals.emplace_back(name);
        continue;
      }
      if (name == "--help" || name == "-h") {
        helpWanted = true;
        return {};
      }
      if (name == "--at") {
        Position(scanner.Value());
      } else if (name == "--trans-color") {
        TransColor(scanner.Value());
      } else if (name == "--batch") {
        scanner.NoValue();
        job_.batch = true;
      } else if (name == "--out-dir") {
        job_.outDir = std::string(scanner.Value());
        if (job_.outDir->empty()) throw UsageError("--out-dir: the folder name is empty");
      } else if (name == "--format") {
        job_.format = ParseFormat(scanner.Value());
      } else if (name == "--jobs") {
        job_.jobs = ParseJobs(scanner.Value());
      } else if (const Operation* operation = FindOperation(name)) {
        Add(*operation, scanner);
      } else {
        throw UsageError("unknown option '" + std::string(name) + "'");
      }
    }
    FinishPlacement();
    return std::move(job_);
  }

 private:
  void Add(const Operation& operation, OptionScanner& scanner) {
    FinishPlacement();
    Step step;
    step.member = operation.member;
    step.property = operation.property;
    const std::string_view option = operation.option;
    switch (operation.kind) {
      case ValueKind::None:
        scanner.NoValue();
        break;
      case ValueKind::Flag:
        scanner.NoValue();
        step.args.push_back(Variant::Bool(true));
        break;
      case ValueKind::Integer:
        step.args.push_back(IntegerValue(option, scanner.Value()));
        break;
      case ValueKind::Integers:
        for (std::string_view part :
             SplitList(option, operation.what, scanner.Value(), operation.count)) {
          step.args.push_back(IntegerValue(option, part));
        }
        break;
      case ValueKind::Numbers:
        for (std::string_view part :
             SplitList(option, operation.what, scanner.Value(), operation.count)) {
          step.args.push_back(NumberValue(option, part));
        }
        break;
      case ValueKind::Text:
        step.args.push_back(TextValue(scanner.Value()));
        break;
    }
    job_.steps.push_back(std::move(step));
    if (operation.placed) {
      placement_.emplace();
      placement_->step = job_.steps.size() - 1;
      placement_->option = option;
      placement_->overlay = operation.member == u"AddImage";
    }
  }

  void Position(std::string_view text) {
    if (!placement_ || placement_->hasPosition) {
      throw UsageError("--at X,Y must follow --text MESSAGE or --overlay FILE");
    }
    std::vector<std::string_view> parts = SplitList("--at", "X,Y", text, 2);
    Step& step = job_.steps[placement_->step];
    step.args.push_back(PositionValue("--at", parts[0]));
    step.args.push_back(PositionValue("--at", parts[1]));
    placement_->hasPosition = true;
  }

  void TransColor(std::string_view text) {
    if (!placement_ || !placement_->overlay || placement_->transColor) {
      throw UsageError("--trans-color RRGGBB must follow --overlay FILE");
    }
    placement_->transColor = TextValue(text);
  }

  // Completes the pending --text or --overlay: its position is required.
  void FinishPlacement() {
    if (!placement_) return;
    if (!placement_->hasPosition) throw UsageError(placement_->option + " needs --at X,Y");
    if (placement_->transColor) {
      job_.steps[placement_->step].args.push_back(std::move(*placement_->transColor));
    }
    placement_.reset();
  }

  ConvertJob job_;
  std::optional<Placement> placement_;
};

// Makes sure that a JPEG output is a JPEG: an image that no operation decoded is passed through
// unchanged by SaveFile and SaveBinary, which is right for a JPEG (a byte-for-byte copy) but
// would give a GIF, BMP or PNG a .jpg name. Such an image is decoded, so that it is encoded anew.
void EncodeAsJpeg(BoundObject& object) {
  const component::PictronState& state = object.Object().State();
  if (state.blDecoded == 0 && state.strFormat != u"JPEG") object.Object().DecodedImage();
}

// The working image as a PNG or BMP file.
std::vector<uint8_t> LosslessBytes(BoundObject& object, OutputFormat format) {
  const imaging::cDIBSection* image = object.Object().DecodedImage();
  return format == OutputFormat::Png ? codec::EncodePng(image->View())
                                     : codec::EncodeBmp(image->View());
}

void WriteToStandardOutput(Console& console, std::span<const uint8_t> bytes) {
  if (!WriteAll(console.out, bytes)) {
    platform::Raise(platform::RuntimeError::DeviceIoError, "cannot write to standard output");
  }
}

// Opens @p input, applies the steps, and writes @p output ("-": standard output) as @p format.
void ConvertFile(Console& console, const ConvertJob& job, const std::string& input,
                 const std::string& output, OutputFormat format) {
  BoundObject object(console.workingFolder);
  Variant name(platform::Utf8ToWide(input));
  object.Call(u"OpenFile", std::span(&name, 1));
  for (const Step& step : job.steps) {
    // Members may write in/out arguments back: each file gets fresh copies.
    std::vector<Variant> args = step.args;
    if (step.property) {
      object.Put(step.member, std::move(args.front()));
    } else {
      object.Call(step.member, args);
    }
  }

  if (format != OutputFormat::Jpeg) {
    std::vector<uint8_t> bytes = LosslessBytes(object, format);
    if (output == "-") {
      WriteToStandardOutput(console, bytes);
    } else {
      std::u16string path = object.PhysicalPath(platform::Utf8ToWide(output));
      platform::CreateFileSystem()->WriteFileAtomically(path, bytes);
    }
    return;
  }
  EncodeAsJpeg(object);
  if (output == "-") {
    Variant bytes;
    object.Call(u"SaveBinary", std::span(&bytes, 1));
    WriteToStandardOutput(console, bytes.AsByteArray().Bytes());
  } else {
    Variant target(platform::Utf8ToWide(output));
    object.Call(u"SaveFile", std::span(&target, 1));
  }
}

int ConvertOne(Console& console, const ConvertJob& job) {
  if (job.positionals.size() != 2) {
    throw UsageError(job.positionals.size() < 2 ? "convert needs INPUT and OUTPUT"
                                                : "too many files: '" + job.positionals[2] +
                                                      "' (use --batch to convert many files)");
  }
  if (job.outDir) throw UsageError("--out-dir applies to --batch only");
  if (job.jobs) throw UsageError("--jobs applies to --batch only");
  const std::string& input = job.positionals[0];
  const std::string& output = job.positionals[1];
  if (output.empty()) throw UsageError("OUTPUT is empty");
  if (job.format && output != "-") {
    throw UsageError("--format applies to --batch and to the output '-'; the name '" + output +
                     "' says the format");
  }
  if (output == "-" && console.outIsTerminal) {
    throw UsageError("will not write image bytes to a terminal; redirect standard output");
  }
  OutputFormat format =
      output == "-" ? job.format.value_or(OutputFormat::Jpeg) : FormatOfName(output);
  return ReportingErrors(console, {}, [&] {
    ConvertFile(console, job, input, output, format);
    return kExitOk;
  });
}

int ConvertBatch(Console& console, const ConvertJob& job) {
  if (!job.outDir) throw UsageError("--batch needs --out-dir DIR");
  if (job.positionals.empty()) throw UsageError("--batch needs at least one INPUT");
  const OutputFormat format = job.format.value_or(OutputFormat::Jpeg);
  const std::string folder = *job.outDir;

  // Every output name is made and checked before anything is converted, so that no output can
  // overwrite an input or another file's output.
  std::vector<std::string> outputs;
  for (const std::string& input : job.positionals) {
    std::string stem = std::filesystem::path(input).stem().string();
    outputs.push_back(folder + (folder.back() == '/' ? "" : "/") + stem + "." +
                      std::string(Extension(format)));
  }
  CheckOutputs(console, job.positionals, outputs);

  std::error_code failure;
  std::filesystem::path target = console.workingFolder / std::filesystem::path(folder);
  if (!std::filesystem::is_directory(target, failure)) {
    std::filesystem::create_directories(target, failure);
    if (failure) {
      std::fprintf(console.err, "corvella convert: cannot create the output folder '%s': %s\n",
                   folder.c_str(), failure.message().c_str());
      return kExitFailed;
    }
  }

  const size_t failed =
      RunBatch(console, job.positionals, job.jobs.value_or(DefaultJobs()), [&](size_t i) {
        ConvertFile(console, job, job.positionals[i], outputs[i], format);
      });

  const size_t total = job.positionals.size();
  if (failed == 0) {
    std::fprintf(console.err, "converted %zu %s into %s\n", total, total == 1 ? "file" : "files",
                 folder.c_str());
    return kExitOk;
  }
  std::fprintf(console.err, "converted %zu of %zu files into %s; %zu failed\n", total - failed,
               total, folder.c_str(), failed);
  return kExitFailed;
}

}  // namespace

int RunConvert(Arguments args, Console& console) {
  try {
    bool helpWanted = false;
    ConvertJob job = ConvertParser().Parse(args, helpWanted);
    if (helpWanted) {
      std::fputs(ConvertHelp().data(), console.out);
      return kExitOk;
    }
    return job.batch ? ConvertBatch(console, job) : ConvertOne(console, job);
  } catch (const UsageError& error) {
    return ReportUsageError(console, "convert", error);
  }
}

std::string_view ConvertHelp() {
  return R"(usage: corvella convert INPUT OUTPUT [OPERATION...]
       corvella convert --batch --out-dir DIR [--format jpg|png|bmp] [--jobs N] [OPERATION...]
                        INPUT...

Opens INPUT (JPEG, GIF, BMP or PNG) with OpenFile, applies the operations in the order given,
each one call of the object's member of that name, and saves the result to OUTPUT with SaveFile.
  OUTPUT "-"        writes the image bytes (SaveBinary) to standard output; --format png|bmp
                    writes a lossless file there instead.
  OUTPUT *.png      writes the working image losslessly as PNG (8-bit RGB).
  OUTPUT *.bmp      writes the working image losslessly as a 24-bit BMP.
  any other OUTPUT  is written as JPEG. A JPEG input that no operation touched is copied byte for
                    byte; a GIF, BMP or PNG input is always encoded anew as JPEG (the command sets
                    Quality to the object's quality, 80 unless --quality says otherwise).
File names are ordinary paths, relative to the working folder or absolute; they are taken
literally ("100%25.jpg" is a file of that name). A name that contains a backslash is passed on
as it is.

Operations (applied in order; a setting applies to the operations after it):
  --resample W,H            Resample to W x H pixels; 0 for one side keeps the proportions
  --crop X1,Y1,X2,Y2        Crop to the pixels from (X1,Y1) up to, not including, (X2,Y2)
  --flip                    Flip (top to bottom)
  --mirror                  Mirror (left to right)
  --rotate-right            RotateRight by a quarter turn clockwise
  --rotate-left             RotateLeft by a quarter turn anticlockwise
  --blur                    Blur with a 3 x 3 kernel
  --sharpen                 Sharpen with a 3 x 3 kernel
  --gamma R,G,B             Gamma per colour channel (each greater than 0, at most 255)
  --negative                Negative
  --greyscale               GreyScale (also --grayscale)
  --text MESSAGE --at X,Y   AddText: draws MESSAGE with the current font settings
  --overlay FILE --at X,Y [--trans-color RRGGBB]
                            AddImage: paints the image FILE over the working image; with
                            --trans-color, pixels of that colour are left out (transparent
                            pixels of GIF and PNG files load as white: use FFFFFF)
  --quality N               Quality for the JPEG output (1..100; decodes the image)
  --comment TEXT            Comment written into the JPEG output
  --font-face NAME          FontFace (default Arial)
  --font-size POINTS        FontSize (default 12)
  --font-bold               FontBold
  --font-italic             FontItalic
  --font-underline          FontUnderline
  --font-color RRGGBB       FontColor, hexadecimal red, green, blue (default 000000)
  --font-orientation DEG    FontOrientation: the text's angle in degrees, anticlockwise
  --font-charset N          FontCharset (default 1)
Positions X and Y are numbers of pixels from the top-left corner or the words LEFT, CENTER,
RIGHT (X) and TOP, CENTER, BOTTOM (Y), in any case. Values may also be given as --option=VALUE.

Batch:
  --batch                   every file named is an INPUT; each is converted on its own
  --out-dir DIR             folder of the outputs (made when missing); an output is named
                            after its input with the extension of --format
  --format jpg|png|bmp      format of the outputs (default jpg)
  --jobs N                  convert N files at a time, each with its own object (default: the
                            number of processors); the outputs are the same for any N
A failing file is reported as "INPUT: error NUMBER (SOURCE): DESCRIPTION" and the batch goes on;
a summary ends it, and the status is 1 when any file failed. On a terminal, a progress bar shows
how far the batch has come. Outputs that would overwrite an input or each other are refused
before anything is converted: by name, and by file identity where they exist (an output folder
that is a link to the input folder is caught).
)";
}

}  // namespace corvella::cli
