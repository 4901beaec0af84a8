// Resources are released on every path: members that fail in every way they can (missing and
// unreadable files, folders given as files, files that do not decode, overlays that fail, saves
// that cannot be written, fonts that do not exist) leave no file descriptor open and no object
// alive, however often they fail. Leaks of memory are LeakSanitizer's part (the sanitizer build
// runs every test with leak detection).

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "corvella/component/pictron.h"
#include "corvella/platform/byte_array.h"
#include "corvella/host/page_host.h"
#include "corvella/platform/text.h"
#include "support/errors.h"
#include "support/temp_folder.h"

namespace corvella::component {
namespace {

using platform::ByteArray;
using platform::Variant;
using testing::ErrorNumberOf;
using testing::ReadBytes;
using testing::TempFolder;

const std::filesystem::path kImages = std::filesystem::path(CORVELLA_TEST_DATA) / "images";

// The number of file descriptors the process holds; -1 where the system does not list them.
int OpenDescriptors() {
  std::error_code error;
  std::filesystem::directory_iterator it("/proc/self/fd", error);
  if (error) return -1;
  int count = 0;
  for (; it != std::filesystem::directory_iterator(); it.increment(error))
    ++count;
  return count;
}

// One round of failures of every kind, each checked for its documented error, then one job that
// succeeds.
void FailInEveryWay(const std::shared_ptr<host::PageContext>& page) {
  Pictron p;
  p.OnStartPage(page);
  EXPECT_NE(ErrorNumberOf([&] { p.OpenFile(u"missing.jpg"); }), 0);
  EXPECT_NE(ErrorNumberOf([&] { p.OpenFile(u"folder.jpg"); }), 0);
  EXPECT_NE(ErrorNumberOf([&] { p.OpenFile(u"empty.jpg"); }), 0);
  // Opens, then fails to decode: the loaders and libjpeg release what they took.
  for (const char* name : {"broken.png", "broken.gif", "broken.bmp", "broken.jpg"}) {
    p.OpenFile(platform::Utf8ToWide(name));
    EXPECT_NE(ErrorNumberOf([&] { p.Negative(); }), 0) << name;
  }
  p.OpenFile(u"photo.jpg");
  Variant x(0), y(0), key = Variant::Missing();
  for (const char16_t* overlay : {u"missing.png", u"folder.jpg", u"broken.png", u"broken.gif"}) {
    EXPECT_NE(ErrorNumberOf([&] { p.AddImage(overlay, x, y, key); }), 0);
  }
  // Text in faces that do not exist, at sizes and angles that stretch the renderer.
  p.SetFontFace(u"No Such Face \u4e2d");
  p.SetFontSize(300);
  p.SetFontOrientation(45);
  p.AddText(u"Wide text \u00e9\u4e2d", 0, 0);
  // Saves that cannot be written: the folder is missing, the target is a folder (both paths).
  Variant nowhere(u"gone/out.jpg"), onFolder(u"folder.jpg");
  EXPECT_NE(ErrorNumberOf([&] { p.SaveFile(nowhere); }), 0);
  EXPECT_NE(ErrorNumberOf([&] { p.SaveFile(onFolder); }), 0);
  p.OpenFile(u"photo.jpg");
  EXPECT_NE(ErrorNumberOf([&] { p.SaveFile(onFolder); }), 0);
  // In memory: encodings that fail and arrays that cannot be read.
  EXPECT_NE(
      ErrorNumberOf([&] {
        p.OpenBinary(ByteArray::FromBytes(std::vector<uint8_t>{0xFF, 0xD8, 0xFF, 0xC0, 0, 1}));
      }),
      0);
  EXPECT_NE(ErrorNumberOf([&] { p.Blur(); }), 0);
  // And a job that works.
  p.OpenFile(u"photo.jpg");
  int32_t w = 64, h = 0;
  p.Resample(w, h);
  Variant out(u"out.jpg");
  p.SaveFile(out);
  Variant binary;
  p.SaveBinary(binary);
  p.OnEndPage();
}

TEST(Resources, FailuresLeaveNoDescriptorAndNoObjectBehind) {
  TempFolder folder;
  const auto photo = testing::ReadBytes(kImages / "egret_600x450.jpg");
  folder.Write("photo.jpg", photo);
  folder.Write("empty.jpg", {});
  std::filesystem::create_directory(folder / "folder.jpg");
  // Real files cut short after their headers.
  for (const char* name :
       {"horse_rgba_400x328.png", "snake_600x450.gif", "snake_8bit_pal_600x450.bmp"}) {
    auto bytes = ReadBytes(kImages / name);
    bytes.resize(bytes.size() / 2);
    std::string broken = std::string("broken") + std::filesystem::path(name).extension().string();
    folder.Write(broken, bytes);
  }
  // A JPEG whose frame asks for 12-bit samples: it opens, and libjpeg refuses to decode it.
  auto broken = photo;
  for (size_t i = 2; i + 4 < broken.size(); ++i) {
    if (broken[i] == 0xFF && broken[i + 1] == 0xC0) {
      broken[i + 4] = 12;
      break;
    }
  }
  folder.Write("broken.jpg", broken);
  auto page = std::make_shared<host::PageContext>(platform::Utf8ToWide(folder.Path().string()),
                                                      u"/index.asp");

  // A first round fills the process-wide caches (fonts, the font configuration).
  FailInEveryWay(page);
  const int descriptors = OpenDescriptors();
  const int64_t objects = LivePictronCount();
  for (int round = 0; round < 20; ++round)
    FailInEveryWay(page);
  if (descriptors >= 0) {
    EXPECT_EQ(OpenDescriptors(), descriptors);
  }
  EXPECT_EQ(LivePictronCount(), objects);
  // Nothing but what the jobs wrote on purpose is left in the folder.
  EXPECT_EQ(folder.Entries(),
            (std::vector<std::string>{"broken.bmp", "broken.gif", "broken.jpg", "broken.png",
                                      "empty.jpg", "folder.jpg", "out.jpg", "photo.jpg"}));
}

}  // namespace
}  // namespace corvella::component
