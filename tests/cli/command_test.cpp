// The corvella command. convert: the same pixels as the same member calls made in C++, errors as
// documented, batches that survive bad files, option faults, standard output, literal paths. The
// program as a shell runs it (exit statuses, standard output, the working folder, the help); its
// info subcommand (one line per file from its header, an error line for a file that cannot be
// opened, and the status); and the example scripts in examples/, run by the program on a site
// made of real test images: what they print, the files and responses they make.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "cli_test_support.h"
#include "corvella/codec/picture_loader.h"
#include "corvella/codec/picture_writer.h"
#include "corvella/component/pictron.h"
#include "corvella/host/page_host.h"
#include "corvella/platform/byte_array.h"
#include "corvella/platform/error.h"
#include "corvella/platform/text.h"
#include "operations/image_fixtures.h"
#include "support/errors.h"
#include "support/temp_folder.h"

namespace corvella::testing {
namespace {

namespace fs = std::filesystem;
using component::Pictron;
using platform::Variant;

const std::string kEgret = (kImages / "egret_600x450.jpg").string();
const std::string kLogo = (kImages / "apache_pb_transp.gif").string();
const std::string kSnakeGif = (kImages / "snake_600x450.gif").string();

CommandResult Convert(const std::vector<std::string>& args, const fs::path& folder,
                      bool errIsTerminal = false) {
  return RunInProcess(cli::RunConvert, args, folder, errIsTerminal);
}

// A Pictron bound to a page as the command binds its object: site root "/", the working folder
// as current folder, literal paths. The member calls are made directly in C++.
struct ApiObject {
  explicit ApiObject(const fs::path& folder)
      : page(std::make_shared<host::PageContext>(u"/", platform::Utf8ToWide(folder.string() + "/"),
                                                 host::PathSyntax::Literal)),
        pictron(std::make_shared<Pictron>()) {
    pictron->OnStartPage(page);
  }
  Pictron& operator*() { return *pictron; }
  Pictron* operator->() { return pictron.get(); }

  std::shared_ptr<host::PageContext> page;
  std::shared_ptr<Pictron> pictron;
};

// Checks that the lossless outputs of the command hold exactly the API object's working image:
// the BMP byte for byte, the PNG pixel for pixel.
void ExpectSamePixels(Pictron& api, const fs::path& bmp, const fs::path& png) {
  const imaging::cDIBSection* image = api.DecodedImage();
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(ReadBytes(bmp), codec::EncodeBmp(image->View())) << bmp;
  std::vector<uint8_t> pngBytes = ReadBytes(png);
  imaging::cDIBSection decoded;
  codec::LoadPng(pngBytes, decoded);
  ASSERT_EQ(decoded.dib_width(), image->dib_width());
  ASSERT_EQ(decoded.dib_height(), image->dib_height());
  EXPECT_TRUE(TopDown(decoded) == TopDown(*image)) << png;
}

// One command with every operation gives the pixels of the same member calls, in the same order,
// made in C++; the JPEG output is the object's own encoding, byte for byte.
TEST(Convert, GivesThePixelsOfTheSameMemberCalls) {
  TempFolder folder;
  // clang-format off
  const std::vector<std::string> operations = {
      "--resample", "300,0", "--resample", "0,200", "--crop", "10,20,250,180", "--flip",
      "--mirror", "--rotate-right", "--rotate-left", "--blur", "--sharpen", "--gamma",
      "1.5,0.8,2", "--negative", "--greyscale", "--font-size", "20", "--font-bold",
      "--font-color", "FF8000", "--text", "Egret \u00e9", "--at", "center,BOTTOM", "--overlay",
      kLogo, "--at", "RIGHT,10", "--trans-color", "FFFFFF", "--font-italic",
      "--font-orientation", "30", "--text", "Corvella", "--at", "40,60", "--comment",
      "made by corvella", "--quality", "75"};
  // clang-format on
  for (const std::string output : {"out.bmp", "out.png", "out.jpg"}) {
    std::vector<std::string> args = {kEgret, output};
    args.insert(args.end(), operations.begin(), operations.end());
    CommandResult result = Convert(args, folder.Path());
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out + result.err, "");
  }

