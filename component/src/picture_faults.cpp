// The codec's picture faults turned into runtime errors 481 and 7.

#include "corvella/component/picture_faults.h"

#include "corvella/codec/picture_loader.h"
#include "corvella/platform/error.h"

namespace corvella::component {

void RaisePictureError(const codec::PictureError& error) {
  const platform::RuntimeError number = error.Fault() == codec::PictureFault::OverPixelLimit
                                            ? platform::RuntimeError::OutOfMemory
                                            : platform::RuntimeError::InvalidPicture;
  platform::Raise(number, error.what());
}

void LoadPicture(std::span<const uint8_t> bytes, imaging::cDIBSection& target) {
  try {
    codec::LoadPicture(bytes, target);
  } catch (const codec::PictureError& error) {
    RaisePictureError(error);
  }
}

}  // namespace corvella::component
