// MsgBox and InputBox: their arguments are checked here and the dialogue itself is the host's
// (a command-line host talks on its console; a server has no one to ask and refuses).

#include <cstdint>
#include <string>

#include "builtins.h"
#include "corvella/platform/error.h"
#include "corvella/script/engine.h"
#include "interpreter.h"

namespace corvella::script {

using platform::Raise;
using platform::RuntimeError;
using platform::Variant;

namespace {

// The answers of the buttons of each set (vbOKOnly .. vbRetryCancel), first button first.
constexpr int32_t kButtonSets[][3] = {
    {1, 0, 0}, {1, 2, 0}, {3, 4, 5}, {6, 7, 2}, {6, 7, 0}, {4, 2, 0},
};
constexpr int32_t kButtonCounts[] = {1, 2, 3, 3, 2, 2};

std::u16string OptionalText(const BuiltinArgs& a, size_t i) {
  return a.Has(i) ? a[i].ToBStr() : std::u16string();
}

// A help file and its context go together: one without the other is an invalid argument.
void CheckHelp(const BuiltinArgs& a, size_t helpFile) {
  if (a.Has(helpFile) != a.Has(helpFile + 1)) Raise(RuntimeError::InvalidProcedureCall);
  if (a.Has(helpFile)) {
    a[helpFile].ToBStr();
    a[helpFile + 1].ToI4();
  }
}

}  // namespace

int32_t DefaultButtonAnswer(int32_t buttons) {
  int32_t set = buttons & 0xF;
  if (set < 0 || set >= static_cast<int32_t>(std::size(kButtonCounts))) {
    Raise(RuntimeError::InvalidProcedureCall);
  }
  int32_t index = (buttons >> 8) & 0x3;  // vbDefaultButton1 .. vbDefaultButton4
  if (index >= kButtonCounts[set]) index = 0;
  return kButtonSets[set][index];
}

Variant MsgBox(Interpreter& rt, const BuiltinArgs& a) {
  std::u16string prompt = a[0].ToBStr();
  int32_t buttons = a.Has(1) ? a[1].ToI4() : 0;
  DefaultButtonAnswer(buttons);  // a set of buttons that does not exist is refused here
  std::u16string title = OptionalText(a, 2);
  CheckHelp(a, 3);
  return Variant(static_cast<int16_t>(rt.host().MessageBox(prompt, title, buttons)));
}

Variant InputBox(Interpreter& rt, const BuiltinArgs& a) {
  std::u16string prompt = a[0].ToBStr();
  std::u16string title = OptionalText(a, 1);
  std::u16string defaultText = OptionalText(a, 2);
  if (a.Has(3)) a[3].ToI4();  // the position of the box, in twips: a number or nothing
  if (a.Has(4)) a[4].ToI4();
  CheckHelp(a, 5);
  return Variant(rt.host().InputBox(prompt, title, defaultText));
}

}  // namespace corvella::script
