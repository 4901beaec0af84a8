#pragma once
/// @file
/// Lossless writers for hosts that need the exact pixels of a working image: PNG and 24-bit BMP
/// files, made in memory from a top-down view of blue, green, red bytes (imaging::ImageView;
/// cDIBSection::View gives one over a buffer's bottom-up memory). The bytes after 3 x width of a
/// source row are never read.
///
/// Both writers are deterministic: the same pixels always give the same bytes (for PNG, with the
/// same libpng and zlib). Neither keeps state between calls; they may run on several threads at
/// once.
///
/// Errors: an empty view (no memory, a side that is not positive) raises runtime error 5; a file
/// whose size leaves what its format can record raises runtime error 6; memory that cannot be had
/// raises std::bad_alloc.

#include <cstdint>
#include <vector>

#include "corvella/imaging/image_view.h"

namespace corvella::codec {

/// A PNG file of @p source: 8-bit RGB samples, no interlacing, no ancillary chunks, zlib's
/// default compression and libpng's adaptive row filters.
std::vector<uint8_t> EncodePng(const imaging::ConstImageView& source);

/// A Windows bitmap of @p source: a 14-byte file header, a 40-byte info header (24 bits per
/// pixel, no compression, no palette, resolution left 0), then the rows bottom-up, each padded
/// with zero bytes to a multiple of 4 bytes. Runtime error 6 when the file would reach 4 GiB.
std::vector<uint8_t> EncodeBmp(const imaging::ConstImageView& source);

}  // namespace corvella::codec
