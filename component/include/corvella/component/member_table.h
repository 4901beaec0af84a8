#pragma once
/// @file
/// The member table of Pictron's dual interface: all 47 members in slot order, each with its
/// DISPID, kind, parameters and result, and the handler that invokes it on an object.

#include <span>

#include "corvella/platform/dispatch.h"

namespace corvella::component {

class Pictron;

/// One member of the interface and the function that calls it with coerced arguments.
struct PictronMember {
  platform::MemberInfo info;
  platform::Variant (*handler)(Pictron&, platform::CallArgs&);
};

/// The 47 members in slot order (a property's get and let are separate rows sharing a DISPID).
std::span<const PictronMember> PictronMembers();

/// The interface's name, as the type library gives it.
inline constexpr const char* kInterfaceName = "_Pictron";

}  // namespace corvella::component
