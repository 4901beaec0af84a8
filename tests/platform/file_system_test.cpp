// The native file system service against the real system: names, existence, reading, the errors
// with their numbers and details, atomic writes, links and special files; then under failing
// system calls and killed processes: every step of the atomic writer fails in turn, with nameless
// temporary files and with named ones, and the target keeps its old contents, no temporary file is
// left, every descriptor is closed, and the error has the documented number and names the path.

#include "corvella/platform/file_system.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "corvella/platform/text.h"
#include "support/errors.h"
#include "support/file_faults.h"
#include "support/temp_folder.h"

namespace corvella::platform {
namespace {

using testing::ErrorOf;
using testing::FileCall;
using testing::FileFaults;
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
  return Utf8ToWide(testing::WebPath(path));
}

TEST(FileSystem, NamesExistenceAndReading) {
  const std::pair<std::u16string_view, std::u16string_view> names[] = {
      {u"C:\\pictures\\photo.jpg", u"photo.jpg"},
      {u"/srv/site/photo.jpg", u"photo.jpg"},
      {u"a\\b/c.gif", u"c.gif"},
      {u"photo.jpg", u"photo.jpg"},
      {u"C:\\pictures\\", u""},
      {u"", u""}};
  for (auto [path, name] : names)
    EXPECT_EQ(FileSystem::GetFileName(path), name);

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

  // ReadAll reads every byte.
  Bytes content(3 * 1024 * 1024 + 17);
  for (size_t i = 0; i < content.size(); ++i)
    content[i] = static_cast<uint8_t>(i * 7 + i / 251);
  ByteArray bytes = files->ReadAll(WithBackslashes(folder.Write("big", content)));
  EXPECT_EQ(bytes.LBound(), 0);
  EXPECT_TRUE(std::ranges::equal(content, bytes.Bytes()));
  ByteArray empty = files->ReadAll(Wide(folder.Write("empty.bin", {})));
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
  EXPECT_EQ(folder.Entries(),
            (std::vector<std::string>{"dir.jpg", "huge.bin", "keep.jpg", "pipe"}));
}

TEST(FileSystem, WritesCreateReplaceKeepPermissionsAndGoThroughLinksAndSpecialFiles) {
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

  // Targets that are not plain files: a link stays a link and its final file is written; a
  // device or FIFO is written into, never replaced by a regular file.
  const Bytes payload = {7, 7, 7};
  folder.Write("real.jpg", {1});
  fs::create_symlink(folder / "real.jpg", folder / "link.jpg");
  fs::create_symlink("link.jpg", folder / "chain.jpg");        // relative, through another link
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
  EXPECT_EQ(folder.Entries(),
            (std::vector<std::string>{"chain.jpg", "dangling.jpg", "link.jpg", "loop.jpg",
                                      "out.jpg", "pipe", "real.jpg", "sub", "to-pipe"}));
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

const Bytes kOld = {1, 2, 3, 4, 5};

Bytes Payload() {
  Bytes bytes(100000);
  for (size_t i = 0; i < bytes.size(); ++i)
    bytes[i] = static_cast<uint8_t>(i * 7);
  return bytes;
}

// How a write makes its temporary file: without a name where the system can, or named.
enum class Temporary { Nameless, Named };

std::optional<Error> Write(const fs::path& target, const Bytes& bytes) {
  return ErrorOf([&] { CreateFileSystem()->WriteFileAtomically(Wide(target), bytes); });
}

// The folder after a failed write holds what it held before, and nothing else.
void ExpectUnchanged(const TempFolder& folder, const fs::path& target, bool replacing) {
  if (replacing) {
    EXPECT_EQ(ReadBytes(target), kOld);
    EXPECT_EQ(folder.Entries(), std::vector<std::string>{target.filename().string()});
  } else {
    EXPECT_TRUE(folder.Entries().empty());
  }
}

TEST(FileSystemFaults, EachFailedStepGivesItsNumberAndKeepsTheOldFile) {
  struct Row {
    const char* what;
    FileCall call;
    int nth;
    int error;
    int number;
  } rows[] = {
      {"permission refused for the temporary file", FileCall::Open, 1, EACCES, 70},
      {"no inode left for the temporary file", FileCall::Open, 1, ENOSPC, 61},
      {"read-only file system", FileCall::Open, 1, EROFS, 70},
      {"the first write fails", FileCall::Write, 1, EIO, 57},
      {"the disk quota is reached", FileCall::Write, 1, EDQUOT, 61},
      {"a file size limit is reached", FileCall::Write, 1, EFBIG, 61},
      {"the flush fails", FileCall::Fsync, 1, EIO, 57},
      {"the flush finds the disk full", FileCall::Fsync, 1, ENOSPC, 61},
      {"the close reports a delayed write error", FileCall::Close, 1, EIO, 57},
      {"the rename is refused", FileCall::Rename, 1, EACCES, 70},
      {"the rename crosses devices", FileCall::Rename, 1, EXDEV, 75},
      {"the rename finds the disk full", FileCall::Rename, 1, ENOSPC, 61},
      {"linking the nameless file finds the disk full", FileCall::Linkat, 1, ENOSPC, 61},
  };
  TempFolder folder;
  const fs::path target = folder / "out.jpg";
  const Bytes payload = Payload();
  for (const Row& row : rows) {
    for (Temporary temporary : {Temporary::Nameless, Temporary::Named}) {
      for (bool replacing : {true, false}) {
        SCOPED_TRACE(std::string(row.what) + (replacing ? ", replacing" : ", new") +
                     (temporary == Temporary::Named ? ", named" : ", nameless"));
        fs::remove(target);
        if (replacing) folder.Write("out.jpg", kOld);
        FileFaults faults;
        if (temporary == Temporary::Named) faults.RefuseNamelessFiles();
        faults.Fail(row.call, row.nth, row.error);
        auto error = Write(target, payload);
        // A step that this way of writing does not take (a new nameless file is linked into
        // place, not renamed) cannot fail it.
        if (faults.Count(row.call) < row.nth) {
          EXPECT_FALSE(error);
          continue;
        }
        ASSERT_TRUE(error);
        EXPECT_EQ(error->Number(), Runtime(row.number)) << error->Detail();
        EXPECT_NE(error->Detail().find(target.string()), std::string::npos) << error->Detail();
        ExpectUnchanged(folder, target, replacing);
        EXPECT_EQ(faults.OpenDescriptors(), 0);
      }
    }
  }
}

TEST(FileSystemFaults, EveryCallOfAWriteFailsInTurn) {
  TempFolder folder;
  const fs::path target = folder / "out.jpg";
  const Bytes payload = Payload();
  for (Temporary temporary : {Temporary::Nameless, Temporary::Named}) {
    for (bool replacing : {true, false}) {
      auto reset = [&] {
        fs::remove(target);
        if (replacing) folder.Write("out.jpg", kOld);
      };
      // The calls of a clean write.
      std::vector<std::pair<FileCall, int>> steps;
      reset();
      {
        FileFaults faults;
        if (temporary == Temporary::Named) faults.RefuseNamelessFiles();
        ASSERT_FALSE(Write(target, kOld));
        for (size_t kind = 0; kind < testing::kFileCallKinds; ++kind) {
          auto call = static_cast<FileCall>(kind);
          for (int n = 1; n <= faults.Count(call); ++n)
            steps.emplace_back(call, n);
        }
      }
      EXPECT_GE(steps.size(), 5u);
      for (auto [call, n] : steps) {
        SCOPED_TRACE(std::string(testing::FileCallName(call)) + " #" + std::to_string(n) +
                     (replacing ? ", replacing" : ", new") +
                     (temporary == Temporary::Named ? ", named" : ", nameless"));
        reset();
        FileFaults faults;
        if (temporary == Temporary::Named) faults.RefuseNamelessFiles();
        faults.Fail(call, n, EIO);
        // Either the write failed and changed nothing, or it succeeded completely (a folder
        // that cannot be flushed after the rename is no failure of the write).
        if (auto error = Write(target, payload)) {
          EXPECT_EQ(error->Number(), Runtime(57)) << error->Detail();
          ExpectUnchanged(folder, target, replacing);
        } else {
          EXPECT_EQ(ReadBytes(target), payload);
          EXPECT_EQ(folder.Entries(), std::vector<std::string>{"out.jpg"});
        }
        EXPECT_EQ(faults.OpenDescriptors(), 0);
      }
    }
  }
}

TEST(FileSystemFaults, FullStalledInterruptedWritesAndAVanishingFolder) {
  TempFolder folder;
  const fs::path target = folder.Write("out.jpg", kOld);
  const Bytes payload = Payload();
  {
    FileFaults faults;
    faults.LimitSpace(payload.size() / 3);
    auto error = Write(target, payload);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->Number(), Runtime(61));
    EXPECT_EQ(faults.Count(FileCall::Write), 2);  // a short write, then ENOSPC
  }
  {
    FileFaults faults;  // a device that takes nothing without an error: the writer must not spin
    faults.StallWrites();
    auto error = Write(target, payload);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->Number(), Runtime(61));
  }
  ExpectUnchanged(folder, target, true);
  {
    FileFaults faults;  // room for exactly the file, in short writes, some interrupted
    faults.LimitSpace(payload.size());
    faults.Fail(FileCall::Open, 1, EINTR);
    faults.Fail(FileCall::Write, 1, EINTR);
    EXPECT_FALSE(Write(target, payload));
  }
  EXPECT_EQ(ReadBytes(target), payload);

