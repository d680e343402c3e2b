// Memory shared with the X server through MIT-SHM: pixels go to and from the
// server without passing through the socket.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include <xcb/shm.h>

#include "common/x11/connection.h"

namespace quorvane::x11 {

// Whether shared memory can work at all: the extension is there and the server
// runs on this machine (a local socket).
bool canShareMemory(const Connection& c);

class ShmSegment {
 public:
  // Makes a segment of `size` bytes and asks the server to attach it; the
  // answer is awaited by attached(), so the memory can be filled meanwhile.
  // nullptr when memory cannot be shared or the segment cannot be made.
  static std::unique_ptr<ShmSegment> create(const Connection& c, std::size_t size);
  ~ShmSegment();
  ShmSegment(const ShmSegment&) = delete;
  ShmSegment& operator=(const ShmSegment&) = delete;

  std::uint8_t* data() const { return data_; }
  std::size_t size() const { return size_; }
  xcb_shm_seg_t id() const { return id_; }
  // Whether the server attached it and sees the same memory as we do (waits
  // for its answers the first time). A server in another IPC namespace takes
  // our segment's number for one of its own: its attach succeeds on the
  // wrong memory, so what it reads back is compared with what we wrote.
  bool attached();
  // Lets go of the memory on both sides now; pixmaps made of it keep it alive.
  void release();

 private:
  ShmSegment(const Connection& c, std::uint8_t* data, std::size_t size, xcb_shm_seg_t id,
             xcb_void_cookie_t attach)
      : c_(c.get()), screen_(c.screen()), data_(data), size_(size), id_(id), attach_(attach) {}
  bool sameMemory();

  xcb_connection_t* c_;
  xcb_screen_t* screen_;
  std::uint8_t* data_;
  std::size_t size_;
  xcb_shm_seg_t id_;
  xcb_void_cookie_t attach_;
  bool checked_ = false;
  bool attached_ = false;
};

}  // namespace quorvane::x11
