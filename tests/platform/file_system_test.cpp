// The native file system service against the real system: names, existence, reading, the errors
// with their numbers and details, atomic writes, links and special files.

#include "corvella/platform/file_system.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <string>

#include "corvella/platform/text.h"
#include "support/errors.h"
#include "support/temp_folder.h"

namespace corvella::platform {
namespace {

using testing::ErrorOf;
using testing::ReadBytes;
using testing::Runtime;
using testing::TempFolder;
using Bytes = std::vector<uint8_t>;
namespace fs = std::filesystem;

std::u16string Wide(const fs::path& path) {
  return Utf8ToWide(path.string());
}

// The path with its separators written as backslashes, as a Windows page would write it.
std::u16string WithBackslashes(const fs::path& path) {
  std::u16string text = Wide(path);
  for (char16_t& c : text) c = c == u'/' ? u'\\' : c;
  return text;
}

TEST(FileSystem, NamesAndExistence) {
  const std::pair<std::u16string_view, std::u16string_view> names[] = {
      {u"C:\\pictures\\photo.jpg", u"photo.jpg"}, {u"/srv/site/photo.jpg", u"photo.jpg"},
      {u"a\\b/c.gif", u"c.gif"},                  {u"photo.jpg", u"photo.jpg"},
      {u"C:\\pictures\\", u""},                   {u"", u""}};
  for (auto [path, name] : names) EXPECT_EQ(FileSystem::GetFileName(path), name);

  TempFolder folder;
  auto file = folder.Write("sub/photo.bin", {1, 2, 3});
  auto files = MakeNativeFileSystem();
  EXPECT_TRUE(files->FileExists(WithBackslashes(file)));
  EXPECT_TRUE(files->FolderExists(WithBackslashes(folder / "sub") + u"\\"));
  EXPECT_TRUE(files->FolderExists(Wide(folder / "sub") + u"/"));
  // Never raises: a folder, a missing file, a file used as a folder, the empty path, a NUL.
  for (const std::u16string& path :
       {Wide(folder / "sub"), Wide(folder / "sub/missing.bin"), Wide(file) + u"/below",
        std::u16string(), Wide(file) + std::u16string(1, u'\0')}) {
    EXPECT_FALSE(files->FileExists(path));
  }
  for (const std::u16string& path : {Wide(file), Wide(folder / "none") + u"\\", std::u16string()}) {
    EXPECT_FALSE(files->FolderExists(path));
  }
  EXPECT_EQ(files->GetFile(WithBackslashes(file)).Size, 3);
}

TEST(FileSystem, ReadAllReadsEveryByte) {
  TempFolder folder;
  Bytes content(3 * 1024 * 1024 + 17);
  for (size_t i = 0; i < content.size(); ++i) content[i] = static_cast<uint8_t>(i * 7 + i / 251);
  ByteArray bytes = MakeNativeFileSystem()->ReadAll(WithBackslashes(folder.Write("big", content)));
  EXPECT_EQ(bytes.LBound(), 0);
  EXPECT_TRUE(std::ranges::equal(content, bytes.Bytes()));
  ByteArray empty = MakeNativeFileSystem()->ReadAll(Wide(folder.Write("empty.bin", {})));
  EXPECT_TRUE(empty.IsAllocated());
  EXPECT_EQ(empty.UBound(), -1);
}

// Each failure of the real system: the runtime error's number, and a detail that names the path
// (the description is the bare standard text).
TEST(FileSystem, FailuresGiveTheirNumberAndNameThePath) {
  TempFolder folder;
  auto files = MakeNativeFileSystem();
  const fs::path file = folder.Write("keep.jpg", {4, 4, 4, 4});
  fs::create_directory(folder / "dir.jpg");
  ASSERT_EQ(::mkfifo((folder / "pipe").c_str(), 0600), 0);
  fs::resize_file(folder.Write("huge.bin", {}), 0x80000000ull);  // sparse, too large to read
  const Bytes payload(64 * 1024, 0xAB);
  struct Row {
    const char* what;
    std::function<void()> call;
    int number;
    fs::path named;
  } rows[] = {
      {"GetFile of a missing file", [&] { files->GetFile(Wide(folder / "b.bin")); }, 53,
       folder / "b.bin"},
      {"GetFile in a missing folder", [&] { files->GetFile(Wide(folder / "no/b.bin")); }, 76,
       folder / "no/b.bin"},
      {"GetFile of a folder", [&] { files->GetFile(Wide(folder.Path())); }, 75, folder.Path()},
      {"ReadAll of a missing file", [&] { files->ReadAll(Wide(folder / "m.bin")); }, 53,
       folder / "m.bin"},
      {"ReadAll through a file", [&] { files->ReadAll(Wide(file) + u"/x"); }, 76, file},
      {"ReadAll of a folder", [&] { files->ReadAll(Wide(folder.Path())); }, 75, folder.Path()},
      {"ReadAll of a FIFO, not waited on", [&] { files->ReadAll(Wide(folder / "pipe")); }, 75,
       folder / "pipe"},
      {"ReadAll of 2 GiB", [&] { files->ReadAll(Wide(folder / "huge.bin")); }, 6,
       folder / "huge.bin"},
      {"writing a folder", [&] { files->WriteFileAtomically(Wide(folder / "dir.jpg"), payload); },
       75, folder / "dir.jpg"},
      {"writing into a missing folder",
       [&] { files->WriteFileAtomically(Wide(folder / "gone/x.jpg"), payload); }, 76,
       folder / "gone/x.jpg"},
      {"writing through a file",
       [&] { files->WriteFileAtomically(Wide(file) + u"/x.jpg", payload); }, 76, file},
      {"writing a FIFO that nobody reads",
       [&] { files->WriteFileAtomically(Wide(folder / "pipe"), payload); }, 75, folder / "pipe"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    auto error = ErrorOf(row.call);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->Number(), Runtime(row.number)) << error->Detail();
    EXPECT_EQ(error->Description(), RuntimeErrorText(static_cast<RuntimeError>(row.number)));
    EXPECT_NE(error->Detail().find(row.named.string()), std::string::npos) << error->Detail();
  }
  EXPECT_EQ(ReadBytes(file), (Bytes{4, 4, 4, 4}));
  EXPECT_TRUE(fs::is_empty(folder / "dir.jpg"));
  EXPECT_EQ(fs::status(folder / "pipe").type(), fs::file_type::fifo);
  EXPECT_EQ(folder.Entries(), (std::vector<std::string>{"dir.jpg", "huge.bin", "keep.jpg", "pipe"}));
}

TEST(FileSystem, WriteFileAtomicallyCreatesAndReplacesKeepingThePermissions) {
  TempFolder folder;
  auto files = MakeNativeFileSystem();
  auto target = folder / "out.jpg";
  files->WriteFileAtomically(WithBackslashes(target), Bytes{1, 2, 3});
  EXPECT_EQ(ReadBytes(target), (Bytes{1, 2, 3}));
  const auto mode = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read;
  fs::permissions(target, mode);
  files->WriteFileAtomically(Wide(target), Bytes{9, 8});
  EXPECT_EQ(ReadBytes(target), (Bytes{9, 8}));
  EXPECT_EQ(fs::status(target).permissions() & fs::perms::all, mode);
  files->WriteFileAtomically(Wide(target), {});
  EXPECT_EQ(fs::file_size(target), 0u);
  EXPECT_EQ(folder.Entries(), std::vector<std::string>{"out.jpg"});
}

// Targets that are not plain files: a link stays a link and its final file is written; a device
// or FIFO is written into, never replaced by a regular file.
TEST(FileSystem, LinksAndSpecialFilesAreWrittenThroughNeverReplaced) {
  TempFolder folder;
  auto files = MakeNativeFileSystem();
  const Bytes payload = {7, 7, 7};
  folder.Write("real.jpg", {1});
  fs::create_symlink(folder / "real.jpg", folder / "link.jpg");
  fs::create_symlink("link.jpg", folder / "chain.jpg");       // relative, through another link
  fs::create_symlink("sub/new.jpg", folder / "dangling.jpg");  // its file does not exist yet
  fs::create_directory(folder / "sub");
  fs::create_symlink("loop.jpg", folder / "loop.jpg");
  for (const char* name : {"link.jpg", "chain.jpg"}) {
    files->WriteFileAtomically(Wide(folder / name), payload);
    EXPECT_EQ(ReadBytes(folder / "real.jpg"), payload) << name;
  }
  files->WriteFileAtomically(Wide(folder / "dangling.jpg"), payload);
  EXPECT_EQ(ReadBytes(folder / "sub/new.jpg"), payload);
  for (const char* name : {"link.jpg", "chain.jpg", "dangling.jpg", "loop.jpg"}) {
    EXPECT_TRUE(fs::is_symlink(folder / name)) << name;
  }
  auto loop = ErrorOf([&] { files->WriteFileAtomically(Wide(folder / "loop.jpg"), payload); });
  ASSERT_TRUE(loop);
  EXPECT_EQ(loop->Number(), Runtime(75));

  // A FIFO with a reader (and a link to it) gets the bytes and stays a FIFO.
  const fs::path fifo = folder / "pipe";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  fs::create_symlink(fifo, folder / "to-pipe");
  const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(reader, 0);
  for (const char* name : {"pipe", "to-pipe"}) {
    files->WriteFileAtomically(Wide(folder / name), payload);
    uint8_t got[8] = {};
    EXPECT_EQ(::read(reader, got, sizeof got), 3) << name;
    EXPECT_EQ(got[2], 7);
  }
  ::close(reader);
  EXPECT_EQ(fs::status(fifo).type(), fs::file_type::fifo);
  EXPECT_EQ(folder.Entries(), (std::vector<std::string>{"chain.jpg", "dangling.jpg", "link.jpg",
                                                        "loop.jpg", "pipe", "real.jpg", "sub",
                                                        "to-pipe"}));
}

// A file system that answers from memory, standing in for a host's replacement.
class FakeFileSystem final : public FileSystem {
 public:
  bool FileExists(std::u16string_view) override { return true; }
  bool FolderExists(std::u16string_view) override { return false; }
  FileInfo GetFile(std::u16string_view path) override { return {std::u16string(path), 42}; }
  ByteArray ReadAll(std::u16string_view) override { return ByteArray::Allocate(42); }
  void WriteFileAtomically(std::u16string_view, std::span<const uint8_t>) override {}
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
  EXPECT_NE(CreateFileSystem(), fake);
  EXPECT_FALSE(SetFileSystemFactory([fake] { return fake; }));
  EXPECT_EQ(CreateFileSystem()->GetFile(u"x").Size, 42);
  SetFileSystemFactory(nullptr);
  EXPECT_NE(CreateFileSystem(), fake);
}

}  // namespace
}  // namespace corvella::platform
