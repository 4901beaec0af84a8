// The host of corvella run: every member of the object reached from a script, the page protocol
// of Server.CreateObject and the page path of a script.

#include "script_host.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "corvella/component/identity.h"
#include "corvella/component/member_table.h"
#include "corvella/component/pictron.h"
#include "corvella/platform/error.h"
#include "corvella/platform/text.h"
#include "corvella/script/engine.h"
#include "corvella/host/file_system_object.h"
#include "support/errors.h"
#include "support/temp_folder.h"

namespace corvella::testing {
namespace {

namespace fs = std::filesystem;
using platform::DispId;
using platform::InvokeKind;
using platform::ObjectRef;
using platform::Variant;

const fs::path kImages = fs::path(CORVELLA_TEST_DATA) / "images";

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
  // Runs a script that must end without an error and answers what it echoed.
  std::string Echo(std::string_view source) {
    out.str({});
    script::RunResult result = Run(source);
    EXPECT_TRUE(result.status == script::RunStatus::Completed ||
                result.status == script::RunStatus::Exited)
        << (result.error ? script::FormatError("job.vbs", *result.error) : std::string());
    return out.str();
  }

  TempFolder folder;
  std::ostringstream out;
  std::ostringstream err;
  cli::ScriptHost host;
};

// A Pictron reached through a recorder of the members that are invoked on it.
class RecordedPictron final : public platform::Dispatchable {
 public:
  explicit RecordedPictron(std::set<int>& slots) : slots_(slots) {}

  DispId GetIdOfName(std::u16string_view name) const override { return pictron_.GetIdOfName(name); }
  Variant Invoke(DispId id, InvokeKind kind, std::span<Variant> args) override {
    for (const component::PictronMember& member : component::PictronMembers()) {
      if (member.info.dispid == id && platform::HasKind(kind, member.info.kind)) {
        slots_.insert(member.info.slot);
      }
    }
    return pictron_.Invoke(id, kind, args);
  }
  std::u16string TypeName() const override { return pictron_.TypeName(); }

 private:
  std::set<int>& slots_;
  component::Pictron pictron_;
};

TEST(ScriptHost, EveryMemberOfTheObjectIsReachedFromAScript) {
  HostRun run;
  fs::copy_file(kImages / "egret_600x450.jpg", run.folder / "egret.jpg");
  fs::copy_file(kImages / "apache_pb_transp.gif", run.folder / "logo.gif");
  std::set<int> slots;
  run.host.RegisterClass(u"Recorded.Pictron",
                         [&] { return std::make_shared<RecordedPictron>(slots); });

  const std::string script =
      "Set p = Server.CreateObject(\"Recorded.Pictron\")\n"
      "p.FontFace = \"Liberation Sans\": p.FontBold = True: p.FontColor = \"FF8000\"\n"
      "p.FontItalic = True: p.FontOrientation = 0: p.FontSize = 20\n"
      "p.FontUnderline = True: p.FontCharset = 0\n"
      "WScript.Echo p.FontFace, CInt(p.FontBold), p.FontColor, CInt(p.FontItalic), "
      "p.FontOrientation, p.FontSize, CInt(p.FontUnderline), p.FontCharset\n"
      "p.OpenFile \"egret.jpg\"\n"
      "WScript.Echo p.OriginalWidth, p.OriginalHeight, p.OriginalSize, p.width, p.Height, p.Size\n"
      "pos = 4: p.JPEGSkipVariables pos: WScript.Echo pos\n"
      "WScript.Echo Len(p.StripNulls(\"ab\" & Chr(0) & Chr(0))), CInt(p.LoadPictureFromStd())\n"
      "w = 300: h = 0: p.Resample w, h\n"
      "x1 = 10: y1 = 12: x2 = 290: y2 = 200: p.Crop x1, y1, x2, y2\n"
      "p.Flip: p.Mirror: p.RotateRight: p.RotateLeft: p.RotateLeft\n"
      "p.Blur: p.Sharpen: p.Gamma 1.2, 1, 0.9: p.Negative: p.GreyScale\n"
      "p.AddText \"Corvella\", \"CENTER\", \"BOTTOM\"\n"
      "key = \"FFFFFF\": p.AddImage \"logo.gif\", \"RIGHT\", \"TOP\", key\n"
      "p.Quality = 70: p.Comment = \"made by a script\"\n"
      "p.SaveFile \"out.jpg\"\n"
      "WScript.Echo h, x2, y2, key, p.width, p.Height\n"
      "p.SaveBinary b\n"
      "Set q = CreateObject(\"Recorded.Pictron\")\n"
      "q.OpenBinary b\n"
      "WScript.Echo q.width, q.Height, q.OriginalSize = p.Size\n"
      "p.Download \"out.jpg\"\n"
      "WScript.Echo IsEmpty(p.OnEndPage())\n";
  EXPECT_EQ(run.Echo(script),
            "Liberation Sans -1 FF8000 -1 0 20 -1 0\n"
            "600 450 18986 600 450 18986\n"
            "20\n"
            "2 -1\n"
            "225 290 200 16777215 188 280\n"
            "188 280 -1\n"
            "-1\n");

  // What was saved is what was sent: the same encoding of the same image.
  auto body = run.host.Response().Body();
  EXPECT_EQ(std::vector<uint8_t>(body.begin(), body.end()), ReadBytes(run.folder / "out.jpg"));
  EXPECT_EQ(run.host.Response().HeaderValues("Content-Disposition"),
            std::vector<std::string>{"filename=out.jpg"});

  std::vector<int> missed;
  for (const component::PictronMember& member : component::PictronMembers()) {
    if (!slots.contains(member.info.slot)) missed.push_back(member.info.slot);
  }
  EXPECT_EQ(component::PictronMembers().size(), 47u);
  EXPECT_EQ(missed, std::vector<int>{}) << "slots never reached from the script";
}

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

