#include "corvella/imaging/dib_section.h"
#include "corvella/platform/error.h"

namespace corvella::imaging {

void cDIBSection::ResampleDib(cDIBSection& /*cDibTo*/) const {
  platform::Raise(platform::RuntimeError::InvalidProcedureCall, "ResampleDib is not available yet");
}

}  // namespace corvella::imaging
