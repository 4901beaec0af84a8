// The file system object of scripts: its members, and the operations on files and folders that
// it shares with the File and Folder objects.

#include "corvella/host/file_system_object.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <memory>
#include <random>
#include <system_error>
#include <vector>

#include "corvella/host/text_stream.h"
#include "corvella/platform/error.h"
#include "corvella/platform/file_system.h"
#include "corvella/platform/text.h"
#include "file_system_object_items.h"
#include "member_table.h"

namespace corvella::host {

namespace {

namespace fs = std::filesystem;
using detail::kMethod;
using platform::CallArgs;
using platform::DispId;
using platform::InvokeKind;
using platform::kIn;
using platform::kOptional;
using platform::ObjectRef;
using platform::ParamInfo;
using platform::ParamType;
using platform::Raise;
using platform::RuntimeError;
using platform::Variant;
using Member = detail::Member<FileSystemObject>;

bool IsSeparator(char16_t c) {
  return c == u'\\' || c == u'/';
}

bool EndsWithSeparator(std::u16string_view path) {
  return !path.empty() && IsSeparator(path.back());
}

// Matches a name against a pattern of "*" (any run) and "?" (one character), without regard to
// ASCII case.
bool MatchesWildcard(std::u16string_view name, std::u16string_view pattern) {
  std::u16string upperName = platform::AsciiUpper(name);
  std::u16string upperPattern = platform::AsciiUpper(pattern);
  size_t n = 0, p = 0, starP = std::u16string::npos, starN = 0;
  while (n < upperName.size()) {
    if (p < upperPattern.size() && (upperPattern[p] == u'?' || upperPattern[p] == upperName[n])) {
      ++n;
      ++p;
    } else if (p < upperPattern.size() && upperPattern[p] == u'*') {
      starP = p++;
      starN = n;
    } else if (starP != std::u16string::npos) {
      p = starP + 1;
      n = ++starN;
    } else {
      return false;
    }
  }
  while (p < upperPattern.size() && upperPattern[p] == u'*')
    ++p;
  return p == upperPattern.size();
}

// The paths that a source names: itself, or, when its last component holds "*" or "?", the
// files (or folders) of its folder whose names match; runtime error 53 (76) when none does.
std::vector<std::u16string> Expand(std::u16string_view path, bool folders) {
  RuntimeError missing = folders ? RuntimeError::PathNotFound : RuntimeError::FileNotFound;
  std::u16string name = platform::FileSystem::GetFileName(path);
  if (name.find_first_of(u"*?") == std::u16string::npos) return {std::u16string(path)};
  std::u16string parent = FileSystemObject::GetParentFolderName(path);
  std::vector<std::u16string> matches;
  std::error_code error;
  fs::directory_iterator it(fso::NativePath(parent.empty() ? u"." : parent), error);
  if (error) fso::RaiseFor(error, RuntimeError::PathNotFound, "list", parent);
  for (; it != fs::directory_iterator(); it.increment(error)) {
    if (error) fso::RaiseFor(error, RuntimeError::PathNotFound, "list", parent);
    std::error_code typeError;
    bool isFolder = it->is_directory(typeError);
    if (folders != isFolder || (!folders && !it->is_regular_file(typeError))) continue;
    std::u16string entry = it->path().filename().u16string();
    if (!MatchesWildcard(entry, name)) continue;
    if (matches.size() >= fso::kMaxFolderEntries) Raise(RuntimeError::OutOfMemory);
    matches.push_back(parent.empty() ? entry : fso::Join(parent, entry));
  }
  if (matches.empty()) Raise(missing, platform::WideToUtf8(path));
  std::sort(matches.begin(), matches.end());
  return matches;
}

bool IsReadOnly(std::u16string_view path) {
  std::error_code error;
  fs::file_status status = fs::status(fso::NativePath(path), error);
  return !error && (status.permissions() & fs::perms::owner_write) == fs::perms::none;
}

// Where a file or folder goes: into the destination when it names a folder (ends with a
// separator, or is an existing folder, or several sources go there), else to the destination
// itself.
std::u16string TargetOf(std::u16string_view source, std::u16string_view destination, bool several) {
  if (several || EndsWithSeparator(destination) ||
      platform::CreateFileSystem()->FolderExists(destination)) {
    std::u16string name = platform::FileSystem::GetFileName(
        EndsWithSeparator(source) ? source.substr(0, source.size() - 1) : source);
    return fso::Join(destination, name);
  }
  return std::u16string(destination);
}

// Renames an entry, or copies and removes it when the two paths lie on different devices.
void MoveEntry(std::u16string_view source, std::u16string_view target, bool folder) {
  RuntimeError missing = folder ? RuntimeError::PathNotFound : RuntimeError::FileNotFound;
  std::error_code error;
  fs::path from = fso::NativePath(source);
  fs::path to = fso::NativePath(target);
  if (fs::exists(fs::symlink_status(to, error))) {
    Raise(RuntimeError::FileAlreadyExists, platform::WideToUtf8(target));
  }
  fs::rename(from, to, error);
  if (error == std::errc::cross_device_link) {
    error.clear();
    fs::copy(from, to, fs::copy_options::recursive, error);
    if (!error) fs::remove_all(from, error);
  }
  if (error) fso::RaiseFor(error, missing, "Move", source);
}

int32_t OptionalI4(CallArgs& a, size_t i, int32_t fallback) {
  return a.Var(i).IsMissing() ? fallback : a.I4(i);
}

bool OptionalBool(CallArgs& a, size_t i, bool fallback) {
  return a.Var(i).IsMissing() ? fallback : a.Bool(i) != 0;
}

constexpr ParamInfo kPath[] = {{"Path", ParamType::BStr, kIn}};
constexpr ParamInfo kForce[] = {{"Path", ParamType::BStr, kIn},
                                {"Force", ParamType::Bool, kIn | kOptional}};
constexpr ParamInfo kBuild[] = {{"Path", ParamType::BStr, kIn}, {"Name", ParamType::BStr, kIn}};
constexpr ParamInfo kCopy[] = {{"Source", ParamType::BStr, kIn},
                               {"Destination", ParamType::BStr, kIn},
                               {"OverWriteFiles", ParamType::Bool, kIn | kOptional}};
constexpr ParamInfo kMove[] = {{"Source", ParamType::BStr, kIn},
                               {"Destination", ParamType::BStr, kIn}};
constexpr ParamInfo kOpen[] = {{"FileName", ParamType::BStr, kIn},
                               {"IOMode", ParamType::I4, kIn | kOptional},
                               {"Create", ParamType::Bool, kIn | kOptional},
                               {"Format", ParamType::I4, kIn | kOptional}};
constexpr ParamInfo kCreate[] = {{"FileName", ParamType::BStr, kIn},
                                 {"Overwrite", ParamType::Bool, kIn | kOptional},
                                 {"Unicode", ParamType::Bool, kIn | kOptional}};
constexpr ParamInfo kSpecial[] = {{"SpecialFolder", ParamType::I4, kIn}};

template <std::u16string (*Text)(std::u16string_view)>
Variant TextOperation(FileSystemObject&, CallArgs& a) {
  return Variant(Text(a.BStr(0)));
}

std::u16string FileName(std::u16string_view path) {
  return platform::FileSystem::GetFileName(path);
}

std::u16string DriveName(std::u16string_view path) {
  if (path.size() >= 2 && path[1] == u':') return std::u16string(path.substr(0, 2));
  return {};
}

const std::array<Member, 23> kFsoMembers = {{
    {{1, "FileExists", kMethod, 1, kPath, ParamType::Bool},
     [](FileSystemObject&, CallArgs& a) {
       return Variant::Bool(platform::CreateFileSystem()->FileExists(a.BStr(0)));
     }},
    {{2, "FolderExists", kMethod, 2, kPath, ParamType::Bool},
     [](FileSystemObject&, CallArgs& a) {
       return Variant::Bool(platform::CreateFileSystem()->FolderExists(a.BStr(0)));
     }},
    {{3, "GetFile", kMethod, 3, kPath, ParamType::Object},
     [](FileSystemObject&, CallArgs& a) { return Variant(fso::MakeFile(a.BStr(0))); }},
    {{4, "DeleteFile", kMethod, 4, kForce, ParamType::None},
     [](FileSystemObject&, CallArgs& a) {
       FileSystemObject::DeleteFile(a.BStr(0), OptionalBool(a, 1, false));
       return Variant();
     }},
    {{5, "GetFileName", kMethod, 5, kPath, ParamType::BStr}, TextOperation<FileName>},
    {{6, "GetBaseName", kMethod, 6, kPath, ParamType::BStr},
     TextOperation<FileSystemObject::GetBaseName>},
    {{7, "GetExtensionName", kMethod, 7, kPath, ParamType::BStr},
     TextOperation<FileSystemObject::GetExtensionName>},
    {{8, "GetParentFolderName", kMethod, 8, kPath, ParamType::BStr},
     TextOperation<FileSystemObject::GetParentFolderName>},
    {{9, "BuildPath", kMethod, 9, kBuild, ParamType::BStr},
     [](FileSystemObject&, CallArgs& a) {
       return Variant(FileSystemObject::BuildPath(a.BStr(0), a.BStr(1)));
     }},
    {{10, "GetFolder", kMethod, 10, kPath, ParamType::Object},
     [](FileSystemObject&, CallArgs& a) { return Variant(fso::MakeFolder(a.BStr(0))); }},
    {{11, "CreateFolder", kMethod, 11, kPath, ParamType::Object},
     [](FileSystemObject&, CallArgs& a) {
       fso::CreateFolder(a.BStr(0));
       return Variant(fso::MakeFolder(a.BStr(0)));
     }},
    {{12, "DeleteFolder", kMethod, 12, kForce, ParamType::None},
     [](FileSystemObject&, CallArgs& a) {
       FileSystemObject::DeleteFolder(a.BStr(0), OptionalBool(a, 1, false));
       return Variant();
     }},
    {{13, "CopyFile", kMethod, 13, kCopy, ParamType::None},
     [](FileSystemObject&, CallArgs& a) {
       FileSystemObject::CopyFile(a.BStr(0), a.BStr(1), OptionalBool(a, 2, true));
       return Variant();
     }},
    {{14, "MoveFile", kMethod, 14, kMove, ParamType::None},
     [](FileSystemObject&, CallArgs& a) {
       FileSystemObject::MoveFile(a.BStr(0), a.BStr(1));
       return Variant();
     }},
    {{15, "MoveFolder", kMethod, 15, kMove, ParamType::None},
     [](FileSystemObject&, CallArgs& a) {
       FileSystemObject::MoveFolder(a.BStr(0), a.BStr(1));
       return Variant();
     }},
    {{16, "OpenTextFile", kMethod, 16, kOpen, ParamType::Object},
     [](FileSystemObject&, CallArgs& a) {
       return Variant(FileSystemObject::OpenTextFile(
           a.BStr(0), OptionalI4(a, 1, 1), OptionalBool(a, 2, false), OptionalI4(a, 3, 0)));
     }},
    {{17, "CreateTextFile", kMethod, 17, kCreate, ParamType::Object},
     [](FileSystemObject&, CallArgs& a) {
       return Variant(FileSystemObject::CreateTextFile(a.BStr(0), OptionalBool(a, 1, true),
                                                       OptionalBool(a, 2, false)));
     }},
    {{18, "GetTempName", kMethod, 18, {}, ParamType::BStr},
     [](FileSystemObject&, CallArgs&) { return Variant(FileSystemObject::GetTempName()); }},
    {{19, "GetSpecialFolder", kMethod, 19, kSpecial, ParamType::Object},
     [](FileSystemObject&, CallArgs& a) {
       std::u16string path;
       switch (a.I4(0)) {
         case 0:
           path = u"/usr";
           break;
         case 1:
           path = u"/usr/lib";
           break;
         case 2: {
           std::error_code error;
           fs::path temp = fs::temp_directory_path(error);
           path = error ? u"/tmp" : temp.u16string();
           while (path.size() > 1 && IsSeparator(path.back()))
             path.pop_back();
           break;
         }
         default:
           Raise(RuntimeError::InvalidProcedureCall, "GetSpecialFolder");
       }
       return Variant(fso::MakeFolder(path));
     }},
    {{20, "GetAbsolutePathName", kMethod, 20, kPath, ParamType::BStr},
     TextOperation<FileSystemObject::GetAbsolutePathName>},
    {{21, "GetDriveName", kMethod, 21, kPath, ParamType::BStr}, TextOperation<DriveName>},
    {{23, "CopyFolder", kMethod, 23, kCopy, ParamType::None},
     [](FileSystemObject&, CallArgs& a) {
       for (const std::u16string& source : Expand(a.BStr(0), true)) {
         std::u16string target = TargetOf(source, a.BStr(1), false);
         std::error_code error;
         auto options = fs::copy_options::recursive |
                        (OptionalBool(a, 2, true) ? fs::copy_options::overwrite_existing
                                                  : fs::copy_options::none);
         fs::copy(fso::NativePath(source), fso::NativePath(target), options, error);
         if (error) fso::RaiseFor(error, RuntimeError::PathNotFound, "CopyFolder", source);
       }
       return Variant();
     }},
    {{24, "DriveExists", kMethod, 24, kPath, ParamType::Bool},
     [](FileSystemObject&, CallArgs&) { return Variant::Bool(false); }},
}};

}  // namespace

DispId FileSystemObject::GetIdOfName(std::u16string_view name) const {
  return detail::FindId(kFsoMembers, name);
}

Variant FileSystemObject::Invoke(DispId id, InvokeKind kind, std::span<Variant> args) {
  return detail::Dispatch(*this, kFsoMembers, id, kind, args);
}

std::u16string FileSystemObject::GetBaseName(std::u16string_view path) {
  std::u16string name = platform::FileSystem::GetFileName(path);
  size_t dot = name.rfind(u'.');
  return dot == std::u16string::npos ? name : name.substr(0, dot);
}

std::u16string FileSystemObject::GetExtensionName(std::u16string_view path) {
  std::u16string name = platform::FileSystem::GetFileName(path);
  size_t dot = name.rfind(u'.');
  return dot == std::u16string::npos ? std::u16string() : name.substr(dot + 1);
}

std::u16string FileSystemObject::GetParentFolderName(std::u16string_view path) {
  size_t separator = path.find_last_of(u"\\/");
  if (separator == std::u16string_view::npos) return {};
  size_t end = separator;
  while (end > 0 && IsSeparator(path[end - 1]))
    --end;
  // A file in the root keeps the root's separator ("/photo.jpg" has the parent "/").
  if (end == 0) return std::u16string(path.substr(0, 1));
  return std::u16string(path.substr(0, end));
}

std::u16string FileSystemObject::BuildPath(std::u16string_view path, std::u16string_view name) {
  if (path.empty()) return std::u16string(name);
  std::u16string joined(path);
  if (!IsSeparator(joined.back()) && !(name.size() > 0 && IsSeparator(name.front()))) {
    // The separator that the path already uses; a path without one takes the system's own.
    char16_t separator = static_cast<char16_t>(std::filesystem::path::preferred_separator);
    if (path.find(u'\\') != std::u16string_view::npos) separator = u'\\';
    joined += separator;
  }
  joined += name;
  return joined;
}

std::u16string FileSystemObject::GetTempName() {
  thread_local std::mt19937 generator{std::random_device{}()};
  static constexpr char16_t kHex[] = u"0123456789ABCDEF";
  std::u16string name = u"rad";
  std::uniform_int_distribution<int> digit(0, 15);
  for (int k = 0; k < 5; ++k)
    name += kHex[digit(generator)];
  return name + u".tmp";
}

std::u16string FileSystemObject::GetAbsolutePathName(std::u16string_view path) {
  std::error_code error;
  fs::path absolute = fs::absolute(fso::NativePath(path.empty() ? u"." : path), error);
  if (error) fso::RaiseFor(error, RuntimeError::PathNotFound, "GetAbsolutePathName", path);
  std::u16string text = absolute.lexically_normal().generic_u16string();
  while (text.size() > 1 && text.back() == u'/')
    text.pop_back();
  return text;
}

void FileSystemObject::DeleteFile(std::u16string_view path, bool force) {
  for (const std::u16string& file : Expand(path, false)) {
    if (!platform::CreateFileSystem()->FileExists(file)) {
      Raise(RuntimeError::FileNotFound, "DeleteFile '" + platform::WideToUtf8(file) + "'");
    }
    if (!force && IsReadOnly(file)) {
      Raise(RuntimeError::PermissionDenied, "DeleteFile '" + platform::WideToUtf8(file) + "'");
    }
    std::error_code error;
    if (!fs::remove(fso::NativePath(file), error) && !error) {
      error = std::make_error_code(std::errc::no_such_file_or_directory);
    }
    if (error) fso::RaiseFor(error, RuntimeError::FileNotFound, "DeleteFile", file);
  }
}

void FileSystemObject::DeleteFolder(std::u16string_view path, bool force) {
  std::u16string trimmed(path);
  while (trimmed.size() > 1 && IsSeparator(trimmed.back()))
    trimmed.pop_back();
  for (const std::u16string& folder : Expand(trimmed, true)) {
    if (!platform::CreateFileSystem()->FolderExists(folder)) {
      Raise(RuntimeError::PathNotFound, "DeleteFolder '" + platform::WideToUtf8(folder) + "'");
    }
    if (!force && IsReadOnly(folder)) {
      Raise(RuntimeError::PermissionDenied, "DeleteFolder '" + platform::WideToUtf8(folder) + "'");
    }
    std::error_code error;
    fs::remove_all(fso::NativePath(folder), error);
    if (error) fso::RaiseFor(error, RuntimeError::PathNotFound, "DeleteFolder", folder);
  }
}

void FileSystemObject::CopyFile(std::u16string_view source, std::u16string_view destination,
                                bool overwrite) {
  std::vector<std::u16string> sources = Expand(source, false);
  for (const std::u16string& file : sources) {
    std::u16string target = TargetOf(file, destination, sources.size() > 1);
    auto files = platform::CreateFileSystem();
    if (!files->FileExists(file)) {
      files->GetFile(file);
      Raise(RuntimeError::FileNotFound, platform::WideToUtf8(file));
    }
    if (files->FileExists(target)) {
      if (!overwrite) Raise(RuntimeError::FileAlreadyExists, platform::WideToUtf8(target));
      if (IsReadOnly(target)) Raise(RuntimeError::PermissionDenied, platform::WideToUtf8(target));
    }
    platform::ByteArray bytes = files->ReadAll(file);
    files->WriteFileAtomically(target, bytes.Bytes());
  }
}

void FileSystemObject::MoveFile(std::u16string_view source, std::u16string_view destination) {
  std::vector<std::u16string> sources = Expand(source, false);
  for (const std::u16string& file : sources) {
    if (!platform::CreateFileSystem()->FileExists(file)) {
      Raise(RuntimeError::FileNotFound, platform::WideToUtf8(file));
    }
    MoveEntry(file, TargetOf(file, destination, sources.size() > 1), false);
  }
}

void FileSystemObject::MoveFolder(std::u16string_view source, std::u16string_view destination) {
  std::vector<std::u16string> sources = Expand(source, true);
  for (const std::u16string& folder : sources) {
    if (!platform::CreateFileSystem()->FolderExists(folder)) {
      Raise(RuntimeError::PathNotFound, platform::WideToUtf8(folder));
    }
    MoveEntry(folder, TargetOf(folder, destination, sources.size() > 1), true);
  }
}

ObjectRef FileSystemObject::OpenTextFile(std::u16string_view path, int32_t ioMode, bool create,
                                         int32_t format) {
  if (ioMode != 1 && ioMode != 2 && ioMode != 8) {
    Raise(RuntimeError::InvalidProcedureCall, "OpenTextFile: iomode");
  }
  return TextStream::Open(path, static_cast<TextStream::IoMode>(ioMode), create,
                          TextStream::FormatOf(format));
}

ObjectRef FileSystemObject::CreateTextFile(std::u16string_view path, bool overwrite, bool unicode) {
  if (!overwrite && platform::CreateFileSystem()->FileExists(path)) {
    Raise(RuntimeError::FileAlreadyExists, platform::WideToUtf8(path));
  }
  return TextStream::Open(path, TextStream::IoMode::Writing, true,
                          unicode ? TextStream::Format::Unicode : TextStream::Format::Ascii);
}

}  // namespace corvella::host
