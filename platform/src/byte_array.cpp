#include "corvella/platform/byte_array.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>
#include <utility>

#include "corvella/platform/error.h"

namespace corvella::platform {

namespace {

void CheckBounds(size_t count, int32_t lowerBound) {
  // The upper bound lowerBound + count - 1 must be a 32-bit index.
  if (static_cast<int64_t>(count) - 1 + lowerBound > std::numeric_limits<int32_t>::max()) {
    Raise(RuntimeError::Overflow);
  }
}

}  // namespace

ByteArray::ByteArray(const ByteArray& other)
    : size_(other.size_), lowerBound_(other.lowerBound_), allocated_(other.allocated_) {
  if (other.size_ > 0) {
    data_.reset(new (std::nothrow) uint8_t[other.size_]);
    if (!data_) Raise(RuntimeError::OutOfMemory);
    std::memcpy(data_.get(), other.data_.get(), other.size_);
  }
}

ByteArray& ByteArray::operator=(const ByteArray& other) {
  if (this != &other) {
    ByteArray copy(other);
    *this = std::move(copy);
  }
  return *this;
}

ByteArray::ByteArray(ByteArray&& other) noexcept
    : data_(std::move(other.data_)),
      size_(std::exchange(other.size_, 0)),
      lowerBound_(std::exchange(other.lowerBound_, 0)),
      allocated_(std::exchange(other.allocated_, false)) {
}

ByteArray& ByteArray::operator=(ByteArray&& other) noexcept {
  data_ = std::move(other.data_);
  size_ = std::exchange(other.size_, 0);
  lowerBound_ = std::exchange(other.lowerBound_, 0);
  allocated_ = std::exchange(other.allocated_, false);
  return *this;
}

ByteArray ByteArray::AllocateForOverwrite(size_t count, int32_t lowerBound) {
  CheckBounds(count, lowerBound);
  ByteArray array;
  if (count > 0) {
    array.data_.reset(new (std::nothrow) uint8_t[count]);
    if (!array.data_) Raise(RuntimeError::OutOfMemory);
  }
  array.size_ = count;
  array.lowerBound_ = lowerBound;
  array.allocated_ = true;
  return array;
}

ByteArray ByteArray::Allocate(size_t count, int32_t lowerBound) {
  ByteArray array = AllocateForOverwrite(count, lowerBound);
  if (count > 0) std::memset(array.data_.get(), 0, count);
  return array;
}

ByteArray ByteArray::FromBytes(std::span<const uint8_t> bytes, int32_t lowerBound) {
  ByteArray array = AllocateForOverwrite(bytes.size(), lowerBound);
  if (!bytes.empty()) std::memcpy(array.data_.get(), bytes.data(), bytes.size());
  return array;
}

int32_t ByteArray::LBound() const {
  if (!allocated_) Raise(RuntimeError::SubscriptOutOfRange);
  return lowerBound_;
}

int32_t ByteArray::UBound() const {
  if (!allocated_) Raise(RuntimeError::SubscriptOutOfRange);
  return static_cast<int32_t>(static_cast<int64_t>(lowerBound_) + static_cast<int64_t>(size_) - 1);
}

uint8_t ByteArray::At(int64_t index) const {
  int64_t offset = index - lowerBound_;
  if (!allocated_ || offset < 0 || offset >= static_cast<int64_t>(size_)) {
    Raise(RuntimeError::SubscriptOutOfRange);
  }
  return data_[static_cast<size_t>(offset)];
}

void ByteArray::Set(int64_t index, uint8_t value) {
  int64_t offset = index - lowerBound_;
  if (!allocated_ || offset < 0 || offset >= static_cast<int64_t>(size_)) {
    Raise(RuntimeError::SubscriptOutOfRange);
  }
  data_[static_cast<size_t>(offset)] = value;
}

bool operator==(const ByteArray& a, const ByteArray& b) {
  if (a.allocated_ != b.allocated_) return false;
  if (!a.allocated_) return true;
  return a.lowerBound_ == b.lowerBound_ && a.size_ == b.size_ &&
         std::equal(a.Bytes().begin(), a.Bytes().end(), b.Bytes().begin());
}

}  // namespace corvella::platform
