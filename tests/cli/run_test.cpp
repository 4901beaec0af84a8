// corvella run: scripts that drive the object through the engine and the command, with the page's
// Response, the error lines and the exit statuses. What the members do from a script (in/out
// parameters, byte arrays, saving without a name, the error numbers and texts) is in the acceptance
// scripts.

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "cli_test_support.h"
#include "corvella/component/pictron.h"
#include "corvella/host/page_host.h"
#include "corvella/platform/text.h"
#include "support/temp_folder.h"

namespace corvella::testing {
namespace {

namespace fs = std::filesystem;
using platform::Variant;

// A physical path that the object takes as it is: the images folder written with a trailing
// backslash, as a script on Windows would write it.
std::string Image(std::string_view name) {
  return kImages.string() + "\\" + std::string(name);
}

// The bytes that the same member calls give when made on the object in C++: the image opened,
// @p change applied, SaveBinary.
template <typename Change>
std::vector<uint8_t> ApiBytes(std::string_view image, Change&& change) {
  auto page =
      std::make_shared<host::PageContext>(platform::Utf8ToWide(kImages.string()), u"/page.vbs");
  component::Pictron pictron;
  pictron.OnStartPage(page);
  pictron.OpenFile(platform::Utf8ToWide(image));
  change(pictron);
  Variant bytes;
  pictron.SaveBinary(bytes);
  auto span = bytes.AsByteArray().Bytes();
  return std::vector<uint8_t>(span.begin(), span.end());
}

class RunCommand : public ::testing::Test {
 protected:
  // Writes @p source to job.vbs in the folder and runs `corvella run job.vbs ARGS...` there.
  CommandResult Run(std::string_view source, std::vector<std::string> args = {}) {
    folder.Write("job.vbs", TextBytes(source));
    args.insert(args.begin(), "job.vbs");
    return RunInProcess(cli::RunScript, args, folder.Path());
  }

  // The HTTP response that a page left in --response FILE.
  std::string Response(std::string_view source) {
    CommandResult result = Run(source, {"--response", "response.http"});
    EXPECT_EQ(result.status, 0) << source << "\n" << result.err;
    std::vector<uint8_t> bytes = ReadBytes(folder / "response.http");
    return std::string(bytes.begin(), bytes.end());
  }

