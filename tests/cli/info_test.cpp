// corvella info: one line per file from its header, an error line for a file that cannot be
// opened, and the status.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "cli_test_support.h"
#include "support/temp_folder.h"

namespace corvella::testing {
namespace {

namespace fs = std::filesystem;

const fs::path kImages = fs::path(CORVELLA_TEST_DATA) / "images";

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
