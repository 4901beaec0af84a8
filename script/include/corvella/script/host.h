#pragma once
/// @file
/// A ready-made Host: named global objects and object factories registered by name.

#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "corvella/platform/variant.h"
#include "corvella/script/engine.h"

namespace corvella::script {

/// A Host whose named items and creatable classes are registered up front. Names and ProgIDs are
/// matched without regard to case.
class BasicHost : public Host {
 public:
  using Factory = std::function<platform::ObjectRef()>;

  /// Makes @p object reachable from scripts as the global @p name.
  void AddNamedItem(std::u16string name, platform::ObjectRef object);
  /// Lets CreateObject(progId) create objects through @p factory.
  void RegisterClass(std::u16string progId, Factory factory);

  platform::ObjectRef NamedItem(std::u16string_view name) override;
  /// Creates an object of a registered class; runtime error 429 for any other ProgID.
  platform::ObjectRef CreateObject(std::u16string_view progId) override;

 private:
  std::vector<std::pair<std::u16string, platform::ObjectRef>> items_;
  std::vector<std::pair<std::u16string, Factory>> classes_;
};

}  // namespace corvella::script
