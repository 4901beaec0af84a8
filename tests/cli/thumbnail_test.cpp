// corvella thumbnail and the batch runner: sizes, area averaging against a reference, the eight
// EXIF orientations, every input format, bad files, --jobs N against one worker byte for byte,
// and outputs that would reach an input through a link.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "cli_test_support.h"
#include "corvella/codec/jpeg_codec.h"
#include "corvella/codec/jpeg_scaled.h"
#include "corvella/codec/picture_loader.h"
#include "corvella/codec/picture_writer.h"
#include "corvella/imaging/pixel_limit.h"
#include "support/temp_folder.h"

namespace corvella::testing {
namespace {

namespace fs = std::filesystem;

const fs::path kImages = fs::path(CORVELLA_TEST_DATA) / "images";

CommandResult Thumbnail(const std::vector<std::string>& args, const fs::path& folder) {
  return RunInProcess(cli::RunThumbnail, args, folder);
}

// A generated 24-bit picture, rows packed.
struct Image {
  int32_t width;
  int32_t height;
  std::vector<uint8_t> bgr;
  imaging::ConstImageView View() const { return {bgr.data(), width, height, 3 * width}; }
};

Image Noise(int32_t width, int32_t height) {
  Image image{width, height, std::vector<uint8_t>(static_cast<size_t>(3 * width * height))};
  uint32_t state = 12345;
  for (uint8_t& byte : image.bgr) byte = static_cast<uint8_t>((state = state * 1103515245 + 12345) >> 24);
  return image;
}

std::vector<uint8_t> Jpeg(const Image& image, int32_t orientation = 0) {
  std::vector<uint8_t> bytes;
  EXPECT_TRUE(codec::EncodeJpeg(image.View(), {95, {}}, bytes).Ok());
  if (orientation == 0) return bytes;
  // An APP1 segment right after the start of the image: "Exif", a big-endian TIFF header and one
  // directory holding the orientation (SHORT).
  const std::vector<uint8_t> app1 = {0xFF, 0xE1, 0, 34, 'E', 'x', 'i', 'f', 0, 0, 'M', 'M', 0, 42,
                                     0, 0, 0, 8, 0, 1, 0x01, 0x12, 0, 3, 0, 0, 0, 1, 0,
                                     static_cast<uint8_t>(orientation), 0, 0, 0, 0, 0, 0};
  bytes.insert(bytes.begin() + 2, app1.begin(), app1.end());
  return bytes;
}

// A decoded picture: its size and its rows from the top.
struct Loaded {
  std::unique_ptr<imaging::cDIBSection> dib = std::make_unique<imaging::cDIBSection>();
  int32_t Width() const { return dib->dib_width(); }
  int32_t Height() const { return dib->dib_height(); }
  const uint8_t* Row(int32_t y) const { return dib->ConstView().Row(y); }
};

Loaded Load(const fs::path& file) {
  Loaded loaded;
  codec::LoadPicture(ReadBytes(file), *loaded.dib);
  return loaded;
}

TEST(Thumbnail, FitsTheBoxKeepingProportions) {
  TempFolder folder;
  folder.Write("wide.png", codec::EncodePng(Noise(600, 450).View()));
  folder.Write("tall.jpg", Jpeg(Noise(450, 600)));
  struct Case {
    const char* input;
    const char* size;
    int32_t width;
    int32_t height;
  };
  const Case cases[] = {
      {"wide.png", "200", 200, 150},   {"wide.png", "200x100", 133, 100},
      {"wide.png", "1000", 600, 450},  {"wide.png", "1x1000", 1, 1},
      {"wide.png", "599x2", 3, 2},     {"tall.jpg", "200x200", 150, 200},
      {"tall.jpg", "57", 57, 76},      {"tall.jpg", "450X10000", 450, 600},
  };
  for (const Case& c : cases) {
    CommandResult result = Thumbnail({c.input, "--size", c.size, "-o", "t.PNG"}, folder.Path());
    ASSERT_EQ(result.status, 0) << result.err;
    ASSERT_EQ(ReadBytes(folder / "t.PNG")[1], 'P');
    Loaded picture = Load(folder / "t.PNG");
    EXPECT_EQ(picture.Width(), c.width) << c.input << " " << c.size;
    EXPECT_EQ(picture.Height(), c.height) << c.input << " " << c.size;
  }
}

// Each pixel is the mean of the area it covers, within rounding, by a reference in doubles.
TEST(Thumbnail, AveragesTheAreaEachPixelCovers) {
  TempFolder folder;
  const Image source = Noise(7, 5);
  folder.Write("n.png", codec::EncodePng(source.View()));
  ASSERT_EQ(Thumbnail({"n.png", "--size", "3", "-o", "t.png"}, folder.Path()).status, 0);
  Loaded t = Load(folder / "t.png");
  ASSERT_EQ(t.Width(), 3);
  ASSERT_EQ(t.Height(), 2);
  auto cover = [](int32_t x, int32_t i, double scale) {
    return std::max(0.0, std::min(x + 1.0, (i + 1) * scale) - std::max(double(x), i * scale));
  };
  for (int32_t j = 0; j < 2; ++j) {
    for (int32_t i = 0; i < 3; ++i) {
      for (int32_t c = 0; c < 3; ++c) {
        double sum = 0;
        for (int32_t y = 0; y < 5; ++y)
          for (int32_t x = 0; x < 7; ++x)
            sum += cover(x, i, 7.0 / 3) * cover(y, j, 5.0 / 2) * source.bgr[3 * (y * 7 + x) + c];
        EXPECT_NEAR(t.Row(j)[3 * i + c], sum / (7.0 / 3 * 5.0 / 2), 1.0) << i << "," << j;
      }
    }
  }
}

// A 32 x 16 photo of four coloured quarters, tagged with each orientation: the thumbnail shows
// the quarters where the tag puts them.
TEST(Thumbnail, AppliesAllEightExifOrientations) {
  TempFolder folder;
  Image quarters{32, 16, std::vector<uint8_t>(32 * 16 * 3)};
  const uint8_t colours[4][3] = {{0, 0, 255}, {0, 255, 0}, {255, 0, 0}, {255, 255, 255}};
  for (int32_t y = 0; y < 16; ++y)
    for (int32_t x = 0; x < 32; ++x)
      std::copy_n(colours[(y >= 8) * 2 + (x >= 16)], 3, &quarters.bgr[3 * (y * 32 + x)]);
  // Quarters (0 red, 1 green, 2 blue, 3 white) at the top-left, top-right, bottom-left and
  // bottom-right corners of the upright picture.
  const int corners[9][4] = {{},           {0, 1, 2, 3}, {1, 0, 3, 2}, {3, 2, 1, 0}, {2, 3, 0, 1},
                             {0, 2, 1, 3}, {2, 0, 3, 1}, {3, 1, 2, 0}, {1, 3, 0, 2}};
  for (int32_t orientation = 1; orientation <= 8; ++orientation) {
    folder.Write("q.jpg", Jpeg(quarters, orientation));
    CommandResult result = Thumbnail({"q.jpg", "--size", "64", "-o", "q.png"}, folder.Path());
    ASSERT_EQ(result.status, 0) << result.err;
    Loaded t = Load(folder / "q.png");
    const bool turned = orientation >= 5;
    ASSERT_EQ(t.Width(), turned ? 16 : 32) << orientation;
    ASSERT_EQ(t.Height(), turned ? 32 : 16) << orientation;
    const int32_t xs[4] = {2, t.Width() - 3, 2, t.Width() - 3};
    const int32_t ys[4] = {2, 2, t.Height() - 3, t.Height() - 3};
    for (int corner = 0; corner < 4; ++corner) {
      for (int c = 0; c < 3; ++c) {
        EXPECT_NEAR(t.Row(ys[corner])[3 * xs[corner] + c], colours[corners[orientation][corner]][c],
                    24)
            << "orientation " << orientation << " corner " << corner;
      }
    }
  }
}

TEST(Thumbnail, ReadsEveryFormatAndReportsBadFiles) {
  TempFolder folder;
  const char* names[] = {"egret_600x450.jpg", "snake_grey_600x450.jpg",
                         "dragonfly_4224x3168_prog.jpg", "snake_600x450.gif",
                         "snake_8bit_pal_600x450.bmp", "horse_rgba_400x328.png",
                         "camera_grey_512x512.png"};
  std::vector<std::string> args = {"--size", "64x64", "--out-dir", "out", "--jobs", "2"};
  for (const char* name : names) args.push_back((kImages / name).string());
  const std::vector<uint8_t> egret = ReadBytes(kImages / "egret_600x450.jpg");
  folder.Write("cut.jpg", std::vector<uint8_t>(egret.begin(), egret.begin() + 40));
  folder.Write("text.png", {'n', 'o', 't', ' ', 'a', 'n', ' ', 'i', 'm', 'a', 'g', 'e'});
  for (const char* bad : {"cut.jpg", "text.png", "missing.gif"}) args.push_back(bad);
  CommandResult result = Thumbnail(args, folder.Path());
  EXPECT_EQ(result.status, 1);
  EXPECT_NE(result.err.find("made 7 of 10 thumbnails in out; 3 failed\n"), std::string::npos)
      << result.err;
  EXPECT_NE(result.err.find("text.png: error -2146827807 (corvella): Invalid picture"), std::string::npos) << result.err;
  EXPECT_NE(result.err.find("missing.gif: error -2146828235 (corvella): File not found"), std::string::npos) << result.err;
  for (const char* name : names) {
    Loaded t = Load(folder / "out" / fs::path(name).replace_extension(".jpg"));
    EXPECT_EQ(std::max(t.Width(), t.Height()), 64) << name;
  }
  // --format png, and standard output.
  result = Thumbnail({"--size", "10", "--format", "png", "-o", "-", args[6]}, folder.Path());
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.out.substr(1, 3), "PNG");
}

// A picture over the host's pixel limit cannot have its buffer, a JPEG as any other: error 7.
TEST(Thumbnail, APictureOverThePixelLimitIsOutOfMemory) {
  TempFolder folder;
  const uint64_t saved = imaging::MaxPixels();
  imaging::SetMaxPixels(100 * 100);
  const CommandResult result = Thumbnail({"--size", "64", "--out-dir", "out", "--jobs", "1",
                                          (kImages / "egret_600x450.jpg").string(),
                                          (kImages / "snake_600x450.gif").string()},
                                         folder.Path());
  imaging::SetMaxPixels(saved);
  for (const char* name : {"egret_600x450.jpg", "snake_600x450.gif"}) {
    EXPECT_NE(result.err.find(std::string(name) + ": error -2146828281 (corvella): Out of memory"),
              std::string::npos)
        << result.err;
  }
}

// At 1/8 a progressive photo is read only up to its DC scans: each pixel is still its 8 x 8
// block's mean, as in the photo decoded in full (within the rounding of both decodes).
TEST(Thumbnail, ScaledDecodeOfAProgressivePhotoGivesBlockMeans) {
  const std::vector<uint8_t> file = ReadBytes(kImages / "dragonfly_4224x3168_prog.jpg");
  const codec::JpegScale scale = codec::ChooseJpegScale(4224, 3168, 500, 100);
  ASSERT_EQ(scale.eighths, 1);
  Image small{scale.width, scale.height, std::vector<uint8_t>(size_t{3} * 528 * 396)};
  ASSERT_TRUE(codec::DecodeJpegScaled(file, scale, {small.bgr.data(), 528, 396, 3 * 528}).Ok());
  Image full{4224, 3168, std::vector<uint8_t>(size_t{3} * 4224 * 3168)};
  ASSERT_TRUE(codec::DecodeJpeg(file, {full.bgr.data(), 4224, 3168, 3 * 4224}).Ok());
  double sum = 0;
  for (int32_t j = 0; j < 396; ++j) {
    for (int32_t i = 0; i < 528; ++i) {
      for (int32_t c = 0; c < 3; ++c) {
        int32_t block = 0;
        for (int32_t y = 8 * j; y < 8 * j + 8; ++y)
          for (int32_t x = 8 * i; x < 8 * i + 8; ++x) block += full.bgr[3 * (size_t{4224} * y + x) + c];
        sum += std::abs(small.bgr[3 * (size_t{528} * j + i) + c] - block / 64.0);
      }
    }
  }
  EXPECT_LT(sum / (528 * 396 * 3), 1.5);
}

// Several workers give the bytes of one; so does convert --batch.
TEST(Thumbnail, JobsGiveTheBytesOfOneWorker) {
  TempFolder folder;
  std::vector<std::string> inputs;
  for (int i = 0; i < 6; ++i) {
    inputs.push_back("p" + std::to_string(i) + ".jpg");
    folder.Write(inputs.back(), Jpeg(Noise(300 + 40 * i, 200 + 10 * i), 1 + i));
  }
  auto run = [&](int (*command)(cli::Arguments, cli::Console&), std::vector<std::string> args) {
    args.insert(args.end(), inputs.begin(), inputs.end());
    CommandResult result = RunInProcess(command, args, folder.Path());
    EXPECT_EQ(result.status, 0) << result.err;
  };
  for (const char* jobs : {"1", "2", "5"}) {
    run(cli::RunThumbnail, {"--size", "100x80", "--jobs", jobs, "--out-dir", std::string("t") + jobs});
    run(cli::RunConvert, {"--batch", "--jobs", jobs, "--out-dir", std::string("c") + jobs,
                          "--resample", "50,0", "--rotate-left"});
  }
  for (const std::string& input : inputs) {
    const std::string jpg = fs::path(input).string();
    EXPECT_EQ(ReadBytes(folder / "t1" / jpg), ReadBytes(folder / "t2" / jpg));
    EXPECT_EQ(ReadBytes(folder / "t1" / jpg), ReadBytes(folder / "t5" / jpg));
    EXPECT_EQ(ReadBytes(folder / "c1" / jpg), ReadBytes(folder / "c2" / jpg));
    EXPECT_EQ(ReadBytes(folder / "c1" / jpg), ReadBytes(folder / "c5" / jpg));
  }
}

// An output folder that is a link to the input folder, or an output that is a link to an input,
// is refused before anything is written; the inputs keep their bytes.
TEST(Thumbnail, NeverOverwritesAnInputThroughALink) {
  TempFolder folder;
  const std::vector<uint8_t> photo = Jpeg(Noise(64, 48));
  folder.Write("in/a.jpg", photo);
  folder.Write("in/b.jpg", photo);
  fs::create_directory_symlink(folder / "in", folder / "alias");
  fs::create_symlink(folder / "in/b.jpg", folder / "link.jpg");
  struct Case {
    int (*command)(cli::Arguments, cli::Console&);
    std::vector<std::string> args;
    const char* message;
  };
  const Case cases[] = {
      {cli::RunThumbnail, {"in/a.jpg", "--size", "8", "--out-dir", "alias"},
       "'alias/a.jpg' would overwrite the input 'in/a.jpg'"},
      {cli::RunConvert, {"--batch", "in/b.jpg", "--out-dir", "alias/"},
       "'alias/b.jpg' would overwrite the input 'in/b.jpg'"},
      {cli::RunThumbnail, {"in/b.jpg", "--size", "8", "-o", "link.jpg"},
       "'link.jpg' would overwrite the input 'in/b.jpg'"},
      {cli::RunThumbnail, {"in/a.jpg", "--size", "8", "-o", "in/../in/a.jpg"},
       "would overwrite the input 'in/a.jpg'"},
      {cli::RunThumbnail, {"--size", "8", "-o", "x.jpg", "in/a.jpg", "in/b.jpg"},
       "-o names one output"},
      {cli::RunThumbnail, {"in/a.jpg", "--size", "0", "-o", "x.jpg"}, "--size: '0' is not W or WxH"},
      {cli::RunThumbnail, {"in/a.jpg", "--size", "8x", "-o", "x.jpg"}, "--size: '8x' is not W"},
      {cli::RunThumbnail, {"in/a.jpg", "-o", "x.jpg"}, "thumbnail needs --size W[xH]"},
      {cli::RunThumbnail, {"in/a.jpg", "--size", "8"}, "thumbnail needs either --out-dir"},
      {cli::RunThumbnail, {"in/a.jpg", "--size", "8", "-o", "x", "--jobs", "0"}, "--jobs: '0'"},
      {cli::RunThumbnail, {"in/a.jpg", "--size", "8", "-o", "x", "--quality", "101"},
       "--quality: '101'"},
      {cli::RunConvert, {"in/a.jpg", "x.jpg", "--jobs", "2"}, "--jobs applies to --batch only"},
  };
  for (const Case& c : cases) {
    CommandResult result = RunInProcess(c.command, c.args, folder.Path());
    EXPECT_EQ(result.status, 2) << c.message;
    EXPECT_NE(result.err.find(c.message), std::string::npos) << result.err;
  }
  EXPECT_EQ(ReadBytes(folder / "in/a.jpg"), photo);
  EXPECT_EQ(ReadBytes(folder / "in/b.jpg"), photo);
  EXPECT_EQ(folder.Entries(), (std::vector<std::string>{"alias", "in", "link.jpg"}));
  EXPECT_EQ(folder.Entries("in"), (std::vector<std::string>{"a.jpg", "b.jpg"}));
}

}  // namespace
}  // namespace corvella::testing
