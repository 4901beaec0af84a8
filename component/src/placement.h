#pragma once
/// @file
/// Placement and colour rules shared by AddText and AddImage: script values read as positions
/// and colours, and the range checks made before anything is drawn.
///
/// Coordinates are device coordinates of the working image: x grows to the right, y downwards,
/// (0, 0) is the top-left pixel. A position value is a script value: a number (or a string that
/// reads as one, or Empty) is rounded half to even to a 32-bit integer; a keyword ("LEFT",
/// "CENTER", "RIGHT" across, "TOP", "CENTER", "BOTTOM" down; compared in upper case without
/// trimming) gives a coordinate by the formula of the calling overlay; every other word, and Null,
/// gives 0.

#include <cstdint>
#include <string_view>

#include "corvella/overlay/colour.h"
#include "corvella/platform/variant.h"

namespace corvella::component {

using overlay::Rgb;

/// The keyword a position value names, if any.
enum class PositionKeyword : uint8_t { None, Left, Center, Right, Top, Bottom };

/// Which of the two position arguments a value is: the keywords differ between them.
enum class Axis : uint8_t { X, Y };

/// A position value read from a script value: either a number or a keyword (None with value 0
/// for a word that is no keyword of the axis, or Null).
struct PositionValue {
  bool numeric = false;
  int32_t number = 0;  ///< the rounded number when numeric
  PositionKeyword keyword = PositionKeyword::None;
};

/// Reads @p value for @p axis. Raises runtime error 6 for a number outside the 32-bit range, 13
/// for a value that is neither a number, a string nor Null (an array, an error value), and the
/// errors of an object's default property.
PositionValue ReadPosition(const platform::Variant& value, Axis axis);

/// The device coordinate of an image overlay of extent @p blockExtent (its width for X, its
/// height for Y) on an image of extent @p imageExtent: LEFT/TOP 0, CENTER
/// round(image / 2 - block / 2) half to even, RIGHT/BOTTOM image - block (checked 32-bit).
int32_t ResolveImagePosition(const platform::Variant& value, Axis axis, int32_t imageExtent,
                             int32_t blockExtent);

/// The geometry of a line of text for placement: its unrotated extent in pixels and its angle.
struct TextBlock {
  int32_t cx = 0;           ///< advance width of the whole line
  int32_t cy = 0;           ///< cell height (ascent + descent)
  int16_t orientation = 0;  ///< degrees, counter-clockwise
};

/// The angle of a text block in radians: orientation x 6.2831853 / 360.
double TextAngle(int16_t orientation);

/// The device coordinate of the top-left corner of the first character cell, by the text
/// formulas (s, c: sine and cosine of the angle; rounded half to even unless exact):
///   X: LEFT 0; CENTER W/2 - (cx c + cy s)/2; RIGHT W - (cx c + cy s);
///   Y: TOP (cx s + cy c)/2; CENTER H/2 - (cy c - cx s)/2;
///      BOTTOM H - cy at orientation 0 (checked 32-bit), else H - |(cy c - cx s)/2|.
int32_t ResolveTextPosition(const platform::Variant& value, Axis axis, int32_t imageExtent,
                            const TextBlock& block);

/// The range checks made before anything is drawn: error 1090 when x > width or y > height, else
/// error 1091 when x + blockWidth < 0 or y + blockHeight < 0. Both sums are formed in checked
/// 32-bit arithmetic before either is tested (runtime error 6 when one leaves the range).
void CheckPlacement(int32_t x, int32_t y, int32_t imageWidth, int32_t imageHeight,
                    int32_t blockWidth, int32_t blockHeight);

/// Reads a colour string: red from the first two characters, green from the third and fourth,
/// blue from the last two (RRGGBB for six characters; a longer string ignores the characters in
/// between). Each piece is one or two hexadecimal digits in either case; anything else, an empty
/// piece included, raises runtime error 13.
Rgb ParseColour(std::u16string_view text);

/// Reads the colour-key argument of the image overlay and writes the key back into it:
/// 1. its text (a number's decimal text; Null raises runtime error 13) must have at least six
///    characters, else error 1200 "Transparent color is incorrect";
/// 2. the text is read by ParseColour (runtime error 13 for a piece that is not hexadecimal);
/// 3. @p transColor is replaced by the colour value as a 32-bit integer, so a script variable
///    passed here holds that number afterwards.
/// Answers the key.
Rgb TakeKeyColour(platform::Variant& transColor);

}  // namespace corvella::component
