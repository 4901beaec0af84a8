#pragma once
/// @file
/// How the object's file members (OpenFile, SaveFile, AddImage) turn a file name into a physical
/// path: the rule is written here once, the mapping itself is the host's.

#include <string>
#include <string_view>

namespace corvella::component {

/// Maps a virtual path to a physical one. A page maps through its Server.MapPath; a host without
/// pages gives the object a mapper of its own (Pictron::SetPathMapper), as the command does for
/// names typed in a shell.
class PathMapper {
 public:
  virtual ~PathMapper() = default;
  /// The physical path of @p virtualPath, a name without a backslash; raises what the mapping
  /// refuses.
  virtual std::u16string MapPath(std::u16string_view virtualPath) const = 0;
};

/// The file-name rule of the object: a name that contains a backslash anywhere is the physical
/// path itself, unchanged; any other is a virtual path, mapped by @p mapper. Forward slashes do
/// not count. The name is not checked for being empty.
std::u16string PhysicalPath(const PathMapper& mapper, std::u16string_view name);

}  // namespace corvella::component