  // A Pictron made through Server maps names through the page, and has let go of it afterwards.
  HostRun pictronRun;
  fs::copy_file(kImages / "egret_600x450.jpg", pictronRun.folder / "egret.jpg");
  std::shared_ptr<component::Pictron> kept;
  pictronRun.host.RegisterClass(u"Kept.Pictron", [&] {
    kept = std::make_shared<component::Pictron>();
    return kept;
  });
  EXPECT_EQ(
      pictronRun.Echo("Set p = Server.CreateObject(\"Kept.Pictron\")\np.OpenFile \"egret.jpg\"\n"
                      "WScript.Echo p.width, TypeName(p), TypeName(Server.CreateObject("
                      "\"Scripting.FileSystemObject\"))\n"),
      "600 Pictron FileSystemObject\n");
  ASSERT_TRUE(kept);
  EXPECT_FALSE(kept->State().objServer);
  EXPECT_FALSE(kept->State().objResponse);
  EXPECT_FALSE(kept->State().objScriptingContext);

  script::RunResult unknown = pictronRun.Run("Set x = Server.CreateObject(\"No.Such\")\n");
  ASSERT_TRUE(unknown.error);
  EXPECT_EQ(unknown.error->number, Runtime(429));
}

TEST(ScriptHost, MsgBoxAndInputBoxTalkOnTheConsole) {
  HostRun run;
  char input[] = "Ann\n\n";
  std::FILE* in = fmemopen(input, sizeof input - 1, "r");
  run.host.SetInput(in);
  EXPECT_EQ(run.Echo("r = MsgBox(\"Sure?\", vbYesNo + vbDefaultButton2, \"Ask\")\n"
                     "a = InputBox(\"Name?\", , \"Bob\") : b = InputBox(\"Again?\", , \"Bob\")\n"
                     "c = InputBox(\"More?\", \"T\", \"Cy\")\n"
                     "WScript.Echo r, a, b, c"),
            "Ask\nSure?\nName?\nAgain?\nT\nMore?\n7 Ann Bob Cy\n");
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
