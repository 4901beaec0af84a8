#pragma once
// Helpers shared by the picture loader's format readers.

#include <cstdint>
#include <string_view>

#include "corvella/imaging/dib_section.h"

namespace corvella::codec::detail {

/// Raises runtime error 481 with the detail "<format>: <fault>".
[[noreturn]] void RaiseInvalidPicture(std::string_view format, std::string_view fault);

/// Raises error 481 unless both sides of a picture of @p width x @p height pixels are positive,
/// runtime error 7 when its size exceeds the host's pixel limit.
void RequirePictureSize(std::string_view format, int64_t width, int64_t height);

/// Creates @p target at @p width x @p height zeroed pixels and answers its view. Raises error 481
/// when a side is not positive, runtime error 7 when the size exceeds the host's pixel limit or
/// memory is short.
imaging::ImageView PrepareTarget(std::string_view format, int64_t width, int64_t height,
                                 imaging::cDIBSection& target);

}  // namespace corvella::codec::detail
