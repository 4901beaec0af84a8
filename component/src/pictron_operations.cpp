// Geometric transforms, filters and colour adjustments of the working image.

#include "pictron_internal.h"

namespace corvella::component {

namespace {

// Until the operations land, each one decodes as it will (so that an object without an image
// raises runtime error 9) and then reports that it is not available.
void Pending(Pictron& object, const char* member) {
  AtBoundary([&] {
    DecodeImage(object);
    RaiseNotAvailable(member);
  });
}

}  // namespace

void Pictron::Resample(int32_t& /*lngNewWidth*/, int32_t& /*lngNewHeight*/) {
  Pending(*this, "Resample");
}
void Pictron::Crop(int16_t& /*intX1*/, int16_t& /*intY1*/, int16_t& /*intX2*/, int16_t& /*intY2*/) {
  Pending(*this, "Crop");
}
void Pictron::Flip() {
  Pending(*this, "Flip");
}
void Pictron::Mirror() {
  Pending(*this, "Mirror");
}
void Pictron::RotateRight() {
  Pending(*this, "RotateRight");
}
void Pictron::RotateLeft() {
  Pending(*this, "RotateLeft");
}
void Pictron::Blur() {
  Pending(*this, "Blur");
}
void Pictron::Sharpen() {
  Pending(*this, "Sharpen");
}
void Pictron::Gamma(float /*sngRED*/, float /*sngGREEN*/, float /*sngBLUE*/) {
  AtBoundary([] { RaiseNotAvailable("Gamma"); });
}
void Pictron::Negative() {
  Pending(*this, "Negative");
}
void Pictron::GreyScale() {
  Pending(*this, "GreyScale");
}

}  // namespace corvella::component
