// corvella convert: the same pixels as the same member calls made in C++, errors as documented,
// batches that survive bad files, option faults, standard output, literal paths.

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
#include "corvella/platform/error.h"
#include "corvella/host/page_host.h"
#include "corvella/platform/text.h"
#include "support/errors.h"
#include "support/temp_folder.h"

namespace corvella::testing {
namespace {

namespace fs = std::filesystem;
using component::Pictron;
using platform::Variant;

const fs::path kImages = fs::path(CORVELLA_TEST_DATA) / "images";
const std::string kEgret = (kImages / "egret_600x450.jpg").string();
const std::string kLogo = (kImages / "apache_pb_transp.gif").string();
const std::string kSnakeGif = (kImages / "snake_600x450.gif").string();

CommandResult Convert(const std::vector<std::string>& args, const fs::path& folder,
                      bool errIsTerminal = false) {
  return RunInProcess(cli::RunConvert, args, folder, errIsTerminal);
}

std::vector<uint8_t> Bytes(const std::string& text) {
  return std::vector<uint8_t>(text.begin(), text.end());
}

// A Pictron bound to a page as the command binds its object: site root "/", the working folder
// as current folder, literal paths. The member calls are made directly in C++.
struct ApiObject {
  explicit ApiObject(const fs::path& folder)
      : page(std::make_shared<host::PageContext>(
            u"/", platform::Utf8ToWide(folder.string() + "/"), host::PathSyntax::Literal)),
        pictron(std::make_shared<Pictron>()) {
    pictron->OnStartPage(page);
  }
  Pictron& operator*() { return *pictron; }
  Pictron* operator->() { return pictron.get(); }

