#pragma once
/// @file
/// The codec's picture faults as the object's errors, for the component and the command, which
/// both decode pictures through the codec's loader.

#include <cstdint>
#include <span>

#include "corvella/imaging/dib_section.h"

namespace corvella::codec {
class PictureError;
}  // namespace corvella::codec

namespace corvella::component {

/// Raises the error of a refused picture: runtime error 7 "Out of memory" for a picture over the
/// host's pixel limit (its buffer cannot be had), runtime error 481 "Invalid picture" for every
/// other fault. The fault's text ("BMP: unsupported bit count: 7") is the error's detail.
[[noreturn]] void RaisePictureError(const codec::PictureError& error);

/// codec::LoadPicture of @p bytes into @p target, a refused picture raised by RaisePictureError.
void LoadPicture(std::span<const uint8_t> bytes, imaging::cDIBSection& target);

}  // namespace corvella::component
