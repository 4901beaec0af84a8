// The corvella program as a shell runs it (exit statuses, standard output, the working folder,
// the help), and its info subcommand: one line per file from its header, an error line for a
// file that cannot be opened, and the status.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "cli_test_support.h"
#include "support/temp_folder.h"

namespace corvella::testing {
namespace {

namespace fs = std::filesystem;

// The built program as a shell runs it: paths from its working folder, image bytes through a
// pipe. The error lines are the subcommands' own tests, in-process.
TEST(Program, RunsInTheShellsWorkingFolderAndWritesToAPipe) {
  TempFolder folder;
  fs::create_directories(folder / "in" / "a b");
  fs::copy_file(kImages / "egret_600x450.jpg", folder / "in/a b/egret 100%25.jpg");
  CommandResult result =
      RunProcess({"convert", "a b/egret 100%25.jpg", "../thumb.png", "--negative"}, folder / "in");
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_TRUE(fs::exists(folder / "thumb.png"));
  result = RunProcess({"convert", (kImages / "apache_pb_transp.gif").string(), "-"}, folder.Path());
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.out.substr(0, 2), "\xFF\xD8");  // encoded as JPEG
}

TEST(Program, HelpVersionAndUsage) {
  TempFolder folder;
  CommandResult help = RunProcess({"--help"}, folder.Path());
  EXPECT_EQ(help.status, 0);
  for (const char* text : {"corvella convert INPUT OUTPUT", "--trans-color", "corvella info FILE",
                           "error NUMBER (SOURCE): DESCRIPTION", "-2147220504", "-2146828279",
                           "version", "members", "--batch", "corvella run SCRIPT [--root DIR]"}) {
    EXPECT_NE(help.out.find(text), std::string::npos) << text;
  }
  CommandResult version = RunProcess({"version"}, folder.Path());
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out.rfind("corvella ", 0), 0u);
  // `corvella members` is the test component.members, against its golden file.

  CommandResult none = RunProcess({}, folder.Path());
  EXPECT_EQ(none.status, 2);
  CommandResult unknown = RunProcess({"shrink"}, folder.Path());
  EXPECT_EQ(unknown.status, 2);
  EXPECT_EQ(unknown.err.rfind("corvella: unknown command 'shrink'", 0), 0u);
}

TEST(Info, PrintsFormatSizeAndBytesOfEachFile) {
  struct Expected {
    const char* file;
    const char* line;
  };
  // Sizes as their headers give them (every format's are the acceptance script open_formats.vbs);
  // byte counts are the files' lengths.
  const Expected files[] = {
      {"apache_pb_transp.gif", "GIF 260x30 4463 bytes"},
      {"snake_24bit_600x450.bmp", "BMP 600x450 810138 bytes"},
      {"coffee_rgb_600x400.png", "PNG 600x400 466706 bytes"},
      {"seeding_5312x2988_base.jpg", "JPEG 5312x2988 1595337 bytes"},
  };
  std::vector<std::string> args;
  std::string expected;
  for (const Expected& file : files) {
    args.push_back(file.file);
    expected += std::string(file.file) + ": " + file.line + "\n";
  }
  CommandResult result = RunInProcess(cli::RunInfo, args, kImages);
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.out, expected);
  EXPECT_EQ(result.err, "");
}

TEST(Info, ReportsFilesThatCannotBeOpened) {
  TempFolder folder;
  folder.Write("notes.txt", {'h', 'e', 'l', 'l', 'o'});
  folder.Write("cut.jpg", {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'I', 'F'});
  folder.Write("empty.png", {});
  folder.Write("photo 100%25.jpg", ReadBytes(kImages / "egret_600x450.jpg"));
  CommandResult result = RunInProcess(
      cli::RunInfo, {"notes.txt", "photo 100%25.jpg", "missing.gif", "cut.jpg", "empty.png"},
      folder.Path());
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out,
            "notes.txt: error -2147220494: Format not supported (Error 1010)\n"
            "photo 100%25.jpg: JPEG 600x450 18986 bytes\n"
            "missing.gif: error -2147220474: File not found (Error 1030)\n"
            "cut.jpg: error -2147220344: Premature EOF in JPEG file (Error 1160)\n"
            "empty.png: error -2146828279: Subscript out of range\n");
  // The detail goes to standard error, for a person.
  EXPECT_EQ(result.err, "empty.png: the file '" + (folder / "empty.png").string() + "' is empty\n");

  CommandResult usage = RunInProcess(cli::RunInfo, {}, folder.Path());
  EXPECT_EQ(usage.status, 2);
  EXPECT_EQ(usage.err.rfind("corvella info: info needs at least one FILE", 0), 0u) << usage.err;
  usage = RunInProcess(cli::RunInfo, {"--width", "a.jpg"}, folder.Path());
  EXPECT_EQ(usage.status, 2);
  EXPECT_EQ(usage.err.rfind("corvella info: unknown option '--width'", 0), 0u) << usage.err;
}

}  // namespace
}  // namespace corvella::testing
