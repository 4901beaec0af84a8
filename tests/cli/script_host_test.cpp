// The host of corvella run: the page protocol of Server.CreateObject and the page path of a
// script. Every member of the object is reached from the acceptance scripts.

#include "script_host.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

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
