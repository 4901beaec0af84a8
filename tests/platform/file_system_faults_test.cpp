// The native file system service under failing system calls: every step of the atomic writer and
// of the reader fails in turn, and the target keeps its old contents, no temporary file is left,
// every descriptor is closed, and the error names the path with the documented number.

#if !defined(_WIN32)

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <string>
#include <vector>

#include "corvella/platform/file_system.h"
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

std::u16string Wide(const std::filesystem::path& path) {
  return Utf8ToWide(path.string());
}

const Bytes kOld = {1, 2, 3, 4, 5};

Bytes Payload() {
  Bytes bytes(100000);
  for (size_t i = 0; i < bytes.size(); ++i)
    bytes[i] = static_cast<uint8_t>(i * 7);
  return bytes;
}

// One scripted failure of WriteFileAtomically and the runtime error it must give.
struct WriteFault {
  const char* what;
  FileCall call;
  int nth;
  int error;
  int number;
};

TEST(FileSystemFaults, EveryFailedStepOfAWriteKeepsTheOldFile) {
  const WriteFault faults[] = {
      {"permission refused for the temporary file", FileCall::Open, 1, EACCES, 70},
      {"no inode left for the temporary file", FileCall::Open, 1, ENOSPC, 61},
      {"read-only file system", FileCall::Open, 1, EROFS, 70},
      {"the first write fails", FileCall::Write, 1, EIO, 57},
      {"the disk quota is reached", FileCall::Write, 1, EDQUOT, 61},
      {"the flush fails", FileCall::Fsync, 1, EIO, 57},
      {"the flush finds the disk full", FileCall::Fsync, 1, ENOSPC, 61},
      {"the close reports a delayed write error", FileCall::Close, 1, EIO, 57},
      {"the rename is refused", FileCall::Rename, 1, EACCES, 70},
      {"the rename crosses devices", FileCall::Rename, 1, EXDEV, 75},
      {"the rename finds the disk full", FileCall::Rename, 1, ENOSPC, 61},
  };
  TempFolder folder;
  const Bytes payload = Payload();
  for (const WriteFault& fault : faults) {
    SCOPED_TRACE(fault.what);
    for (bool replacing : {true, false}) {
      std::filesystem::path target = folder / "out.jpg";
      std::filesystem::remove(target);
      if (replacing) folder.Write("out.jpg", kOld);
      FileFaults faults;
      faults.Fail(fault.call, fault.nth, fault.error);
      auto error = ErrorOf([&] { CreateFileSystem()->WriteFileAtomically(Wide(target), payload); });
      ASSERT_TRUE(error);
      EXPECT_EQ(error->Number(), Runtime(fault.number)) << error->Description();
      EXPECT_NE(error->Description().find(target.string()), std::string::npos)
          << error->Description();
      if (replacing) {
        EXPECT_EQ(ReadBytes(target), kOld);
        EXPECT_EQ(folder.Entries(), std::vector<std::string>{"out.jpg"});
      } else {
        EXPECT_TRUE(folder.Entries().empty());
      }
      EXPECT_EQ(faults.OpenDescriptors(), 0);
    }
  }
}

TEST(FileSystemFaults, AFullDiskInTheMiddleOfAWrite) {
  TempFolder folder;
  std::filesystem::path target = folder.Write("out.jpg", kOld);
  const Bytes payload = Payload();
  {
    FileFaults faults;
    faults.LimitSpace(payload.size() / 3);
    auto error = ErrorOf([&] { CreateFileSystem()->WriteFileAtomically(Wide(target), payload); });
    ASSERT_TRUE(error);
    EXPECT_EQ(error->Number(), Runtime(61)) << error->Description();
    EXPECT_EQ(faults.Count(FileCall::Write), 2);  // a short write, then ENOSPC
    EXPECT_EQ(faults.OpenDescriptors(), 0);
  }
  EXPECT_EQ(ReadBytes(target), kOld);
  EXPECT_EQ(folder.Entries(), std::vector<std::string>{"out.jpg"});

  // Room for the whole file: the writer goes on after short writes and succeeds.
  {
    FileFaults faults;
    faults.LimitSpace(payload.size());
    CreateFileSystem()->WriteFileAtomically(Wide(target), payload);
  }
  EXPECT_EQ(ReadBytes(target), payload);
}

