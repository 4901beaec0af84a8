// Services of the object for the C++ hosts that embed it, outside the scripting interface.

#include "pictron_internal.h"

namespace corvella::component {

const imaging::cDIBSection* Pictron::DecodedImage() {
  return AtBoundary([&]() -> const imaging::cDIBSection* {
    DecodeImage(*this);
    return state_.cDib.get();
  });
}

}  // namespace corvella::component
