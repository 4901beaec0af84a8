#pragma once
// The object that a subcommand drives: a Pictron made by its ProgID, bound to a page that stands
// for the shell, and reached by name as scripts reach it.

#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "corvella/component/pictron.h"
#include "corvella/platform/dispatch.h"
#include "corvella/host/page_host.h"

namespace corvella::cli {

/// The physical path of the file name @p name given on the command line, by the rule that the
/// object's file members follow under the page that BoundObject binds: a name that contains a
/// backslash as it is, any other mapped by that page's MapPath from @p workingFolder. Raises what
/// MapPath raises.
std::u16string ShellPath(const std::filesystem::path& workingFolder, std::u16string_view name);

/// A "Corvella.Pictron" object whose page has the site root "/" and the working folder as its
/// current folder, with paths read literally: a relative or absolute file name means what it
/// means in a shell ("100%25.jpg" is a file of that name). OnStartPage is called on creation and
/// OnEndPage on destruction. Every member is called late-bound, by name.
class BoundObject {
 public:
  /// @p workingFolder must be absolute.
  explicit BoundObject(const std::filesystem::path& workingFolder);
  ~BoundObject();
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

  /// The physical path that the object's file members use for @p name: a name that contains a
  /// backslash as it is, any other mapped through the page's MapPath.
  std::u16string PhysicalPath(std::u16string_view name) const;

 private:
  std::shared_ptr<host::PageContext> page_;
  platform::ObjectRef object_;
  component::Pictron* pictron_;
};

}  // namespace corvella::cli
