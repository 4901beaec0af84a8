#pragma once
// Helpers shared by the picture loader's format readers.

#include <cstdint>
#include <string>

#include "corvella/codec/picture_loader.h"
#include "corvella/imaging/dib_section.h"

namespace corvella::codec::detail {

/// Throws PictureError(@p format, @p fault, @p context).
[[noreturn]] void Refuse(PictureFormat format, PictureFault fault, std::string context = {});

/// Refuses with InvalidSize unless both sides of a picture of @p width x @p height pixels are
/// positive, with OverPixelLimit when its size exceeds the host's pixel limit.
void RequirePictureSize(PictureFormat format, int64_t width, int64_t height);

/// Creates @p target at @p width x @p height zeroed pixels and answers its view. Refuses as
/// RequirePictureSize does; std::bad_alloc when memory is short.
imaging::ImageView PrepareTarget(PictureFormat format, int64_t width, int64_t height,
                                 imaging::cDIBSection& target);

}  // namespace corvella::codec::detail