TEST(FileSystemFaults, InterruptedCallsAreRepeatedAndStalledWritesFail) {
  TempFolder folder;
  std::filesystem::path target = folder.Write("out.jpg", kOld);
  const Bytes payload = Payload();
  {
    FileFaults faults;
    faults.Fail(FileCall::Open, 1, EINTR);
    faults.Fail(FileCall::Write, 1, EINTR);
    faults.Fail(FileCall::Write, 2, EINTR);
    CreateFileSystem()->WriteFileAtomically(Wide(target), payload);
    EXPECT_EQ(faults.OpenDescriptors(), 0);
  }
  EXPECT_EQ(ReadBytes(target), payload);

  // A device that takes nothing without reporting an error: the writer must not spin.
  folder.Write("out.jpg", kOld);
  {
    FileFaults faults;
    faults.StallWrites();
    auto error = ErrorOf([&] { CreateFileSystem()->WriteFileAtomically(Wide(target), payload); });
    ASSERT_TRUE(error);
    EXPECT_EQ(error->Number(), Runtime(61));
  }
  EXPECT_EQ(ReadBytes(target), kOld);
  EXPECT_EQ(folder.Entries(), std::vector<std::string>{"out.jpg"});
}

TEST(FileSystemFaults, AFolderThatDisappearsBetweenSteps) {
  TempFolder folder;
  const Bytes payload = Payload();
  std::filesystem::path sub = folder / "site";
  std::filesystem::path target = sub / "out.jpg";
  auto removeFolder = [&] { std::filesystem::remove_all(sub); };

  // Gone before the temporary file is made: path not found, nothing is made again.
  folder.Write("site/out.jpg", kOld);
  {
    FileFaults faults;
    faults.Fail(FileCall::Open, 1, 0, removeFolder);
    auto error = ErrorOf([&] { CreateFileSystem()->WriteFileAtomically(Wide(target), payload); });
    ASSERT_TRUE(error);
    EXPECT_EQ(error->Number(), Runtime(76)) << error->Description();
    EXPECT_EQ(faults.OpenDescriptors(), 0);
  }
  EXPECT_FALSE(std::filesystem::exists(sub));

  // Gone while the temporary file is written: the rename fails, the descriptor is closed.
  folder.Write("site/out.jpg", kOld);
  {
    FileFaults faults;
    faults.Fail(FileCall::Rename, 1, 0, removeFolder);
    auto error = ErrorOf([&] { CreateFileSystem()->WriteFileAtomically(Wide(target), payload); });
    ASSERT_TRUE(error);
    EXPECT_EQ(error->Number(), Runtime(76)) << error->Description();
    EXPECT_EQ(faults.OpenDescriptors(), 0);
  }
  EXPECT_FALSE(std::filesystem::exists(sub));
}

TEST(FileSystemFaults, FailuresAfterTheRenameOrOfTheCleanup) {
  TempFolder folder;
  std::filesystem::path target = folder.Write("out.jpg", kOld);
  const Bytes payload = Payload();

  // The new contents are in place once the rename succeeded; a folder that cannot be opened or
  // flushed afterwards is no failure of the write.
  for (FileCall call : {FileCall::Open, FileCall::Fsync}) {
    FileFaults faults;
    faults.Fail(call, 2, EIO);
    CreateFileSystem()->WriteFileAtomically(Wide(target), payload);
    EXPECT_EQ(ReadBytes(target), payload);
    EXPECT_EQ(folder.Entries(), std::vector<std::string>{"out.jpg"});
    EXPECT_EQ(faults.OpenDescriptors(), 0);
    folder.Write("out.jpg", kOld);
  }

  // The temporary file cannot be removed after a failed flush: the flush is what is reported.
  {
    FileFaults faults;
    faults.Fail(FileCall::Fsync, 1, EIO);
    faults.Fail(FileCall::Unlink, 1, EACCES);
    auto error = ErrorOf([&] { CreateFileSystem()->WriteFileAtomically(Wide(target), payload); });
    ASSERT_TRUE(error);
    EXPECT_EQ(error->Number(), Runtime(57)) << error->Description();
    EXPECT_NE(error->Description().find("flush"), std::string::npos) << error->Description();
    EXPECT_EQ(faults.OpenDescriptors(), 0);
  }
  EXPECT_EQ(ReadBytes(target), kOld);
}

