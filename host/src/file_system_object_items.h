#pragma once
// The File and Folder objects of the file system object, their collections, and the helpers
// that the file system object shares with them: path conversion, error mapping, file dates and
// types.

#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>

#include "corvella/platform/dispatch.h"
#include "corvella/platform/error.h"

namespace corvella::host::fso {

/// The most entries that one folder listing (or one folder's size) may visit; more raise
/// runtime error 7.
inline constexpr size_t kMaxFolderEntries = size_t{1} << 20;

/// A script's physical path as a path of this system: "\" separates components like "/".
std::filesystem::path NativePath(std::u16string_view path);

/// A path joined with a name by the separator that the path already uses.
std::u16string Join(std::u16string_view folder, std::u16string_view name);

/// Raises the runtime error of a failed system call on @p path: @p missing (53 for a file, 76
/// for a folder) when it is not there, 70 when it is refused, 58 when a name is taken, 61 when
/// the disk is full, 75 otherwise.
[[noreturn]] void RaiseFor(const std::error_code& error, platform::RuntimeError missing,
                           std::string_view operation, std::u16string_view path);

/// The type that a folder listing shows for a file name: "JPEG image", "PNG image", "GIF image",
/// "Bitmap image", "Text Document", else the extension in capitals followed by " File".
std::u16string FileType(std::u16string_view name);

/// A File object for the file at @p path (as given); runtime error 53 when there is no file.
platform::ObjectRef MakeFile(std::u16string_view path);
/// A Folder object for the folder at @p path (as given); runtime error 76 when there is none.
platform::ObjectRef MakeFolder(std::u16string_view path);

/// Creates the folder at @p path: 58 when something is there, 76 when its parent is missing.
void CreateFolder(std::u16string_view path);

}  // namespace corvella::host::fso
