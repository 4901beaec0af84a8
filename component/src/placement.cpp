// Position values, keyword placement, range checks and colour strings of the overlays.

#include "placement.h"

#include <cmath>
#include <string>

#include "corvella/platform/checked.h"
#include "corvella/platform/error.h"
#include "corvella/platform/text.h"

namespace corvella::component {

namespace checked = platform::checked;
using platform::Variant;
using platform::VarType;

namespace {

PositionKeyword KeywordOf(std::u16string_view upper, Axis axis) {
  if (upper == u"CENTER") return PositionKeyword::Center;
  if (axis == Axis::X) {
    if (upper == u"LEFT") return PositionKeyword::Left;
    if (upper == u"RIGHT") return PositionKeyword::Right;
  } else {
    if (upper == u"TOP") return PositionKeyword::Top;
    if (upper == u"BOTTOM") return PositionKeyword::Bottom;
  }
  return PositionKeyword::None;
}

// A hexadecimal digit's value, or -1.
int HexDigit(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  return -1;
}

uint8_t ParsePiece(std::u16string_view piece) {
  if (piece.empty()) platform::Raise(platform::RuntimeError::TypeMismatch);
  int value = 0;
  for (char16_t c : piece) {
    int digit = HexDigit(c);
    if (digit < 0) platform::Raise(platform::RuntimeError::TypeMismatch);
    value = value * 16 + digit;
  }
  return static_cast<uint8_t>(value);
}

}  // namespace

PositionValue ReadPosition(const Variant& value, Axis axis) {
  PositionValue result;
  if (value.IsNumeric()) {
    result.numeric = true;
    result.number = value.ToI4();
    return result;
  }
  switch (value.Type()) {
    case VarType::Null:
      return result;  // no keyword: 0
    case VarType::BStr:
      result.keyword = KeywordOf(platform::AsciiUpper(value.AsBStr()), axis);
      return result;
    case VarType::Dispatch:
      // An object stands for its default property, read as the script would read it.
      return ReadPosition(Variant(value.ToBStr()), axis);
    default:
      platform::Raise(platform::RuntimeError::TypeMismatch);
  }
}

int32_t ResolveImagePosition(const Variant& value, Axis axis, int32_t imageExtent,
                             int32_t blockExtent) {
  PositionValue position = ReadPosition(value, axis);
  if (position.numeric) return position.number;
  switch (position.keyword) {
    case PositionKeyword::Center:
      return checked::DoubleToInt32(imageExtent / 2.0 - blockExtent / 2.0);
    case PositionKeyword::Right:
    case PositionKeyword::Bottom:
      return checked::Sub32(imageExtent, blockExtent);
    default:
      return 0;
  }
}

double TextAngle(int16_t orientation) {
  return orientation * 6.2831853 / 360;
}

int32_t ResolveTextPosition(const Variant& value, Axis axis, int32_t imageExtent,
                            const TextBlock& block) {
  PositionValue position = ReadPosition(value, axis);
  if (position.numeric) return position.number;
  const double theta = TextAngle(block.orientation);
  const double s = std::sin(theta);
  const double c = std::cos(theta);
  const double cx = block.cx;
  const double cy = block.cy;
  const double extent = imageExtent;
  switch (position.keyword) {
    case PositionKeyword::Center:
      if (axis == Axis::X) return checked::DoubleToInt32(extent / 2 - (cx * c + cy * s) / 2);
      return checked::DoubleToInt32(extent / 2 - (cy * c - cx * s) / 2);
    case PositionKeyword::Right:
      return checked::DoubleToInt32(extent - (cx * c + cy * s));
    case PositionKeyword::Top:
      // Not 0: an unrotated line starts half its height below the top edge.
      return checked::DoubleToInt32((cx * s + cy * c) / 2);
    case PositionKeyword::Bottom:
      if (block.orientation == 0) return checked::Sub32(imageExtent, block.cy);
      return checked::DoubleToInt32(extent - std::fabs((cy * c - cx * s) / 2));
    default:
      return 0;
  }
}

void CheckPlacement(int32_t x, int32_t y, int32_t imageWidth, int32_t imageHeight,
                    int32_t blockWidth, int32_t blockHeight) {
  if (x > imageWidth || y > imageHeight) {
    platform::Raise(platform::ComponentError::FirstPositionTooLarge);
  }
  // Both sums are formed before either is tested, so an overflow in either one is reported.
  int32_t right = checked::Add32(x, blockWidth);
  int32_t bottom = checked::Add32(y, blockHeight);
  if (right < 0 || bottom < 0) platform::Raise(platform::ComponentError::FirstPositionNegative);
}

Rgb ParseColour(std::u16string_view text) {
  // Pieces as the string functions cut them: the first two characters, two from the third on,
  // the last two (the whole string when it is shorter).
  std::u16string_view red = text.substr(0, 2);
  std::u16string_view green = text.size() > 2 ? text.substr(2, 2) : std::u16string_view();
  std::u16string_view blue = text.size() > 2 ? text.substr(text.size() - 2) : text;
  Rgb colour;
  colour.red = ParsePiece(red);
  colour.green = ParsePiece(green);
  colour.blue = ParsePiece(blue);
  return colour;
}

Rgb TakeKeyColour(Variant& transColor) {
  // Null has no text; reading it as a colour is a type mismatch.
  if (transColor.IsNull()) platform::Raise(platform::RuntimeError::TypeMismatch);
  std::u16string text = transColor.ToBStr();
  if (text.size() < 6) platform::Raise(platform::ComponentError::TransparentColor);
  Rgb key = ParseColour(text);
  transColor = Variant(overlay::ColourValue(key));
  return key;
}

}  // namespace corvella::component
