#pragma once
/// @file
/// A one-dimensional array of unsigned bytes with its own bounds, as scripts pass them: the
/// counterpart of a SAFEARRAY of unsigned bytes.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

namespace corvella::platform {

/// An array of bytes with a lower bound and an upper bound. A default-constructed array is
/// unallocated: it has no bounds, and asking for one raises runtime error 9. Copies are deep.
class ByteArray {
 public:
  ByteArray() = default;
  ByteArray(const ByteArray& other);
  ByteArray& operator=(const ByteArray& other);
  ByteArray(ByteArray&& other) noexcept;
  ByteArray& operator=(ByteArray&& other) noexcept;
  ~ByteArray() = default;

  /// An array of @p count zero bytes with indices lowerBound .. lowerBound + count - 1. Runtime
  /// error 6 when the upper bound leaves the 32-bit range, 7 when the memory cannot be had.
  static ByteArray Allocate(size_t count, int32_t lowerBound = 0);
  /// As Allocate, but the contents are left for the caller to overwrite (a file read, a copy).
  static ByteArray AllocateForOverwrite(size_t count, int32_t lowerBound = 0);
  /// A zero-based copy of @p bytes (or with the given lower bound).
  static ByteArray FromBytes(std::span<const uint8_t> bytes, int32_t lowerBound = 0);

  bool IsAllocated() const noexcept { return allocated_; }
  /// The lowest index; runtime error 9 when unallocated.
  int32_t LBound() const;
  /// The highest index (LBound - 1 for an allocated array without elements); runtime error 9
  /// when unallocated.
  int32_t UBound() const;
  /// The number of elements; 0 when unallocated.
  size_t Size() const noexcept { return size_; }

  /// The element at @p index; runtime error 9 outside the bounds or when unallocated.
  uint8_t At(int64_t index) const;
  /// Writes the element at @p index; runtime error 9 outside the bounds or when unallocated.
  void Set(int64_t index, uint8_t value);

  /// The elements in index order (empty when unallocated).
  std::span<const uint8_t> Bytes() const noexcept { return {data_.get(), size_}; }
  std::span<uint8_t> MutableBytes() noexcept { return {data_.get(), size_}; }
  const uint8_t* Data() const noexcept { return data_.get(); }
  uint8_t* Data() noexcept { return data_.get(); }

  /// The same bounds and the same bytes (two unallocated arrays are equal).
  friend bool operator==(const ByteArray& a, const ByteArray& b);

 private:
  std::unique_ptr<uint8_t[]> data_;
  size_t size_ = 0;
  int32_t lowerBound_ = 0;
  bool allocated_ = false;
};

}  // namespace corvella::platform
