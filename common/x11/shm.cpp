#include "common/x11/shm.h"

#include <cstdlib>
#include <cstring>
#include <random>

#include <sys/ipc.h>
#include <sys/shm.h>
#include <sys/socket.h>

namespace quorvane::x11 {

bool canShareMemory(const Connection& c) {
  if (!c.hasExtension(&xcb_shm_id)) return false;
  // A server reached over TCP cannot see our segments even when it answers.
  sockaddr_storage address{};
  socklen_t length = sizeof address;
  return getsockname(xcb_get_file_descriptor(c.get()), reinterpret_cast<sockaddr*>(&address), &length) == 0 &&
         address.ss_family == AF_UNIX;
}

std::unique_ptr<ShmSegment> ShmSegment::create(const Connection& c, std::size_t size) {
  if (size == 0 || !canShareMemory(c)) return nullptr;
  int shmid = shmget(IPC_PRIVATE, size, IPC_CREAT | 0600);
  if (shmid < 0) return nullptr;
  void* address = shmat(shmid, nullptr, 0);
  // Marked for removal at once, so that it cannot outlive us even if we are
  // killed before the server answers: Linux still lets the server attach it
  // while we hold it.
  shmctl(shmid, IPC_RMID, nullptr);
  if (address == reinterpret_cast<void*>(-1)) return nullptr;
  xcb_shm_seg_t id = xcb_generate_id(c.get());
  // Writable: a pixmap cannot be made of a read-only segment.
  xcb_void_cookie_t attach = xcb_shm_attach_checked(c.get(), id, static_cast<std::uint32_t>(shmid), 0);
  return std::unique_ptr<ShmSegment>(new ShmSegment(c, static_cast<std::uint8_t*>(address), size, id, attach));
}

bool ShmSegment::attached() {
  if (!data_) return false;
  if (!checked_) {
    checked_ = true;
    xcb_generic_error_t* error = xcb_request_check(c_, attach_);
    attached_ = error == nullptr;
    std::free(error);
    if (attached_ && !sameMemory()) {
      xcb_shm_detach(c_, id_);
      attached_ = false;
    }
  }
  return attached_;
}

bool ShmSegment::sameMemory() {
  // Two pixels of a pattern no picture is likely to hold at that spot, read
  // back through a pixmap made of the segment; the caller's bytes are put back.
  constexpr std::size_t kBytes = 8;
  if (size_ < kBytes || screen_->root_depth < 24) return false;
  std::uint8_t saved[kBytes];
  std::memcpy(saved, data_, kBytes);
  std::random_device random;
  std::uint32_t pattern[2] = {random(), ~random()};
  std::memcpy(data_, pattern, kBytes);
  xcb_pixmap_t pixmap = xcb_generate_id(c_);
  xcb_shm_create_pixmap(c_, pixmap, screen_->root, 2, 1, screen_->root_depth, id_, 0);
  Reply<xcb_get_image_reply_t> image(xcb_get_image_reply(
      c_, xcb_get_image(c_, XCB_IMAGE_FORMAT_Z_PIXMAP, pixmap, 0, 0, 2, 1, ~0u), nullptr));
  xcb_free_pixmap(c_, pixmap);
  bool same = false;
  if (image && xcb_get_image_data_length(image.get()) >= static_cast<int>(kBytes)) {
    const std::uint8_t* seen = xcb_get_image_data(image.get());
    const auto* wrote = reinterpret_cast<const std::uint8_t*>(pattern);
    // Depth 24 keeps three bytes of each 32-bit pixel, the low ones.
    std::size_t low = xcb_get_setup(c_)->image_byte_order == XCB_IMAGE_ORDER_MSB_FIRST ? 1 : 0;
    same = std::memcmp(seen + low, wrote + low, 3) == 0 && std::memcmp(seen + 4 + low, wrote + 4 + low, 3) == 0;
  }
  std::memcpy(data_, saved, kBytes);
  return same;
}

void ShmSegment::release() {
  if (!data_) return;
  if (attached()) xcb_shm_detach(c_, id_);
  shmdt(data_);
  data_ = nullptr;
  xcb_flush(c_);
}

ShmSegment::~ShmSegment() { release(); }

}  // namespace quorvane::x11
