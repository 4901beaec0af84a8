#pragma once
/// @file
/// Zeroed memory for pixel buffers. Large blocks come straight from the system, aligned so that
/// they can be backed by huge pages where the system offers them: a 12-megapixel image then costs
/// a few hundred page faults instead of thousands, about half the time of a thumbnail job.

#include <cstddef>
#include <cstdint>

#include "corvella/platform/run_limits.h"

namespace corvella::imaging {

/// An owned, zero-filled block of pixel memory; empty when the memory could not be had, or when it
/// would pass the memory budget of the job running on this thread (which it is counted against
/// until it is freed).
class PixelMemory {
 public:
  PixelMemory() = default;
  /// @p bytes zero bytes (none for 0); Data() is nullptr when the memory is short.
  explicit PixelMemory(size_t bytes);
  ~PixelMemory();
  PixelMemory(PixelMemory&& other) noexcept;
  PixelMemory& operator=(PixelMemory&& other) noexcept;
  PixelMemory(const PixelMemory&) = delete;
  PixelMemory& operator=(const PixelMemory&) = delete;

  uint8_t* Data() const { return data_; }
  size_t Size() const { return size_; }

 private:
  void Release();
  void Uncharge();

  uint8_t* data_ = nullptr;
  size_t size_ = 0;
  bool mapped_ = false;  // from the system's page allocator, not the heap
  platform::MemoryBudget* budget_ = nullptr;  // the account it is counted against
};

}  // namespace corvella::imaging
