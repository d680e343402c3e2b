#include "common/x11/shm.h"

#include <cstdlib>

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
  return std::unique_ptr<ShmSegment>(new ShmSegment(c.get(), static_cast<std::uint8_t*>(address), size, id, attach));
}

bool ShmSegment::attached() {
  if (!data_) return false;
  if (!checked_) {
    checked_ = true;
    xcb_generic_error_t* error = xcb_request_check(c_, attach_);
    attached_ = error == nullptr;
    std::free(error);
  }
  return attached_;
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