TEST(FileSystemFaults, EveryCallOfAWriteFailsInTurn) {
  TempFolder folder;
  std::filesystem::path target = folder.Write("out.jpg", kOld);
  const Bytes payload = Payload();
  // The calls of a clean write.
  std::vector<std::pair<FileCall, int>> steps;
  {
    FileFaults faults;
    CreateFileSystem()->WriteFileAtomically(Wide(target), kOld);
    for (size_t kind = 0; kind < testing::kFileCallKinds; ++kind) {
      auto call = static_cast<FileCall>(kind);
      for (int n = 1; n <= faults.Count(call); ++n)
        steps.emplace_back(call, n);
    }
  }
  EXPECT_GE(steps.size(), 6u);  // open, write, fsync, close, rename, open and fsync of the folder
  for (auto [call, n] : steps) {
    SCOPED_TRACE(std::string(testing::FileCallName(call)) + " #" + std::to_string(n));
    FileFaults faults;
    faults.Fail(call, n, EIO);
    auto error = ErrorOf([&] { CreateFileSystem()->WriteFileAtomically(Wide(target), payload); });
    // Either the write failed and changed nothing, or it succeeded completely.
    if (error) {
      EXPECT_EQ(error->Number(), Runtime(57)) << error->Description();
      EXPECT_EQ(ReadBytes(target), kOld);
    } else {
      EXPECT_EQ(ReadBytes(target), payload);
    }
    EXPECT_EQ(folder.Entries(), std::vector<std::string>{"out.jpg"});
    EXPECT_EQ(faults.OpenDescriptors(), 0);
    folder.Write("out.jpg", kOld);
  }
}

TEST(FileSystemFaults, ReadFailuresAreReportedAndCloseTheFile) {
  TempFolder folder;
  std::filesystem::path file = folder.Write("in.jpg", Payload());
  struct ReadFault {
    const char* what;
    FileCall call;
    int error;
    int number;
  } readFaults[] = {
      {"permission refused", FileCall::Open, EACCES, 70},
      {"too many open files", FileCall::Open, EMFILE, 75},
      {"a device error while reading", FileCall::Read, EIO, 57},
      {"a name that is too long", FileCall::Open, ENAMETOOLONG, 75},
  };
  for (const ReadFault& fault : readFaults) {
    SCOPED_TRACE(fault.what);
    FileFaults faults;
    faults.Fail(fault.call, 1, fault.error);
    auto error = ErrorOf([&] { CreateFileSystem()->ReadAll(Wide(file)); });
    ASSERT_TRUE(error);
    EXPECT_EQ(error->Number(), Runtime(fault.number)) << error->Description();
    EXPECT_NE(error->Description().find(file.string()), std::string::npos);
    EXPECT_EQ(faults.OpenDescriptors(), 0);
  }
  // Interrupted reads are repeated.
  FileFaults faults;
  faults.Fail(FileCall::Open, 1, EINTR);
  faults.Fail(FileCall::Read, 1, EINTR);
  EXPECT_EQ(CreateFileSystem()->ReadAll(Wide(file)).Size(), Payload().size());
  EXPECT_EQ(faults.OpenDescriptors(), 0);
}

}  // namespace
}  // namespace corvella::platform

#endif  // !defined(_WIN32)
