#include "corvella/imaging/pixel_memory.h"

#include <cstdlib>
#include <utility>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace corvella::imaging {

namespace {

#if defined(__linux__)
// Blocks from this size on are mapped directly and offered huge pages of this alignment.
constexpr size_t kHugePage = size_t{2} << 20;

// Maps @p bytes of zeroed memory starting on a huge-page boundary, or answers nullptr.
uint8_t* MapAligned(size_t bytes) {
  size_t length = bytes + kHugePage;
  void* raw = ::mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (raw == MAP_FAILED) return nullptr;
  auto start = reinterpret_cast<uintptr_t>(raw);
  uintptr_t aligned = (start + kHugePage - 1) & ~(kHugePage - 1);
  // Give back the parts before and after the aligned block.
  if (aligned > start) ::munmap(raw, aligned - start);
  uintptr_t end = start + length;
  uintptr_t blockEnd = aligned + bytes;
  uintptr_t pageEnd = (blockEnd + 4095) & ~uintptr_t{4095};
  if (end > pageEnd) ::munmap(reinterpret_cast<void*>(pageEnd), end - pageEnd);
  ::madvise(reinterpret_cast<void*>(aligned), bytes, MADV_HUGEPAGE);  // a hint; may be refused
  return reinterpret_cast<uint8_t*>(aligned);
}
#endif

}  // namespace

PixelMemory::PixelMemory(size_t bytes) : size_(bytes) {
  if (bytes == 0) return;
  budget_ = platform::CurrentBudget();
  if (budget_ != nullptr) {
    if (!budget_->TryCharge(bytes)) {
      budget_ = nullptr;
      size_ = 0;
      return;
    }
    budget_->Retain();
  }
#if defined(__linux__)
  if (bytes >= kHugePage) {
    data_ = MapAligned(bytes);
    mapped_ = data_ != nullptr;
    if (data_ == nullptr) Uncharge();
    return;
  }
#endif
  data_ = static_cast<uint8_t*>(std::calloc(bytes, 1));
  if (data_ == nullptr) Uncharge();
}

void PixelMemory::Uncharge() {
  if (budget_ != nullptr) {
    budget_->Release(size_);
    budget_->Drop();
    budget_ = nullptr;
  }
  size_ = 0;
}

PixelMemory::~PixelMemory() {
  Release();
}

PixelMemory::PixelMemory(PixelMemory&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)),
      size_(std::exchange(other.size_, 0)),
      mapped_(std::exchange(other.mapped_, false)),
      budget_(std::exchange(other.budget_, nullptr)) {
}

PixelMemory& PixelMemory::operator=(PixelMemory&& other) noexcept {
  if (this != &other) {
    Release();
    data_ = std::exchange(other.data_, nullptr);
    size_ = std::exchange(other.size_, 0);
    mapped_ = std::exchange(other.mapped_, false);
    budget_ = std::exchange(other.budget_, nullptr);
  }
  return *this;
}

void PixelMemory::Release() {
  if (data_ == nullptr) return;
#if defined(__linux__)
  if (mapped_) {
    ::munmap(data_, size_);
  } else {
    std::free(data_);
  }
#else
  std::free(data_);
#endif
  data_ = nullptr;
  Uncharge();
}

}  // namespace corvella::imaging
