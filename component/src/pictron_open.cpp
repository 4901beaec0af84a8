// Opening images and binding to a page.

#include "pictron_internal.h"

namespace corvella::component {

void Pictron::OnStartPage(const platform::ObjectRef& /*PassedScriptingContext*/) {
  AtBoundary([] { RaiseNotAvailable("OnStartPage"); });
}

platform::Variant Pictron::OnEndPage() {
  return AtBoundary([]() -> platform::Variant { RaiseNotAvailable("OnEndPage"); });
}

void Pictron::OpenFile(const std::u16string& /*strFilePathName*/) {
  AtBoundary([] { RaiseNotAvailable("OpenFile"); });
}

void Pictron::OpenBinary(const platform::ByteArray& /*arImage*/) {
  AtBoundary([] { RaiseNotAvailable("OpenBinary"); });
}

void Pictron::JPEGSkipVariables(int32_t& /*lngPos*/) {
  AtBoundary([] { RaiseNotAvailable("JPEGSkipVariables"); });
}

}  // namespace corvella::component
