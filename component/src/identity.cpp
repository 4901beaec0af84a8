// Identifiers, version and creation by ProgID.

#include "corvella/component/identity.h"

#include <cstdio>
#include <memory>

#include "corvella/platform/error.h"
#include "corvella/platform/text.h"

namespace corvella::component {

std::string Guid::ToString() const {
  char text[40];
  std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", data1,
                data2, data3, data4[0], data4[1], data4[2], data4[3], data4[4], data4[5], data4[6],
                data4[7]);
  return text;
}

const char* Version() {
  return CORVELLA_VERSION;
}

platform::ObjectRef CreateObject(std::u16string_view progId) {
  if (!platform::EqualsNoCase(progId, "Corvella.Pictron")) {
    platform::Raise(platform::RuntimeError::CannotCreateObject, platform::WideToUtf8(progId));
  }
  return std::make_shared<Pictron>();
}

}  // namespace corvella::component
