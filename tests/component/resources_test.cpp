// Failures release what they took and keep what was there. Resources are released on every path:
// members that fail in every way they can (missing and unreadable files, folders given as files,
// files that do not decode, overlays that fail, saves that cannot be written, fonts that do not
// exist) leave no file descriptor open and no object alive, however often they fail. Leaks of
// memory are LeakSanitizer's part (the sanitizer build runs every test with leak detection).
//
// Peak memory: the thumbnail job on the largest test image (seeding_5312x2988_base.jpg: open,
// Resample(200, 0), Quality 75, SaveFile): it must fit in 1.3 x (the decoded bitmap + the file's
// bytes). Measured as the address space that the job adds to the process: the job runs in a
// child process whose address space is capped at what it already maps plus that budget, so
// every allocation of the component and its libraries counts, and nothing of the process's own
// (code, libraries loaded before, the test framework) does. A second child with a cap of only
// the bitmap shows that the cap bites: there the job cannot decode. Sanitizers reserve far more
// address space than any cap, so their builds skip this.
//
// File faults: SaveFile, OpenFile and AddImage when the system calls of the native file system
// fail: a full disk, a failed flush or rename, a refused permission (a folder that disappears
// between two steps is the platform's test; here it is one more failed call). The documented
// error comes back (1120 "Ferrowick.File" for the writer of undecoded bytes, 1140 with its code
// for the JPEG encoder, the platform's file errors for reading), the target keeps its old
// contents, no temporary file is left and no descriptor stays open.

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "component/component_fixtures.h"
#include "corvella/platform/byte_array.h"
#include "support/errors.h"
#include "support/temp_folder.h"
#if !defined(_WIN32)
#include "support/file_faults.h"
#endif

