#include "corvella/platform/dispatch.h"

#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <vector>

#include "support/errors.h"

namespace corvella::platform {
namespace {

using testing::ErrorNumberOf;
using testing::Runtime;

// A small scriptable object described by a member table, to exercise the generic invocation.
class Counter : public Dispatchable {
 public:
  struct Member {
    MemberInfo info;
    Variant (*handler)(Counter&, CallArgs&);
  };

  DispId GetIdOfName(std::u16string_view name) const override {
    return FindDispId(std::span<const Member>(kMembers), name);
  }

  Variant Invoke(DispId id, InvokeKind kind, std::span<Variant> args) override {
    const Member* member = FindMember(std::span<const Member>(kMembers), id, kind);
    if (member == nullptr) Raise(RuntimeError::MemberNotFound);
    return InvokeMember(member->info, args, [&](CallArgs& a) { return member->handler(*this, a); });
  }

  int32_t total = 0;
  Variant lastOption;

 private:
  static constexpr ParamInfo kAddParams[] = {{"lngValue", ParamType::I4, kInOut},
                                             {"intStep", ParamType::I2, kIn},
                                             {"varOption", ParamType::Variant, kInOut | kOptional}};
  static constexpr ParamInfo kTotalParams[] = {{"lngValue", ParamType::I4, kIn}};
  static const std::array<Member, 3> kMembers;
};

const std::array<Counter::Member, 3> Counter::kMembers = {{
    // Add(lngValue, intStep, [varOption]): adds lngValue to the total, then writes
    // lngValue + intStep back; raises overflow after the write when the step is 99.
    {{1, "Add", InvokeKind::Method, 10, kAddParams, ParamType::I4},
     [](Counter& c, CallArgs& a) -> Variant {
       c.total += a.I4(0);
       c.lastOption = a.Var(2);
       if (a.I2(1) != 0) a.I4(0) += a.I2(1);
       if (a.I2(1) == 99) Raise(RuntimeError::Overflow);
       if (a.Var(2).IsString()) a.Var(2) = Variant(u"seen");
       return c.total;
     }},
    {{2, "Total", InvokeKind::PropertyGet, 11, {}, ParamType::I4},
     [](Counter& c, CallArgs&) -> Variant { return c.total; }},
    {{3, "Total", InvokeKind::PropertyPut, 11, kTotalParams, ParamType::None},
     [](Counter& c, CallArgs& a) -> Variant {
       c.total = a.I4(0);
       return {};
     }},
}};

TEST(Dispatch, NamesAreFoundWithoutRegardToCase) {
  auto counter = std::make_shared<Counter>();
  EXPECT_EQ(counter->GetIdOfName(u"add"), 10);
  EXPECT_EQ(counter->GetIdOfName(u"TOTAL"), 11);
  EXPECT_EQ(counter->GetIdOfName(u"Nothing"), kDispIdUnknown);
  ObjectRef object = counter;
  PutProperty(object, u"total", Variant(u"41"));  // a numeric string is coerced
  EXPECT_EQ(GetProperty(object, u"Total"), Variant(41));
  EXPECT_EQ(ErrorNumberOf([&] { GetProperty(object, u"Missing"); }), Runtime(438));
  EXPECT_EQ(ErrorNumberOf([] { GetProperty(ObjectRef(), u"Total"); }), Runtime(91));
}

TEST(Dispatch, InOutArgumentsAreWrittenBackOnlyWhenChanged) {
  ObjectRef object = std::make_shared<Counter>();
  // Unchanged: the caller's string stays a string.
  std::vector<Variant> args = {Variant(u"200"), Variant(0)};
  EXPECT_EQ(InvokeByName(object, u"Add", InvokeKind::Method, args), Variant(200));
  EXPECT_EQ(args[0], Variant(u"200"));
  // Changed: the new value comes back with the declared type.
  args = {Variant(u"200"), Variant(5)};
  InvokeByName(object, u"Add", InvokeKind::Method, args);
  EXPECT_EQ(args[0], Variant(205));
  // A by-value argument is never written back, and a Variant in/out slot is the caller's own.
  args = {Variant(1), Variant(int16_t{2}), Variant(u"x")};
  InvokeByName(object, u"Add", InvokeKind::Method, args);
  EXPECT_EQ(args[1], Variant(int16_t{2}));
  EXPECT_EQ(args[2], Variant(u"seen"));
  // A member that raises after writing still leaves its write in the caller's slot.
  args = {Variant(1), Variant(99)};
  EXPECT_EQ(ErrorNumberOf([&] { InvokeByName(object, u"Add", InvokeKind::Method, args); }),
            Runtime(6));
  EXPECT_EQ(args[0], Variant(100));
}

TEST(Dispatch, OmittedAndSurplusArgumentsAndCoercionErrors) {
  auto counter = std::make_shared<Counter>();
  ObjectRef object = counter;
  std::vector<Variant> args = {Variant(1), Variant(0)};
  InvokeByName(object, u"Add", InvokeKind::Method, args);
  EXPECT_TRUE(counter->lastOption.IsMissing());
  args = {Variant(1), Variant(0), Variant::Missing()};
  InvokeByName(object, u"Add", InvokeKind::Method, args);
  EXPECT_TRUE(counter->lastOption.IsMissing());

  args = {Variant(1)};
  EXPECT_EQ(ErrorNumberOf([&] { InvokeByName(object, u"Add", InvokeKind::Method, args); }),
            Runtime(449));
  args = {Variant(1), Variant(0), Variant(), Variant()};
  EXPECT_EQ(ErrorNumberOf([&] { InvokeByName(object, u"Add", InvokeKind::Method, args); }),
            Runtime(450));
  args = {Variant(u"abc"), Variant(0)};
  EXPECT_EQ(ErrorNumberOf([&] { InvokeByName(object, u"Add", InvokeKind::Method, args); }),
            Runtime(13));
  args = {Variant(1), Variant(40000)};
  EXPECT_EQ(ErrorNumberOf([&] { InvokeByName(object, u"Add", InvokeKind::Method, args); }),
            Runtime(6));
  // Method and property get may be asked for together, as script engines do.
  EXPECT_EQ(InvokeByName(object, u"Total", InvokeKind::Method | InvokeKind::PropertyGet),
            Variant(counter->total));
}

}  // namespace
}  // namespace corvella::platform
