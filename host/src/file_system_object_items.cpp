// The File and Folder objects of scripts and the Files and SubFolders collections, read live from
// the file system each time a property is asked for.

#include "file_system_object_items.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>

#include <algorithm>
#include <array>
#include <limits>
#include <memory>
#include <vector>

#include "corvella/host/file_system_object.h"
#include "corvella/host/text_stream.h"
#include "corvella/platform/file_system.h"
#include "corvella/platform/text.h"
#include "member_table.h"

namespace corvella::host::fso {

namespace fs = std::filesystem;
using detail::kGet;
using detail::kMethod;
using platform::CallArgs;
using platform::DispId;
using platform::InvokeKind;
using platform::ObjectRef;
using platform::ParamInfo;
using platform::ParamType;
using platform::Raise;
using platform::RuntimeError;
using platform::Variant;

fs::path NativePath(std::u16string_view path) {
  std::u16string generic(path);
  std::replace(generic.begin(), generic.end(), u'\\', u'/');
  return fs::path(generic);
}

std::u16string Join(std::u16string_view folder, std::u16string_view name) {
  return FileSystemObject::BuildPath(folder, name);
}

void RaiseFor(const std::error_code& error, RuntimeError missing, std::string_view operation,
              std::u16string_view path) {
  RuntimeError number = RuntimeError::PathFileAccessError;
  if (error == std::errc::no_such_file_or_directory || error == std::errc::not_a_directory) {
    number = missing;
  } else if (error == std::errc::permission_denied || error == std::errc::operation_not_permitted ||
             error == std::errc::read_only_file_system || error == std::errc::directory_not_empty) {
    number = RuntimeError::PermissionDenied;
  } else if (error == std::errc::file_exists) {
    number = RuntimeError::FileAlreadyExists;
  } else if (error == std::errc::no_space_on_device) {
    number = RuntimeError::DiskFull;
  } else if (error == std::errc::io_error) {
    number = RuntimeError::DeviceIoError;
  }
  Raise(number,
        std::string(operation) + " '" + platform::WideToUtf8(path) + "': " + error.message());
}

std::u16string FileType(std::u16string_view name) {
  std::u16string extension = platform::AsciiUpper(FileSystemObject::GetExtensionName(name));
  struct Known {
    std::u16string_view extension;
    std::u16string_view type;
  };
  static constexpr Known kKnown[] = {
      {u"JPG", u"JPEG image"},    {u"JPEG", u"JPEG image"},   {u"JPE", u"JPEG image"},
      {u"JFIF", u"JPEG image"},   {u"PNG", u"PNG image"},     {u"GIF", u"GIF image"},
      {u"BMP", u"Bitmap image"},  {u"DIB", u"Bitmap image"},  {u"TIF", u"TIFF image"},
      {u"TIFF", u"TIFF image"},   {u"TXT", u"Text Document"}, {u"HTM", u"HTML Document"},
      {u"HTML", u"HTML Document"}};
  for (const Known& known : kKnown) {
    if (known.extension == extension) return std::u16string(known.type);
  }
  if (extension.empty()) return u"File";
  return extension + u" File";
}

namespace {

// A point in time of the file system as a local date of scripts.
double LocalDate(const struct timespec& when) {
  time_t seconds = when.tv_sec;
  struct tm local {};
  if (localtime_r(&seconds, &local) == nullptr) Raise(RuntimeError::Overflow);
  return platform::MakeDate(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                            local.tm_min, local.tm_sec);
}

enum class Stamp { Created, Modified, Accessed };

// The date of an entry: modified, accessed, or created (the birth time where the file system
// keeps one, else the earliest time it has).
Variant EntryDate(std::u16string_view path, Stamp stamp, RuntimeError missing) {
  const std::string native = NativePath(path).string();
  struct stat status {};
  if (::stat(native.c_str(), &status) != 0) {
    RaiseFor(std::error_code(errno, std::generic_category()), missing, "date", path);
  }
  switch (stamp) {
    case Stamp::Modified:
      return Variant::Date(LocalDate(status.st_mtim));
    case Stamp::Accessed:
      return Variant::Date(LocalDate(status.st_atim));
    case Stamp::Created:
      break;
  }
#if defined(STATX_BTIME)
  struct statx extended {};
  if (::statx(AT_FDCWD, native.c_str(), 0, STATX_BTIME, &extended) == 0 &&
      (extended.stx_mask & STATX_BTIME) != 0) {
    struct timespec birth {
      extended.stx_btime.tv_sec, extended.stx_btime.tv_nsec
    };
    return Variant::Date(LocalDate(birth));
  }
#endif
  const struct timespec& earliest =
      status.st_ctim.tv_sec < status.st_mtim.tv_sec ? status.st_ctim : status.st_mtim;
  return Variant::Date(LocalDate(earliest));
}

// The attributes of scripts: 1 read-only, 2 hidden (a name starting with "."), 16 folder,
// 32 archive (every file).
int32_t Attributes(std::u16string_view path, bool folder, RuntimeError missing) {
  std::error_code error;
  fs::file_status status = fs::status(NativePath(path), error);
  if (error) RaiseFor(error, missing, "attributes", path);
  int32_t attributes = folder ? 16 : 32;
  if ((status.permissions() & fs::perms::owner_write) == fs::perms::none) attributes |= 1;
  std::u16string name = platform::FileSystem::GetFileName(path);
  if (name.size() > 1 && name[0] == u'.' && name != u"..") attributes |= 2;
  return attributes;
}

Variant SizeValue(uint64_t size) {
  if (size <= static_cast<uint64_t>(std::numeric_limits<int32_t>::max())) {
    return Variant(static_cast<int32_t>(size));
  }
  return Variant(static_cast<double>(size));
}

// The names of the files (or the folders) in a folder, in the order of a case-insensitive sort.
std::vector<std::u16string> ListFolder(std::u16string_view path, bool folders) {
  std::vector<std::u16string> names;
  std::error_code error;
  fs::directory_iterator it(NativePath(path), error);
  if (error) RaiseFor(error, RuntimeError::PathNotFound, "list", path);
  for (; it != fs::directory_iterator(); it.increment(error)) {
    if (error) RaiseFor(error, RuntimeError::PathNotFound, "list", path);
    std::error_code typeError;
    bool isFolder = it->is_directory(typeError);
    bool isFile = !isFolder && it->is_regular_file(typeError);
    if (folders ? !isFolder : !isFile) continue;
    if (names.size() >= kMaxFolderEntries) {
      Raise(RuntimeError::OutOfMemory, "the folder has too many entries");
    }
    names.push_back(it->path().filename().u16string());
  }
  std::sort(names.begin(), names.end(), [](const std::u16string& a, const std::u16string& b) {
    std::u16string upperA = platform::AsciiUpper(a);
    std::u16string upperB = platform::AsciiUpper(b);
    return upperA != upperB ? upperA < upperB : a < b;
  });
  return names;
}

// The bytes of the files in a folder and all its subfolders, symbolic links not followed.
uint64_t FolderSize(std::u16string_view path) {
  uint64_t total = 0;
  size_t visited = 0;
  std::error_code error;
  fs::recursive_directory_iterator it(NativePath(path), error);
  if (error) RaiseFor(error, RuntimeError::PathNotFound, "size", path);
  for (; it != fs::recursive_directory_iterator(); it.increment(error)) {
    if (error) RaiseFor(error, RuntimeError::PathNotFound, "size", path);
    if (++visited > kMaxFolderEntries) Raise(RuntimeError::OutOfMemory, "the folder is too large");
    std::error_code sizeError;
    if (it->is_regular_file(sizeError) && !it->is_symlink(sizeError)) {
      total += it->file_size(sizeError);
    }
  }
  return total;
}

// A collection of the files or the subfolders of a folder, as it was when it was asked for.
class EntryCollection final : public platform::Dispatchable {
 public:
  EntryCollection(std::u16string folder, bool folders)
      : folder_(std::move(folder)), folders_(folders), names_(ListFolder(folder_, folders)) {}
  DispId GetIdOfName(std::u16string_view name) const override {
    return detail::FindId(kMembers, name);
  }
  Variant Invoke(DispId id, InvokeKind kind, std::span<Variant> args) override {
    return detail::Dispatch(*this, kMembers, id, kind, args);
  }
  std::u16string TypeName() const override { return folders_ ? u"Folders" : u"Files"; }
  std::vector<Variant> Enumerate() override {
    std::vector<Variant> items;
    items.reserve(names_.size());
    for (const std::u16string& name : names_)
      items.emplace_back(Make(name));
    return items;
  }