  ApiObject api(folder.Path());
  api->OpenFile(platform::Utf8ToWide(kEgret));
  int32_t w = 300, h = 0;
  api->Resample(w, h);
  w = 0, h = 200;
  api->Resample(w, h);
  int16_t x1 = 10, y1 = 20, x2 = 250, y2 = 180;
  api->Crop(x1, y1, x2, y2);
  api->Flip();
  api->Mirror();
  api->RotateRight();
  api->RotateLeft();
  api->Blur();
  api->Sharpen();
  api->Gamma(1.5f, 0.8f, 2.0f);
  api->Negative();
  api->GreyScale();
  api->SetFontSize(20);
  api->SetFontBold(platform::kVbTrue);
  api->SetFontColor(u"FF8000");
  api->AddText(u"Egret \u00e9", Variant(u"center"), Variant(u"BOTTOM"));
  Variant trans(u"FFFFFF");
  api->AddImage(platform::Utf8ToWide(kLogo), Variant(u"RIGHT"), Variant(10), trans);
  api->SetFontItalic(platform::kVbTrue);
  api->SetFontOrientation(30);
  api->AddText(u"Corvella", Variant(40), Variant(60));
  api->Comment(u"made by corvella");
  api->Quality(75);
  ExpectSamePixels(*api, folder / "out.bmp", folder / "out.png");
  Variant saved;
  api->SaveBinary(saved);
  EXPECT_EQ(ReadBytes(folder / "out.jpg"), std::vector<uint8_t>(saved.AsByteArray().Bytes().begin(),
                                                                saved.AsByteArray().Bytes().end()));
}

TEST(Convert, ErrorsPrintTheirNumberSourceAndDescription) {
  TempFolder folder;
  auto expectError = [&](const std::vector<std::string>& args, const std::string& line) {
    CommandResult result = Convert(args, folder.Path());
    EXPECT_EQ(result.status, 1) << args[0];
    EXPECT_EQ(result.err, line + "\n");
    EXPECT_EQ(result.out, "");
  };
  // The object's errors in the command's own line; their numbers and texts are the object's tests.
  expectError({"missing.jpg", "out.jpg"},
              "error -2147220474 (Corvella.Pictron): File not found (Error 1030)");
  expectError({kEgret, "out.jpg", "--overlay", kLogo, "--at", "0,0", "--trans-color", "12"},
              "error -2147220304 (Corvella.Pictron): Transparent color is incorrect");
  folder.Write("notes.txt", TextBytes("just some words"));
  // A value outside the member's 16-bit parameter is the script's overflow.
  CommandResult overflow = Convert({kEgret, "out.jpg", "--quality", "70000"}, folder.Path());
  EXPECT_EQ(overflow.status, 1);
  EXPECT_EQ(overflow.err.rfind("error -2146828282 (Corvella.Pictron): Overflow", 0), 0u)
      << overflow.err;
  // The command's own writers: the source is the command.
  CommandResult png = Convert({kEgret, "no/such/folder/out.png"}, folder.Path());
  EXPECT_EQ(png.status, 1);
  EXPECT_EQ(png.err.rfind("error -2146828212 (corvella): ", 0), 0u) << png.err;  // 76
  EXPECT_NE(png.err.find("no/such/folder/out.png"), std::string::npos) << png.err;
  // Nothing was written by the failed calls.
  EXPECT_EQ(folder.Entries(), std::vector<std::string>{"notes.txt"});
}

// "-" writes the image to standard output: a GIF as a JPEG encoded anew at the object's quality,
// as the Quality setter makes it; PNG and BMP by --format. A JPEG that no operation touched is
// copied byte for byte, as SaveFile does.
TEST(Convert, JpegOutputIsAlwaysJpegAndDashWritesToStandardOutput) {
  TempFolder folder;
  CommandResult jpeg = Convert({kSnakeGif, "-"}, folder.Path());
  ASSERT_EQ(jpeg.status, 0) << jpeg.err;
  ApiObject api(folder.Path());
  api->OpenFile(platform::Utf8ToWide(kSnakeGif));
  api->Quality(80);
  Variant saved;
  api->SaveBinary(saved);
  std::span<const uint8_t> expected = saved.AsByteArray().Bytes();
  EXPECT_EQ(TextBytes(jpeg.out), std::vector<uint8_t>(expected.begin(), expected.end()));
  EXPECT_EQ(jpeg.out.substr(0, 2), "\xFF\xD8");
  EXPECT_EQ(jpeg.err, "");

  ApiObject fresh(folder.Path());
  fresh->OpenFile(platform::Utf8ToWide(kEgret));
  const imaging::cDIBSection* image = fresh->DecodedImage();
  ASSERT_NE(image, nullptr);
  CommandResult png = Convert({"--format", "png", kEgret, "-"}, folder.Path());
  ASSERT_EQ(png.status, 0) << png.err;
  EXPECT_EQ(TextBytes(png.out), codec::EncodePng(image->View()));
  CommandResult bmp = Convert({kEgret, "--format=BMP", "-"}, folder.Path());
  ASSERT_EQ(bmp.status, 0) << bmp.err;
  EXPECT_EQ(TextBytes(bmp.out), codec::EncodeBmp(image->View()));
  EXPECT_TRUE(folder.Entries().empty());

  ASSERT_EQ(Convert({kEgret, "copy.jpg"}, folder.Path()).status, 0);
  EXPECT_EQ(ReadBytes(folder / "copy.jpg"), ReadBytes(kEgret));
}

// The command's page maps names literally (the host's test has every kind of name): here, that
// the input, output and overlay names reach it from the working folder.
TEST(Convert, PathsMeanWhatTheyMeanInAShell) {
  TempFolder folder;
  const std::vector<uint8_t> egret = ReadBytes(kEgret);
  folder.Write("in/100%25 sure.jpg", egret);
  folder.Write("in/caf\u00e9 \u5199\u771f.jpg", egret);
  fs::create_directories(folder / "work/deeper");
  const fs::path work = folder / "work/deeper";
  CommandResult result = Convert({"../../in/100%25 sure.jpg", "../out 1.png"}, work);
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_TRUE(fs::exists(folder / "work/out 1.png"));
  result = Convert({"../../in/caf\u00e9 \u5199\u771f.jpg", "\u00e9t\u00e9.jpg", "--overlay",
                    "../../in/100%25 sure.jpg", "--at", "CENTER,CENTER"},
                   work);
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_TRUE(fs::exists(work / "\u00e9t\u00e9.jpg"));
}

TEST(Convert, BatchGoesOnPastABadFile) {
  TempFolder folder;
  const std::vector<uint8_t> egret = ReadBytes(kEgret);
  folder.Write("a.jpg", egret);
  std::vector<uint8_t> truncated(egret.begin(), egret.begin() + 40);
  folder.Write("b.jpg", truncated);  // cut inside its headers
  folder.Write("c.gif", ReadBytes(kLogo));
  CommandResult result = Convert({"--batch", "--out-dir", "thumbs", "--format", "png", "a.jpg",
                                  "b.jpg", "missing.bmp", "c.gif", "--negative", "--flip"},
                                 folder.Path());
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out, "");
  EXPECT_NE(result.err.find("b.jpg: error "), std::string::npos) << result.err;
  EXPECT_NE(result.err.find("missing.bmp: error -2147220474 (Corvella.Pictron): File not found"),
            std::string::npos)
      << result.err;
  EXPECT_EQ(result.err.find('\r'), std::string::npos);  // no progress bar off a terminal
  const std::string last = result.err.substr(result.err.rfind('\n', result.err.size() - 2) + 1);

