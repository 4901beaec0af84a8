// Geometric transforms, filters and colour adjustments of the working image.
//
// Each member first runs the decode-on-demand step, which raises when no decoded image can be
// had; argument checks come after it (Gamma checks its values before). The pixel
// work is done by the operations layer and by the resampler of the image buffer; the members keep
// the state record: the current buffer, the current width and height, and the arguments written
// back.
//
// Flip, Mirror, the filters and the colour adjustments change the current buffer in place; the
// other transforms build a new buffer and make it current only when it is complete, so an error
// leaves the image, width and height as they were.

#include <memory>

#include "corvella/operations/colour_adjust.h"
#include "corvella/operations/filters.h"
#include "corvella/operations/transforms.h"
#include "corvella/platform/checked.h"
#include "pictron_internal.h"

namespace corvella::component {

using imaging::cDIBSection;
using platform::ComponentError;
using platform::Raise;
using platform::RuntimeError;
namespace checked = platform::checked;

namespace {

// A new buffer of @p width x @p height. A buffer of an empty size has no pixels and stays in the
// failed state, which an operation may make current as an empty picture. Any other size that
// cannot be made (memory, or the host's pixel limit) raises runtime error 7.
std::unique_ptr<cDIBSection> NewBuffer(int32_t width, int32_t height) {
  auto buffer = std::make_unique<cDIBSection>();
  if (!buffer->Create(width, height) && width > 0 && height > 0) {
    Raise(RuntimeError::OutOfMemory);
  }
  return buffer;
}

// Gamma's values: error 1085 unless every one is above 0 (NaN is not), then 1086 when one is
// above 255.
void CheckGammaValues(float red, float green, float blue) {
  if (!(red > 0.0f) || !(green > 0.0f) || !(blue > 0.0f)) Raise(ComponentError::GammaNotPositive);
  if (red > 255.0f || green > 255.0f || blue > 255.0f) Raise(ComponentError::GammaTooLarge);
}

// Makes @p buffer the current one and takes its size as the current width and height.
void MakeCurrent(PictronState& state, std::unique_ptr<cDIBSection> buffer) {
  state.lngWidth = buffer->dib_width();
  state.lngHeight = buffer->dib_height();
  state.cDib = std::move(buffer);
}

// Runs the decode step, then @p filter over the working image in place.
void RunFilter(Pictron& object, void (*filter)(const imaging::ImageView&)) {
  DecodeImage(object);
  filter(PictronAccess::State(object).cDib->View());
}

}  // namespace

void Pictron::Resample(int32_t& lngNewWidth, int32_t& lngNewHeight) {
  AtBoundary([&] {
    DecodeImage(*this);
    if (lngNewWidth == 0 && lngNewHeight == 0) Raise(ComponentError::InvalidImageSize);
    if (lngNewWidth < 0 || lngNewHeight < 0) {
      Raise(RuntimeError::InvalidProcedureCall, "negative image size");
    }
    // Compared with the size the image was opened at, not with the current size.
    if (lngNewWidth == state_.lngOriginalWidth && lngNewHeight == state_.lngOriginalHeight) return;
    // The missing side keeps the proportions of the opened image.
    if (lngNewWidth == 0) {
      lngNewWidth = checked::Div32(checked::Mul32(lngNewHeight, state_.lngOriginalWidth),
                                   state_.lngOriginalHeight);
    } else if (lngNewHeight == 0) {
      lngNewHeight = checked::Div32(checked::Mul32(lngNewWidth, state_.lngOriginalHeight),
                                    state_.lngOriginalWidth);
    }
    // A side computed as 0 leaves an empty target, which the resampler reports as a division by
    // zero before it reads or writes anything.
    std::unique_ptr<cDIBSection> target = NewBuffer(lngNewWidth, lngNewHeight);
    state_.cDib->ResampleDib(*target);
    state_.cDib = std::move(target);
    state_.lngWidth = lngNewWidth;
    state_.lngHeight = lngNewHeight;
  });
}

void Pictron::Crop(int16_t& intX1, int16_t& intY1, int16_t& intX2, int16_t& intY2) {
  AtBoundary([&] {
    DecodeImage(*this);
    const int32_t width = state_.cDib->dib_width();
    const int32_t height = state_.cDib->dib_height();
    // A first position equal to the width or height passes and gives an empty picture.
    if (intY1 > height || intX1 > width) Raise(ComponentError::FirstPositionTooLarge);
    if (intY1 < 0 || intX1 < 0) Raise(ComponentError::FirstPositionNegative);
    if (intX2 < intX1 || intY2 < intY1) Raise(ComponentError::InvalidPosition);
    if (intX2 > width) intX2 = checked::ToInt16(width);
    if (intY2 > height) intY2 = checked::ToInt16(height);
    const int16_t cropWidth = checked::Sub16(intX2, intX1);
    const int16_t cropHeight = checked::Sub16(intY2, intY1);
    std::unique_ptr<cDIBSection> target = NewBuffer(cropWidth, cropHeight);
    // The block whose top-left device point is (intX1, intY1) lands at (0, 0); an empty target
    // has no pixels and receives nothing.
    imaging::CopyBlock(target->View(), 0, 0, state_.cDib->ConstView(),
                       {intX1, intY1, cropWidth, cropHeight});
    MakeCurrent(state_, std::move(target));
  });
}

void Pictron::Flip() {
  AtBoundary([&] {
    DecodeImage(*this);
    operations::FlipInPlace(state_.cDib->View());
  });
}

void Pictron::Mirror() {
  AtBoundary([&] {
    DecodeImage(*this);
    operations::MirrorInPlace(state_.cDib->View());
  });
}

void Pictron::RotateRight() {
  AtBoundary([&] {
    DecodeImage(*this);
    const cDIBSection& current = *state_.cDib;
    std::unique_ptr<cDIBSection> target = NewBuffer(current.dib_height(), current.dib_width());
    operations::RotateRightInto(current.View(), target->View());
    MakeCurrent(state_, std::move(target));
  });
}

void Pictron::RotateLeft() {
  AtBoundary([&] {
    DecodeImage(*this);
    const cDIBSection& current = *state_.cDib;
    std::unique_ptr<cDIBSection> target = NewBuffer(current.dib_height(), current.dib_width());
    operations::RotateLeftInto(current.View(), target->View());
    MakeCurrent(state_, std::move(target));
  });
}

void Pictron::Blur() {
  AtBoundary([&] { RunFilter(*this, operations::Blur); });
}

void Pictron::Sharpen() {
  AtBoundary([&] { RunFilter(*this, operations::Sharpen); });
}

void Pictron::Gamma(float sngRED, float sngGREEN, float sngBLUE) {
  AtBoundary([&] {
    // The values are checked before the image is decoded, so they are reported even when no
    // image was opened.
    CheckGammaValues(sngRED, sngGREEN, sngBLUE);
    DecodeImage(*this);
    operations::Gamma(state_.cDib->View(), sngRED, sngGREEN, sngBLUE);
  });
}

void Pictron::Negative() {
  AtBoundary([&] {
    DecodeImage(*this);
    operations::Negative(state_.cDib->View());
  });
}

void Pictron::GreyScale() {
  AtBoundary([&] {
    DecodeImage(*this);
    operations::GreyScale(state_.cDib->View());
  });
}

}  // namespace corvella::component
