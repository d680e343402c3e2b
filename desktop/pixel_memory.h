// Memory for whole pictures. A decoded wallpaper is megabytes that are
// written once, straight away: fresh pages cost more to fault in one 4 KiB
// page at a time than the decoder spends filling them, so large blocks ask
// for transparent huge pages, and elements are not zeroed first.
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>
#include <sys/mman.h>
#include <utility>

namespace quorvane::desktop {

inline constexpr std::size_t kHugePage = std::size_t{2} << 20;

// Under AddressSanitizer every block stays on the heap, where an overrun is caught.
#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool kPixelsInHugePages = false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
inline constexpr bool kPixelsInHugePages = false;
#else
inline constexpr bool kPixelsInHugePages = true;
#endif
#else
inline constexpr bool kPixelsInHugePages = true;
#endif

// Whole huge pages aligned on a huge-page boundary, or nullptr.
inline void* mapHugePages(std::size_t bytes) {
  std::size_t size = (bytes + kHugePage - 1) & ~(kHugePage - 1);
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

inline void unmapHugePages(void* p, std::size_t bytes) {
  munmap(p, (bytes + kHugePage - 1) & ~(kHugePage - 1));
}

template <typename T>
struct PixelAllocator {
  using value_type = T;
  PixelAllocator() = default;
  template <typename U>
  PixelAllocator(const PixelAllocator<U>&) noexcept {}

  T* allocate(std::size_t n) {
    if (n > SIZE_MAX / sizeof(T)) throw std::bad_array_new_length();
    std::size_t bytes = n * sizeof(T);
    if (!kPixelsInHugePages || bytes < kHugePage) return static_cast<T*>(::operator new(bytes));
    void* p = mapHugePages(bytes);
    if (!p) throw std::bad_alloc();
    return static_cast<T*>(p);
  }
  void deallocate(T* p, std::size_t n) noexcept {
    std::size_t bytes = n * sizeof(T);
    if (!kPixelsInHugePages || bytes < kHugePage) {
      ::operator delete(p);
    } else {
      unmapHugePages(p, bytes);
    }
  }
  // Growing the vector leaves new elements as they are: decoders write them all.
  template <typename U>
  void construct(U* p) noexcept {
    ::new (static_cast<void*>(p)) U;
  }
  template <typename U, typename... Args>
  void construct(U* p, Args&&... args) {
    ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
  }
  template <typename U>
  bool operator==(const PixelAllocator<U>&) const noexcept {
    return true;
  }
};

}  // namespace quorvane::desktop
