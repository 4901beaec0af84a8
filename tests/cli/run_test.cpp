// corvella run: scripts that drive the object through the engine and the command, with the page's
// Response, the error lines and the exit statuses; its host, with the page protocol of
// Server.CreateObject and the page path of a script. What the members do from a script (in/out
// parameters, byte arrays, saving without a name, the error numbers and texts) is in the acceptance
// scripts, which reach every member through this host.

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "cli_test_support.h"
#include "corvella/component/pictron.h"
#include "corvella/host/page_host.h"
#include "corvella/platform/error.h"
#include "corvella/platform/text.h"
#include "corvella/script/engine.h"
#include "script_host.h"
#include "support/errors.h"
#include "support/temp_folder.h"

namespace corvella::testing {
namespace {

namespace fs = std::filesystem;
using platform::DispId;
using platform::InvokeKind;
using platform::ObjectRef;
using platform::Variant;

// A physical path that the object takes as it is: the images folder written with a trailing
// backslash, as a script on Windows would write it.
std::string Image(std::string_view name) {
  return kImages.string() + "\\" + std::string(name);
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
  // The same member calls made on the object in C++.
  component::Pictron api;
  api.OpenFile(platform::Utf8ToWide(Image("egret_600x450.jpg")));
  int32_t w = 120, h = 0;
  api.Resample(w, h);
  Variant saved;
  api.SaveBinary(saved);
  const std::vector<uint8_t> jpeg(saved.AsByteArray().Bytes().begin(),
                                  saved.AsByteArray().Bytes().end());
  // The headers of each argument, undecoded bytes passed through and a second download encoding
  // again are the object's own tests; what the command adds is the way they reach the file.
  // Unbuffered, the length goes with the headers and equals the bytes sent.
  auto [head, body] =
      SplitResponse(Response(open + "Response.Buffer = False\np.Download \"a.jpg\"\n"));
  EXPECT_EQ(head,
            "HTTP/1.1 200 OK\r\nContent-Type: image/jpeg\r\nContent-Disposition: filename=a.jpg\r\n"
            "Content-Length: " +
                std::to_string(jpeg.size()) + "\r\n\r\n");
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
  // What Clear, Status and AddHeader keep is the host's test; here, how the file holds it.
  EXPECT_EQ(Response("Response.ContentType = \"text/plain\"\n"
                     "Response.Status = \"404 Not Found\"\n"
                     "Response.AddHeader \"X-Count\", 3\n"
                     "Response.Write \"h\u00e9llo \" & 42\n"
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
  // Server.MapPath answers physical paths with backslashes (WebPath).
  folder.Write(
      "site/gallery/show.vbs",
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
  EXPECT_EQ(own.out, WebPath(site + "/gallery/egret.jpg\n" + site +
                             "/gallery/logo.gif\nerror 5\nshow.vbs\n-2147220474\n600 Pictron\n"));

  // --root makes the script a page below the root.
  CommandResult rooted =
      RunInProcess(cli::RunScript, {"site/gallery/show.vbs", "--root", "site"}, folder.Path());
  EXPECT_EQ(rooted.status, 0) << rooted.err;
  EXPECT_EQ(rooted.out, WebPath(site + "/gallery/egret.jpg\n" + site + "/logo.gif\n" + site +
                                "/logo.gif\nshow.vbs\n0\n600 Pictron\n"));
  EXPECT_TRUE(fs::exists(folder / "site/gallery/small.jpg"));

  // A script outside the root is a page in the root's own folder.
  folder.Write("outside.vbs", TextBytes("WScript.Echo Server.MapPath(\"a.jpg\")\n"));
  CommandResult outside =
      RunInProcess(cli::RunScript, {"outside.vbs", "--root", "site/gallery"}, folder.Path());
  EXPECT_EQ(outside.out, WebPath(site + "/gallery/a.jpg\n"));
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
  folder.Write(
      "loop.vbs",
      TextBytes("Response.Write \"started\"\nOn Error Resume Next\nDo\n  i = i + 1\nLoop\n"));
  CommandResult loop =
      RunProcess({"run", "loop.vbs", "--timeout", "0.2", "--response", "r.http"}, folder.Path());
  EXPECT_EQ(loop.status, 124);
  EXPECT_EQ(loop.err, "corvella run: loop.vbs was stopped after 0.2 seconds (--timeout)\n");
  std::vector<uint8_t> response = ReadBytes(folder / "r.http");
  EXPECT_EQ(std::string(response.begin(), response.end()),
            "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n\r\nstarted");
}

// A host for a script that is the page /job.vbs of a site in a temporary folder.
class HostRun {
 public:
  HostRun()
      : host(out, err, {u"first"},
             cli::ScriptSite{platform::Utf8ToWide((folder / "job.vbs").string()),
                             platform::Utf8ToWide(folder.Path().string()), u"/job.vbs"}) {}

  script::RunResult Run(std::string_view source, const script::RunOptions& options = {}) {
    return script::RunSource(platform::Utf8ToWide(source), host, options);
  }
  TempFolder folder;
  std::ostringstream out;
  std::ostringstream err;
  cli::ScriptHost host;
};

// An object of the page protocol that writes down what is done to it.
class PageProbe final : public platform::Dispatchable {
 public:
  PageProbe(std::string name, std::vector<std::string>& log, bool failAtEnd = false)
      : name_(std::move(name)), log_(log), failAtEnd_(failAtEnd) {}

  DispId GetIdOfName(std::u16string_view name) const override {
    if (platform::EqualsNoCase(name, "OnStartPage")) return 1;
    if (platform::EqualsNoCase(name, "OnEndPage")) return 2;
    return platform::kDispIdUnknown;
  }
  Variant Invoke(DispId id, InvokeKind, std::span<Variant> args) override {
    if (id == 1) {
      context = args[0].ToObject();
      log_.push_back(name_ + " start");
    } else {
      log_.push_back(name_ + " end");
      if (failAtEnd_) platform::Raise(platform::RuntimeError::PermissionDenied, name_);
    }
    return {};
  }

  ObjectRef context;

 private:
  std::string name_;
  std::vector<std::string>& log_;
  bool failAtEnd_;
};

TEST(ScriptHost, ServerCreateObjectBindsObjectsToThePageUntilTheScriptEnds) {
  struct Ending {
    std::string script;
    script::RunStatus status;
  };
  const Ending endings[] = {
      {"", script::RunStatus::Completed},
      {"WScript.Quit 4\n", script::RunStatus::Exited},
      {"Response.End\n", script::RunStatus::Exited},
      {"x = 1 / 0\n", script::RunStatus::RuntimeError},
      {"Do: Loop\n", script::RunStatus::TimedOut},
  };
  for (const Ending& ending : endings) {
    HostRun run;
    std::vector<std::string> log;
    std::shared_ptr<PageProbe> first;
    int made = 0;
    run.host.RegisterClass(u"Probe", [&] {
      auto probe = std::make_shared<PageProbe>("probe" + std::to_string(++made), log);
      if (!first) first = probe;
      return probe;
    });
    script::RunOptions options;
    options.maxSteps = 10000;
    script::RunResult result = run.Run(
        "Set a = Server.CreateObject(\"Probe\")\n"
        "Set b = CreateObject(\"Probe\")\n"
        "Set c = WScript.CreateObject(\"Probe\")\n"
        "Set d = Server.CreateObject(\"probe\")\n"
        "Set fso = Server.CreateObject(\"Scripting.FileSystemObject\")\n" +
            ending.script,
        options);
    EXPECT_EQ(result.status, ending.status) << ending.script;
    // Only the objects made through Server are bound, and each is released from the page once,
    // in the order of creation.
    EXPECT_EQ(
        log, (std::vector<std::string>{"probe1 start", "probe4 start", "probe1 end", "probe4 end"}))
        << ending.script;
    EXPECT_EQ(first->context, ObjectRef(run.host.Page()));
  }

  // An error of OnEndPage is the script's error when it had none of its own; every object is
  // still released.
  HostRun run;
  std::vector<std::string> log;
  run.host.RegisterClass(u"Failing", [&] { return std::make_shared<PageProbe>("f", log, true); });
  script::RunResult result = run.Run(
      "Set a = Server.CreateObject(\"Failing\")\nSet b = Server.CreateObject(\"Failing\")\n");
  EXPECT_EQ(result.status, script::RunStatus::RuntimeError);
  ASSERT_TRUE(result.error);
  EXPECT_EQ(result.error->number, Runtime(70));
  EXPECT_EQ(log, (std::vector<std::string>{"f start", "f start", "f end", "f end"}));

  // A Pictron made through Server maps names through the page (ServerMapsPaths...); that it lets
  // go of the page at OnEndPage is the component's test.
  script::RunResult unknown = HostRun().Run("Set x = Server.CreateObject(\"No.Such\")\n");
  ASSERT_TRUE(unknown.error);
  EXPECT_EQ(unknown.error->number, Runtime(429));
}

TEST(ScriptHost, MsgBoxAndInputBoxTalkOnTheConsole) {
  HostRun run;
  char input[] = "Ann\n\n";
  std::FILE* in = fmemopen(input, sizeof input - 1, "r");
  run.host.SetInput(in);
  EXPECT_EQ(run.Run("r = MsgBox(\"Sure?\", vbYesNo + vbDefaultButton2, \"Ask\")\n"
                    "a = InputBox(\"Name?\", , \"Bob\") : b = InputBox(\"Again?\", , \"Bob\")\n"
                    "c = InputBox(\"More?\", \"T\", \"Cy\")\n"
                    "WScript.Echo r, a, b, c")
                .status,
            script::RunStatus::Completed);
  EXPECT_EQ(run.out.str(), "Ask\nSure?\nName?\nAgain?\nT\nMore?\n7 Ann Bob Cy\n");
  std::fclose(in);
}

TEST(ScriptHost, TheScriptIsAPageOfTheSite) {
  EXPECT_EQ(cli::PageOfScript("/srv/site", "/srv/site/job.vbs"), u"/job.vbs");
  EXPECT_EQ(cli::PageOfScript("/srv/site", "/srv/site/a b/100%.vbs"), u"/a b/100%.vbs");
  EXPECT_EQ(cli::PageOfScript("/srv/site/", "/srv/site/x/y/z.vbs"), u"/x/y/z.vbs");
  EXPECT_EQ(cli::PageOfScript("/srv/site", "/srv/other/job.vbs"), u"/job.vbs");
  EXPECT_EQ(cli::PageOfScript("/srv/site", "/srv/site2/job.vbs"), u"/job.vbs");
  EXPECT_EQ(cli::PageOfScript("/", "/home/job.vbs"), u"/home/job.vbs");

  // The page's own folder is where relative names start; its name is taken as it is.
  HostRun run;
  fs::create_directories(run.folder / "100%" / "sub");
  cli::ScriptHost host(
      run.out, run.err, {},
      cli::ScriptSite{u"", platform::Utf8ToWide(run.folder.Path().string()),
                      cli::PageOfScript(run.folder.Path(), run.folder / "100%" / "sub" / "p.vbs")});
  run.out.str({});
  script::RunResult result = script::RunSource(u"WScript.Echo Server.MapPath(\"a%20b.jpg\")", host);
  EXPECT_EQ(result.status, script::RunStatus::Completed);
  EXPECT_EQ(run.out.str(), testing::WebPath(run.folder / "100%" / "sub" / "a b.jpg") + "\n");
}

}  // namespace
}  // namespace corvella::testing
