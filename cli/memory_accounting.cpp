// The program's allocation functions, counting every heap block against the budget of the job
// that allocated it (see run_limits.h). Each block carries a small header naming its budget and
// size, so that it is taken off the right account when it is freed, on any thread, at any time.
// Part of the command only: libraries and their tests keep the standard allocation functions.

#include <cstdlib>
#include <new>

#include "corvella/platform/run_limits.h"

namespace corvella::platform {

namespace {

struct alignas(16) Header {
  MemoryBudget* budget;
  size_t size;
};
static_assert(sizeof(Header) == 16);

void* Allocate(size_t size) noexcept {
  MemoryBudget* budget = CurrentBudget();
  if (budget != nullptr && !budget->TryCharge(size)) return nullptr;
  void* raw = std::malloc(size + sizeof(Header));
  if (raw == nullptr) {
    if (budget != nullptr) budget->Release(size);
    return nullptr;
  }
  if (budget != nullptr) budget->Retain();
  auto* header = static_cast<Header*>(raw);
  header->budget = budget;
  header->size = size;
  return header + 1;
}

void Free(void* block) noexcept {
  if (block == nullptr) return;
  Header* header = static_cast<Header*>(block) - 1;
  if (MemoryBudget* budget = header->budget) {
    budget->Release(header->size);
    budget->Drop();
  }
  std::free(header);
}

void* AllocateOrThrow(size_t size) {
  void* block = Allocate(size);
  if (block == nullptr) throw std::bad_alloc();
  return block;
}

}  // namespace

}  // namespace corvella::platform

using corvella::platform::Allocate;
using corvella::platform::AllocateOrThrow;
using corvella::platform::Free;

void* operator new(std::size_t size) {
  return AllocateOrThrow(size);
}
void* operator new[](std::size_t size) {
  return AllocateOrThrow(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  return Allocate(size);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  return Allocate(size);
}
void operator delete(void* block) noexcept {
  Free(block);
}
void operator delete[](void* block) noexcept {
  Free(block);
}
void operator delete(void* block, std::size_t) noexcept {
  Free(block);
}
void operator delete[](void* block, std::size_t) noexcept {
  Free(block);
}
void operator delete(void* block, const std::nothrow_t&) noexcept {
  Free(block);
}
void operator delete[](void* block, const std::nothrow_t&) noexcept {
  Free(block);
}
