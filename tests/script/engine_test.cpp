// The engine's entry points: script text decoding and the error line that hosts print.

#include <vector>

#include "script_support.h"

namespace corvella::script::testing {
namespace {

TEST(Engine, DecodesScriptFilesInTheirEncodings) {
  const std::vector<uint8_t> utf8 = {0xEF, 0xBB, 0xBF, 'x', '=', 0xC3, 0xA9};
  EXPECT_EQ(DecodeScriptText(utf8), u"x=\u00e9");
  const std::vector<uint8_t> utf16 = {0xFF, 0xFE, 'a', 0, 0xAC, 0x20};
  EXPECT_EQ(DecodeScriptText(utf16), u"a\u20ac");
  // Not UTF-8: the bytes are Windows-1252, as scripts saved on Windows are.
  const std::vector<uint8_t> ansi = {'s', 0xE9, ' ', 0x80, 0x93};
  EXPECT_EQ(DecodeScriptText(ansi), u"s\u00e9 \u20ac\u201c");
  const std::vector<uint8_t> truncated = {'a', 0xE2, 0x82};
  EXPECT_EQ(DecodeScriptText(truncated), u"a\u00e2\u201a");
  EXPECT_EQ(DecodeScriptText({}), u"");
}

TEST(Engine, FormatsErrorsForHosts) {
  ScriptError error;
  error.number = static_cast<int32_t>(0x800A000D);
  error.source = "Script runtime error";
  error.description = "Type mismatch: 'x'";
  error.position = {12, 5};
  EXPECT_EQ(FormatError("thumb.vbs", error),
            "thumb.vbs(12, 5) Script runtime error: Type mismatch: 'x' (0x800A000D)");
  error.number = -2147220504;
  std::string line = FormatError("p.asp", error);
  EXPECT_EQ(line.substr(line.size() - 13), " (0x800403E8)");
  // A compiled program reports nothing; a broken one its first error.
  EXPECT_TRUE(Compile(u"x = 1").program);
  CompileResult broken = Compile(u"x = 1\nIf\n");
  EXPECT_FALSE(broken.program);
  ASSERT_TRUE(broken.error);
  EXPECT_EQ(broken.error->position, (SourcePosition{2, 3}));
}

}  // namespace
}  // namespace corvella::script::testing
