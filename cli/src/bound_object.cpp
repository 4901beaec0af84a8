// A Pictron object bound to a page that stands for the shell.

#include "bound_object.h"

#include "corvella/component/identity.h"
#include "corvella/platform/error.h"
#include "corvella/platform/text.h"

namespace corvella::cli {

namespace {

// The page's virtual path: the working folder, as a folder ("/home/user/photos/").
std::u16string CurrentFolderPage(const std::filesystem::path& workingFolder) {
  std::string page = workingFolder.generic_string();
  if (page.empty() || page.back() != '/') page += '/';
  return platform::Utf8ToWide(page);
}

}  // namespace

std::u16string ShellPath(const std::filesystem::path& workingFolder, std::u16string_view name) {
  if (name.find(u'\\') != std::u16string_view::npos) return std::u16string(name);
  return host::PageServer(u"/", CurrentFolderPage(workingFolder), host::PathSyntax::Literal)
      .MapPath(name);
}

BoundObject::BoundObject(const std::filesystem::path& workingFolder)
    : page_(std::make_shared<host::PageContext>(u"/", CurrentFolderPage(workingFolder),
                                                    host::PathSyntax::Literal)),
      object_(component::CreateObject(u"Corvella.Pictron")),
      pictron_(dynamic_cast<component::Pictron*>(object_.get())) {
  if (pictron_ == nullptr) platform::Raise(platform::RuntimeError::CannotCreateObject);
  platform::Variant context{platform::ObjectRef(page_)};
  Call(u"OnStartPage", std::span(&context, 1));
}

BoundObject::~BoundObject() {
  try {
    Call(u"OnEndPage");
  } catch (...) {
    // Dropping the page references cannot fail in a way that matters once the work is done.
  }
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
  if (name.find(u'\\') != std::u16string_view::npos) return std::u16string(name);
  return page_->Server()->MapPath(name);
}

}  // namespace corvella::cli
