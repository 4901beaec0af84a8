#pragma once
// The object that a subcommand drives: a Pictron made by its ProgID, whose file names are mapped
// as a shell reads them, reached by name as scripts reach it.

#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "corvella/component/path_mapper.h"
#include "corvella/component/pictron.h"
#include "corvella/platform/dispatch.h"

namespace corvella::cli {

/// File names as a shell reads them: every character stands for itself ("100%25.jpg" is a file
/// of that name); a name that starts with "/" is absolute, any other is taken from the working
/// folder; empty and "." segments are dropped and ".." removes the segment before it. Runtime
/// error 5 for a name with a NUL character or one whose ".." would climb above "/".
class ShellPathMapper final : public component::PathMapper {
 public:
  /// @p workingFolder must be absolute.
  explicit ShellPathMapper(const std::filesystem::path& workingFolder);
  std::u16string MapPath(std::u16string_view name) const override;

 private:
  std::vector<std::u16string> folder_;  // the working folder's segments
};

/// The physical path of the file name @p name given on the command line, by the rule of the
/// object's file members (component::PhysicalPath) over a ShellPathMapper of @p workingFolder.
std::u16string ShellPath(const std::filesystem::path& workingFolder, std::u16string_view name);

/// A "Corvella.Pictron" object whose file members map names through a ShellPathMapper of the
/// working folder. No page is bound: the object has no Response. Every member is called
/// late-bound, by name.
class BoundObject {
 public:
  /// @p workingFolder must be absolute.
  explicit BoundObject(const std::filesystem::path& workingFolder);
  BoundObject(const BoundObject&) = delete;
  BoundObject& operator=(const BoundObject&) = delete;

  /// Calls a method; in/out arguments are written back into @p args.
  platform::Variant Call(std::u16string_view member, std::span<platform::Variant> args = {});
  /// Assigns a property.
  void Put(std::u16string_view property, platform::Variant value);
  /// Reads a property.
  platform::Variant Get(std::u16string_view property);

  /// The object itself, for the services that hosts reach in C++ (DecodedImage, State).
  component::Pictron& Object() { return *pictron_; }

  /// The physical path that the object's file members use for @p name.
  std::u16string PhysicalPath(std::u16string_view name) const;

 private:
  std::shared_ptr<const ShellPathMapper> paths_;
  platform::ObjectRef object_;
  component::Pictron* pictron_;
};

}  // namespace corvella::cli
