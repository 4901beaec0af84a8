// Lifecycle, properties and late-bound access of Pictron.

#include "corvella/component/pictron.h"

#include <atomic>

#include "corvella/component/member_table.h"
#include "corvella/platform/checked.h"
#include "pictron_internal.h"

namespace corvella::component {

using platform::Variant;
using platform::VbBool;

namespace {

std::atomic<int64_t> liveObjects{0};

}  // namespace

int64_t LivePictronCount() {
  return liveObjects.load();
}

Pictron::Pictron() {
  ++liveObjects;
}

Pictron::~Pictron() {
  --liveObjects;
}

platform::DispId Pictron::GetIdOfName(std::u16string_view name) const {
  return platform::FindDispId(PictronMembers(), name);
}

Variant Pictron::Invoke(platform::DispId id, platform::InvokeKind kind, std::span<Variant> args) {
  return AtBoundary([&] {
    std::span<const PictronMember> table = PictronMembers();
    const PictronMember* member = platform::FindMember(table, id, kind);
    if (member == nullptr) {
      bool known = false;
      for (const PictronMember& m : table)
        known = known || m.info.dispid == id;
      // A known DISPID invoked the wrong way (a let on a read-only property) is an invalid
      // property assignment; an unknown one is a member the object does not have.
      platform::Raise(known ? platform::RuntimeError::WrongArgumentCount
                            : platform::RuntimeError::MemberNotFound);
    }
    return platform::InvokeMember(member->info, args,
                                  [&](platform::CallArgs& a) { return member->handler(*this, a); });
  });
}

VbBoolean Pictron::FontBold() const {
  return platform::ToVbBool(state_.intFontWeight != 400);
}

void Pictron::SetFontBold(VbBoolean blValue) {
  state_.intFontWeight = blValue != 0 ? 700 : 400;
}

void Pictron::SetFontColor(const std::u16string& strValue) {
  state_.strFontColor = strValue.size() == 6 ? strValue : u"000000";
}

void Pictron::Quality(int16_t intValue) {
  state_.intQuality = intValue;
  AtBoundary([&] { DecodeImage(*this); });
}

std::u16string Pictron::StripNulls(const std::u16string& OriginalStr) {
  return AtBoundary([&] {
    int16_t i = platform::checked::ToInt16(static_cast<int64_t>(OriginalStr.size()));
    while (i > 0 && OriginalStr[i - 1] == u'\0')
      --i;
    // An odd count keeps the string as it came, trailing zeros included.
    if (i % 2 != 0) return OriginalStr;
    return OriginalStr.substr(0, i);
  });
}

}  // namespace corvella::component