  EXPECT_EQ(last, "converted 2 of 4 files into thumbs; 2 failed\n");
  EXPECT_EQ(folder.Entries("thumbs"), (std::vector<std::string>{"a.png", "c.png"}));
  ApiObject api(folder.Path());
  api->OpenFile(u"c.gif");
  api->Negative();
  api->Flip();
  imaging::cDIBSection written;
  codec::LoadPng(ReadBytes(folder / "thumbs/c.png"), written);
  EXPECT_TRUE(TopDown(written) == TopDown(*api->DecodedImage()));

  // Without operations every good file converts.
  result = Convert({"--batch", "--out-dir=jpegs", "a.jpg", "b.jpg", "c.gif"}, folder.Path());
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(folder.Entries("jpegs"), (std::vector<std::string>{"a.jpg", "c.jpg"}));
  EXPECT_EQ(ReadBytes(folder / "jpegs/a.jpg"), egret);
  EXPECT_NE(result.err.find("converted 2 of 3 files into jpegs; 1 failed\n"), std::string::npos)
      << result.err;
}

TEST(Convert, BatchShowsProgressOnATerminalAndRefusesClashes) {
  TempFolder folder;
  folder.Write("a.jpg", ReadBytes(kEgret));
  folder.Write("b.jpg", ReadBytes(kEgret));
  CommandResult result =
      Convert({"--batch", "--out-dir", "out", "a.jpg", "b.jpg"}, folder.Path(), true);
  EXPECT_EQ(result.status, 0);
  EXPECT_NE(result.err.find("\r\033[K[" + std::string(30, '.') + "] 0/2 a.jpg"), std::string::npos)
      << result.err;
  EXPECT_NE(result.err.find("] 2/2"), std::string::npos);
  EXPECT_NE(result.err.find("\r\033[Kconverted 2 files into out\n"), std::string::npos);

  // Two inputs that would give the same output, or an output over its input: nothing is done.
  folder.Write("sub/a.png", ReadBytes(kLogo));
  result = Convert({"--batch", "--out-dir", "x", "a.jpg", "sub/a.png"}, folder.Path());
  EXPECT_EQ(result.status, 2);
  EXPECT_NE(result.err.find("'a.jpg' and 'sub/a.png' would both be written to 'x/a.jpg'"),
            std::string::npos)
      << result.err;
  EXPECT_FALSE(fs::exists(folder / "x"));
  result = Convert({"--batch", "--out-dir", ".", "b.jpg"}, folder.Path());
  EXPECT_EQ(result.status, 2);
  EXPECT_NE(result.err.find("would overwrite the input 'b.jpg'"), std::string::npos) << result.err;
}

