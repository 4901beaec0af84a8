#pragma once
// The host of corvella run: what a script reaches as a command-line job (WScript, CreateObject)
// and as a page of a web site (Server, Response), on one page context.

#include <cstdio>
#include <filesystem>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "corvella/platform/dispatch.h"
#include "corvella/host/page_host.h"
#include "corvella/script/host.h"

namespace corvella::cli {

/// Where a script runs: its own file, and the site whose page it is.
struct ScriptSite {
  /// The script's absolute path; WScript.ScriptFullName.
  std::u16string scriptPath;
  /// The physical folder of the site (absolute); Server.MapPath("/") answers it.
  std::u16string siteRoot;
  /// The script's virtual path in the site ("/gallery/show.vbs"), from which relative virtual
  /// paths are mapped.
  std::u16string currentPage;
};

/// The virtual path of the script @p script in the site below @p root, both absolute and
/// normalised: its path relative to the root, with "/" separators and a leading "/" (the page
/// host takes a page's path as it is, without decoding "%"). A script outside the root is a
/// page in the root's own folder: "/" followed by its file name.
std::u16string PageOfScript(const std::filesystem::path& root, const std::filesystem::path& script);

/// The host objects of one run of a script.
///
/// Named items: WScript (Echo to @p out, StdErr to @p err, Quit, Arguments, ScriptName), Server
/// (MapPath, CreateObject) and Response (the page's response, with End).
///
/// CreateObject and WScript.CreateObject create "Corvella.Pictron" objects, the script objects
/// of host::ScriptObjectClasses() and any class registered with RegisterClass, unbound to the
/// page. Server.CreateObject creates the same objects and then, as a server does for its
/// components, calls OnStartPage with the page's scripting context on each that has that member,
/// and OnEndPage on them when the script ends.
///
/// MsgBox and InputBox talk on the console, since a command has no window: each writes its title
/// (when given) and its prompt as lines on @p out, as Echo does. MsgBox answers its default
/// button at once; InputBox reads one line from the input, and an empty line or the end of the
/// input answers its default text.
class ScriptHost final : public script::BasicHost {
 public:
  ScriptHost(std::ostream& out, std::ostream& err, std::vector<std::u16string> arguments,
             const ScriptSite& site);
  ~ScriptHost() override;

  /// Server.CreateObject: creates the object and binds it to the page.
  platform::ObjectRef CreateServerObject(std::u16string_view progId);
  /// Calls OnEndPage on the objects that Server.CreateObject bound, in the order of their
  /// creation, each once; the first error raised is raised again after all have been called.
  void ScriptEnded() override;
  int32_t MessageBox(std::u16string_view prompt, std::u16string_view title,
                     int32_t buttons) override;
  std::u16string InputBox(std::u16string_view prompt, std::u16string_view title,
                          std::u16string_view defaultText) override;
  /// Where InputBox reads its lines (UTF-8); standard input unless set.
  void SetInput(std::FILE* in) { in_ = in; }

  /// The page's scripting context, as Server.CreateObject passes it to OnStartPage.
  const std::shared_ptr<host::PageContext>& Page() const { return page_; }
  /// The response that the page built.
  const host::PageResponse& Response() const { return *page_->Response(); }

 private:
  // Writes the title, when there is one, and the prompt as lines on the output.
  void WritePrompt(std::u16string_view prompt, std::u16string_view title);

  std::ostream& out_;
  std::FILE* in_ = stdin;
  std::shared_ptr<host::PageContext> page_;
  std::vector<platform::ObjectRef> pageObjects_;
};

}  // namespace corvella::cli