  std::shared_ptr<host::PageContext> page;
  std::shared_ptr<Pictron> pictron;
};

// The pixels of a top-down view, rows packed.
std::vector<uint8_t> Packed(const imaging::ConstImageView& view) {
  std::vector<uint8_t> pixels;
  for (int32_t y = 0; y < view.height; ++y)
    pixels.insert(pixels.end(), view.Row(y), view.Row(y) + 3 * view.width);
  return pixels;
}

std::vector<uint8_t> Packed(const imaging::cDIBSection& picture) {
  return Packed(picture.ConstView());
}

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
  EXPECT_TRUE(Packed(decoded) == Packed(image->View())) << png;
}

// One command with every operation gives the pixels of the same member calls, in the same order,
// made in C++; the JPEG output is the object's own encoding, byte for byte.
TEST(Convert, GivesThePixelsOfTheSameMemberCalls) {
  TempFolder folder;
  const std::vector<std::string> operations = {
      "--resample", "300,0", "--resample", "0,200", "--crop", "10,20,250,180", "--flip",
      "--mirror", "--rotate-right", "--rotate-left", "--blur", "--sharpen", "--gamma",
      "1.5,0.8,2", "--negative", "--greyscale", "--font-size", "20", "--font-bold",
      "--font-color", "FF8000", "--text", "Egret \u00e9", "--at", "center,BOTTOM", "--overlay",
      kLogo, "--at", "RIGHT,10", "--trans-color", "FFFFFF", "--font-italic",
      "--font-orientation", "30", "--text", "Corvella", "--at", "40,60", "--comment",
      "made by corvella", "--quality", "75"};
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
  api->FontSize(20);
  api->FontBold(platform::kVbTrue);
  api->FontColor(u"FF8000");
  api->AddText(u"Egret \u00e9", Variant(u"center"), Variant(u"BOTTOM"));
  Variant trans(u"FFFFFF");
  api->AddImage(platform::Utf8ToWide(kLogo), Variant(u"RIGHT"), Variant(10), trans);
  api->FontItalic(platform::kVbTrue);
  api->FontOrientation(30);
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
  folder.Write("notes.txt", Bytes("just some words"));
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

TEST(Convert, JpegOutputIsAlwaysJpeg) {
  TempFolder folder;
  // A JPEG that no operation touched is copied byte for byte, as SaveFile does.
  ASSERT_EQ(Convert({kEgret, "copy.jpg"}, folder.Path()).status, 0);
  EXPECT_EQ(ReadBytes(folder / "copy.jpg"), ReadBytes(kEgret));
  // A GIF is encoded anew at the object's quality, as the Quality setter makes it.
  ASSERT_EQ(Convert({kSnakeGif, "snake.jpg"}, folder.Path()).status, 0);
  ApiObject api(folder.Path());
  api->OpenFile(platform::Utf8ToWide(kSnakeGif));
  api->Quality(80);
  Variant saved;
  api->SaveBinary(saved);
  std::vector<uint8_t> jpeg = ReadBytes(folder / "snake.jpg");
  ASSERT_GE(jpeg.size(), 2u);
  EXPECT_EQ(jpeg[0], 0xFF);
  EXPECT_EQ(jpeg[1], 0xD8);
  EXPECT_TRUE(std::equal(jpeg.begin(), jpeg.end(), saved.AsByteArray().Bytes().begin(),
                         saved.AsByteArray().Bytes().end()));
}

TEST(Convert, DashWritesTheImageToStandardOutput) {
  TempFolder folder;
  CommandResult jpeg = Convert({kEgret, "-", "--quality", "60"}, folder.Path());
  ASSERT_EQ(jpeg.status, 0) << jpeg.err;
  ApiObject api(folder.Path());
  api->OpenFile(platform::Utf8ToWide(kEgret));
  api->Quality(60);
  Variant saved;
  api->SaveBinary(saved);
  std::span<const uint8_t> expected = saved.AsByteArray().Bytes();
  EXPECT_EQ(Bytes(jpeg.out), std::vector<uint8_t>(expected.begin(), expected.end()));
  EXPECT_EQ(jpeg.err, "");

  ApiObject fresh(folder.Path());
  fresh->OpenFile(platform::Utf8ToWide(kEgret));
  const imaging::cDIBSection* image = fresh->DecodedImage();
  ASSERT_NE(image, nullptr);
  CommandResult png = Convert({"--format", "png", kEgret, "-"}, folder.Path());
  ASSERT_EQ(png.status, 0) << png.err;
  EXPECT_EQ(Bytes(png.out), codec::EncodePng(image->View()));
  CommandResult bmp = Convert({kEgret, "--format=BMP", "-"}, folder.Path());
  ASSERT_EQ(bmp.status, 0) << bmp.err;
  EXPECT_EQ(Bytes(bmp.out), codec::EncodeBmp(image->View()));
  // Nothing was written into the folder.
  EXPECT_TRUE(folder.Entries().empty());
}

TEST(Convert, PathsMeanWhatTheyMeanInAShell) {
  TempFolder folder;
  const std::vector<uint8_t> egret = ReadBytes(kEgret);
  folder.Write("in/100%25 sure.jpg", egret);
  folder.Write("in/a%20b.jpg", egret);
  folder.Write("in/caf\u00e9 \u5199\u771f.jpg", egret);
  fs::create_directories(folder / "work/deeper");
  const fs::path work = folder / "work/deeper";

  // Relative paths with "..", from the working folder; names with %, blanks and UTF-8.
  CommandResult result = Convert({"../../in/100%25 sure.jpg", "../out 1.png"}, work);
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_TRUE(fs::exists(folder / "work/out 1.png"));
  result = Convert({"../../in/a%20b.jpg", "100%.bmp"}, work);
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_TRUE(fs::exists(work / "100%.bmp"));
  result = Convert({"../../in/caf\u00e9 \u5199\u771f.jpg", "\u00e9t\u00e9.jpg", "--overlay",
                    "../../in/a%20b.jpg", "--at", "CENTER,CENTER"},
                   work);
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_TRUE(fs::exists(work / "\u00e9t\u00e9.jpg"));
  // An absolute path is the path itself.
  result = Convert({(folder / "in/a%20b.jpg").string(), (folder / "abs.jpg").string()}, work);
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(ReadBytes(folder / "abs.jpg"), egret);
  // "a%20b.jpg" was not read as "a b.jpg".
  result = Convert({"a%20b.jpg", "x.jpg"}, folder / "in");
  EXPECT_EQ(result.status, 0) << result.err;
  result = Convert({"a b.jpg", "x.jpg"}, folder / "in");
  EXPECT_EQ(result.status, 1);
  EXPECT_NE(result.err.find("File not found (Error 1030)"), std::string::npos) << result.err;
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
  EXPECT_TRUE(Packed(written) == Packed(api->DecodedImage()->View()));

  // Without operations every good file converts.
  result = Convert({"--batch", "--out-dir=jpegs", "a.jpg", "b.jpg", "c.gif"}, folder.Path());
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(folder.Entries("jpegs"), (std::vector<std::string>{"a.jpg", "c.jpg"}));
  EXPECT_EQ(ReadBytes(folder / "jpegs/a.jpg"), egret);
  EXPECT_NE(result.err.find("converted 2 of 3 files into jpegs; 1 failed\n"), std::string::npos)
      << result.err;

  result = Convert({"--batch", "--out-dir", "all", "a.jpg", "c.gif"}, folder.Path());
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.err, "converted 2 files into all\n");
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
  MemoryStream out, err;
  cli::Console console{out.File(), err.File(), true, false, folder.Path()};
  std::vector<std::string> args = {kEgret, "-"};
  EXPECT_EQ(cli::RunConvert(args, console), 2);
  EXPECT_NE(err.Bytes().find("will not write image bytes to a terminal"), std::string::npos);
  EXPECT_EQ(out.Bytes(), "");

  // What parses: "--" ends the options, "=" gives a value, "+" and blanks in numbers.
  folder.Write("-dash.jpg", ReadBytes(kEgret));
  CommandResult ok = Convert({"--quality=+50", "--", "-dash.jpg", "-"}, folder.Path());
  EXPECT_EQ(ok.status, 0) << ok.err;
  CommandResult help = Convert({"--help"}, folder.Path());
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("--trans-color"), std::string::npos);
}

}  // namespace
}  // namespace corvella::testing