namespace corvella::component {
namespace {

using platform::ByteArray;
using platform::Variant;
using test::kImages;
using testing::Component;
using testing::ErrorNumberOf;
using testing::ErrorOf;
using testing::ReadBytes;
using testing::Runtime;
using testing::TempFolder;
using Bytes = std::vector<uint8_t>;

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
  auto page = test::Page(folder).context;

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

const std::filesystem::path kImage = test::kImages / "seeding_5312x2988_base.jpg";

#if defined(CORVELLA_CAP_ADDRESS_SPACE)
// The thumbnail job in a capped child: exit 0 when it made a 200 x 112 JPEG file, 1 when it did
// not, 2 when it raised.
[[noreturn]] void ThumbnailJob(size_t budget, const std::filesystem::path& out) {
  test::CapAddressSpace(budget);
  try {
    Pictron p;
    p.OpenFile(test::Physical(kImage));
    int32_t w = 200, h = 0;
    p.Resample(w, h);
    p.Quality(75);
    platform::Variant target(test::Physical(out));
    p.SaveFile(target);
    bool made = p.width() == 200 && p.Height() == 112 && std::filesystem::file_size(out) > 1000;
    std::_Exit(made ? 0 : 1);
  } catch (...) {
    std::_Exit(2);
  }
}
#endif

TEST(Memory, ThumbnailJobFitsInItsBitmapAndFileWithThirtyPercentToSpare) {
#if !defined(CORVELLA_CAP_ADDRESS_SPACE)
  GTEST_SKIP() << "needs an address space cap, which conflicts with the sanitizers";
#else
  imaging::cDIBSection probe;
  ASSERT_TRUE(probe.Create(5312, 1));
  const size_t bitmap = static_cast<size_t>(probe.BytesPerScanLine()) * 2988;  // rows padded
  const size_t file = std::filesystem::file_size(kImage);
  const size_t budget = (bitmap + file) * 13 / 10;
  testing::TempFolder folder;
  EXPECT_EXIT(ThumbnailJob(budget, folder / "thumb.jpg"), ::testing::ExitedWithCode(0), "")
      << "the job needs more than " << budget << " bytes";
  // Control: with room for the bitmap alone, the image cannot even be decoded, which Resample
  // reports (runtime error 7) instead of doing nothing.
  EXPECT_EXIT(ThumbnailJob(bitmap, folder / "thumb2.jpg"), ::testing::ExitedWithCode(2), "");
#endif
}

#if !defined(_WIN32)
using testing::FileCall;
using testing::FileFaults;

const Bytes kOld = {'o', 'l', 'd'};

// An object bound to a page whose site is @p folder, holding the opened copy of @p image;
// decoded (so that saving encodes) when @p decoded.
std::unique_ptr<Pictron> OpenedObject(const TempFolder& folder,
                                      const std::shared_ptr<host::PageContext>& page,
                                      const std::string& image, bool decoded) {
  std::filesystem::copy_file(kImages / image, folder / image,
                             std::filesystem::copy_options::overwrite_existing);
  auto p = std::make_unique<Pictron>();
  p->OnStartPage(page);
  p->OpenFile(platform::Utf8ToWide(image));
  if (decoded) p->Quality(75);
  return p;
}

// The error that a failed SaveFile must raise on each path.
void ExpectSaveError(const std::optional<platform::Error>& error, bool decoded) {
  ASSERT_TRUE(error);
  if (decoded) {
    EXPECT_EQ(error->Number(), Component(1140));
    EXPECT_EQ(error->Source(), "Corvella.Pictron");
    EXPECT_EQ(error->Description(), "Failed to Save (Error 1140)-10");
  } else {
    EXPECT_EQ(error->Number(), Component(1120));
    EXPECT_EQ(error->Source(), "Ferrowick.File");
    EXPECT_EQ(error->Description(), "Unable to save file (Error 1120) ");
  }
}

struct Fault {
  const char* what;
  FileCall call;
  int nth;
  int error;
  int number;  // the runtime error it gives
};

// Each call of the writer failing in turn is the platform's test; here, through the object, a disk
// that fills up in the middle of the file, and the opened file itself overwritten (no name), keep
// their old contents and give the object's own errors.
TEST(FileFaults, SaveFileNeverLeavesAHalfWrittenTarget) {
  TempFolder folder;
  auto page = test::Page(folder).context;
  for (bool decoded : {false, true}) {
    SCOPED_TRACE(decoded ? "encoder" : "raw bytes");
    std::unique_ptr<Pictron> p = OpenedObject(folder, page, "egret_600x450.jpg", decoded);
    const double size = p->Size();
    folder.Write("out.jpg", kOld);
    // A disk that fills up in the middle of the file.
    {
      FileFaults faults;
      faults.LimitSpace(4000);
      Variant target(u"out.jpg");
      ExpectSaveError(ErrorOf([&] { p->SaveFile(target); }), decoded);
      EXPECT_EQ(faults.Count(FileCall::Write), 2);
      EXPECT_EQ(faults.OpenDescriptors(), 0);
      EXPECT_EQ(p->Size(), size);
    }
    EXPECT_EQ(ReadBytes(folder / "out.jpg"), kOld);
    EXPECT_EQ(folder.Entries(), (std::vector<std::string>{"egret_600x450.jpg", "out.jpg"}));
    // Overwriting the opened file itself (no name) keeps it whole as well.
    {
      FileFaults faults;
      faults.Fail(FileCall::Fsync, 1, EIO);
      Variant missing = Variant::Missing();
      ExpectSaveError(ErrorOf([&] { p->SaveFile(missing); }), decoded);
    }
    EXPECT_EQ(ReadBytes(folder / "egret_600x450.jpg"), ReadBytes(kImages / "egret_600x450.jpg"));
    // With the faults gone, the same object saves.
    Variant target(u"out.jpg");
    p->SaveFile(target);
    EXPECT_NE(ReadBytes(folder / "out.jpg"), kOld);
    std::filesystem::remove(folder / "out.jpg");
  }
}

TEST(FileFaults, OpenFileAndAddImagePassTheFileErrorsThrough) {
  TempFolder folder;
  auto page = test::Page(folder).context;
  std::unique_ptr<Pictron> p = OpenedObject(folder, page, "egret_600x450.jpg", true);
  std::filesystem::copy_file(kImages / "pngsuite_basn3p04.png", folder / "logo.png");
  const Fault faults[] = {
      {"permission refused", FileCall::Open, 1, EACCES, 70},
      {"a device error while reading", FileCall::Read, 1, EIO, 57},
      {"too many open files", FileCall::Open, 1, EMFILE, 75},
  };
  for (const Fault& fault : faults) {
    SCOPED_TRACE(fault.what);
    FileFaults injected;
    injected.Fail(fault.call, fault.nth, fault.error);
    auto error = ErrorOf([&] { p->OpenFile(u"logo.png"); });
    ASSERT_TRUE(error);
    EXPECT_EQ(error->Number(), Runtime(fault.number)) << error->Description();
    EXPECT_EQ(error->Source(), "Corvella.Pictron");
    EXPECT_EQ(injected.OpenDescriptors(), 0);
  }
  // The object still holds the image it had and goes on working.
  EXPECT_EQ(p->State().strFormat, u"JPEG");
  EXPECT_EQ(p->width(), 600);

  // The file disappears between the existence test and the read: file not found.
  {
    FileFaults injected;
    injected.Fail(FileCall::Open, 1, 0, [&] { std::filesystem::remove(folder / "logo.png"); });
    EXPECT_EQ(ErrorOf([&] { p->OpenFile(u"logo.png"); })->Number(), Runtime(53));
  }
  std::filesystem::copy_file(kImages / "pngsuite_basn3p04.png", folder / "logo.png");

  // AddImage reads its overlay through the same service; the image stays unchanged on failure.
  p->OpenFile(u"egret_600x450.jpg");
  p->Quality(75);
  Variant before;
  p->SaveBinary(before);
  {
    FileFaults injected;
    injected.Fail(FileCall::Read, 1, EIO);
    Variant x(0), y(0), key = Variant::Missing();
    EXPECT_EQ(ErrorOf([&] { p->AddImage(u"logo.png", x, y, key); })->Number(), Runtime(57));
    EXPECT_EQ(injected.OpenDescriptors(), 0);
  }
  Variant after;
  p->SaveBinary(after);
  EXPECT_EQ(before, after);
}
#endif  // !defined(_WIN32)

}  // namespace
}  // namespace corvella::component
