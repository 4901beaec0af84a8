#include "corvella/platform/file_system.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "corvella/platform/text.h"
#include "support/errors.h"
#include "support/temp_folder.h"

namespace corvella::platform {
namespace {

using testing::ErrorOf;
using testing::Runtime;
using testing::TempFolder;

std::u16string Wide(const std::filesystem::path& path) {
  return Utf8ToWide(path.string());
}

// The path with its separators written as backslashes, as a Windows page would write it.
std::u16string WithBackslashes(const std::filesystem::path& path) {
  std::u16string text = Wide(path);
  for (char16_t& c : text) {
    if (c == u'/') c = u'\\';
  }
  return text;
}

// Expects @p body to raise runtime error @p number with a description that names @p path.
template <typename Body>
void ExpectSystemError(Body&& body, int number, const std::filesystem::path& path) {
  auto error = ErrorOf(body);
  ASSERT_TRUE(error) << "no error for " << path;
  EXPECT_EQ(error->Number(), Runtime(number)) << error->Description();
  EXPECT_NE(error->Description().find(path.string()), std::string::npos) << error->Description();
}

TEST(FileSystem, GetFileNameTakesTheLastComponent) {
  EXPECT_EQ(FileSystem::GetFileName(u"C:\\pictures\\photo.jpg"), u"photo.jpg");
  EXPECT_EQ(FileSystem::GetFileName(u"/srv/site/photo.jpg"), u"photo.jpg");
  EXPECT_EQ(FileSystem::GetFileName(u"a\\b/c.gif"), u"c.gif");
  EXPECT_EQ(FileSystem::GetFileName(u"photo.jpg"), u"photo.jpg");
  EXPECT_EQ(FileSystem::GetFileName(u"C:\\pictures\\"), u"");
  EXPECT_EQ(FileSystem::GetFileName(u""), u"");
}

TEST(FileSystem, ExistenceTestsAcceptBothSeparatorsAndNeverRaise) {
  TempFolder folder;
  auto file = folder.Write("sub/photo.bin", {1, 2, 3});
  auto fs = MakeNativeFileSystem();
  EXPECT_TRUE(fs->FileExists(Wide(file)));
  EXPECT_TRUE(fs->FileExists(WithBackslashes(file)));
  EXPECT_FALSE(fs->FileExists(Wide(folder / "sub")));  // a folder is not a file
  EXPECT_FALSE(fs->FileExists(Wide(folder / "sub/missing.bin")));
  EXPECT_FALSE(fs->FileExists(Wide(file) + u"/below"));  // a file used as a folder
  EXPECT_FALSE(fs->FileExists(u""));
  EXPECT_FALSE(fs->FileExists(Wide(file) + std::u16string(1, u'\0')));

  EXPECT_TRUE(fs->FolderExists(Wide(folder / "sub")));
  EXPECT_TRUE(fs->FolderExists(WithBackslashes(folder / "sub") + u"\\"));
  EXPECT_TRUE(fs->FolderExists(Wide(folder / "sub") + u"/"));
  EXPECT_FALSE(fs->FolderExists(Wide(file)));
  EXPECT_FALSE(fs->FolderExists(Wide(folder / "none") + u"\\"));
  EXPECT_FALSE(fs->FolderExists(u""));
}

TEST(FileSystem, GetFileAnswersTheSizeOrAClearError) {
  TempFolder folder;
  auto file = folder.Write("a.bin", std::vector<uint8_t>(1234, 7));
  auto fs = MakeNativeFileSystem();
  FileInfo info = fs->GetFile(WithBackslashes(file));
  EXPECT_EQ(info.Size, 1234);
  EXPECT_EQ(info.Path, WithBackslashes(file));
  ExpectSystemError([&] { fs->GetFile(Wide(folder / "b.bin")); }, 53, folder / "b.bin");
  ExpectSystemError([&] { fs->GetFile(Wide(folder / "no/b.bin")); }, 76, folder / "no/b.bin");
  ExpectSystemError([&] { fs->GetFile(Wide(folder.Path())); }, 75, folder.Path());
}

TEST(FileSystem, ReadAllReadsEveryByteOrRaisesWithPathAndReason) {
  TempFolder folder;
  std::vector<uint8_t> content(3 * 1024 * 1024 + 17);
  for (size_t i = 0; i < content.size(); ++i)
    content[i] = static_cast<uint8_t>(i * 7 + i / 251);
  auto file = folder.Write("big.bin", content);
  auto fs = MakeNativeFileSystem();

  ByteArray bytes = fs->ReadAll(WithBackslashes(file));
  EXPECT_EQ(bytes.LBound(), 0);
  EXPECT_EQ(bytes.Size(), content.size());
  EXPECT_TRUE(std::equal(content.begin(), content.end(), bytes.Bytes().begin()));

  ByteArray empty = fs->ReadAll(Wide(folder.Write("empty.bin", {})));
  EXPECT_TRUE(empty.IsAllocated());
  EXPECT_EQ(empty.UBound(), -1);

  auto missing = folder / "missing.bin";
  auto error = ErrorOf([&] { fs->ReadAll(Wide(missing)); });
  ASSERT_TRUE(error);
  EXPECT_EQ(error->Number(), Runtime(53));
  EXPECT_NE(error->Description().find(missing.string()), std::string::npos);
  EXPECT_NE(error->Description().find("No such file or directory"), std::string::npos);

  ExpectSystemError([&] { fs->ReadAll(Wide(folder / "none/x.bin")); }, 76, folder / "none/x.bin");
  ExpectSystemError([&] { fs->ReadAll(Wide(file) + u"/x"); }, 76, file);  // a file as a folder
  ExpectSystemError([&] { fs->ReadAll(Wide(folder.Path())); }, 75, folder.Path());

  // A FIFO is refused at once rather than waited on.
  auto fifo = folder / "pipe";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  ExpectSystemError([&] { fs->ReadAll(Wide(fifo)); }, 75, fifo);

  // A file too large for a byte array: refused before anything is allocated (a sparse file).
  auto huge = folder / "huge.bin";
  std::filesystem::resize_file(folder.Write("huge.bin", {}), 0x80000000ull);
  ExpectSystemError([&] { fs->ReadAll(Wide(huge)); }, 6, huge);
}

TEST(FileSystem, WriteFileAtomicallyCreatesAndReplaces) {
  TempFolder folder;
  auto fs = MakeNativeFileSystem();
  auto target = folder / "out.jpg";
  fs->WriteFileAtomically(WithBackslashes(target), std::vector<uint8_t>{1, 2, 3});
  EXPECT_EQ(testing::ReadBytes(target), (std::vector<uint8_t>{1, 2, 3}));

  // Replacing keeps the permission bits and leaves nothing else in the folder.
  std::filesystem::permissions(target, std::filesystem::perms::owner_read |
                                           std::filesystem::perms::owner_write |
                                           std::filesystem::perms::group_read);
  fs->WriteFileAtomically(Wide(target), std::vector<uint8_t>{9, 8});
  EXPECT_EQ(testing::ReadBytes(target), (std::vector<uint8_t>{9, 8}));
  EXPECT_EQ(std::filesystem::status(target).permissions() & std::filesystem::perms::all,
            std::filesystem::perms::owner_read | std::filesystem::perms::owner_write |
                std::filesystem::perms::group_read);
  fs->WriteFileAtomically(Wide(target), {});
  EXPECT_EQ(std::filesystem::file_size(target), 0u);
  EXPECT_EQ(folder.Entries(), std::vector<std::string>{"out.jpg"});

  // Writing through a symbolic link replaces the file it points to.
  std::filesystem::create_symlink(target, folder / "link.jpg");
  fs->WriteFileAtomically(Wide(folder / "link.jpg"), std::vector<uint8_t>{5});
  EXPECT_TRUE(std::filesystem::is_symlink(folder / "link.jpg"));
  EXPECT_EQ(testing::ReadBytes(target), (std::vector<uint8_t>{5}));
}

TEST(FileSystem, FailedWritesLeaveTheTargetAndNoTemporaryFile) {
  TempFolder folder;
  auto fs = MakeNativeFileSystem();
  auto target = folder.Write("keep.jpg", {4, 4, 4, 4});
  std::vector<uint8_t> payload(64 * 1024, 0xAB);

  // The target is a folder.
  std::filesystem::create_directory(folder / "dir.jpg");
  ExpectSystemError([&] { fs->WriteFileAtomically(Wide(folder / "dir.jpg"), payload); }, 75,
                    folder / "dir.jpg");
  // The folder does not exist.
  ExpectSystemError([&] { fs->WriteFileAtomically(Wide(folder / "gone/x.jpg"), payload); }, 76,
                    folder / "gone/x.jpg");
  // A file stands where a folder should be.
  ExpectSystemError([&] { fs->WriteFileAtomically(Wide(target) + u"/x.jpg", payload); }, 76,
                    target);
  EXPECT_EQ(folder.Entries(), (std::vector<std::string>{"dir.jpg", "keep.jpg"}));
  EXPECT_TRUE(std::filesystem::is_empty(folder / "dir.jpg"));

  // The disk fills up in the middle of the write (a file size limit stands in for a full disk).
  struct sigaction ignore = {}, previousAction = {};
  ignore.sa_handler = SIG_IGN;
  ASSERT_EQ(::sigaction(SIGXFSZ, &ignore, &previousAction), 0);
  rlimit previousLimit;
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &previousLimit), 0);
  rlimit limit = previousLimit;
  limit.rlim_cur = 1000;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limit), 0);
  auto error = ErrorOf([&] { fs->WriteFileAtomically(Wide(target), payload); });
  ::setrlimit(RLIMIT_FSIZE, &previousLimit);
  ::sigaction(SIGXFSZ, &previousAction, nullptr);
  ASSERT_TRUE(error);
  EXPECT_EQ(error->Number(), Runtime(61));
  EXPECT_NE(error->Description().find(target.string()), std::string::npos);
  EXPECT_EQ(testing::ReadBytes(target), (std::vector<uint8_t>{4, 4, 4, 4}));
  EXPECT_EQ(folder.Entries(), (std::vector<std::string>{"dir.jpg", "keep.jpg"}));
}

