// Fuzz target of the script engine: arbitrary bytes are decoded as script text, compiled and,
// when they compile, run with a small step budget and tight limits. A syntax error must come
// back as an error, a runtime error as a result; nothing may crash, hang or exhaust memory.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <ostream>
#include <span>
#include <vector>

#include "corvella/platform/dispatch.h"
#include "corvella/platform/error.h"
#include "corvella/script/engine.h"
#include "corvella/script/host.h"
#include "corvella/script/wscript.h"

namespace {

using corvella::platform::DispId;
using corvella::platform::InvokeKind;
using corvella::platform::Variant;

// An object with a by-reference method, a property, a default member and a byte array, so that
// fuzzed scripts reach the argument and write-back paths.
class Probe final : public corvella::platform::Dispatchable {
 public:
  DispId GetIdOfName(std::u16string_view name) const override {
    if (name.size() == 4 && (name[0] | 0x20) == u'b') return 1;  // Bump
    if (name.size() == 5 && (name[0] | 0x20) == u'b') return 2;  // Bytes
    if (name.size() == 4 && (name[0] | 0x20) == u'n') return 3;  // Name
    return name.empty() ? corvella::platform::kDispIdUnknown : 0;
  }
  Variant Invoke(DispId id, InvokeKind kind, std::span<Variant> args) override {
    switch (id) {
      case 1:
        for (Variant& arg : args)
          arg = Variant(arg.ToI4() / 2 + 1);
        return Variant(static_cast<int32_t>(args.size()));
      case 2: {
        const uint8_t bytes[] = {0, 1, 127, 128, 255};
        return Variant(corvella::platform::ByteArray::FromBytes(bytes));
      }
      case 3:
        if (corvella::platform::HasKind(kind, InvokeKind::PropertyPut) && !args.empty()) {
          name_ = args.back();
          return {};
        }
        return name_;
      default:
        return Variant(int32_t{7});
    }
  }
  std::u16string TypeName() const override { return u"Probe"; }

 private:
  Variant name_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::u16string source = corvella::script::DecodeScriptText(std::span<const uint8_t>(data, size));
  corvella::script::CompileResult compiled = corvella::script::Compile(source);
  if (!compiled.program) return 0;
  std::ostream nowhere(nullptr);
  corvella::script::BasicHost host;
  host.AddNamedItem(u"WScript",
                    std::make_shared<corvella::script::WScriptObject>(
                        nowhere, nowhere, std::vector<std::u16string>{u"a", u"1"}, u"fuzz.vbs"));
  host.AddNamedItem(u"Probe", std::make_shared<Probe>());
  host.RegisterClass(u"Fuzz.Probe", [] { return std::make_shared<Probe>(); });
  corvella::script::RunOptions options;
  options.maxSteps = 5000;
  options.maxStackBytes = 256 * 1024;
  options.maxStringLength = 4096;
  options.maxArrayElements = 1024;
  corvella::script::Run(*compiled.program, host, options);
  return 0;
}