  // A folder that disappears between two steps.
  const fs::path sub = folder / "site";
  auto removeFolder = [&] { fs::remove_all(sub); };
  for (FileCall call : {FileCall::Open, FileCall::Rename, FileCall::Linkat}) {
    SCOPED_TRACE(testing::FileCallName(call));
    folder.Write("site/out.jpg", kOld);
    FileFaults faults;
    if (call == FileCall::Rename) faults.RefuseNamelessFiles();
    faults.Fail(call, 1, 0, removeFolder);
    auto error = Write(sub / "out.jpg", Payload());
    ASSERT_TRUE(error);
    EXPECT_EQ(error->Number(), Runtime(76)) << error->Detail();
    EXPECT_EQ(faults.OpenDescriptors(), 0);
    EXPECT_FALSE(fs::exists(sub));
  }
}

TEST(FileSystemFaults, ReadFailuresAreReportedAndCloseTheFile) {
  TempFolder folder;
  const fs::path file = folder.Write("in.jpg", Payload());
  struct Row {
    FileCall call;
    int error;
    int number;
  } rows[] = {{FileCall::Open, EACCES, 70},
              {FileCall::Open, EMFILE, 75},
              {FileCall::Read, EIO, 57},
              {FileCall::Open, ENAMETOOLONG, 75}};
  for (const Row& row : rows) {
    FileFaults faults;
    faults.Fail(row.call, 1, row.error);
    auto error = ErrorOf([&] { CreateFileSystem()->ReadAll(Wide(file)); });
    ASSERT_TRUE(error);
    EXPECT_EQ(error->Number(), Runtime(row.number)) << error->Detail();
    EXPECT_NE(error->Detail().find(file.string()), std::string::npos);
    EXPECT_EQ(faults.OpenDescriptors(), 0);
  }
  FileFaults faults;  // interrupted calls are repeated
  faults.Fail(FileCall::Open, 1, EINTR);
  faults.Fail(FileCall::Read, 1, EINTR);
  EXPECT_EQ(CreateFileSystem()->ReadAll(Wide(file)).Size(), Payload().size());
}