// A file system that answers from memory, standing in for a host's replacement.
class FakeFileSystem final : public FileSystem {
 public:
  bool FileExists(std::u16string_view) override { return true; }
  bool FolderExists(std::u16string_view) override { return false; }
  FileInfo GetFile(std::u16string_view path) override { return {std::u16string(path), 42}; }
  ByteArray ReadAll(std::u16string_view) override { return ByteArray::Allocate(42); }
  void WriteFileAtomically(std::u16string_view, std::span<const uint8_t>) override {
    Raise(RuntimeError::DiskFull, "fake");
  }
};

TEST(FileSystem, HostsCanReplaceTheFactory) {
  auto fake = std::make_shared<FakeFileSystem>();
  {
    ScopedFileSystemFactory scope([fake] { return fake; });
    EXPECT_EQ(CreateFileSystem(), fake);
    {
      ScopedFileSystemFactory inner([] { return MakeNativeFileSystem(); });
      EXPECT_NE(CreateFileSystem(), fake);
    }
    EXPECT_EQ(CreateFileSystem(), fake);
  }
  auto native = CreateFileSystem();
  EXPECT_NE(native, fake);
  EXPECT_FALSE(native->FileExists(u"/nonexistent/corvella/file"));
  FileSystemFactory previous = SetFileSystemFactory([fake] { return fake; });
  EXPECT_FALSE(previous);
  EXPECT_EQ(CreateFileSystem()->GetFile(u"x").Size, 42);
  SetFileSystemFactory(nullptr);
  EXPECT_NE(CreateFileSystem(), fake);
}

}  // namespace
}  // namespace corvella::platform
