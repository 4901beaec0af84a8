// A program built against the installed package: creates an object late-bound and reads a
// property through its interface.

#include <cstdio>

#include "corvella/component/identity.h"
#include "corvella/platform/text.h"

int main() {
  using namespace corvella;
  platform::ObjectRef object = component::CreateObject(u"Corvella.Pictron");
  std::u16string face = platform::GetProperty(object, u"FontFace").ToBStr();
  std::printf("%s %s\n", component::Version(), platform::WideToUtf8(face).c_str());
  return face == u"Arial" ? 0 : 1;
}
