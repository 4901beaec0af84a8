#include "corvella/component/class_factory.h"

#include <atomic>
#include <cstdio>

#include "corvella/platform/error.h"
#include "corvella/platform/text.h"

namespace corvella::component {

namespace {

// Locks taken on the factory by hosts; the only module-wide counter besides the live objects.
std::atomic<int64_t> serverLocks{0};

}  // namespace

std::string Guid::ToString() const {
  char text[40];
  std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", data1,
                data2, data3, data4[0], data4[1], data4[2], data4[3], data4[4], data4[5], data4[6],
                data4[7]);
  return text;
}

const char* Version() {
  return CORVELLA_VERSION;
}

std::shared_ptr<Pictron> ClassFactory::CreateInstance() const {
  return std::make_shared<Pictron>();
}

void ClassFactory::LockServer(bool lock) const {
  if (lock) {
    ++serverLocks;
  } else {
    --serverLocks;
  }
}

HResult DllGetClassObject(const Guid& clsid, std::shared_ptr<ClassFactory>& factory) {
  factory.reset();
  if (!(clsid == kClsidPictron)) return kClassNotAvailable;
  factory = std::make_shared<ClassFactory>();
  return kOk;
}

HResult DllCanUnloadNow() {
  return LivePictronCount() == 0 && serverLocks.load() == 0 ? kOk : kFalse;
}

platform::ObjectRef CreateObject(std::u16string_view progId) {
  if (!platform::EqualsNoCase(progId, "Corvella.Pictron")) {
    platform::Raise(platform::RuntimeError::CannotCreateObject, platform::WideToUtf8(progId));
  }
  return ClassFactory().CreateInstance();
}

}  // namespace corvella::component