// A process killed in the middle of a save: with a nameless temporary file nothing is left; a
// named one is left, and a later save into the folder removes it once it is stale.
TEST(FileSystemFaults, AKilledSaveLeavesNothingBehind) {
  TempFolder folder;
  const fs::path target = folder.Write("out.jpg", kOld);
  std::vector<std::string> left;
  for (Temporary temporary : {Temporary::Nameless, Temporary::Named}) {
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      FileFaults faults;
      if (temporary == Temporary::Named) faults.RefuseNamelessFiles();
      faults.Fail(FileCall::Write, 1, 0, [] { ::raise(SIGKILL); });
      Write(target, Payload());
      ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
    EXPECT_EQ(ReadBytes(target), kOld);
    left = folder.Entries();
    EXPECT_EQ(left.size(), temporary == Temporary::Named ? 2u : 1u);
  }
  // The named one says whose it was: ".out.jpg.PID.TAG.tmp", of a process that is gone.
  std::erase(left, "out.jpg");
  ASSERT_EQ(left.size(), 1u);
  const std::string dead = left.front();
  EXPECT_EQ(dead.rfind(".out.jpg.", 0), 0u) << dead;

  // What a later save removes: only its own kind of file, of a process that is gone, that nobody
  // has written for a while.
  const std::string self = std::to_string(::getpid());
  const std::string deadPid = dead.substr(9, dead.find('.', 9) - 9);
  struct Row {
    std::string name;
    bool old;
    bool removed;
  } rows[] = {
      {dead, true, true},
      {".b.jpg." + deadPid + ".0123456789abcdef.tmp", true, true},
      {".b.jpg." + deadPid + ".0123456789abcdef.tmp.x", true, false},  // not such a name
      {".c.jpg." + deadPid + ".0123456789abcdef.tmp", false, false},   // written recently
      {".d.jpg." + self + ".0123456789abcdef.tmp", true, false},       // its process lives
      {"e.jpg." + deadPid + ".0123456789abcdef.tmp", true, false},     // not hidden
      {".f.jpg." + deadPid + ".0123456789abcdeg.tmp", true, false},    // not a tag
  };
  for (const Row& row : rows) {
    if (row.name != dead) folder.Write(row.name, {1});
    if (row.old) {
      fs::last_write_time(folder / row.name,
                          fs::file_time_type::clock::now() - std::chrono::hours(1));
    }
  }
  {
    FileFaults faults;
    faults.RefuseNamelessFiles();
    ASSERT_FALSE(Write(folder / "other.jpg", kOld));
  }
  for (const Row& row : rows)
    EXPECT_EQ(fs::exists(folder / row.name), !row.removed) << row.name;
}

}  // namespace
}  // namespace corvella::platform
