// Late-bound access to Pictron: arguments are checked against the table before the member runs.
// The table itself (names, DISPIDs, kinds) is pinned by members.expected, checked against the
// type library (members.cmake); case-blind names and coercion are the dispatch tests'; the
// properties from a script are the acceptance script properties.vbs.

#include "corvella/component/member_table.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "corvella/component/pictron.h"
#include "support/errors.h"

namespace corvella::component {
namespace {

using platform::InvokeKind;
using platform::Variant;
using testing::ErrorNumberOf;
using testing::Runtime;

TEST(MemberTable, ArgumentsAreCheckedBeforeTheMemberRuns) {
  platform::ObjectRef object = std::make_shared<Pictron>();
  std::vector<Variant> args = {Variant(100)};
  EXPECT_EQ(
      ErrorNumberOf([&] { platform::InvokeByName(object, u"Resample", InvokeKind::Method, args); }),
      Runtime(449));
  args = {Variant(0), Variant(0), Variant(u"x"), Variant(1)};
  EXPECT_EQ(
      ErrorNumberOf([&] { platform::InvokeByName(object, u"Crop", InvokeKind::Method, args); }),
      Runtime(13));
  args = {Variant(u"not an array")};
  EXPECT_EQ(ErrorNumberOf(
                [&] { platform::InvokeByName(object, u"OpenBinary", InvokeKind::Method, args); }),
            Runtime(13));
  // The member itself then runs: with every argument valid, no image means runtime error 9.
  args = {Variant(100), Variant(u"0")};
  auto error = testing::ErrorOf(
      [&] { platform::InvokeByName(object, u"Resample", InvokeKind::Method, args); });
  ASSERT_TRUE(error);
  EXPECT_EQ(error->Number(), Runtime(9));
  EXPECT_EQ(error->Source(), "Corvella.Pictron");
  EXPECT_EQ(args[1], Variant(u"0"));  // unchanged, so not written back
}

}  // namespace
}  // namespace corvella::component
