// Objects of the host: by-reference write-back of in/out parameters, omitted optional
// arguments, default members, byte arrays, collections, and the built-in WScript object.

#include "gadget.h"
#include "script_support.h"

namespace corvella::script::testing {
namespace {

class HostObjects : public ::testing::Test {
 protected:
  HostObjects() { runner.host.AddNamedItem(u"G", gadget); }

  std::string Run(std::string_view source) {
    Outcome outcome = runner.Run(source);
    EXPECT_TRUE(outcome.Ok()) << source << "\n"
                              << (outcome.result.error ? FormatError("t.vbs", *outcome.result.error)
                                                       : std::string());
    return outcome.out;
  }

  std::shared_ptr<Gadget> gadget = std::make_shared<Gadget>();
  Runner runner;
};

// Writing back through a member's own parameters, parentheses passing values and a write that stays
// when the member fails are the acceptance scripts' and the dispatch layer's; here what only the
// engine decides.
TEST_F(HostObjects, InOutParametersWriteBackIntoVariables) {
  // G.Compute w, 0 leaves the derived height in the script's variable h.
  EXPECT_EQ(Run("w = 200: h = 0\nG.Compute w, h\nWScript.Echo w, h, TypeName(h)"),
            "200 150 Long\n");
  // A string argument that the member does not change stays a string.
  EXPECT_EQ(Run("w = \"200\": h = 0\nG.Compute w, h\nWScript.Echo TypeName(w), h"), "String 150\n");
  EXPECT_EQ(Run("w = 0: h = 300\nCall G.Compute((w), h)\nWScript.Echo w"), "0\n");
  // Array elements are passed by reference too.
  EXPECT_EQ(Run("Dim s(1): s(0) = 80\nG.Compute s(0), s(1)\nWScript.Echo s(0), s(1)"), "80 60\n");
  // Expressions and properties are values.
  EXPECT_EQ(Run("w = 100: h = 0\nG.Compute w + 0, h\nWScript.Echo w, h"), "100 75\n");
  // Procedures hand their by-reference parameters on.
  EXPECT_EQ(Run("Sub Fit(a, b)\n  G.Compute a, b\nEnd Sub\nw = 40: h = 0\nFit w, h\n"
                "WScript.Echo h"),
            "30\n");
  EXPECT_EQ(gadget->calls, 6);
}

TEST_F(HostObjects, OptionalArgumentsMayBeOmitted) {
  EXPECT_EQ(Run("WScript.Echo G.Options(\"a\"), G.Options(\"b\", 1), G.Options(\"c\", , 3), "
                "G.Options(\"d\", 1, 2)"),
            "a-- b+- c-+ d++\n");
  EXPECT_EQ(Run("G.Options \"x\", , 3\nG.Options \"y\","), "");
  EXPECT_TRUE(gadget->lastOption.IsMissing());
  EXPECT_EQ(runner.Run("G.Options").ErrorCode(), 449);
  EXPECT_EQ(runner.Run("G.Options 1, 2, 3, 4").ErrorCode(), 450);
}

TEST_F(HostObjects, PropertiesAndDefaultMembers) {
  EXPECT_EQ(Run("G.Name = \"first\"\nWScript.Echo G.Name, G, Len(G), G & \"!\", UCase(G)"),
            "first first 5 first! FIRST\n");
  EXPECT_EQ(gadget->name, u"first");
  // Let takes the default value; Set keeps the object.
  EXPECT_EQ(Run("x = G\nSet y = G\nWScript.Echo TypeName(x), TypeName(y), CStr(y Is G), "
                "CStr(G = \"first\")"),
            "String Gadget True True\n");
  EXPECT_EQ(Run("Dim list(1)\nSet list(0) = G\nlist(0).Name = \"second\"\n"
                "WScript.Echo G.Name, TypeName(list(0))"),
            "second Gadget\n");
  // The host's objects cannot be replaced by the script.
  EXPECT_EQ(runner.Run("G = \"third\"").ErrorCode(), 501);
  EXPECT_EQ(runner.Run("Set WScript = Nothing").ErrorCode(), 501);
  EXPECT_EQ(Run("Sub Clear(o): Set o = Nothing: End Sub\nClear G\nWScript.Echo G.Name"),
            "second\n");
  EXPECT_EQ(Run("For Each item In G: s = s & TypeName(item) & \" \": Next\nWScript.Echo s"),
            "String Long Double \n");
  EXPECT_EQ(runner.Run("x = G.Calls(1)").ErrorCode(), 450);
  EXPECT_EQ(runner.Run("G.Calls = 5").ErrorCode(), 438);
  EXPECT_EQ(runner.Run("Set G.Name = G").ErrorCode(), 438);
}

TEST_F(HostObjects, KeywordsAreMemberNamesAfterADot) {
  EXPECT_EQ(Run("If G.Calls = 0 Then G.End\nWScript.Echo G.Name"), "ended\n");
  EXPECT_EQ(Run("With G: .Name = \"x\": .End: End With\nWScript.Echo G.Name, G.name"),
            "ended ended\n");
}

TEST_F(HostObjects, ByteArraysFromObjects) {
  EXPECT_EQ(Run("b = G.Bytes(4)\n"
                "WScript.Echo TypeName(b), VarType(b), LenB(b), UBound(b), b(0), TypeName(b(1))\n"
                "WScript.Echo AscB(b), AscB(MidB(b, 2, 1)), AscB(MidB(b, 4)), LenB(MidB(b, 2))\n"
                "For Each x In b: s = s & x & \",\": Next\nWScript.Echo s\n"
                "b(0) = 97\nWScript.Echo b(0), G.Sum(b)"),
            "Byte() 8209 4 3 65 Byte\n65 66 68 3\n65,66,67,68,\n97 298\n");
  // The idiom of pages that turn bytes into text.
  EXPECT_EQ(Run("b = G.Bytes(3)\nFor i = 1 To LenB(b)\n  t = t & Chr(AscB(MidB(b, i, 1)))\nNext\n"
                "WScript.Echo t"),
            "ABC\n");
  // An in/out Variant parameter receives a byte array.
  EXPECT_EQ(Run("G.Save data\nWScript.Echo TypeName(data), UBound(data), data(2)"), "Byte() 2 3\n");
  // Byte strings: ChrB and MidB build strings byte by byte; two bytes make one character.
  EXPECT_EQ(Run("s = ChrB(65) & ChrB(0) & ChrB(66)\n"
                "WScript.Echo LenB(s), Len(s), AscB(MidB(s, 3, 1)), TypeName(s)\n"
                "t = s & ChrB(0)\nWScript.Echo LenB(t), Len(t), t\n"
                "WScript.Echo LenB(\"abc\"), AscB(\"A\"), LenB(MidB(\"abc\", 2, 3))"),
            "3 1 66 String\n4 2 AB\n6 65 3\n");
  EXPECT_EQ(runner.Run("x = G.Sum(\"abc\")").ErrorCode(), 13);
  EXPECT_EQ(runner.Run("b = G.Bytes(2)\nx = b(2)").ErrorCode(), 9);
  EXPECT_EQ(runner.Run("b = G.Bytes(2)\nb(0) = 256").ErrorCode(), 6);
  EXPECT_EQ(runner.Run("x = AscB(\"\")").ErrorCode(), 5);
}

TEST(WScript, EchoArgumentsNamesAndStreams) {
  Runner runner;
  runner.SetArguments({u"one", u"2"});
  Outcome outcome = runner.Run(
      "WScript.Echo \"a\", 1, True, Null, Empty, 2.5\n"
      "WScript.Echo\n"
      "Set args = WScript.Arguments\n"
      "WScript.Echo args.Count, args.Length, args(0), args.Item(1), WScript.Arguments(1)\n"
      "For Each a In args: s = s & a & \";\": Next\nWScript.Echo s\n"
      "WScript.Echo WScript.ScriptName, WScript.ScriptFullName, TypeName(WScript)\n"
      "WScript.StdOut.Write \"no newline \"\nWScript.StdOut.WriteLine \"line\"\n"
      "WScript.StdErr.WriteLine \"to stderr\"\n"
      "x = args(2)");
  EXPECT_EQ(outcome.out,
            "a 1 -1 Null  2.5\n\n2 2 one 2 2\none;2;\ntest.vbs C:\\jobs\\test.vbs Object\n"
            "no newline line\n");
  EXPECT_EQ(outcome.err, "to stderr\n");
  EXPECT_EQ(outcome.ErrorCode(), 9);
  EXPECT_EQ(runner.Run("WScript.Echo \"\u00e9\u20ac\"").out, "\u00e9\u20ac\n");
  EXPECT_EQ(runner.Run("x = WScript.CreateObject(\"Some.Thing\")").ErrorCode(), 429);
  EXPECT_EQ(runner.Run("WScript.Quit \"x\"").ErrorCode(), 13);
}

}  // namespace
}  // namespace corvella::script::testing
