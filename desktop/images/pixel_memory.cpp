#include "desktop/images/pixel_memory.h"

#include <cstdint>
#include <new>
#include <sys/mman.h>

namespace quorvane::desktop {

namespace {

std::size_t wholeHugePages(std::size_t bytes) { return (bytes + kHugePage - 1) & ~(kHugePage - 1); }

// Whole huge pages aligned on a huge-page boundary, or nullptr.
void* mapHugePages(std::size_t bytes) {
  std::size_t size = wholeHugePages(bytes);
  void* raw = mmap(nullptr, size + kHugePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (raw == MAP_FAILED) return nullptr;
  auto start = reinterpret_cast<std::uintptr_t>(raw);
  std::uintptr_t aligned = (start + kHugePage - 1) & ~(std::uintptr_t{kHugePage} - 1);
  // Give back the unaligned head and tail; what remains is exactly `size`.
  if (aligned > start) munmap(raw, aligned - start);
  std::uintptr_t tail = aligned + size, end = start + size + kHugePage;
  if (end > tail) munmap(reinterpret_cast<void*>(tail), end - tail);
  // Advice only: where huge pages are off this is ordinary memory.
  madvise(reinterpret_cast<void*>(aligned), size, MADV_HUGEPAGE);
  return reinterpret_cast<void*>(aligned);
}

}  // namespace

std::shared_ptr<std::uint32_t[]> allocatePixels(std::size_t count) {
  if (count > SIZE_MAX / sizeof(std::uint32_t)) return nullptr;
  std::size_t bytes = count * sizeof(std::uint32_t);
  try {
    if (!kPixelsInHugePages || bytes < kHugePage) {
      return std::shared_ptr<std::uint32_t[]>(new (std::nothrow) std::uint32_t[count]);
    }
    auto* p = static_cast<std::uint32_t*>(mapHugePages(bytes));
    if (!p) return nullptr;
    return std::shared_ptr<std::uint32_t[]>(p, [bytes](std::uint32_t* q) { munmap(q, wholeHugePages(bytes)); });
  } catch (const std::bad_alloc&) {
    return nullptr;  // the shared pointer's own control block
  }
}

}  // namespace quorvane::desktop
