#pragma once
/// @file
/// The instruction sets that pixel kernels are built for. Every kernel gives the same bytes at
/// every level; a level only changes the speed. Operations take the level as an argument that
/// defaults to the best one, so that tests can compare the levels with each other.

#include <cstdint>

namespace corvella::imaging {

enum class SimdLevel : uint8_t {
  Portable,  ///< plain C++, on every platform
  Avx2,      ///< x86-64 with AVX2, built with GCC or Clang and chosen at run time
};

/// Whether kernels of @p level are built in and the processor runs them.
inline bool IsSupported(SimdLevel level) {
  if (level == SimdLevel::Portable) return true;
#if (defined(__GNUC__) || defined(__clang__)) && defined(__x86_64__)
  static const bool avx2 = __builtin_cpu_supports("avx2");
  return avx2;
#else
  return false;
#endif
}

/// The widest supported level.
inline SimdLevel BestSimdLevel() {
  return IsSupported(SimdLevel::Avx2) ? SimdLevel::Avx2 : SimdLevel::Portable;
}

}  // namespace corvella::imaging
