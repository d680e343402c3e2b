#include "common/wayland/shm.h"

#include <cerrno>
#include <fcntl.h>
#include <limits>
#include <sys/mman.h>
#include <unistd.h>

namespace quorvane::wayland {

int sealedMemory(std::size_t size) {
  int fd = memfd_create("quorvane-shm", MFD_CLOEXEC | MFD_ALLOW_SEALING);
  if (fd < 0) return -1;
  int grown;
  do grown = ftruncate(fd, static_cast<off_t>(size));
  while (grown != 0 && errno == EINTR);
  if (grown != 0 || fcntl(fd, F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_SEAL) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

std::unique_ptr<ShmBuffer> ShmBuffer::create(wl_shm* shm, std::uint32_t width, std::uint32_t height,
                                             std::uint32_t stride, std::uint32_t format) {
  // A pool's size is a signed 32-bit number on the wire.
  std::uint64_t size = std::uint64_t{stride} * height;
  if (!shm || width == 0 || height == 0 || stride < std::uint64_t{width} * 4 ||
      size > static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max())) {
    return nullptr;
  }
  int fd = sealedMemory(size);
  if (fd < 0) return nullptr;
  void* memory = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  if (memory == MAP_FAILED) {
    close(fd);
    return nullptr;
  }
  std::unique_ptr<ShmBuffer> b(new ShmBuffer());
  b->memory_ = memory;
  b->size_ = size;
  b->width_ = width;
  b->height_ = height;
  b->stride_ = stride;
  b->format_ = format;
  wl_shm_pool* pool = wl_shm_create_pool(shm, fd, static_cast<std::int32_t>(size));
  b->buffer_ = wl_shm_pool_create_buffer(pool, 0, static_cast<std::int32_t>(width), static_cast<std::int32_t>(height),
                                         static_cast<std::int32_t>(stride), format);
  // The buffer keeps the pool's memory alive in the compositor.
  wl_shm_pool_destroy(pool);
  close(fd);
  return b;
}

ShmBuffer::~ShmBuffer() {
  if (buffer_) wl_buffer_destroy(buffer_);
  if (memory_) munmap(memory_, size_);
}

}  // namespace quorvane::wayland