  TempFolder folder;
};

// The header part of a response, up to and including the blank line, and the body after it.
std::pair<std::string, std::string> SplitResponse(const std::string& response) {
  size_t end = response.find("\r\n\r\n");
  if (end == std::string::npos) return {response, ""};
  return {response.substr(0, end + 4), response.substr(end + 4)};
}

TEST_F(RunCommand, DownloadSendsTheHeadersOfItsArguments) {
  const std::string open =
      "Set p = Server.CreateObject(\"Corvella.Pictron\")\n"
      "p.OpenFile \"" +
      Image("egret_600x450.jpg") +
      "\"\n"
      "p.Resample 120, 0\n";
  const std::vector<uint8_t> jpeg = ApiBytes(Image("egret_600x450.jpg"), [](component::Pictron& p) {
    int32_t w = 120, h = 0;
    p.Resample(w, h);
  });
  // The headers of each argument, undecoded bytes passed through and a second download encoding
  // again are the object's own tests; what the command adds is the way they reach the file.
  // Unbuffered, the length goes with the headers and equals the bytes sent.
  auto [head, body] =
      SplitResponse(Response(open + "Response.Buffer = False\np.Download \"a.jpg\"\n"));
  EXPECT_EQ(head,
            "HTTP/1.1 200 OK\r\nContent-Type: image/jpeg\r\nContent-Disposition: filename=a.jpg\r\n"
            "Content-Length: " + std::to_string(jpeg.size()) + "\r\n\r\n");
  EXPECT_EQ(std::vector<uint8_t>(body.begin(), body.end()), jpeg);

  // Without --response the body goes to standard output, after what the script echoed.
  CommandResult plain = Run(open + "WScript.Echo \"first\"\np.Download\nWScript.Echo \"second\"\n");
  EXPECT_EQ(plain.status, 0) << plain.err;
  std::string expected = "first\nsecond\n";
  expected.append(jpeg.begin(), jpeg.end());
  EXPECT_EQ(plain.out, expected);

  // A picture is not written to a terminal.
  folder.Write("job.vbs", TextBytes(open + "p.Download\n"));
  CommandResult terminal = RunInProcess(cli::RunScript, {"job.vbs"}, folder.Path(), false, true);
  EXPECT_EQ(terminal.status, 1);
  EXPECT_EQ(terminal.out, "");
  EXPECT_EQ(terminal.err, "corvella run: the response (" + std::to_string(jpeg.size()) +
                             " bytes of image/jpeg) is not written to a terminal; use --response "
                             "FILE or redirect standard output\n");

  // Without a page the object has no Response: runtime error 91.
  CommandResult unbound =
      Run("Set p = CreateObject(\"Corvella.Pictron\")\n"
          "p.OpenFile \"" +
          Image("egret_600x450.jpg") + "\"\np.Download\n");
  EXPECT_EQ(unbound.status, 1);
  EXPECT_EQ(unbound.err,
            "job.vbs(3, 1) Corvella.Pictron: Object variable or With block variable not set "
            "(0x800A005B)\n  no page is bound to send the image through its Response\n");
}

TEST_F(RunCommand, ThePageBuildsAResponse) {
  EXPECT_EQ(Response("Response.ContentType = \"text/plain\"\n"
                     "Response.Status = \"404 Not Found\"\n"
                     "Response.AddHeader \"X-Count\", 3\n"
                     "Response.Write \"dropped\"\n"
                     "Response.Clear\n"
                     "Response.Write \"h\u00e9llo \"\n"
                     "Response.Write 42\n"
                     "Response.End\n"
                     "Response.Write \"never\"\n"),
            "HTTP/1.1 404 Not Found\r\nContent-Type: text/plain\r\nX-Count: 3\r\n\r\n"
            "h\u00e9llo 42");
  // The response is written however the script ends; a failure keeps what was written before.
  CommandResult failed = Run("Response.Write \"part\"\nx = 1 / 0\n", {"--response", "r.http"});
  EXPECT_EQ(failed.status, 1);
  std::vector<uint8_t> written = ReadBytes(folder / "r.http");
  EXPECT_EQ(std::string(written.begin(), written.end()),
            "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n\r\npart");
  // A response file that cannot be written fails the run.
  CommandResult unwritable = Run("Response.Write \"x\"\n", {"--response", "no/such/folder/r"});
  EXPECT_EQ(unwritable.status, 1);
  EXPECT_EQ(unwritable.err.rfind("corvella run: error ", 0), 0u) << unwritable.err;
}

TEST_F(RunCommand, ServerMapsPathsFromTheSiteRootAndTheScriptsFolder) {
  fs::create_directories(folder / "site/gallery");
  fs::copy_file(kImages / "egret_600x450.jpg", folder / "site/gallery/egret.jpg");
  fs::copy_file(kImages / "apache_pb_transp.gif", folder / "site/logo.gif");
  const std::string site = (folder / "site").string();
  // Server.MapPath answers physical paths with backslashes.
  auto Web = [](std::string text) {
    for (char& c : text) c = c == '/' ? '\\' : c;
    return text;
  };
  folder.Write("site/gallery/show.vbs",
               TextBytes("Function M(path)\n"
                     "  On Error Resume Next\n"
                     "  M = Server.MapPath(path)\n"
                     "  If Err.Number <> 0 Then M = \"error \" & Err.Number\n"
                     "End Function\n"
                     "WScript.Echo M(\"egret.jpg\")\n"
                     "WScript.Echo M(\"/logo.gif\")\n"
                     "WScript.Echo M(\"../logo.gif\")\n"
                     "WScript.Echo WScript.ScriptName\n"
                     // The object maps the names through the page that Server.CreateObject binds.
                     "Set p = Server.CreateObject(\"Corvella.Pictron\")\n"
                     "p.OpenFile \"egret.jpg\"\n"
                     "On Error Resume Next\n"
                     "p.AddImage \"/logo.gif\", 0, 0\n"
                     "WScript.Echo Err.Number\n"
                     "On Error GoTo 0\n"
                     "p.SaveFile \"small.jpg\"\n"
                     "WScript.Echo p.width, TypeName(p)\n"));
  // The root defaults to the script's folder.
  CommandResult own = RunInProcess(cli::RunScript, {"site/gallery/show.vbs"}, folder.Path());
  EXPECT_EQ(own.status, 0) << own.err;
  EXPECT_EQ(own.out, Web(site + "/gallery/egret.jpg\n" + site +
                         "/gallery/logo.gif\nerror 5\nshow.vbs\n-2147220474\n600 Pictron\n"));

  // --root makes the script a page below the root.
  CommandResult rooted =
      RunInProcess(cli::RunScript, {"site/gallery/show.vbs", "--root", "site"}, folder.Path());
  EXPECT_EQ(rooted.status, 0) << rooted.err;
  EXPECT_EQ(rooted.out, Web(site + "/gallery/egret.jpg\n" + site + "/logo.gif\n" + site +
                            "/logo.gif\nshow.vbs\n0\n600 Pictron\n"));
  EXPECT_TRUE(fs::exists(folder / "site/gallery/small.jpg"));

  // A script outside the root is a page in the root's own folder.
  folder.Write("outside.vbs", TextBytes("WScript.Echo Server.MapPath(\"a.jpg\")\n"));
  CommandResult outside =
      RunInProcess(cli::RunScript, {"outside.vbs", "--root", "site/gallery"}, folder.Path());
  EXPECT_EQ(outside.out, Web(site + "/gallery/a.jpg\n"));
  CommandResult noRoot =
      RunInProcess(cli::RunScript, {"outside.vbs", "--root", "nothing"}, folder.Path());
  EXPECT_EQ(noRoot.status, 1);
  EXPECT_NE(noRoot.err.find("is not a folder"), std::string::npos) << noRoot.err;
}

// The error line's format is the engine's test; here it reaches standard error and stops the run.
TEST_F(RunCommand, UncaughtErrorsPrintTheirPlaceAndStopTheScript) {
  CommandResult runtime =
      Run("WScript.Echo \"before\"\nIf True Then\n    x = CLng(\"abc\")\n"
          "End If\nWScript.Echo \"after\"\n");
  EXPECT_EQ(runtime.status, 1);
  EXPECT_EQ(runtime.out, "before\n");
  EXPECT_EQ(runtime.err, "job.vbs(3, 5) Script runtime error: Type mismatch (0x800A000D)\n");

  // A syntax error is found before anything runs.
  CommandResult syntax = Run("WScript.Echo \"never\"\nx = (1 + \n");
  EXPECT_EQ(syntax.status, 1);
  EXPECT_EQ(syntax.out, "");
  EXPECT_EQ(syntax.err,
            "job.vbs(2, 10) Script compilation error: Expected expression (0x800A03FF)\n");

  CommandResult missing = RunInProcess(cli::RunScript, {"none.vbs"}, folder.Path());
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(missing.err.rfind("corvella run: error -2146828235 ", 0), 0u) << missing.err;
}

TEST_F(RunCommand, ArgumentsOptionsAndUsage) {
  // Options stand before or after the script; the first other argument and all after it, and
  // everything after "--", go to the script.
  const std::string script =
      "For Each a In WScript.Arguments: s = s & \"[\" & a & \"]\": Next\nWScript.Echo s\n";
  folder.Write("args.vbs", TextBytes(script));
  auto args = [&](std::vector<std::string> line) {
    CommandResult result = RunInProcess(cli::RunScript, line, folder.Path());
    EXPECT_EQ(result.status, 0) << result.err;
    return result.out;
  };
  EXPECT_EQ(args({"args.vbs", "a b", "--root", "x", "-"}), "[a b][--root][x][-]\n");
  EXPECT_EQ(args({"--timeout", "5", "args.vbs", "--root=.", "--", "--timeout"}), "[--timeout]\n");
  EXPECT_EQ(args({"args.vbs", "--timeout=10", "\u00e9t\u00e9"}), "[\u00e9t\u00e9]\n");
  EXPECT_EQ(args({"--", "args.vbs", "--help"}), "[--help]\n");

  CommandResult help = RunInProcess(cli::RunScript, {"--help"}, folder.Path());
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.out.rfind("usage: corvella run SCRIPT", 0), 0u);
  for (std::vector<std::string> bad :
       std::vector<std::vector<std::string>>{{},
                                             {"--root"},
                                             {"--verbose", "args.vbs"},
                                             {"args.vbs", "--timeout", "0"},
                                             {"args.vbs", "--timeout", "-1"},
                                             {"args.vbs", "--timeout", "soon"},
                                             {"args.vbs", "--response="}}) {
    CommandResult result = RunInProcess(cli::RunScript, bad, folder.Path());
    EXPECT_EQ(result.status, 2) << ::testing::PrintToString(bad);
    EXPECT_EQ(result.err.rfind("corvella run: ", 0), 0u) << result.err;
  }
}

TEST_F(RunCommand, ExitStatusesOfTheProgram) {
  // The code of WScript.Quit, as the process status; a failure never wraps round to success.
  const std::pair<int, int> quits[] = {{3, 3}, {256, 255}, {-1024, 255}, {0, 0}};
  for (auto [code, status] : quits) {
    folder.Write("quit.vbs", TextBytes("WScript.Echo \"quitting\"\nWScript.Quit " +
                                   std::to_string(code) + "\nWScript.Echo 4\n"));
    CommandResult quit = RunProcess({"run", "quit.vbs"}, folder.Path());
    EXPECT_EQ(quit.status, status) << code;
    EXPECT_EQ(quit.out, "quitting\n");
  }

  // A script that would loop forever is stopped; what it set up is still cleaned up.
  folder.Write("loop.vbs",
               TextBytes("Response.Write \"started\"\nOn Error Resume Next\nDo\n  i = i + 1\nLoop\n"));
  CommandResult loop =
      RunProcess({"run", "loop.vbs", "--timeout", "0.2", "--response", "r.http"}, folder.Path());
  EXPECT_EQ(loop.status, 124);
  EXPECT_EQ(loop.err, "corvella run: loop.vbs was stopped after 0.2 seconds (--timeout)\n");
  std::vector<uint8_t> response = ReadBytes(folder / "r.http");
  EXPECT_EQ(std::string(response.begin(), response.end()),
            "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n\r\nstarted");
}

}  // namespace
}  // namespace corvella::testing
