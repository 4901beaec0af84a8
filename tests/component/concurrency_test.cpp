// Objects share no mutable state: many objects on several threads at once open images of every
// format, resample, crop, rotate, filter, draw text in several fonts, paint overlays and save to
// files and byte arrays, and each result equals the one the same job gives alone. The jobs run
// concurrently first, in a fresh process, so that the process-wide caches (fonts, SIMD
// detection) are filled by threads racing for them; meanwhile another thread keeps replacing the
// file system factory and setting the pixel limit. Built on its own under ThreadSanitizer
// (scripts/build tsan).

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <latch>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "component/component_fixtures.h"
#include "corvella/imaging/pixel_limit.h"
#include "corvella/platform/error.h"
#include "corvella/platform/file_system.h"

namespace corvella::component {
namespace {

using platform::ByteArray;
using platform::Variant;
using testing::ReadBytes;
using testing::TempFolder;
using Bytes = std::vector<uint8_t>;

using test::kImages;
using test::Physical;

// What one job made: the file that SaveFile wrote and the bytes that SaveBinary handed out.
struct Result {
  Bytes file;
  Bytes binary;
  int32_t width = 0;
  int32_t height = 0;
  bool operator==(const Result&) const = default;
};

// One job of a page: open, a few operations, text and overlay, save twice. @p variant picks the
// image, the operations and the font settings.
Result RunJob(int variant, const TempFolder& folder, const std::string& out) {
  Pictron p;
  std::shared_ptr<host::PageContext> page;
  if (variant % 2 == 0) {
    page = test::Page(folder).context;
    p.OnStartPage(page);
  }
  const std::u16string logo = Physical(kImages / "pngsuite_basn3p04.png");
  Variant keyed(u"FFFFFF");
  Variant opaque = Variant::Missing();
  switch (variant % 6) {
    case 0: {  // a JPEG thumbnail with a caption and a logo
      p.OpenFile(Physical(kImages / "egret_600x450.jpg"));
      int32_t w = 240, h = 0;
      p.Resample(w, h);
      p.SetFontFace(u"DejaVu Sans");
      p.SetFontBold(-1);
      p.SetFontSize(14);
      p.SetFontColor(u"FFFF00");
      p.AddText(u"Egret \u00c4\u00d6 \u4e2d", u"LEFT", u"BOTTOM");
      p.AddImage(logo, u"RIGHT", u"TOP", keyed);
      break;
    }
    case 1: {  // a GIF cropped, turned and tinted, with slanted italic text
      p.OpenBinary(ByteArray::FromBytes(ReadBytes(kImages / "snake_600x450.gif")));
      int16_t x1 = 50, y1 = 40, x2 = 450, y2 = 400;
      p.Crop(x1, y1, x2, y2);
      p.RotateRight();
      p.Gamma(1.2f, 0.9f, 1.5f);
      p.SetFontFace(u"Liberation Serif");
      p.SetFontItalic(-1);
      p.SetFontOrientation(30);
      p.SetFontSize(18);
      p.AddText(u"Snake", u"CENTER", u"CENTER");
      break;
    }
    case 2: {  // a PNG made smaller, sharpened, grey, underlined text
      p.OpenFile(Physical(kImages / "coffee_rgb_600x400.png"));
      int32_t w = 300, h = 200;
      p.Resample(w, h);
      p.Sharpen();
      p.GreyScale();
      p.SetFontUnderline(-1);
      p.SetFontFace(u"Liberation Mono");
      p.AddText(u"Coffee 42", 10, 10);
      break;
    }
    case 3: {  // a palette BMP mirrored, blurred, negative, with a keyed overlay
      p.OpenBinary(ByteArray::FromBytes(ReadBytes(kImages / "snake_8bit_pal_600x450.bmp")));
      p.Mirror();
      p.Blur();
      p.Negative();
      p.AddImage(logo, 20, 30, keyed);
      p.AddImage(logo, u"CENTER", u"CENTER", opaque);
      break;
    }
    case 4: {  // a PNG with alpha, flipped and turned, Cyrillic text in another character set
      p.OpenFile(Physical(kImages / "horse_rgba_400x328.png"));
      p.Flip();
      p.RotateLeft();
      p.SetFontCharset(204);
      p.SetFontFace(u"DejaVu Serif");
      p.SetFontSize(-20);
      p.AddText(u"\u041b\u043e\u0448\u0430\u0434\u044c", u"RIGHT", u"TOP");
      break;
    }
    default: {  // a progressive JPEG made small in one step, a comment and a low quality
      p.OpenFile(Physical(kImages / "snake_grey_600x450.jpg"));
      int32_t w = 0, h = 100;
      p.Resample(w, h);
      p.Comment(u"made on a thread");
      p.SetFontFace(u"No Such Face Anywhere");
      p.AddText(u"fallback", u"LEFT", u"TOP");
      break;
    }
  }
  p.Quality(static_cast<int16_t>(60 + variant % 6 * 5));
  Variant target = page ? Variant(platform::Utf8ToWide(out)) : Variant(Physical(folder / out));
  p.SaveFile(target);
  Variant binary;
  p.SaveBinary(binary);
  Result result;
  result.file = ReadBytes(folder / out);
  std::span<const uint8_t> bytes = binary.AsByteArray().Bytes();
  result.binary.assign(bytes.begin(), bytes.end());
  result.width = p.width();
  result.height = p.Height();
  return result;
}

TEST(Concurrency, ObjectsOnManyThreadsGiveTheResultsTheyGiveAlone) {
  constexpr int kThreads = 6;
  constexpr int kJobsPerThread = 4;
  TempFolder folder;
  std::filesystem::create_directory(folder / "jobs");

  // All threads at once, started together.
  std::vector<std::vector<Result>> concurrent(kThreads, std::vector<Result>(kJobsPerThread));
  std::vector<std::string> failures(kThreads);
  std::latch start(kThreads + 1);
  std::atomic<bool> done{false};
  {
    std::vector<std::jthread> threads;
    for (int t = 0; t < kThreads; ++t) {
      threads.emplace_back([&, t] {
        start.arrive_and_wait();
        try {
          for (int j = 0; j < kJobsPerThread; ++j) {
            const int variant = t + j;  // every thread runs a different mix
            concurrent[t][j] = RunJob(
                variant, folder, "jobs/t" + std::to_string(t) + "_" + std::to_string(j) + ".jpg");
          }
        } catch (const platform::Error& error) {
          failures[t] = error.Description();
        }
      });
    }
    // Process-wide settings touched while the jobs run: the file system factory is replaced by
    // one that hands out the same native service, and the pixel limit is set to its own value.
    threads.emplace_back([&] {
      start.arrive_and_wait();
      const uint64_t limit = imaging::MaxPixels();
      while (!done.load()) {
        platform::ScopedFileSystemFactory scope([] { return platform::MakeNativeFileSystem(); });
        imaging::SetMaxPixels(limit);
        std::this_thread::yield();
      }
    });
    for (int t = 0; t < kThreads; ++t)
      threads[t].join();
    done = true;
  }
  for (int t = 0; t < kThreads; ++t)
    EXPECT_EQ(failures[t], "") << "thread " << t;

  // The same jobs one at a time.
  for (int t = 0; t < kThreads; ++t) {
    for (int j = 0; j < kJobsPerThread; ++j) {
      const int variant = t + j;
      Result alone = RunJob(variant, folder, "jobs/alone.jpg");
      EXPECT_FALSE(alone.binary.empty());
      EXPECT_EQ(alone.file, alone.binary) << "variant " << variant;
      EXPECT_TRUE(concurrent[t][j] == alone)
          << "thread " << t << ", job " << j << ", variant " << variant;
    }
  }
}

}  // namespace
}  // namespace corvella::component
