// A Pictron object whose file names are mapped as a shell reads them.

#include "bound_object.h"

#include <algorithm>

#include "corvella/component/identity.h"
#include "corvella/platform/error.h"
#include "corvella/platform/text.h"

namespace corvella::cli {

namespace {

[[noreturn]] void Refuse(std::u16string_view name, const char* why) {
  platform::Raise(platform::RuntimeError::InvalidProcedureCall,
                  "'" + platform::WideToUtf8(name) + "' " + why);
}

// Applies the "/"-separated segments of @p path to @p segments; @p name is what the caller gave.
void ApplySegments(std::u16string_view path, std::u16string_view name,
                   std::vector<std::u16string>& segments) {
  if (path.find(u'\0') != std::u16string_view::npos) Refuse(name, "contains a NUL character");
  size_t start = 0;
  while (start <= path.size()) {
    const size_t end = std::min(path.find(u'/', start), path.size());
    const std::u16string_view segment = path.substr(start, end - start);
    start = end + 1;
    if (segment.empty() || segment == u".") continue;
    if (segment == u"..") {
      if (segments.empty()) Refuse(name, "leads above the root folder");
      segments.pop_back();
      continue;
    }
    segments.emplace_back(segment);
  }
}

}  // namespace

ShellPathMapper::ShellPathMapper(const std::filesystem::path& workingFolder) {
  const std::u16string folder = platform::Utf8ToWide(workingFolder.generic_string());
  ApplySegments(folder, folder, folder_);
}

std::u16string ShellPathMapper::MapPath(std::u16string_view name) const {
  std::vector<std::u16string> segments;
  if (name.empty() || name.front() != u'/') segments = folder_;
  ApplySegments(name, name, segments);
  std::u16string physical;
  for (const std::u16string& segment : segments) {
    physical += u'/';
    physical += segment;
  }
  return physical.empty() ? u"/" : physical;
}

std::u16string ShellPath(const std::filesystem::path& workingFolder, std::u16string_view name) {
  return component::PhysicalPath(ShellPathMapper(workingFolder), name);
}

BoundObject::BoundObject(const std::filesystem::path& workingFolder)
    : paths_(std::make_shared<ShellPathMapper>(workingFolder)),
      object_(component::CreateObject(u"Corvella.Pictron")),
      pictron_(dynamic_cast<component::Pictron*>(object_.get())) {
  if (pictron_ == nullptr) platform::Raise(platform::RuntimeError::CannotCreateObject);
  pictron_->SetPathMapper(paths_);
}

platform::Variant BoundObject::Call(std::u16string_view member, std::span<platform::Variant> args) {
  return platform::InvokeByName(object_, member, platform::InvokeKind::Method, args);
}

void BoundObject::Put(std::u16string_view property, platform::Variant value) {
  platform::PutProperty(object_, property, std::move(value));
}

platform::Variant BoundObject::Get(std::u16string_view property) {
  return platform::GetProperty(object_, property);
}

std::u16string BoundObject::PhysicalPath(std::u16string_view name) const {
  return component::PhysicalPath(*paths_, name);
}

}  // namespace corvella::cli
