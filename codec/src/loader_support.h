#pragma once
// Helpers shared by the picture loader's format readers.

#include <cstdint>
#include <string_view>

#include "corvella/imaging/picture.h"

namespace corvella::codec::detail {

/// Raises runtime error 481 with the detail "<format>: <fault>".
[[noreturn]] void RaiseInvalidPicture(std::string_view format, std::string_view fault);

/// Raises error 481 unless both sides of a picture of @p width x @p height pixels are positive,
/// runtime error 7 when its size exceeds the host's pixel limit.
void RequirePictureSize(std::string_view format, int64_t width, int64_t height);

/// A zeroed picture of @p width x @p height pixels. Raises error 481 when a side is not positive,
/// runtime error 7 when the size exceeds the host's pixel limit, std::bad_alloc when memory is
/// short.
imaging::Picture AllocatePicture(std::string_view format, int64_t width, int64_t height,
                                 imaging::PixelFormat pixelFormat);

}  // namespace corvella::codec::detail
