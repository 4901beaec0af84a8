#pragma once
// "Scripting.FileSystemObject" for the scripts that corvella run (and a page server) runs: files,
// folders and text files, over the platform's file system service.

#include <string>
#include <string_view>

#include "corvella/platform/dispatch.h"

namespace corvella::host {

/// The file system object of scripts. Paths are physical paths; "\" and "/" both separate their
/// components, as in the platform's file system service. Scriptable members:
///   FileExists(path), FolderExists(path)      Boolean, never an error
///   GetFile(path), GetFolder(path)            a File or Folder object (53 / 76 when missing)
///   GetSpecialFolder(n)                       0 the system's folder ("/usr"), 1 its libraries
///                                             ("/usr/lib"), 2 the temporary folder
///   CreateFolder(path)                        the new Folder; 58 when the name is taken
///   CopyFile src, dst [, overwrite = True]    "*" and "?" in the source's name copy every
///   MoveFile src, dst                         match; a destination ending in a separator (or
///   DeleteFile path [, force]                 an existing folder) receives the files by name;
///   DeleteFolder path [, force]               58 when a target exists and may not be replaced,
///   MoveFolder src, dst                       70 for a read-only file without force
///   OpenTextFile(path [, iomode [, create [, format]]])   a TextStream (1 reading, 2 writing,
///   CreateTextFile(path [, overwrite [, unicode]])         8 appending; format 0 ASCII,
///                                                          -1 Unicode, -2 default)
///   GetTempName                               "radXXXXX.tmp", a random name
///   GetAbsolutePathName(path)                 the path made absolute and normalised
///   GetFileName, GetBaseName, GetExtensionName, GetParentFolderName, BuildPath, GetDriveName
/// File and Folder objects: Path (the default member), Name (assignable: renames), Type ("JPEG
/// image", "File folder", ...), Size, DateCreated, DateLastModified, DateLastAccessed,
/// Attributes, ParentFolder, Delete; a File's Copy, Move, OpenAsTextStream; a Folder's Files and
/// SubFolders (collections with Count, Item(name) and For Each, in name order), IsRootFolder,
/// CreateTextFile. Every call asks the process-wide factory for a file system object of its own
/// for reading and writing files, so that a host's replacement service serves scripts too.
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
  /// A name for a temporary file: "rad", five hexadecimal digits, ".tmp".
  static std::u16string GetTempName();
  static std::u16string GetAbsolutePathName(std::u16string_view path);

  // The operations on files and folders, with the errors described above.
  /// Removes the files that @p path names: runtime error 53 when none is there, 70 when the
  /// system refuses or a file is read-only and @p force is false, 75 for any other failure.
  static void DeleteFile(std::u16string_view path, bool force = false);
  static void DeleteFolder(std::u16string_view path, bool force = false);
  static void CopyFile(std::u16string_view source, std::u16string_view destination,
                       bool overwrite = true);
  static void MoveFile(std::u16string_view source, std::u16string_view destination);
  static void MoveFolder(std::u16string_view source, std::u16string_view destination);
  static platform::ObjectRef OpenTextFile(std::u16string_view path, int32_t ioMode, bool create,
                                          int32_t format);
  static platform::ObjectRef CreateTextFile(std::u16string_view path, bool overwrite, bool unicode);
};

}  // namespace corvella::host
