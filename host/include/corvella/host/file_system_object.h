#pragma once
// "Scripting.FileSystemObject" for scripts that corvella run runs: the few file operations that a
// job around images needs, over the platform's file system service.

#include <string>
#include <string_view>

#include "corvella/platform/dispatch.h"

namespace corvella::host {

/// The file system object of scripts. Paths are physical paths; "\" and "/" both separate their
/// components, as in the platform's file system service. Scriptable members:
///   FileExists(path), FolderExists(path)     Boolean, never an error
///   GetFile(path)                            a File object (Size, Path, Name); 53 or 76 when
///                                            there is no file
///   DeleteFile(path [, force])               removes one file (no wildcards; force is accepted
///                                            and has no effect); 53 when there is no file
///   GetFileName(path)                        the part after the last separator
///   GetBaseName(path), GetExtensionName(path)  that part before / after its last "."
///   GetParentFolderName(path)                the part before the last separator
///   BuildPath(path, name)                    path and name joined by one separator
/// Every call asks the process-wide factory for a file system object of its own, as the
/// component does, so that a host's replacement service serves scripts too.
class FileSystemObject final : public platform::Dispatchable {
 public:
  platform::DispId GetIdOfName(std::u16string_view name) const override;
  platform::Variant Invoke(platform::DispId id, platform::InvokeKind kind,
                           std::span<platform::Variant> args) override;
  std::u16string TypeName() const override { return u"FileSystemObject"; }

  // The text operations, for tests and hosts; none touches a file.
  static std::u16string GetBaseName(std::u16string_view path);
  static std::u16string GetExtensionName(std::u16string_view path);
  static std::u16string GetParentFolderName(std::u16string_view path);
  static std::u16string BuildPath(std::u16string_view path, std::u16string_view name);

  /// Removes the file at @p path: runtime error 53 when no file is there, 70 when the system
  /// refuses, 75 for any other failure.
  static void DeleteFile(std::u16string_view path);
};

}  // namespace corvella::host