TEST(Convert, OptionFaultsAreUsageErrors) {
  TempFolder folder;
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{kEgret, "out.jpg", "--sepia"}, "unknown option '--sepia'"},
      {{kEgret, "out.jpg", "--resample"}, "option --resample needs a value"},
      {{kEgret, "out.jpg", "--resample", "200"}, "--resample needs W,H, not '200'"},
      {{kEgret, "out.jpg", "--resample", "1.5,2"}, "--resample: '1.5' is not a whole number"},
      {{kEgret, "out.jpg", "--crop", "1,2,3,99999999999"},
       "--crop: '99999999999' is not a number within 32 bits"},
      {{kEgret, "out.jpg", "--gamma", "1,nan,1"}, "--gamma: 'nan' is not a number"},
      {{kEgret, "out.jpg", "--flip=yes"}, "option --flip takes no value"},
      {{kEgret, "out.jpg", "--text", "hello", "--flip", "--at", "1,1"}, "--text needs --at X,Y"},
      {{kEgret, "out.jpg", "--at", "1,1"}, "--at X,Y must follow --text MESSAGE or --overlay FILE"},
      {{kEgret, "out.jpg", "--text", "a", "--at", ",1"}, "--at: a position is empty"},
      {{kEgret, "out.jpg", "--text", "a", "--at", "1,1", "--trans-color", "FFFFFF"},
       "--trans-color RRGGBB must follow --overlay FILE"},
      {{kEgret}, "convert needs INPUT and OUTPUT"},
      {{kEgret, "a.jpg", "b.jpg"}, "too many files: 'b.jpg' (use --batch to convert many files)"},
      {{kEgret, "out.jpg", "--format", "png"}, "--format applies to --batch and to the output '-'"},
      {{kEgret, "-", "--format", "gif"}, "--format: 'gif' is not one of jpg, png, bmp"},
      {{kEgret, "out.jpg", "--out-dir", "x"}, "--out-dir applies to --batch only"},
      {{"--batch", kEgret}, "--batch needs --out-dir DIR"},
  };
  for (const auto& [args, message] : cases) {
    CommandResult result = Convert(args, folder.Path());
    EXPECT_EQ(result.status, 2) << message;
    EXPECT_EQ(result.err.rfind("corvella convert: " + message, 0), 0u) << result.err;
    EXPECT_NE(result.err.find("corvella --help"), std::string::npos);
  }
  EXPECT_TRUE(folder.Entries().empty());

  // Image bytes are not written to a terminal.
  CommandResult terminal = RunInProcess(cli::RunConvert, {kEgret, "-"}, folder.Path(), false, true);
  EXPECT_EQ(terminal.status, 2);
  EXPECT_NE(terminal.err.find("will not write image bytes to a terminal"), std::string::npos);
  EXPECT_EQ(terminal.out, "");

  // What parses: "--" ends the options, "=" gives a value, "+" and blanks in numbers.
  folder.Write("-dash.jpg", ReadBytes(kEgret));
  CommandResult ok = Convert({"--quality=+50", "--", "-dash.jpg", "-"}, folder.Path());
  EXPECT_EQ(ok.status, 0) << ok.err;
  CommandResult help = Convert({"--help"}, folder.Path());
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("--trans-color"), std::string::npos);
}

