// Decoding on demand, saving and sending the image.

#include "pictron_internal.h"

namespace corvella::component {

platform::VbBool DecodeImage(Pictron& object) {
  PictronState& state = PictronAccess::State(object);
  if (state.blDecoded != 0) return platform::kVbTrue;
  state.cDib = std::make_unique<imaging::cDIBSection>();
  // An object that never opened an image has no upper bound: runtime error 9.
  [[maybe_unused]] int32_t count = state.arImageData.UBound() + 1;
  RaiseNotAvailable("DecodeImage");
}

platform::VbBool Pictron::LoadPictureFromStd() {
  return AtBoundary([]() -> platform::VbBool { RaiseNotAvailable("LoadPictureFromStd"); });
}

void Pictron::SaveFile(platform::Variant& /*strFilePathName*/) {
  AtBoundary([] { RaiseNotAvailable("SaveFile"); });
}

void Pictron::SaveBinary(platform::Variant& /*binArray*/) {
  AtBoundary([] { RaiseNotAvailable("SaveBinary"); });
}

void Pictron::Download(const platform::Variant& /*strNewFileName*/,
                       const platform::Variant& /*strContentType*/,
                       const platform::Variant& /*strContentDisposition*/) {
  AtBoundary([] { RaiseNotAvailable("Download"); });
}

}  // namespace corvella::component