 private:
  ObjectRef Make(std::u16string_view name) const {
    std::u16string path = Join(folder_, name);
    return folders_ ? MakeFolder(path) : MakeFile(path);
  }

  static const std::array<detail::Member<EntryCollection>, 3> kMembers;
  std::u16string folder_;
  bool folders_;
  std::vector<std::u16string> names_;
};

constexpr ParamInfo kName[] = {{"Key", ParamType::Variant, platform::kIn}};
constexpr ParamInfo kNewName[] = {{"Name", ParamType::BStr, platform::kIn}};

const std::array<detail::Member<EntryCollection>, 3> EntryCollection::kMembers = {{
    {{0, "Item", kGet, 0, kName, ParamType::Object},
     [](EntryCollection& c, CallArgs& a) {
       std::u16string name = a.Var(0).ToBStr();
       for (const std::u16string& entry : c.names_) {
         if (platform::AsciiUpper(entry) == platform::AsciiUpper(name)) {
           return Variant(c.Make(entry));
         }
       }
       Raise(c.folders_ ? RuntimeError::PathNotFound : RuntimeError::FileNotFound,
             platform::WideToUtf8(name));
     }},
    {{1, "Count", kGet, 1, {}, ParamType::I4},
     [](EntryCollection& c, CallArgs&) { return Variant(static_cast<int32_t>(c.names_.size())); }},
    {{2, "Add", kMethod, 2, kNewName, ParamType::Object},
     [](EntryCollection& c, CallArgs& a) {
       if (!c.folders_) Raise(RuntimeError::MemberNotFound, "Add");
       std::u16string path = Join(c.folder_, a.BStr(0));
       CreateFolder(path);
       c.names_.push_back(a.BStr(0));
       return Variant(MakeFolder(path));
     }},
}};

// A file or a folder, by its path.
class Entry final : public platform::Dispatchable {
 public:
  Entry(std::u16string path, bool folder) : path_(std::move(path)), folder_(folder) {}
  DispId GetIdOfName(std::u16string_view name) const override {
    for (const auto& member : kMembers) {
      if (Applies(member.info.dispid) && platform::EqualsNoCase(name, member.info.name)) {
        return member.info.dispid;
      }
    }
    return platform::kDispIdUnknown;
  }
  Variant Invoke(DispId id, InvokeKind kind, std::span<Variant> args) override {
    if (!Applies(id)) Raise(RuntimeError::MemberNotFound);
    return detail::Dispatch(*this, kMembers, id, kind, args);
  }
  std::u16string TypeName() const override { return folder_ ? u"Folder" : u"File"; }

