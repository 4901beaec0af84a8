// The corvella program as a shell runs it: exit statuses, standard output, the working folder,
// the help.

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

// The built program as a shell runs it: paths from its working folder, the error line, image
// bytes through a pipe.
TEST(Program, RunsInTheShellsWorkingFolderAndWritesToAPipe) {
  TempFolder folder;
  fs::create_directories(folder / "in" / "a b");
  fs::copy_file(kImages / "egret_600x450.jpg", folder / "in/a b/egret 100%25.jpg");
  CommandResult result =
      RunProcess({"convert", "a b/egret 100%25.jpg", "../thumb.png", "--negative"}, folder / "in");
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_TRUE(fs::exists(folder / "thumb.png"));
  result = RunProcess({"convert", "nothing.jpg", "x.jpg"}, folder.Path());
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.err, "error -2147220474 (Corvella.Pictron): File not found (Error 1030)\n");
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
                           "version", "members", "--batch"}) {
    EXPECT_NE(help.out.find(text), std::string::npos) << text;
  }
  CommandResult version = RunProcess({"version"}, folder.Path());
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out.rfind("corvella ", 0), 0u);
  CommandResult members = RunProcess({"members"}, folder.Path());
  EXPECT_EQ(members.status, 0);
  EXPECT_NE(members.out.find("JPEGSkipVariables"), std::string::npos);

  CommandResult none = RunProcess({}, folder.Path());
  EXPECT_EQ(none.status, 2);
  CommandResult unknown = RunProcess({"shrink"}, folder.Path());
  EXPECT_EQ(unknown.status, 2);
  EXPECT_EQ(unknown.err.rfind("corvella: unknown command 'shrink'", 0), 0u);
  CommandResult badOption = RunProcess({"convert", "a.jpg", "b.jpg", "--quality"}, folder.Path());
  EXPECT_EQ(badOption.status, 2);
  EXPECT_EQ(badOption.err,
            "corvella convert: option --quality needs a value\n"
            "Try 'corvella --help' for more information.\n");
}

}  // namespace
}  // namespace corvella::testing
