// The file system object of scripts, over the platform's file system service.

#include "corvella/host/file_system_object.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <limits>
#include <memory>
#include <system_error>

#include "corvella/platform/error.h"
#include "corvella/platform/file_system.h"
#include "corvella/platform/text.h"

namespace corvella::host {

namespace {

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

template <typename Object>
struct Member {
  platform::MemberInfo info;
  Variant (*handler)(Object&, CallArgs&);
};

// Finds the member for a DISPID and kind and runs it with coerced arguments.
template <typename Object, size_t N>
Variant Dispatch(Object& object, const std::array<Member<Object>, N>& table, DispId id,
                 InvokeKind kind, std::span<Variant> args) {
  const Member<Object>* member =
      platform::FindMember(std::span<const Member<Object>>(table), id, kind);
  if (member == nullptr) Raise(RuntimeError::MemberNotFound);
  return platform::InvokeMember(member->info, args,
                                [&](CallArgs& a) { return member->handler(object, a); });
}

bool IsSeparator(char16_t c) {
  return c == u'\\' || c == u'/';
}

// A file's size as scripts see it: a Long while it fits, else a Double.
Variant SizeValue(int64_t size) {
  if (size <= std::numeric_limits<int32_t>::max()) return Variant(static_cast<int32_t>(size));
  return Variant(static_cast<double>(size));
}

// A file that GetFile found: its size, path and name as they were when it was asked for.
class FileObject final : public platform::Dispatchable {
 public:
  explicit FileObject(platform::FileInfo info) : info_(std::move(info)) {}

  DispId GetIdOfName(std::u16string_view name) const override {
    return platform::FindDispId(std::span<const Member<FileObject>>(kMembers), name);
  }
  Variant Invoke(DispId id, InvokeKind kind, std::span<Variant> args) override {
    return Dispatch(*this, kMembers, id, kind, args);
  }
  std::u16string TypeName() const override { return u"File"; }

 private:
  static const std::array<Member<FileObject>, 3> kMembers;
  platform::FileInfo info_;
};

const std::array<Member<FileObject>, 3> FileObject::kMembers = {{
    {{1, "Size", InvokeKind::PropertyGet, 1, {}, ParamType::Variant},
     [](FileObject& f, CallArgs&) { return SizeValue(f.info_.Size); }},
    {{2, "Path", InvokeKind::PropertyGet, 2, {}, ParamType::BStr},
     [](FileObject& f, CallArgs&) { return Variant(f.info_.Path); }},
    // Name is the default member, as for the file objects of Windows scripts.
    {{3, "Name", InvokeKind::PropertyGet, 0, {}, ParamType::BStr},
     [](FileObject& f, CallArgs&) {
       return Variant(platform::FileSystem::GetFileName(f.info_.Path));
     }},
}};

constexpr ParamInfo kPath[] = {{"strPath", ParamType::BStr, kIn}};
constexpr ParamInfo kDelete[] = {{"strPath", ParamType::BStr, kIn},
                                 {"blForce", ParamType::Bool, kIn | kOptional}};
constexpr ParamInfo kBuild[] = {{"strPath", ParamType::BStr, kIn},
                                {"strName", ParamType::BStr, kIn}};

constexpr InvokeKind kMethod = InvokeKind::Method;

const std::array<Member<FileSystemObject>, 9> kFsoMembers = {{
    {{1, "FileExists", kMethod, 1, kPath, ParamType::Bool},
     [](FileSystemObject&, CallArgs& a) {
       return Variant::Bool(platform::CreateFileSystem()->FileExists(a.BStr(0)));
     }},
    {{2, "FolderExists", kMethod, 2, kPath, ParamType::Bool},
     [](FileSystemObject&, CallArgs& a) {
       return Variant::Bool(platform::CreateFileSystem()->FolderExists(a.BStr(0)));
     }},
    {{3, "GetFile", kMethod, 3, kPath, ParamType::Object},
     [](FileSystemObject&, CallArgs& a) {
       return Variant(ObjectRef(
           std::make_shared<FileObject>(platform::CreateFileSystem()->GetFile(a.BStr(0)))));
     }},
    {{4, "DeleteFile", kMethod, 4, kDelete, ParamType::None},
     [](FileSystemObject&, CallArgs& a) {
       FileSystemObject::DeleteFile(a.BStr(0));
       return Variant();
     }},
    {{5, "GetFileName", kMethod, 5, kPath, ParamType::BStr},
     [](FileSystemObject&, CallArgs& a) {
       return Variant(platform::FileSystem::GetFileName(a.BStr(0)));
     }},
    {{6, "GetBaseName", kMethod, 6, kPath, ParamType::BStr},
     [](FileSystemObject&, CallArgs& a) {
       return Variant(FileSystemObject::GetBaseName(a.BStr(0)));
     }},
    {{7, "GetExtensionName", kMethod, 7, kPath, ParamType::BStr},
     [](FileSystemObject&, CallArgs& a) {
       return Variant(FileSystemObject::GetExtensionName(a.BStr(0)));
     }},
    {{8, "GetParentFolderName", kMethod, 8, kPath, ParamType::BStr},
     [](FileSystemObject&, CallArgs& a) {
       return Variant(FileSystemObject::GetParentFolderName(a.BStr(0)));
     }},
    {{9, "BuildPath", kMethod, 9, kBuild, ParamType::BStr},
     [](FileSystemObject&, CallArgs& a) {
       return Variant(FileSystemObject::BuildPath(a.BStr(0), a.BStr(1)));
     }},
}};

}  // namespace

DispId FileSystemObject::GetIdOfName(std::u16string_view name) const {
  return platform::FindDispId(std::span<const Member<FileSystemObject>>(kFsoMembers), name);
}

Variant FileSystemObject::Invoke(DispId id, InvokeKind kind, std::span<Variant> args) {
  return Dispatch(*this, kFsoMembers, id, kind, args);
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

void FileSystemObject::DeleteFile(std::u16string_view path) {
  const std::string text = platform::WideToUtf8(path);
  if (!platform::CreateFileSystem()->FileExists(path)) {
    Raise(RuntimeError::FileNotFound, "DeleteFile '" + text + "'");
  }
  // "/" separates components on every system, so a path written with "\" works everywhere.
  std::u16string generic(path);
  std::replace(generic.begin(), generic.end(), u'\\', u'/');
  std::error_code failure;
  if (!std::filesystem::remove(std::filesystem::path(generic), failure) || failure) {
    RuntimeError error = failure == std::errc::permission_denied ||
                                 failure == std::errc::operation_not_permitted ||
                                 failure == std::errc::read_only_file_system
                             ? RuntimeError::PermissionDenied
                         : !failure ? RuntimeError::FileNotFound
                                    : RuntimeError::PathFileAccessError;
    Raise(error, "DeleteFile '" + text +
                     "': " + (failure ? failure.message() : std::string("the file is gone")));
  }
}

}  // namespace corvella::host
