// Text and image overlays on the working image.

#include "corvella/component/picture_faults.h"
#include "corvella/overlay/image_overlay.h"
#include "corvella/overlay/text_renderer.h"
#include "corvella/platform/checked.h"
#include "corvella/platform/file_system.h"
#include "pictron_internal.h"
#include "placement.h"

namespace corvella::component {

using platform::Variant;

namespace {

// The working image of an object whose decode step answered true.
imaging::cDIBSection& WorkingImage(Pictron& object) {
  PictronState& state = PictronAccess::State(object);
  if (!state.cDib) platform::Raise(platform::RuntimeError::ObjectNotSet);
  return *state.cDib;
}

}  // namespace

overlay::FontRequest TextFontRequest(const PictronState& state) {
  overlay::FontRequest request;
  request.face = state.strFontFace;
  // Negative: an em of that many pixels. A negative size turns this into a positive height,
  // which names the cell height; a size of 0 gives 0, the default size.
  request.height = -overlay::PointsToPixels(state.intFontSize);
  request.weight = state.intFontWeight;
  request.italic = state.blFontItalic != 0;
  request.underline = state.blFontUnderline != 0;
  request.charset = state.lngFontCharset;
  request.escapement = platform::checked::Mul32(state.intFontOrientation, 10);
  return request;
}

void Pictron::AddText(const std::u16string& strMessage, const Variant& PositionX,
                      const Variant& PositionY) {
  AtBoundary([&] {
    DecodeImage(*this);
    const std::u16string message = strMessage;
    imaging::cDIBSection& image = WorkingImage(*this);
    const int32_t width = image.dib_width();
    const int32_t height = image.dib_height();

    // The font of this call; the faces behind it are cached for the process.
    overlay::TextFont font(TextFontRequest(state_));
    const overlay::TextLine line = font.Layout(message);
    const overlay::TextExtent extent = line.Extent();
    const TextBlock block{extent.cx, extent.cy, state_.intFontOrientation};

    const int32_t x = ResolveTextPosition(PositionX, Axis::X, width, block);
    const int32_t y = ResolveTextPosition(PositionY, Axis::Y, height, block);
    CheckPlacement(x, y, width, height, extent.cx, extent.cy);
    // Read after the range checks: a bad digit is reported only for a text that would be drawn.
    const Rgb colour = ParseColour(state_.strFontColor);
    font.Draw(line, image.View(), x, y, colour);
  });
}

void LoadOverlayPicture(Pictron& object, const std::u16string& strFileName,
                        imaging::cDIBSection& overlay) {
  std::u16string path = ResolvePath(object, strFileName);
  platform::ByteArray bytes = platform::CreateFileSystem()->ReadAll(path);
  LoadPicture(bytes.Bytes(), overlay);
}

void PaintOverlayImage(Pictron& object, const imaging::cDIBSection& overlay,
                       const Variant& PositionX, const Variant& PositionY, Variant& TransColor) {
  imaging::cDIBSection& image = WorkingImage(object);
  const int32_t width = image.dib_width();
  const int32_t height = image.dib_height();
  const int32_t w = overlay.dib_width();
  const int32_t h = overlay.dib_height();

  const int32_t x = ResolveImagePosition(PositionX, Axis::X, width, w);
  const int32_t y = ResolveImagePosition(PositionY, Axis::Y, height, h);
  CheckPlacement(x, y, width, height, w, h);
  if (TransColor.IsMissing()) {
    overlay::PaintOpaque(image, overlay, x, y);
    return;
  }
  const Rgb key = TakeKeyColour(TransColor);
  // The keyed path holds the block size in 16-bit integers; the key is already written back.
  platform::checked::ToInt16(w);
  platform::checked::ToInt16(h);
  overlay::PaintKeyed(image, overlay, x, y, key);
}

void Pictron::AddImage(const std::u16string& strFileName, const Variant& PositionX,
                       const Variant& PositionY, Variant& TransColor) {
  AtBoundary([&] {
    DecodeImage(*this);
    if (strFileName.empty()) platform::Raise(platform::ComponentError::EmptyFileName);
    // The overlay lives for this call only, and is released on every path.
    imaging::cDIBSection overlay;
    LoadOverlayPicture(*this, strFileName, overlay);
    PaintOverlayImage(*this, overlay, PositionX, PositionY, TransColor);
  });
}

}  // namespace corvella::component