 private:
  // Members of a file have DISPIDs 100 .. 199, of a folder 200 and above, of both below 100.
  bool Applies(DispId id) const { return id < 100 || (id >= 200) == folder_; }
  RuntimeError Missing() const {
    return folder_ ? RuntimeError::PathNotFound : RuntimeError::FileNotFound;
  }

  static const std::array<detail::Member<Entry>, 20> kMembers;
  std::u16string path_;
  bool folder_;
};

constexpr ParamInfo kForce[] = {{"Force", ParamType::Bool, platform::kIn | platform::kOptional}};
constexpr ParamInfo kCopy[] = {
    {"Destination", ParamType::BStr, platform::kIn},
    {"OverWriteFiles", ParamType::Bool, platform::kIn | platform::kOptional}};
constexpr ParamInfo kMove[] = {{"Destination", ParamType::BStr, platform::kIn}};
constexpr ParamInfo kOpenAs[] = {{"IOMode", ParamType::I4, platform::kIn | platform::kOptional},
                                 {"Format", ParamType::I4, platform::kIn | platform::kOptional}};
constexpr ParamInfo kCreateText[] = {
    {"FileName", ParamType::BStr, platform::kIn},
    {"Overwrite", ParamType::Bool, platform::kIn | platform::kOptional},
    {"Unicode", ParamType::Bool, platform::kIn | platform::kOptional}};

bool OptionalFlag(CallArgs& a, size_t i, bool fallback) {
  return a.Var(i).IsMissing() ? fallback : a.Bool(i) != 0;
}

// DISPIDs: shared members below 100, file members 100 .. 199, folder members from 200.
const std::array<detail::Member<Entry>, 20> Entry::kMembers = {{
    {{0, "Path", kGet, 0, {}, ParamType::BStr},
     [](Entry& e, CallArgs&) { return Variant(e.path_); }},
    {{1, "Name", kGet, 1, {}, ParamType::BStr},
     [](Entry& e, CallArgs&) {
       std::u16string path = e.path_;
       while (path.size() > 1 && (path.back() == u'\\' || path.back() == u'/'))
         path.pop_back();
       return Variant(platform::FileSystem::GetFileName(path));
     }},
    {{2, "Type", kGet, 2, {}, ParamType::BStr},
     [](Entry& e, CallArgs&) {
       return Variant(e.folder_ ? std::u16string(u"File folder") : FileType(e.path_));
     }},
    {{3, "DateCreated", kGet, 3, {}, ParamType::Variant},
     [](Entry& e, CallArgs&) { return EntryDate(e.path_, Stamp::Created, e.Missing()); }},
    {{4, "DateLastModified", kGet, 4, {}, ParamType::Variant},
     [](Entry& e, CallArgs&) { return EntryDate(e.path_, Stamp::Modified, e.Missing()); }},
    {{5, "DateLastAccessed", kGet, 5, {}, ParamType::Variant},
     [](Entry& e, CallArgs&) { return EntryDate(e.path_, Stamp::Accessed, e.Missing()); }},
    {{6, "Attributes", kGet, 6, {}, ParamType::I4},
     [](Entry& e, CallArgs&) { return Variant(Attributes(e.path_, e.folder_, e.Missing())); }},
    {{7, "ParentFolder", kGet, 7, {}, ParamType::Object},
     [](Entry& e, CallArgs&) {
       std::u16string parent = FileSystemObject::GetParentFolderName(e.path_);
       if (parent.empty()) parent = fs::current_path().u16string();
       return Variant(MakeFolder(parent));
     }},
    {{8, "Size", kGet, 8, {}, ParamType::Variant},
     [](Entry& e, CallArgs&) {
       if (e.folder_) return SizeValue(FolderSize(e.path_));
       return SizeValue(static_cast<uint64_t>(platform::CreateFileSystem()->GetFile(e.path_).Size));
     }},
    {{9, "Delete", kMethod, 9, kForce, ParamType::None},
     [](Entry& e, CallArgs& a) {
       bool force = OptionalFlag(a, 0, false);
       if (e.folder_) {
         FileSystemObject::DeleteFolder(e.path_, force);
       } else {
         FileSystemObject::DeleteFile(e.path_, force);
       }
       return Variant();
     }},
    {{10, "ShortName", kGet, 10, {}, ParamType::BStr},
     [](Entry& e, CallArgs&) { return Variant(platform::FileSystem::GetFileName(e.path_)); }},
    {{11, "Copy", kMethod, 100, kCopy, ParamType::None},
     [](Entry& e, CallArgs& a) {
       FileSystemObject::CopyFile(e.path_, a.BStr(0), OptionalFlag(a, 1, true));
       return Variant();
     }},
    {{12, "Move", kMethod, 101, kMove, ParamType::None},
     [](Entry& e, CallArgs& a) {
       FileSystemObject::MoveFile(e.path_, a.BStr(0));
       e.path_ = a.BStr(0);
       return Variant();
     }},
    {{13, "OpenAsTextStream", kMethod, 102, kOpenAs, ParamType::Object},
     [](Entry& e, CallArgs& a) {
       int32_t mode = a.Var(0).IsMissing() ? 1 : a.I4(0);
       int32_t format = a.Var(1).IsMissing() ? 0 : a.I4(1);
       return Variant(FileSystemObject::OpenTextFile(e.path_, mode, false, format));
     }},
    {{14, "Files", kGet, 200, {}, ParamType::Object},
     [](Entry& e, CallArgs&) {
       return Variant(ObjectRef(std::make_shared<EntryCollection>(e.path_, false)));
     }},
    {{15, "SubFolders", kGet, 201, {}, ParamType::Object},
     [](Entry& e, CallArgs&) {
       return Variant(ObjectRef(std::make_shared<EntryCollection>(e.path_, true)));
     }},
    {{16, "IsRootFolder", kGet, 202, {}, ParamType::Bool},
     [](Entry& e, CallArgs&) {
       fs::path native = fs::absolute(NativePath(e.path_)).lexically_normal();
       return Variant::Bool(native == native.root_path() || native.relative_path().empty());
     }},
    {{17, "CreateTextFile", kMethod, 203, kCreateText, ParamType::Object},
     [](Entry& e, CallArgs& a) {
       return Variant(FileSystemObject::CreateTextFile(
           Join(e.path_, a.BStr(0)), OptionalFlag(a, 1, true), OptionalFlag(a, 2, false)));
     }},
    {{18, "Move", kMethod, 204, kMove, ParamType::None},
     [](Entry& e, CallArgs& a) {
       FileSystemObject::MoveFolder(e.path_, a.BStr(0));
       e.path_ = a.BStr(0);
       return Variant();
     }},
    {{19, "Name", InvokeKind::PropertyPut, 1, kNewName, ParamType::None},
     [](Entry& e, CallArgs& a) {
       std::u16string parent = FileSystemObject::GetParentFolderName(e.path_);
       std::u16string target = parent.empty() ? a.BStr(0) : Join(parent, a.BStr(0));
       if (e.folder_) {
         FileSystemObject::MoveFolder(e.path_, target);
       } else {
         FileSystemObject::MoveFile(e.path_, target);
       }
       e.path_ = target;
       return Variant();
     }},
}};

}  // namespace

ObjectRef MakeFile(std::u16string_view path) {
  auto files = platform::CreateFileSystem();
  if (!files->FileExists(path)) {
    files->GetFile(path);  // raises the service's own error for what is there instead
    Raise(RuntimeError::FileNotFound, platform::WideToUtf8(path));
  }
  return std::make_shared<Entry>(std::u16string(path), false);
}

ObjectRef MakeFolder(std::u16string_view path) {
  if (!platform::CreateFileSystem()->FolderExists(path)) {
    Raise(RuntimeError::PathNotFound, platform::WideToUtf8(path));
  }
  return std::make_shared<Entry>(std::u16string(path), true);
}

void CreateFolder(std::u16string_view path) {
  std::error_code error;
  fs::path native = NativePath(path);
  if (fs::exists(fs::symlink_status(native, error))) {
    Raise(RuntimeError::FileAlreadyExists, platform::WideToUtf8(path));
  }
  if (!fs::create_directory(native, error)) {
    if (!error) error = std::make_error_code(std::errc::file_exists);
    RaiseFor(error, RuntimeError::PathNotFound, "CreateFolder", path);
  }
}

}  // namespace corvella::host::fso
