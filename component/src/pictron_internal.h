#pragma once
// Internal helpers shared by the files that implement Pictron's members.

#include <new>
#include <utility>

#include "corvella/component/pictron.h"
#include "corvella/platform/error.h"

namespace corvella::component {

/// Gives the member implementations access to an object's state record.
struct PictronAccess {
  static PictronState& State(Pictron& object) { return object.state_; }
};

/// Runs the body of a public member: an error raised without a source gets the component's
/// source, and a failed allocation becomes runtime error 7, so that every failure leaves the
/// member as a platform::Error.
template <typename Body>
decltype(auto) AtBoundary(Body&& body) {
  try {
    return std::forward<Body>(body)();
  } catch (platform::Error& error) {
    error.SetSourceIfEmpty(platform::kComponentSource);
    throw;
  } catch (const std::bad_alloc&) {
    platform::Error error = platform::MakeError(platform::RuntimeError::OutOfMemory);
    error.SetSourceIfEmpty(platform::kComponentSource);
    throw error;
  }
}

/// Raises runtime error 5 naming a member whose implementation has not landed yet.
[[noreturn]] void RaiseNotAvailable(const char* member);

/// The decode-on-demand step: makes sure that cDib holds the decoded working image and answers
/// whether one is available (-1) or not (0). Runtime error 9 when no image was ever opened.
platform::VbBool DecodeImage(Pictron& object);

}  // namespace corvella::component
