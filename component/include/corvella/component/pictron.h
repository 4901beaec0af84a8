#pragma once
/// @file
/// Pictron, the one public class of the component: a working image that a script opens, changes
/// and writes out, with its settings and its binding to a page.
///
/// Every member runs to completion on the caller's thread and either returns or raises
/// platform::Error with a number, a source ("Corvella.Pictron", or "Ferrowick.File" for one error)
/// and a description. Raising ends the member at once; nothing is rolled back. The members are
/// reachable by name and DISPID through the Dispatchable interface, exactly as scripts reach
/// them, and directly from C++.
///
/// Strings are UTF-16, as at the automation boundary; Booleans are VbBoolean (-1 or 0). A
/// property's get has the property's name, its let the name with "Set" before it where the two
/// would otherwise share one C++ name.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "corvella/component/pictron_state.h"
#include "corvella/platform/dispatch.h"

namespace corvella::component {

/// A Boolean in a member's signature: platform::VbBool (-1 true, 0 false) in a type of its own, so
/// that the member table tells a Boolean from a 16-bit Integer (both int16_t) by the C++ signature.
struct VbBoolean {
  platform::VbBool value = platform::kVbFalse;
  constexpr VbBoolean() = default;
  constexpr VbBoolean(platform::VbBool v) : value(v) {}
  constexpr operator platform::VbBool() const { return value; }
};

class Pictron final : public platform::Dispatchable {
 public:
  /// A new object with the defaults of the state record.
  Pictron();
  ~Pictron() override;
  Pictron(const Pictron&) = delete;
  Pictron& operator=(const Pictron&) = delete;

  // Late-bound access -------------------------------------------------------------------------
  platform::DispId GetIdOfName(std::u16string_view name) const override;
  platform::Variant Invoke(platform::DispId id, platform::InvokeKind kind,
                           std::span<platform::Variant> args) override;
  /// "Pictron", the class name that scripts see through TypeName.
  std::u16string TypeName() const override { return u"Pictron"; }

  // Page binding -------------------------------------------------------------------------------
  /// Keeps the scripting context and its Response and Server objects.
  void OnStartPage(const platform::ObjectRef& PassedScriptingContext);
  /// Drops the page objects; answers Empty.
  platform::Variant OnEndPage();

  // Properties ---------------------------------------------------------------------------------
  int32_t OriginalWidth() const { return state_.lngOriginalWidth; }
  int32_t OriginalHeight() const { return state_.lngOriginalHeight; }
  int32_t OriginalSize() const { return state_.lngOriginalSize; }
  int32_t width() const { return state_.lngWidth; }
  int32_t Height() const { return state_.lngHeight; }
  /// The byte size of the current encoded image, as a double.
  double Size() const { return state_.lngSize; }
  std::u16string FontFace() const { return state_.strFontFace; }
  /// True when the weight is not 400.
  VbBoolean FontBold() const;
  std::u16string FontColor() const { return state_.strFontColor; }
  VbBoolean FontItalic() const { return state_.blFontItalic; }
  int16_t FontOrientation() const { return state_.intFontOrientation; }
  int16_t FontSize() const { return state_.intFontSize; }
  VbBoolean FontUnderline() const { return state_.blFontUnderline; }
  int32_t FontCharset() const { return state_.lngFontCharset; }

  /// Stores the quality unchecked, then runs the decode-on-demand step (whose errors reach the
  /// caller; the quality stays stored).
  void Quality(int16_t intValue);
  void Comment(const std::u16string& strValue) { state_.strComment = strValue; }
  /// Stored without any check (empty accepted).
  void SetFontFace(const std::u16string& strValue) { state_.strFontFace = strValue; }
  /// 700 when true (non-zero), else 400.
  void SetFontBold(VbBoolean blValue);
  /// Stores exactly 6 characters as given; any other length stores "000000".
  void SetFontColor(const std::u16string& strValue);
  void SetFontItalic(VbBoolean blValue) { state_.blFontItalic = blValue; }
  void SetFontOrientation(int16_t intValue) { state_.intFontOrientation = intValue; }
  void SetFontSize(int16_t intValue) { state_.intFontSize = intValue; }
  void SetFontUnderline(VbBoolean blValue) { state_.blFontUnderline = blValue; }
  void SetFontCharset(int32_t value) { state_.lngFontCharset = value; }

  // Opening and saving -------------------------------------------------------------------------
  void OpenFile(const std::u16string& strFilePathName);
  void OpenBinary(const platform::ByteArray& arImage);
  /// @p strFilePathName may be Variant::Missing() (then the opened file is overwritten).
  void SaveFile(platform::Variant& strFilePathName);
  /// Stores a copy of the (possibly newly encoded) image bytes in @p binArray.
  void SaveBinary(platform::Variant& binArray);
  /// Sends the image through the page's Response; each argument may be Variant::Missing().
  void Download(const platform::Variant& strNewFileName, const platform::Variant& strContentType,
                const platform::Variant& strContentDisposition);
  /// Rebuilds the working image from the file at the stored path; always true when it returns.
  VbBoolean LoadPictureFromStd();
  /// Advances @p lngPos past the JPEG marker segment whose length field it designates.
  void JPEGSkipVariables(int32_t& lngPos);
  /// The string without trailing U+0000 characters when the count left is even, else unchanged.
  std::u16string StripNulls(const std::u16string& OriginalStr);

  // Geometry -----------------------------------------------------------------------------------
  /// A computed side is written back into its argument.
  void Resample(int32_t& lngNewWidth, int32_t& lngNewHeight);
  /// Clamped second corners are written back into their arguments.
  void Crop(int16_t& intX1, int16_t& intY1, int16_t& intX2, int16_t& intY2);
  void Flip();
  void Mirror();
  void RotateRight();
  void RotateLeft();

  // Filters and colours ------------------------------------------------------------------------
  void Blur();
  void Sharpen();
  void Gamma(float sngRED, float sngGREEN, float sngBLUE);
  void Negative();
  void GreyScale();

  // Compositing --------------------------------------------------------------------------------
  void AddText(const std::u16string& strMessage, const platform::Variant& PositionX,
               const platform::Variant& PositionY);
  /// @p TransColor may be Variant::Missing(); when given, the key colour is written back into it
  /// as a 32-bit integer.
  void AddImage(const std::u16string& strFileName, const platform::Variant& PositionX,
                const platform::Variant& PositionY, platform::Variant& TransColor);

  /// The state record, for hosts and tests that inspect the object.
  const PictronState& State() const { return state_; }

  // For hosts (not a member of the scripting interface) ------------------------------------------
  /// Maps the file members' virtual paths through @p mapper instead of the page's
  /// Server.MapPath (nullptr: through the page again).
  void SetPathMapper(std::shared_ptr<const PathMapper> mapper) {
    state_.pathMapper = std::move(mapper);
  }
  /// Runs the decode-on-demand step, as the pixel operations do, and answers the working image:
  /// 24-bit bottom-up BGR rows (see imaging::cDIBSection), owned by the object and valid until
  /// the next member call that replaces it; never nullptr. Raises what the step raises (runtime
  /// error 9 when no image was ever opened, 7 when its buffer cannot be had, the decoding
  /// errors); like the Quality setter, it leaves the object decoded, so that saving afterwards
  /// encodes anew.
  const imaging::cDIBSection* DecodedImage();

 private:
  friend struct PictronAccess;
  PictronState state_;
};

/// The number of Pictron objects alive in the process.
int64_t LivePictronCount();

}  // namespace corvella::component
