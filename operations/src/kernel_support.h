#pragma once
// Building blocks shared by the operations' row kernels.
//
// A kernel whose plain loop vectorises well is written once as an always-inline row function;
// thin wrappers compiled for wider instruction sets let the vectoriser use them, and the
// operation picks a wrapper at run time through imaging::SimdLevel (imaging::MayUse). Where the
// vectoriser cannot find the fast form, the kernel is written with intrinsics and tested against
// the portable one bit for bit.

#include "corvella/imaging/image_view.h"
#include "corvella/imaging/simd.h"

#if (defined(__GNUC__) || defined(__clang__)) && defined(__x86_64__)
// GCC 12 warns about the deliberately undefined registers inside the AVX-512 intrinsics.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#include <immintrin.h>
#pragma GCC diagnostic pop
#define CORVELLA_OPERATIONS_AVX2 1
#endif

namespace corvella::operations {

/// The same pixels with the rows in ascending memory order: a top-down view over bottom-up memory
/// turned upside down. Operations whose result does not depend on the vertical direction walk
/// this view, because reading memory upwards is faster than downwards.
inline imaging::ImageView InMemoryOrder(const imaging::ImageView& view) {
  if (view.stride >= 0 || view.Empty()) return view;
  return {view.Row(view.height - 1), view.width, view.height, -view.stride};
}

}  // namespace corvella::operations
