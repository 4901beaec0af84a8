#pragma once
// Runs scripts that use the script objects (dictionary, regular expressions, files, streams) and
// answers what they echoed, followed by "#n" when a runtime error n stopped them.

#include <gtest/gtest.h>

#include <cstdint>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "corvella/host/script_objects.h"
#include "corvella/platform/text.h"
#include "corvella/script/engine.h"
#include "corvella/script/host.h"
#include "corvella/script/wscript.h"
#include "support/temp_folder.h"

namespace corvella::host::testing {

/// One row of a table: a script and what it prints (lines joined by "\n", no final newline).
struct ScriptCase {
  std::string script;
  std::string expected;
};

/// Runs @p source with the script objects registered; the lines echoed, joined by "\n", then
/// "#n" for an uncaught runtime error n (the low 16 bits of its number).
inline std::string RunScript(const std::string& source) {
  std::ostringstream out;
  std::ostringstream err;
  script::BasicHost host;
  host.AddNamedItem(u"WScript", std::make_shared<script::WScriptObject>(
                                    out, err, std::vector<std::u16string>{}, u"test.vbs"));
  for (const ScriptObjectClass& objectClass : ScriptObjectClasses()) {
    host.RegisterClass(std::u16string(objectClass.progId), objectClass.create);
  }
  script::RunOptions options;
  options.maxSteps = 1'000'000;
  script::RunResult result = script::RunSource(platform::Utf8ToWide(source), host, options);
  std::string text = out.str();
  while (!text.empty() && text.back() == '\n')
    text.pop_back();
  if (result.error) {
    if (!text.empty()) text += "\n";
    text += "#" + std::to_string(static_cast<uint32_t>(result.error->number) & 0xFFFF);
  }
  return text;
}

/// Runs every row of a table after @p prelude.
inline void ExpectScripts(const std::string& prelude, const std::vector<ScriptCase>& cases) {
  for (const ScriptCase& row : cases) {
    EXPECT_EQ(RunScript(prelude + "\n" + row.script), row.expected) << row.script;
  }
}

using corvella::testing::ReadBytes;
using ScratchFolder = corvella::testing::TempFolder;

/// The folder as scripts name it, written with backslashes.
inline std::string ScriptPath(const ScratchFolder& folder) {
  return corvella::testing::WebPath(folder.Path());
}

}  // namespace corvella::host::testing
