#pragma once
/// @file
/// The state record of a Pictron object: every field under its own name, with its default.

#include <cstdint>
#include <memory>
#include <string>

#include "corvella/component/path_mapper.h"

#include "corvella/imaging/dib_section.h"
#include "corvella/platform/byte_array.h"
#include "corvella/platform/variant.h"

namespace corvella::component {

/// The fields of a Pictron object, in declaration order. Booleans hold -1 (true) or 0 (false)
/// and are tested for non-zero.
struct PictronState {
  int32_t lngOriginalWidth = 0;   ///< width in pixels from the header of the opened image
  int32_t lngOriginalHeight = 0;  ///< height in pixels from the header of the opened image
  int32_t lngOriginalSize = 0;    ///< bytes of the opened file or array
  int32_t lngWidth = 0;           ///< current width of the image in pixels
  int32_t lngHeight = 0;          ///< current height of the image in pixels
  int32_t lngSize = 0;            ///< bytes of the current encoded image
  int16_t intQuality = 80;        ///< JPEG quality for encoding
  std::u16string strFormat;       ///< "JPEG", "GIF", "BMP", "PNG" or empty
  std::u16string strFilePath;     ///< resolved path of the file last opened with OpenFile
  std::u16string strComment;      ///< comment written into encoded JPEGs when not empty
  std::unique_ptr<imaging::cDIBSection> cDib;  ///< the working image, or none
  platform::ByteArray arImageData;  ///< raw bytes of the opened image, or of the last encoding
  platform::VbBool blDecoded = platform::kVbFalse;  ///< cDib holds the working image
  std::u16string strFontFace = u"Arial";
  int16_t intFontWeight = 400;              ///< 400 normal, 700 bold
  int16_t intFontSize = 12;                 ///< points
  std::u16string strFontColor = u"000000";  ///< RRGGBB
  platform::VbBool blFontItalic = platform::kVbFalse;
  int16_t intFontOrientation = 0;  ///< degrees, counter-clockwise
  platform::VbBool blFontUnderline = platform::kVbFalse;
  int32_t lngFontCharset = 1;
  platform::ObjectRef objScriptingContext;  ///< the page's scripting context, or none
  platform::ObjectRef objResponse;          ///< the page's Response object, or none
  platform::ObjectRef objServer;            ///< the page's Server object, or none
  /// The host's own path mapper, which takes the place of the page's Server.MapPath; or none.
  std::shared_ptr<const PathMapper> pathMapper;
};

}  // namespace corvella::component
