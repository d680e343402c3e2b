// A wl_shm buffer of 32-bit pixels in memory we map too: drawn into by us (a
// cover) or copied into by the compositor (a screen frame), and reused.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include <wayland-client.h>

namespace quorvane::wayland {

// A file of `size` bytes in memory, sealed so that no process can change its
// size: a compositor that shrank it would make our next access to the mapping
// fault. -1 when none can be had.
int sealedMemory(std::size_t size);

class ShmBuffer {
 public:
  // nullptr when the memory cannot be had. `format` is a wl_shm format.
  static std::unique_ptr<ShmBuffer> create(wl_shm* shm, std::uint32_t width, std::uint32_t height,
                                           std::uint32_t stride, std::uint32_t format);
  ~ShmBuffer();
  ShmBuffer(const ShmBuffer&) = delete;
  ShmBuffer& operator=(const ShmBuffer&) = delete;

  wl_buffer* buffer() const { return buffer_; }
  std::uint8_t* data() const { return static_cast<std::uint8_t*>(memory_); }
  std::uint32_t width() const { return width_; }
  std::uint32_t height() const { return height_; }
  std::uint32_t stride() const { return stride_; }
  std::uint32_t format() const { return format_; }

 private:
  ShmBuffer() = default;
  wl_buffer* buffer_ = nullptr;
  void* memory_ = nullptr;
  std::size_t size_ = 0;
  std::uint32_t width_ = 0, height_ = 0, stride_ = 0, format_ = 0;
};

}  // namespace quorvane::wayland
