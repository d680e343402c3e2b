// libwayland-client, which this test (like the programs) does not link, is
// loaded on the first call; the requests the generated code sends reach the
// wire argument for argument, whatever their types.
#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <sys/mman.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

#include <wayland-client.h>

#include <gtest/gtest.h>

#include "common/wayland/interfaces.h"
#include "common/wayland/protocols/fake-input-client.h"
#include "common/wayland/protocols/kde-output-order-v1-client.h"
#include "common/wayland/protocols/plasma-shell-client.h"
#include "common/wayland/protocols/plasma-window-management-client.h"
#include "common/wayland/protocols/wlr-layer-shell-unstable-v1-client.h"
#include "common/wayland/protocols/wlr-screencopy-unstable-v1-client.h"
#include "common/wayland/protocols/wlr-virtual-pointer-unstable-v1-client.h"
#include "common/wayland/protocols/xdg-output-unstable-v1-client.h"
#include "common/wayland/protocols/xdg-shell-client.h"
#include "tests/support/mapped.h"

namespace {

const bool mappedAtStart = quorvane::test::libraryMapped("libwayland-client.so");  // before main, before any test

using Words = std::vector<std::uint32_t>;

// A message as the wire has it: object, size and opcode, then the words.
Words message(std::uint32_t object, std::uint32_t opcode, const Words& arguments) {
  Words m{object, static_cast<std::uint32_t>((8 + 4 * arguments.size()) << 16 | opcode)};
  m.insert(m.end(), arguments.begin(), arguments.end());
  return m;
}

// A string argument: its length with the terminating zero, then the bytes, padded to words.
Words text(const std::string& s) {
  Words w{static_cast<std::uint32_t>(s.size() + 1)};
  std::vector<char> bytes(s.begin(), s.end());
  bytes.resize((s.size() + 4) / 4 * 4, '\0');
  for (std::size_t i = 0; i < bytes.size(); i += 4) {
    std::uint32_t word;
    std::memcpy(&word, bytes.data() + i, 4);
    w.push_back(word);
  }
  return w;
}

Words operator+(Words a, const Words& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

TEST(WaylandClientLoader, LoadsTheLibraryAtTheFirstCallAndSendsEveryArgumentType) {
  EXPECT_FALSE(mappedAtStart);
  std::array<int, 2> ends{};
  ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends.data()), 0);
  wl_display* display = wl_display_connect_to_fd(ends[0]);
  ASSERT_NE(display, nullptr);
  EXPECT_TRUE(quorvane::test::libraryMapped("libwayland-client.so"));

  wl_registry* registry = wl_display_get_registry(display);  // new id 2
  auto* seat = static_cast<wl_seat*>(wl_registry_bind(registry, 7, &wl_seat_interface, 5));  // 3
  auto* manager = static_cast<zwlr_virtual_pointer_manager_v1*>(
      wl_registry_bind(registry, 8, &zwlr_virtual_pointer_manager_v1_interface, 2));  // 4
  auto* pointer = zwlr_virtual_pointer_manager_v1_create_virtual_pointer(manager, seat);  // 5
  auto* seatless = zwlr_virtual_pointer_manager_v1_create_virtual_pointer(manager, nullptr);  // 6
  auto* onNoOutput = zwlr_virtual_pointer_manager_v1_create_virtual_pointer_with_output(manager, seat, nullptr);  // 7
  zwlr_virtual_pointer_v1_axis_discrete(pointer, 1000, 1, wl_fixed_from_double(-1.5), -1);
  zwlr_virtual_pointer_v1_destroy(pointer);
  auto* shm = static_cast<wl_shm*>(wl_registry_bind(registry, 9, &wl_shm_interface, 1));  // 8
  const int memory = memfd_create("quorvane-loader-test", MFD_CLOEXEC);
  ASSERT_GE(memory, 0);
  wl_shm_pool* pool = wl_shm_create_pool(shm, memory, 4096);  // 9, and the descriptor beside the bytes
  close(memory);
  ASSERT_GE(wl_display_flush(display), 0);

