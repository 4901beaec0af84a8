#pragma once
/// @file
/// The instruction sets that pixel kernels are built for. Every kernel gives the same bytes at
/// every level; a level only changes the speed. Operations take the level as an argument that
/// defaults to the best one, so that tests can compare the levels with each other. An operation
/// uses the widest kernel it has that does not exceed the level asked for; the levels are ordered,
/// each one including the ones before it.

#include <cstdint>

namespace corvella::imaging {

enum class SimdLevel : uint8_t {
  Portable,  ///< plain C++, on every platform
  Avx2,      ///< x86-64 with AVX2 (GCC or Clang builds, chosen at run time)
  Avx512,    ///< x86-64 with AVX-512 F, BW, VL and VBMI (byte permutes), as Avx2
};

/// Whether kernels of @p level are built in and the processor runs them.
inline bool IsSupported(SimdLevel level) {
#if (defined(__GNUC__) || defined(__clang__)) && defined(__x86_64__)
  static const bool avx2 = __builtin_cpu_supports("avx2");
  static const bool avx512 =
      avx2 && __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
      __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("avx512vbmi");
  switch (level) {
    case SimdLevel::Portable:
      return true;
    case SimdLevel::Avx2:
      return avx2;
    case SimdLevel::Avx512:
      return avx512;
  }
  return false;
#else
  return level == SimdLevel::Portable;
#endif
}

/// The widest supported level.
inline SimdLevel BestSimdLevel() {
  if (IsSupported(SimdLevel::Avx512)) return SimdLevel::Avx512;
  if (IsSupported(SimdLevel::Avx2)) return SimdLevel::Avx2;
  return SimdLevel::Portable;
}

/// True when an operation asked for @p level may use its kernels of level @p kernel.
inline bool MayUse(SimdLevel level, SimdLevel kernel) {
  return level >= kernel && IsSupported(kernel);
}

}  // namespace corvella::imaging
