// SaveFile, OpenFile and AddImage when the system calls of the native file system fail: a full
// disk, a failed flush or rename, a refused permission (a folder that disappears between two
// steps is the platform's test; here it is one more failed call). The documented error comes back (1120 "Ferrowick.File" for the writer of undecoded
// bytes, 1140 with its code for the JPEG encoder, the platform's file errors for reading), the
// target keeps its old contents, no temporary file is left and no descriptor stays open.

#if !defined(_WIN32)

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "corvella/component/pictron.h"
#include "corvella/host/page_host.h"
#include "corvella/platform/text.h"
#include "support/errors.h"
#include "support/file_faults.h"
#include "support/temp_folder.h"

namespace corvella::component {
namespace {

using platform::Variant;
using testing::Component;
using testing::ErrorOf;
using testing::FileCall;
using testing::FileFaults;
using testing::ReadBytes;
using testing::Runtime;
using testing::TempFolder;
using Bytes = std::vector<uint8_t>;

const std::filesystem::path kImages = std::filesystem::path(CORVELLA_TEST_DATA) / "images";
const Bytes kOld = {'o', 'l', 'd'};

std::u16string Wide(const std::filesystem::path& path) {
  return platform::Utf8ToWide(path.string());
}

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
};

// Each call of the writer failing in turn is the platform's test; here, through the object, a disk
// that fills up in the middle of the file, and the opened file itself overwritten (no name), keep
// their old contents and give the object's own errors.
TEST(FileFaults, SaveFileNeverLeavesAHalfWrittenTarget) {
  TempFolder folder;
  auto page = std::make_shared<host::PageContext>(Wide(folder.Path()), u"/index.asp");
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
  auto page = std::make_shared<host::PageContext>(Wide(folder.Path()), u"/index.asp");
  std::unique_ptr<Pictron> p = OpenedObject(folder, page, "egret_600x450.jpg", true);
  std::filesystem::copy_file(kImages / "pngsuite_basn3p04.png", folder / "logo.png");
  const Fault faults[] = {
      {"permission refused", FileCall::Open, 1, EACCES},
      {"a device error while reading", FileCall::Read, 1, EIO},
      {"too many open files", FileCall::Open, 1, EMFILE},
  };
  const int numbers[] = {70, 57, 75};
  for (size_t i = 0; i < std::size(faults); ++i) {
    const Fault& fault = faults[i];
    SCOPED_TRACE(fault.what);
    FileFaults injected;
    injected.Fail(fault.call, fault.nth, fault.error);
    auto error = ErrorOf([&] { p->OpenFile(u"logo.png"); });
    ASSERT_TRUE(error);
    EXPECT_EQ(error->Number(), Runtime(numbers[i])) << error->Description();
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

}  // namespace
}  // namespace corvella::component

#endif  // !defined(_WIN32)