  std::array<std::uint32_t, 256> received{};
  alignas(cmsghdr) std::array<char, CMSG_SPACE(4 * sizeof(int))> control{};
  iovec io{received.data(), sizeof received};
  msghdr header{};
  header.msg_iov = &io;
  header.msg_iovlen = 1;
  header.msg_control = control.data();
  header.msg_controllen = control.size();
  const ssize_t got = recvmsg(ends[1], &header, MSG_DONTWAIT | MSG_CMSG_CLOEXEC);
  ASSERT_GT(got, 0);
  int descriptors = 0;
  for (cmsghdr* c = CMSG_FIRSTHDR(&header); c; c = CMSG_NXTHDR(&header, c)) {
    if (c->cmsg_level != SOL_SOCKET || c->cmsg_type != SCM_RIGHTS) continue;
    for (std::size_t i = 0; i < (c->cmsg_len - CMSG_LEN(0)) / sizeof(int); ++i, ++descriptors) {
      int fd;
      std::memcpy(&fd, CMSG_DATA(c) + i * sizeof(int), sizeof fd);
      close(fd);
    }
  }

  const Words expected =
      message(1, 1, {2}) +                                                   // get_registry: "n"
      message(2, 0, Words{7} + text("wl_seat") + Words{5, 3}) +              // bind: "usun"
      message(2, 0, Words{8} + text("zwlr_virtual_pointer_manager_v1") + Words{2, 4}) +
      message(4, 0, {3, 5}) +                                                // "?on"
      message(4, 0, {0, 6}) +                                                // a null object
      message(4, 2, {3, 0, 7}) +                                             // "2?o?on": since version 2
      message(5, 7, {1000, 1, static_cast<std::uint32_t>(-384), static_cast<std::uint32_t>(-1)}) +  // "uufi"
      message(5, 8, {}) +                                                    // a destructor
      message(2, 0, Words{9} + text("wl_shm") + Words{1, 8}) +
      message(8, 0, {9, 4096});                                              // "nhi": the fd goes beside
  EXPECT_EQ(Words(received.begin(), received.begin() + got / 4), expected);
  EXPECT_EQ(descriptors, 1);

  wl_shm_pool_destroy(pool);
  wl_shm_destroy(shm);
  zwlr_virtual_pointer_v1_destroy(seatless);
  zwlr_virtual_pointer_v1_destroy(onNoOutput);
  zwlr_virtual_pointer_manager_v1_destroy(manager);
  wl_seat_destroy(seat);
  wl_registry_destroy(registry);
  wl_display_disconnect(display);
  close(ends[1]);
}

// A request is sent by the signature of its proxy's interface, found by name:
// every interface of every protocol of ours has to be found, as itself.
TEST(WaylandClientLoader, FindsEveryInterfaceOfOursByItsName) {
  const std::vector<const wl_interface*> ours = {
      &wl_display_interface, &wl_registry_interface, &wl_callback_interface, &wl_compositor_interface,
      &wl_shm_pool_interface, &wl_shm_interface, &wl_buffer_interface, &wl_surface_interface,
      &wl_seat_interface, &wl_pointer_interface, &wl_output_interface,
      &org_kde_kwin_fake_input_interface,  // its XML has two spaces in the tag
      &kde_output_order_v1_interface, &org_kde_plasma_shell_interface, &org_kde_plasma_surface_interface,
      &org_kde_plasma_window_management_interface, &org_kde_plasma_window_interface,
      &org_kde_plasma_activation_feedback_interface, &org_kde_plasma_activation_interface,
      &zwlr_layer_shell_v1_interface, &zwlr_layer_surface_v1_interface, &zwlr_screencopy_manager_v1_interface,
      &zwlr_screencopy_frame_v1_interface, &zwlr_virtual_pointer_manager_v1_interface,
      &zwlr_virtual_pointer_v1_interface, &zxdg_output_manager_v1_interface, &zxdg_output_v1_interface,
      &xdg_wm_base_interface, &xdg_positioner_interface, &xdg_surface_interface, &xdg_toplevel_interface,
      &xdg_popup_interface};
  std::vector<std::string> missing;
  for (const wl_interface* i : ours) {
    if (quorvane::wayland::interfaceNamed(i->name) != i) missing.push_back(i->name);
  }
  EXPECT_EQ(missing, std::vector<std::string>{});
  EXPECT_EQ(quorvane::wayland::interfaceNamed("no_such_interface"), nullptr);
  EXPECT_EQ(quorvane::wayland::interfaceNamed(nullptr), nullptr);
}

}  // namespace
