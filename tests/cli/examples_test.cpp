// The example scripts in examples/, run by the corvella program on a site made of real test
// images: what they print, the files and responses they make.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "cli_test_support.h"
#include "corvella/component/pictron.h"
#include "corvella/platform/byte_array.h"
#include "corvella/platform/text.h"
#include "support/temp_folder.h"

namespace corvella::testing {
namespace {

namespace fs = std::filesystem;

const fs::path kExamples = fs::path(CORVELLA_SOURCE_DIR) / "examples";

// A site with a photo and a logo in it, and the command line that runs an example on it.
class Example : public ::testing::Test {
 protected:
  Example() {
    fs::copy_file(kImages / "egret_600x450.jpg", site / "egret.jpg");
    fs::copy_file(kImages / "apache_pb_transp.gif", site / "logo.gif");
  }

  CommandResult Run(const std::string& example, std::vector<std::string> args) {
    args.insert(args.begin(), {"run", (kExamples / example).string(), "--root", "."});
    return RunProcess(args, site.Path());
  }

  TempFolder site;
};

// The width, height and format signature of an image file, read by the object.
std::string Describe(const fs::path& file) {
  std::vector<uint8_t> bytes = ReadBytes(file);
  if (bytes.empty()) return "missing";
  component::Pictron pictron;
  pictron.OpenBinary(platform::ByteArray::FromBytes(bytes));
  return platform::WideToUtf8(pictron.State().strFormat) + " " +
         std::to_string(pictron.OriginalWidth()) + "x" + std::to_string(pictron.OriginalHeight());
}

TEST_F(Example, ThumbnailWithLogoAndCaption) {
  CommandResult result = Run("thumbnail.vbs", {"egret.jpg", "egret_thumb.jpg", "logo.gif", "Egret"});
  ASSERT_EQ(result.status, 0) << result.err;
  const size_t bytes = fs::file_size(site / "egret_thumb.jpg");
  EXPECT_EQ(result.out, "egret_thumb.jpg: 200x150, " + std::to_string(bytes) + " bytes\n");
  EXPECT_EQ(Describe(site / "egret_thumb.jpg"), "JPEG 200x150");

  CommandResult usage = RunProcess({"run", (kExamples / "thumbnail.vbs").string()}, site.Path());
  EXPECT_EQ(usage.status, 2);
  EXPECT_EQ(usage.out.rfind("usage: ", 0), 0u);
}

TEST_F(Example, WatermarkKeepsTheSize) {
  CommandResult result =
      Run("watermark.vbs", {"egret.jpg", "marked.jpg", "logo.gif", "Corvella 2024"});
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.out, "marked.jpg: 600x450, key colour 16777215\n");
  EXPECT_EQ(Describe(site / "marked.jpg"), "JPEG 600x450");
}

TEST_F(Example, SquareFromTheCentre) {
  CommandResult result = Run("square.vbs", {"egret.jpg", "square.jpg", "160"});
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.out, "crop 75,0 - 525,450\nsquare.jpg: 160x160\n");
  EXPECT_EQ(Describe(site / "square.jpg"), "JPEG 160x160");

  fs::copy_file(kImages / "coffee_rgb_600x400.png", site / "coffee.png");
  result = Run("square.vbs", {"coffee.png", "coffee_square.jpg"});
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.out, "crop 100,0 - 500,400\ncoffee_square.jpg: 400x400\n");
  EXPECT_EQ(Describe(site / "coffee_square.jpg"), "JPEG 400x400");
}

TEST_F(Example, DownloadPageSendsTheImage) {
  CommandResult result =
      Run("download.vbs", {"--response", "response.http", "egret.jpg", "egret small.jpg"});
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.out, "");
  std::vector<uint8_t> response = ReadBytes(site / "response.http");
  const std::string head =
      "HTTP/1.1 200 OK\r\nContent-Type: image/jpeg\r\n"
      "Content-Disposition: attachment; filename=\"egret small.jpg\"\r\n\r\n";
  ASSERT_GT(response.size(), head.size());
  EXPECT_EQ(std::string(response.begin(), response.begin() + static_cast<ptrdiff_t>(head.size())),
            head);
  site.Write(
      "body.jpg",
      std::vector<uint8_t>(response.begin() + static_cast<ptrdiff_t>(head.size()), response.end()));
  EXPECT_EQ(Describe(site / "body.jpg"), "JPEG 320x240");

  // Without --response the picture goes to standard output.
  result = Run("download.vbs", {"egret.jpg"});
  ASSERT_EQ(result.status, 0) << result.err;
  site.Write("stdout.jpg", std::vector<uint8_t>(result.out.begin(), result.out.end()));
  EXPECT_EQ(Describe(site / "stdout.jpg"), "JPEG 320x240");

  result = Run("download.vbs", {"--response", "missing.http", "missing.jpg"});
  ASSERT_EQ(result.status, 0) << result.err;
  std::vector<uint8_t> missing = ReadBytes(site / "missing.http");
  EXPECT_EQ(std::string(missing.begin(), missing.end()),
            "HTTP/1.1 404 Not Found\r\nContent-Type: text/html\r\n\r\n"
            "cannot open missing.jpg: File not found (Error 1030)");
}

}  // namespace
}  // namespace corvella::testing
