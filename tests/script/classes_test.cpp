// Classes: fields, methods, properties, default members, Me, New, With New, and when
// Class_Initialize and Class_Terminate run.

#include "script_support.h"

namespace corvella::script::testing {
namespace {

// A class used by every case below; each case's script follows it.
constexpr std::string_view kCounter =
    "Class Counter\n"
    "  Private count_\n"
    "  Public Name, Items(2)\n"
    "  Private Sub Class_Initialize() : count_ = 10 : Name = \"c\" : End Sub\n"
    "  Private Sub Class_Terminate() : WScript.Echo \"bye \" & Name : End Sub\n"
    "  Public Default Property Get Value() : Value = count_ : End Property\n"
    "  Public Property Let Value(v) : count_ = v : End Property\n"
    "  Public Property Set Link(o) : Set Items(0) = o : End Property\n"
    "  Property Get Link : Set Link = Items(0) : End Property\n"
    "  Function Add(n) : count_ = count_ + n : Bump : Set Add = Me : End Function\n"
    "  Private Sub Bump : count_ = count_ + 1 : End Sub\n"
    "  Sub Twice(ByRef n) : n = n * 2 : End Sub\n"
    "End Class\n";

TEST(Classes, MembersAndLifetime) {
  struct Case {
    const char* script;
    const char* out;
  };
  const Case cases[] = {
      {"Set c = New Counter\nWScript.Echo c.Value, c, TypeName(c), VarType(c)\nSet c = Nothing",
       "10 10 Counter 9\nbye c\n"},
      // Property Let, chained calls through Me, private methods called inside.
      {"Set c = New Counter\nc.Value = 5\nc.Add(1).Add 2\nWScript.Echo c\nc.Name = \"x\"",
       "10\nbye x\n"},
      // Field arrays, Property Set and Get of objects, ByRef through a member call.
      {"Set c = New Counter\nc.Items(1) = 7\nSet c.Link = WScript\nn = 3\nc.Twice n\n"
       "WScript.Echo c.Items(1), c.Link Is WScript, n\nc.Name = \"\"",
       "7 -1 6\nbye \n"},
      // The last reference going runs Class_Terminate at once, not at the end.
      {"Set a = New Counter\nSet b = a\na.Name = \"a\"\nSet a = Nothing\nWScript.Echo \"kept\"\n"
       "Set b = Nothing\nWScript.Echo \"gone\"",
       "kept\nbye a\ngone\n"},
      {"With New Counter\n.Name = \"w\"\nWScript.Echo .Value + 1\nEnd With\nWScript.Echo \"after\"",
       "11\nbye w\nafter\n"},
      // Objects that hold each other are released when the script ends.
      {"Set a = New Counter\nSet b = New Counter\nSet a.Link = b\nSet b.Link = a\n"
       "WScript.Echo a.Link.Link Is a",
       "-1\n"},
      {"Sub Use\n  Dim local\n  Set local = New Counter\n  local.Name = \"l\"\nEnd Sub\nUse\n"
       "WScript.Echo \"out\"",
       "bye l\nout\n"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Echo(std::string(kCounter) + c.script), c.out) << c.script;
  }
}

TEST(Classes, RuntimeErrors) {
  struct Case {
    const char* script;
    int number;
  };
  const Case cases[] = {
      {"Set c = New Counter\nc.Bump", 438},        // private
      {"Set c = New Counter\nx = c.Missing", 438},  // no such member
      {"Set c = New Thing", 506},
      {"x = .Name", 505},
      {"Set c = New Counter\nc.Add", 450},
      {"x = Me.Missing", 438},
      {"Class E\nSub Class_Initialize : x = 1 / 0 : End Sub\nEnd Class\nSet e = New E", 11},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(RuntimeErrorOf(std::string(kCounter) + c.script), c.number) << c.script;
  }
  // Outside a class, Me is the script: its procedures and variables are its members.
  EXPECT_EQ(Echo("Sub Hi : WScript.Echo \"hi\" : End Sub\nv = 2\nMe.Hi\nMe.v = 3\n"
                 "Set m = Me\nWScript.Echo m Is Me, v, +m Is m"),
            "hi\n-1 3 -1\n");
  // An error in Class_Terminate does not stop the statement that released the object.
  EXPECT_EQ(Echo("Class T\nSub Class_Terminate : x = 1 / 0 : End Sub\nEnd Class\n"
                 "Set t = New T\nSet t = Nothing\nWScript.Echo \"on\""),
            "on\n");
}

}  // namespace
}  // namespace corvella::script::testing
