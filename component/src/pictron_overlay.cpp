// Text and image overlays on the working image.

#include "pictron_internal.h"

namespace corvella::component {

void Pictron::AddText(const std::u16string& /*strMessage*/, const platform::Variant& /*PositionX*/,
                      const platform::Variant& /*PositionY*/) {
  AtBoundary([&] {
    DecodeImage(*this);
    RaiseNotAvailable("AddText");
  });
}

void Pictron::AddImage(const std::u16string& /*strFileName*/,
                       const platform::Variant& /*PositionX*/,
                       const platform::Variant& /*PositionY*/, platform::Variant& /*TransColor*/) {
  AtBoundary([&] {
    DecodeImage(*this);
    RaiseNotAvailable("AddImage");
  });
}

}  // namespace corvella::component