// The built program as a shell runs it: paths from its working folder. The error lines and the
// image bytes on standard output are the subcommands' own tests, in-process.
TEST(Program, RunsInTheShellsWorkingFolder) {
  TempFolder folder;
  fs::create_directories(folder / "in" / "a b");
  fs::copy_file(kImages / "egret_600x450.jpg", folder / "in/a b/egret 100%25.jpg");
  CommandResult result =
      RunProcess({"convert", "a b/egret 100%25.jpg", "../thumb.png", "--negative"}, folder / "in");
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_TRUE(fs::exists(folder / "thumb.png"));
}

TEST(Program, HelpVersionAndUsage) {
  TempFolder folder;
  CommandResult help = RunProcess({"--help"}, folder.Path());
  EXPECT_EQ(help.status, 0);
  for (const char* text : {"corvella convert INPUT OUTPUT", "--trans-color", "corvella info FILE",
                           "error NUMBER (SOURCE): DESCRIPTION", "-2147220504", "-2146828279",
                           "version", "members", "--batch", "corvella run SCRIPT [--root DIR]"}) {
    EXPECT_NE(help.out.find(text), std::string::npos) << text;
  }
  CommandResult version = RunProcess({"version"}, folder.Path());
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out.rfind("corvella ", 0), 0u);
  // `corvella members` is the test component.members, against its golden file.

  CommandResult none = RunProcess({}, folder.Path());
  EXPECT_EQ(none.status, 2);
  CommandResult unknown = RunProcess({"shrink"}, folder.Path());
  EXPECT_EQ(unknown.status, 2);
  EXPECT_EQ(unknown.err.rfind("corvella: unknown command 'shrink'", 0), 0u);
}

TEST(Info, PrintsOneLinePerFileAndReportsFilesThatCannotBeOpened) {
  TempFolder folder;
  folder.Write("notes.txt", {'h', 'e', 'l', 'l', 'o'});
  folder.Write("cut.jpg", {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'I', 'F'});
  folder.Write("empty.png", {});
  folder.Write("photo 100%25.jpg", ReadBytes(kImages / "egret_600x450.jpg"));
  CommandResult result = RunInProcess(
      cli::RunInfo, {"notes.txt", "photo 100%25.jpg", "missing.gif", "cut.jpg", "empty.png"},
      folder.Path());
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out,
            "notes.txt: error -2147220494: Format not supported (Error 1010)\n"
            "photo 100%25.jpg: JPEG 600x450 18986 bytes\n"
            "missing.gif: error -2147220474: File not found (Error 1030)\n"
            "cut.jpg: error -2147220344: Premature EOF in JPEG file (Error 1160)\n"
            "empty.png: error -2146828279: Subscript out of range\n");
  // The detail goes to standard error, for a person.
  EXPECT_EQ(result.err, "empty.png: the file '" + (folder / "empty.png").string() + "' is empty\n");
  // Sizes as their headers give them (every format's are the acceptance script open_formats.vbs).
  CommandResult good = RunInProcess(cli::RunInfo, {"apache_pb_transp.gif"}, kImages);
  EXPECT_EQ(good.status, 0);
  EXPECT_EQ(good.out + good.err, "apache_pb_transp.gif: GIF 260x30 4463 bytes\n");

  // The option parser is convert's (OptionFaultsAreUsageErrors).
  CommandResult usage = RunInProcess(cli::RunInfo, {}, folder.Path());
  EXPECT_EQ(usage.status, 2);
  EXPECT_EQ(usage.err.rfind("corvella info: info needs at least one FILE", 0), 0u) << usage.err;
}

const fs::path kExamples = fs::path(CORVELLA_SOURCE_DIR) / "examples";

