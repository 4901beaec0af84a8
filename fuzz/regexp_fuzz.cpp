// Fuzz target of the regular expression object: patterns and subjects come from strangers. The
// input's first byte holds the flags (IgnoreCase, Global, Multiline), the second where the
// pattern ends; the rest is UTF-16LE text, pattern first. Every call must answer or raise one of
// the documented errors; nothing may crash, hang or grow without bound.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <iterator>
#include <string>

#include "corvella/platform/dispatch.h"
#include "corvella/platform/error.h"
#include "corvella/script/regexp.h"

namespace {

using corvella::platform::Variant;

bool Documented(const corvella::platform::Error& error) {
  static constexpr uint32_t kNumbers[] = {5, 7, 28, 5017, 5018, 5019, 5020, 5021};
  return std::ranges::find(kNumbers, static_cast<uint32_t>(error.Number()) & 0xFFFF) !=
         std::end(kNumbers);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2 || size > 8192) return 0;
  uint8_t flags = data[0];
  std::u16string text;
  for (size_t i = 2; i + 1 < size; i += 2)
    text += static_cast<char16_t>(data[i] | data[i + 1] << 8);
  size_t split = text.empty() ? 0 : data[1] % (text.size() + 1);
  std::u16string pattern = text.substr(0, split);
  std::u16string subject = text.substr(split);

  auto regexp = corvella::script::CreateRegExp();
  try {
    corvella::platform::PutProperty(regexp, u"Pattern", Variant(pattern));
    corvella::platform::PutProperty(regexp, u"IgnoreCase", Variant::Bool(flags & 1));
    corvella::platform::PutProperty(regexp, u"Global", Variant::Bool(flags & 2));
    corvella::platform::PutProperty(regexp, u"Multiline", Variant::Bool(flags & 4));
    corvella::platform::CallMethod(regexp, u"Test", {Variant(subject)});
    Variant matches = corvella::platform::CallMethod(regexp, u"Execute", {Variant(subject)});
    for (Variant& match : matches.AsObject()->Enumerate()) {
      int32_t first = corvella::platform::GetProperty(match.AsObject(), u"FirstIndex").ToI4();
      int32_t length = corvella::platform::GetProperty(match.AsObject(), u"Length").ToI4();
      std::u16string value = corvella::platform::GetProperty(match.AsObject(), u"Value").ToBStr();
      if (first < 0 || static_cast<size_t>(first) + static_cast<size_t>(length) > subject.size() ||
          subject.compare(static_cast<size_t>(first), static_cast<size_t>(length), value) != 0) {
        std::abort();
      }
      Variant groups = corvella::platform::GetProperty(match.AsObject(), u"SubMatches");
      groups.AsObject()->Enumerate();
    }
    corvella::platform::CallMethod(regexp, u"Replace",
                                   {Variant(subject), Variant(u"[$1$&$`$'$$$99]")});
  } catch (const corvella::platform::Error& error) {
    if (!Documented(error)) std::abort();
  }
  return 0;
}
