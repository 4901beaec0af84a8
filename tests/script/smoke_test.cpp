#include "script_support.h"

namespace corvella::script::testing {
namespace {

TEST(Smoke, Runs) {
  EXPECT_EQ(Echo("WScript.Echo 1 + 2"), "3\n");
  EXPECT_EQ(Eval("\"a\" & 1"), "a1");
  EXPECT_EQ(Echo("Dim i, s\nFor i = 1 To 3\n s = s & i\nNext\nWScript.Echo s"), "123\n");
}

}  // namespace
}  // namespace corvella::script::testing