// A site with a photo and a logo in it, and the command line that runs an example on it.
class Example : public ::testing::Test {
 protected:
  Example() {
    fs::copy_file(kImages / "egret_600x450.jpg", site / "egret.jpg");
    fs::copy_file(kImages / "apache_pb_transp.gif", site / "logo.gif");
  }

  CommandResult Run(const std::string& example, std::vector<std::string> args) {
    args.insert(args.begin(), {"run", (kExamples / example).string(), "--root", "."});
    return RunProcess(args, site.Path());
  }

  TempFolder site;
};

// The width, height and format signature of an image file, read by the object.
std::string Describe(const fs::path& file) {
  std::vector<uint8_t> bytes = ReadBytes(file);
  if (bytes.empty()) return "missing";
  component::Pictron pictron;
  pictron.OpenBinary(platform::ByteArray::FromBytes(bytes));
  return platform::WideToUtf8(pictron.State().strFormat) + " " +
         std::to_string(pictron.OriginalWidth()) + "x" + std::to_string(pictron.OriginalHeight());
}

TEST_F(Example, ThumbnailWithLogoAndCaption) {
  CommandResult result =
      Run("thumbnail.vbs", {"egret.jpg", "egret_thumb.jpg", "logo.gif", "Egret"});
  ASSERT_EQ(result.status, 0) << result.err;
  const size_t bytes = fs::file_size(site / "egret_thumb.jpg");
  EXPECT_EQ(result.out, "egret_thumb.jpg: 200x150, " + std::to_string(bytes) + " bytes\n");
  EXPECT_EQ(Describe(site / "egret_thumb.jpg"), "JPEG 200x150");

  CommandResult usage = RunProcess({"run", (kExamples / "thumbnail.vbs").string()}, site.Path());
  EXPECT_EQ(usage.status, 2);
  EXPECT_EQ(usage.out.rfind("usage: ", 0), 0u);
}

TEST_F(Example, WatermarkKeepsTheSize) {
  CommandResult result =
      Run("watermark.vbs", {"egret.jpg", "marked.jpg", "logo.gif", "Corvella 2024"});
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.out, "marked.jpg: 600x450, key colour 16777215\n");
  EXPECT_EQ(Describe(site / "marked.jpg"), "JPEG 600x450");
}

TEST_F(Example, SquareFromTheCentre) {
  CommandResult result = Run("square.vbs", {"egret.jpg", "square.jpg", "160"});
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.out, "crop 75,0 - 525,450\nsquare.jpg: 160x160\n");
  EXPECT_EQ(Describe(site / "square.jpg"), "JPEG 160x160");

  fs::copy_file(kImages / "coffee_rgb_600x400.png", site / "coffee.png");
  result = Run("square.vbs", {"coffee.png", "coffee_square.jpg"});
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.out, "crop 100,0 - 500,400\ncoffee_square.jpg: 400x400\n");
  EXPECT_EQ(Describe(site / "coffee_square.jpg"), "JPEG 400x400");
}

TEST_F(Example, DownloadPageSendsTheImage) {
  CommandResult result =
      Run("download.vbs", {"--response", "response.http", "egret.jpg", "egret small.jpg"});
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.out, "");
  std::vector<uint8_t> response = ReadBytes(site / "response.http");
  const std::string head =
      "HTTP/1.1 200 OK\r\nContent-Type: image/jpeg\r\n"
      "Content-Disposition: attachment; filename=\"egret small.jpg\"\r\n\r\n";
  ASSERT_GT(response.size(), head.size());
  EXPECT_EQ(std::string(response.begin(), response.begin() + static_cast<ptrdiff_t>(head.size())),
            head);
  site.Write(
      "body.jpg",
      std::vector<uint8_t>(response.begin() + static_cast<ptrdiff_t>(head.size()), response.end()));
  EXPECT_EQ(Describe(site / "body.jpg"), "JPEG 320x240");

  result = Run("download.vbs", {"--response", "missing.http", "missing.jpg"});
  ASSERT_EQ(result.status, 0) << result.err;
  std::vector<uint8_t> missing = ReadBytes(site / "missing.http");
  EXPECT_EQ(std::string(missing.begin(), missing.end()),
            "HTTP/1.1 404 Not Found\r\nContent-Type: text/html\r\n\r\n"
            "cannot open missing.jpg: File not found (Error 1030)");
}

}  // namespace
}  // namespace corvella::testing
