#pragma once
// Internal helpers shared by the files that implement Pictron's members.

#include <new>
#include <span>
#include <string>
#include <string_view>
#include <utility>

#include "corvella/component/pictron.h"
#include "corvella/platform/error.h"

namespace corvella::overlay {
struct FontRequest;
}  // namespace corvella::overlay

namespace corvella::component {

/// Gives the member implementations access to an object's state record.
struct PictronAccess {
  static PictronState& State(Pictron& object) { return object.state_; }
};

/// Runs the body of a public member: an error raised without a source gets the component's
/// source, and a failed allocation becomes runtime error 7, so that every failure leaves the
/// member as a platform::Error.
template <typename Body>
decltype(auto) AtBoundary(Body&& body) {
  try {
    return std::forward<Body>(body)();
  } catch (platform::Error& error) {
    error.SetSourceIfEmpty(platform::kComponentSource);
    throw;
  } catch (const std::bad_alloc&) {
    platform::Error error = platform::MakeError(platform::RuntimeError::OutOfMemory);
    error.SetSourceIfEmpty(platform::kComponentSource);
    throw error;
  }
}

/// The decode-on-demand step: makes sure that cDib holds the decoded working image. Runtime error
/// 9 when no image was ever opened, 7 when the image's buffer cannot be had (over the host's
/// pixel limit, or memory short; blDecoded stays false and cDib none), the decoders' errors.
void DecodeImage(Pictron& object);

/// The file-name rule shared by OpenFile, AddImage and SaveFile (PhysicalPath): a name with a
/// backslash is the path itself; any other is mapped by the host's path mapper when it gave one,
/// else by MapPath of the page's Server object (runtime error 91 when no page is bound; errors of
/// MapPath pass through). The name is not checked for being empty.
std::u16string MapFileName(Pictron& object, std::u16string_view name);

/// Path resolution of OpenFile and AddImage: error 1000 for an empty name (nothing is trimmed),
/// then MapFileName, then error 1030 when the file system service finds no file at the path.
/// Answers the resolved path.
std::u16string ResolvePath(Pictron& object, std::u16string_view name);

/// The bytes of the opened image in arImageData: the elements from index 0 to the upper bound
/// (the whole array when it is zero-based; none when the upper bound is -1). Runtime error 9 when
/// index 0 lies outside the array (unallocated, a lower bound above 0, an upper bound below -1).
std::span<const uint8_t> ImageBytes(const platform::ByteArray& data);

/// Format detection over arImageData: sets strFormat and the original size from the header, then
/// the current size and byte counts; errors 1010, 1120, 1150, 1160 and runtime errors 6 and 9 as
/// documented for OpenFile and OpenBinary. Only a successful completion sets lngWidth, lngHeight,
/// lngOriginalSize and lngSize.
void DetectFormat(Pictron& object);

/// The font request of AddText made from the object's font settings: face, em height
/// MulDiv(intFontSize, 96, 72) pixels (a negative size names the cell height instead, 0 the
/// default size), weight, italic, underline, character set, angle intFontOrientation x 10 tenths
/// of a degree.
overlay::FontRequest TextFontRequest(const PictronState& state);

/// AddImage's loading step: resolves @p strFileName as OpenFile does (ResolvePath), raises error
/// 1030 when no file exists there, and decodes the picture into @p overlay. The loader's own
/// error passes through when the file cannot be read as a picture (481), or its buffer cannot be
/// had (7).
void LoadOverlayPicture(Pictron& object, const std::u16string& strFileName,
                        imaging::cDIBSection& overlay);

/// AddImage after loading: resolves PositionX, then PositionY, against the working image and the
/// overlay's size, makes the range checks (1090, 1091), and paints the overlay opaquely when
/// @p TransColor is missing, else reads the colour key (1200, 13), writes it back into
/// @p TransColor as a 32-bit integer, checks that the overlay's sides fit 16 bits (6) and paints
/// with the key. Nothing is painted when an error is raised.
void PaintOverlayImage(Pictron& object, const imaging::cDIBSection& overlay,
                       const platform::Variant& PositionX, const platform::Variant& PositionY,
                       platform::Variant& TransColor);

}  // namespace corvella::component
