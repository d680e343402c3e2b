// An X server for the readers' unit tests: it takes one connection on a
// display of its own (the abstract socket xcb tries first) and answers each
// request with the reply the test writes, so that a test can send what no
// real server sends, such as a count that claims more than the reply holds.
// Replies can also be made as xcb hands them over, for readers of one reply.
#pragma once

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace quorvane::x11::test {

// Bytes in the client's order (little-endian, as xcb on this machine asks).
struct Bytes {
  std::vector<std::uint8_t> data;
  Bytes& u8(std::uint32_t v) { return data.push_back(static_cast<std::uint8_t>(v)), *this; }
  Bytes& u16(std::uint32_t v) { return u8(v).u8(v >> 8); }
  Bytes& u32(std::uint32_t v) { return u16(v).u16(v >> 16); }
  Bytes& zeros(std::size_t n) { return data.resize(data.size() + n), *this; }
  // The text, then zeros up to a whole number of words.
  Bytes& text(std::string_view s) {
    data.insert(data.end(), s.begin(), s.end());
    return zeros((4 - s.size() % 4) % 4);
  }
};

struct Request {
  std::uint8_t opcode = 0;
  std::uint8_t data = 0;  // an extension's request number
  std::vector<std::uint8_t> body;  // after the four-byte header
  std::uint32_t word(std::size_t i) const {
    std::uint32_t v = 0;
    if (body.size() >= 4 * i + 4) std::memcpy(&v, body.data() + 4 * i, 4);
    return v;
  }
};

// A reply: its second byte, then everything after its length field (at least
// 24 bytes, a whole number of words); the server fills in the rest.
struct Reply {
  std::uint8_t data = 0;
  Bytes rest;
};

// The whole reply as xcb hands it over (the server sends it so, with its sequence number).
inline std::vector<std::uint8_t> received(const Reply& r, std::uint16_t sequence = 0) {
  Bytes b;
  b.u8(1).u8(r.data).u16(sequence).u32(static_cast<std::uint32_t>(r.rest.data.size() - 24) / 4);
  b.data.insert(b.data.end(), r.rest.data.begin(), r.rest.data.end());
  return b.data;
}

// A GetProperty reply: the value's format and type, the count of items it
// declares, and the bytes it carries.
inline Reply propertyReply(std::uint8_t format, std::uint32_t type, std::uint32_t declared, std::string_view value) {
  return Reply{format, Bytes().u32(type).u32(0).u32(declared).zeros(12).text(value)};
}

class FakeXServer {
 public:
  static constexpr std::uint8_t kQueryExtension = 98;
  static constexpr std::uint8_t kRandr = 140, kXResource = 141;  // the extensions' opcodes here
  static constexpr std::uint32_t kRoot = 0x100;
  static constexpr std::uint32_t kIdMask = 0x1FFFFF;  // a client's resource ids; the bits above name the client

  // Unanswered requests get an error, as from a server that cannot serve them.
  explicit FakeXServer(std::function<std::optional<Reply>(const Request&)> answer) : answer_(std::move(answer)) {
    listener_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    for (int n = 4000 + getpid() % 1000, tries = 0; tries < 200; ++n, ++tries) {
      const std::string path = "/tmp/.X11-unix/X" + std::to_string(n);
      sockaddr_un a{};
      a.sun_family = AF_UNIX;
      path.copy(a.sun_path + 1, sizeof a.sun_path - 2);
      const auto size = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + path.size());
      if (bind(listener_, reinterpret_cast<sockaddr*>(&a), size) == 0 && listen(listener_, 1) == 0) {
        display_ = ":" + std::to_string(n);
        break;
      }
    }
    server_ = std::thread([this] { serve(); });
  }
  ~FakeXServer() {
    shutdown(listener_, SHUT_RDWR);  // wakes an accept still waiting
    if (client_ >= 0) shutdown(client_, SHUT_RDWR);
    server_.join();
    close(listener_);
    if (client_ >= 0) close(client_);
  }
  FakeXServer(const FakeXServer&) = delete;
  FakeXServer& operator=(const FakeXServer&) = delete;

  const std::string& display() const { return display_; }

 private:
  bool readAll(void* to, std::size_t n) {
    auto* p = static_cast<std::uint8_t*>(to);
    while (n > 0) {
      ssize_t r = read(client_, p, n);
      if (r <= 0) return false;
      p += r, n -= static_cast<std::size_t>(r);
    }
    return true;
  }
  void send(const Bytes& b) { (void)!write(client_, b.data.data(), b.data.size()); }

  void serve() {
    client_ = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    std::uint8_t hello[12];
    if (client_ < 0 || !readAll(hello, sizeof hello)) return;
    const std::size_t authName = hello[6] | hello[7] << 8, authData = hello[8] | hello[9] << 8;
    std::vector<std::uint8_t> auth((authName + 3) / 4 * 4 + (authData + 3) / 4 * 4);
    if (!readAll(auth.data(), auth.size())) return;
    // One screen with its root, no pixmap formats, no depths.
    Bytes setup;
    setup.u8(1).u8(0).u16(11).u16(0).u16(19).u32(0).u32(0x400000).u32(kIdMask).u32(0).u16(4).u16(0xFFFF);
    setup.u8(1).u8(0).u8(0).u8(0).u8(32).u8(32).u8(8).u8(255).zeros(4).text("fake");
    setup.u32(kRoot).u32(0x20).u32(0xFFFFFF).u32(0).u32(0).u16(1920).u16(1080).u16(500).u16(300);
    setup.u16(1).u16(1).u32(0x21).u8(0).u8(0).u8(24).u8(0);
    send(setup);
    for (std::uint16_t sequence = 1;; ++sequence) {
      std::uint8_t head[4];
      if (!readAll(head, sizeof head) || (head[2] | head[3]) == 0) return;
      Request request{head[0], head[1], std::vector<std::uint8_t>((head[2] | head[3] << 8) * 4u - 4)};
      if (!readAll(request.body.data(), request.body.size())) return;
      std::optional<Reply> reply = request.opcode == kQueryExtension ? extension(request) : answer_(request);
      Bytes out;
      if (reply) out.data = received(*reply, sequence);
      else out.u8(0).u8(17).u16(sequence).zeros(28);  // BadImplementation
      send(out);
    }
  }

  static std::optional<Reply> extension(const Request& r) {
    const std::string name(r.body.begin() + 4, r.body.begin() + 4 + (r.body[0] | r.body[1] << 8));
    const std::uint8_t opcode = name == "RANDR" ? kRandr : name == "X-Resource" ? kXResource : 0;
    return Reply{0, Bytes().u8(opcode != 0).u8(opcode).u8(0).u8(0).zeros(20)};
  }

  std::function<std::optional<Reply>(const Request&)> answer_;
  int listener_ = -1;
  std::atomic<int> client_ = -1;
  std::string display_;
  std::thread server_;
};

}  // namespace quorvane::x11::test
