#include "corvella/script/host.h"

#include "corvella/platform/error.h"
#include "corvella/platform/text.h"
#include "lexer.h"

namespace corvella::script {

void BasicHost::AddNamedItem(std::u16string name, platform::ObjectRef object) {
  items_.emplace_back(FoldName(name), std::move(object));
}

void BasicHost::RegisterClass(std::u16string progId, Factory factory) {
  classes_.emplace_back(FoldName(progId), std::move(factory));
}

platform::ObjectRef BasicHost::NamedItem(std::u16string_view name) {
  std::u16string folded = FoldName(name);
  for (const auto& [itemName, object] : items_) {
    if (itemName == folded) return object;
  }
  return nullptr;
}

platform::ObjectRef BasicHost::CreateObject(std::u16string_view progId) {
  std::u16string folded = FoldName(progId);
  for (const auto& [classId, factory] : classes_) {
    if (classId == folded) return factory();
  }
  platform::Raise(platform::RuntimeError::CannotCreateObject, platform::WideToUtf8(progId));
}

}  // namespace corvella::script
