#pragma once
// Helpers for checking the errors that members raise.

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "corvella/platform/error.h"

namespace corvella::testing {

/// Runs @p body and answers the error it raised, or nothing when it returned.
template <typename Body>
std::optional<platform::Error> ErrorOf(Body&& body) {
  try {
    body();
  } catch (const platform::Error& error) {
    return error;
  }
  return std::nullopt;
}

/// The number of the error that @p body raised, or 0 when it returned.
template <typename Body>
int32_t ErrorNumberOf(Body&& body) {
  auto error = ErrorOf(std::forward<Body>(body));
  return error ? error->Number() : 0;
}

/// The number scripts see for runtime error n.
inline int32_t Runtime(int n) {
  return static_cast<int32_t>(0x800A0000u + static_cast<uint32_t>(n));
}

/// The number scripts see for component error code n.
inline int32_t Component(int code) {
  return static_cast<int32_t>(0x80040000u + static_cast<uint32_t>(code));
}

}  // namespace corvella::testing
