#pragma once
// Runs scripts that use the script objects (dictionary, regular expressions, files, streams) and
// answers what they echoed, followed by "#n" when a runtime error n stopped them.

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "corvella/host/script_objects.h"
#include "corvella/platform/text.h"
#include "corvella/script/engine.h"
#include "corvella/script/host.h"
#include "corvella/script/wscript.h"

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

/// A folder of its own below the system's temporary folder, removed afterwards.
class ScratchFolder {
 public:
  ScratchFolder() {
    static int counter = 0;
    path_ = std::filesystem::temp_directory_path() /
            ("corvella_objects_" + std::to_string(::getpid()) + "_" + std::to_string(++counter));
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_);
  }
  ~ScratchFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  const std::filesystem::path& Path() const { return path_; }
  /// The folder as scripts name it, written with backslashes.
  std::string ScriptPath() const {
    std::string text = path_.string();
    for (char& c : text)
      if (c == '/') c = '\\';
    return text;
  }
  void Write(const std::string& name, const std::vector<uint8_t>& bytes) const {
    std::filesystem::create_directories((path_ / name).parent_path());
    std::ofstream(path_ / name, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
  }
  std::vector<uint8_t> Read(const std::string& name) const {
    std::ifstream in(path_ / name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }

 private:
  std::filesystem::path path_;
};

}  // namespace corvella::host::testing
