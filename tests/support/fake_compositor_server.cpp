// quorvane-fake-compositor DIR [--answer-syncs N] [--screencopy MODE] [--desktop] [--tree-file FILE]
//                          [--hold-config]
//   A Wayland compositor that speaks just enough of the protocol to misbehave
//   on purpose in the helpers' end-to-end tests. It offers one output (its
//   registry name is 1), wl_shm, wlr screencopy (version 3), and with
//   --desktop wl_compositor and wlr layer-shell, whose requests it takes and
//   never answers; and sway's IPC, whose tree holds one window over the
//   output's top-left quarter, owned by the parent of whoever asks (the
//   application of the helper asking). Sockets: DIR/wayland-0, DIR/sway.sock.
//   It prints "ready" once both listen, then a line for each event a test may
//   wait for: "described", "copied", "silent", "shrunk", "shrink refused".
//   It ends when its standard input closes.
//
//   --answer-syncs N   answers N wl_display.sync requests, then nothing more
//                      on the Wayland socket (sway's IPC still answers)
//   --screencopy MODE  normal: the first copy at once, later ones never (the
//                      screen does not change); describe-only: buffers are
//                      described, copies never made; early-events: `ready` and
//                      damage before the buffer is described; wide-stride: a
//                      buffer of 4 MiB rows offered first, copies upside down;
//                      shrink: the client's memory shrunk before `ready`;
//                      flood: 2,000 damage events a copy
//   --tree-file FILE   sway's tree is FILE, as it is
//   --hold-config      sway's configuration is asked for and never told
//                      ("config held")
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <poll.h>
#include <set>
#include <sstream>
#include <string>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <vector>

#include <wayland-server.h>

#include "wlr-layer-shell-unstable-v1-server-protocol.h"
#include "wlr-screencopy-unstable-v1-server-protocol.h"

namespace {

constexpr std::int32_t kWidth = 640, kHeight = 480;
constexpr std::uint32_t kFill = 0xFF3366CC;
constexpr std::int32_t kWideStride = 4 << 20;
constexpr int kFloodDamage = 2000;  // more than a client keeps; fewer than fill a socket

struct Options {
  std::string dir;
  int answerSyncs = -1;
  std::string screencopy = "normal";
  bool desktop = false;
  bool holdConfig = false;
  std::string tree;  // a fixed reply to GET_TREE
} options;

bool silenceAfterDispatch = false;
int syncs = 0;
std::set<wl_client*> answeredOnce;

void report(const char* line) {
  std::printf("%s\n", line);
  std::fflush(stdout);
}

void destroyResource(wl_client*, wl_resource* resource) { wl_resource_destroy(resource); }

// --- wl_shm: the client's memory, kept so that it can be written and shrunk
struct Pool {
  int fd;
  std::size_t size;
  void* data;
  ~Pool() {
    munmap(data, size);
    close(fd);
  }
};
struct Buffer {
  std::shared_ptr<Pool> pool;
  std::int32_t offset, width, height, stride;
};

const struct wl_buffer_interface kBuffer = {destroyResource};
const struct wl_shm_pool_interface kPool = {
    [](wl_client* client, wl_resource* resource, std::uint32_t id, std::int32_t offset, std::int32_t width,
       std::int32_t height, std::int32_t stride, std::uint32_t) {
      const auto& pool = *static_cast<std::shared_ptr<Pool>*>(wl_resource_get_user_data(resource));
      auto* buffer = new Buffer{pool, offset, width, height, stride};
      wl_resource* made = wl_resource_create(client, &wl_buffer_interface, 1, id);
      wl_resource_set_implementation(made, &kBuffer, buffer, [](wl_resource* r) {
        delete static_cast<Buffer*>(wl_resource_get_user_data(r));
      });
    },
    destroyResource, [](wl_client*, wl_resource*, std::int32_t) {}};
const struct wl_shm_interface kShm = {[](wl_client* client, wl_resource* resource, std::uint32_t id, std::int32_t fd,
                                  std::int32_t size) {
  void* data = mmap(nullptr, static_cast<std::size_t>(size), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  if (data == MAP_FAILED) {
    close(fd);
    wl_resource_post_error(resource, WL_SHM_ERROR_INVALID_FD, "cannot map the pool");
    return;
  }
  auto* pool = new std::shared_ptr<Pool>(new Pool{fd, static_cast<std::size_t>(size), data});
  wl_resource* made = wl_resource_create(client, &wl_shm_pool_interface, 1, id);
  wl_resource_set_implementation(made, &kPool, pool, [](wl_resource* r) {
    delete static_cast<std::shared_ptr<Pool>*>(wl_resource_get_user_data(r));
  });
}};

void bindShm(wl_client* client, void*, std::uint32_t, std::uint32_t id) {
  wl_resource* shm = wl_resource_create(client, &wl_shm_interface, 1, id);
  wl_resource_set_implementation(shm, &kShm, nullptr, nullptr);
  wl_shm_send_format(shm, WL_SHM_FORMAT_XRGB8888);
  wl_shm_send_format(shm, WL_SHM_FORMAT_ARGB8888);
}

// --- the output
const struct wl_output_interface kOutput = {destroyResource};

void bindOutput(wl_client* client, void*, std::uint32_t version, std::uint32_t id) {
  wl_resource* output = wl_resource_create(client, &wl_output_interface, static_cast<int>(std::min(version, 4u)), id);
  wl_resource_set_implementation(output, &kOutput, nullptr, nullptr);
  wl_output_send_geometry(output, 0, 0, 0, 0, WL_OUTPUT_SUBPIXEL_UNKNOWN, "fake", "fake",
                          WL_OUTPUT_TRANSFORM_NORMAL);
  wl_output_send_mode(output, WL_OUTPUT_MODE_CURRENT, kWidth, kHeight, 60000);
  if (version >= 2) wl_output_send_scale(output, 1);
  if (version >= 4) wl_output_send_name(output, "FAKE-1");
  if (version >= 2) wl_output_send_done(output);
}

// --- screencopy
bool mode(const char* name) { return options.screencopy == name; }

void describe(wl_resource* frame) {
  if (mode("early-events")) {
    zwlr_screencopy_frame_v1_send_damage(frame, 0, 0, kWidth, kHeight);
    zwlr_screencopy_frame_v1_send_ready(frame, 0, 0, 0);
  }
  const auto format = WL_SHM_FORMAT_XRGB8888;
  if (mode("wide-stride")) zwlr_screencopy_frame_v1_send_buffer(frame, format, kWidth, kHeight, kWideStride);
  zwlr_screencopy_frame_v1_send_buffer(frame, format, kWidth, kHeight, kWidth * 4);
  if (wl_resource_get_version(frame) >= 3) zwlr_screencopy_frame_v1_send_buffer_done(frame);
  report("described");
}

void copy(wl_resource* frame, wl_resource* target, bool withDamage) {
  // The screen never changes: a copy with damage waits for ever, but for a
  // client's first, which counts everything as changed.
  wl_client* client = wl_resource_get_client(frame);
  if (mode("describe-only") || (withDamage && answeredOnce.count(client))) return;
  answeredOnce.insert(client);
  auto* buffer = static_cast<Buffer*>(wl_resource_get_user_data(target));
  bool shrunk = false;
  if (mode("shrink")) {
    shrunk = ftruncate(buffer->pool->fd, 0) == 0;
    report(shrunk ? "shrunk" : "shrink refused");
  }
  const std::size_t end = static_cast<std::size_t>(buffer->offset) +
                          static_cast<std::size_t>(buffer->height - 1) * static_cast<std::size_t>(buffer->stride) +
                          static_cast<std::size_t>(buffer->width) * 4;
  for (std::int32_t y = 0; !shrunk && end <= buffer->pool->size && y < buffer->height; ++y) {
    auto* row = reinterpret_cast<std::uint32_t*>(static_cast<std::uint8_t*>(buffer->pool->data) + buffer->offset +
                                                 static_cast<std::size_t>(y) * buffer->stride);
    std::fill(row, row + buffer->width, kFill);
  }
  for (int i = 0; mode("flood") && i < kFloodDamage; ++i) {
    zwlr_screencopy_frame_v1_send_damage(frame, 0, static_cast<std::uint32_t>(i % kHeight), kWidth, 1);
  }
  zwlr_screencopy_frame_v1_send_flags(frame, mode("wide-stride") ? ZWLR_SCREENCOPY_FRAME_V1_FLAGS_Y_INVERT : 0);
  if (withDamage) zwlr_screencopy_frame_v1_send_damage(frame, 0, 0, kWidth, kHeight);
  zwlr_screencopy_frame_v1_send_ready(frame, 0, 0, 0);
  report("copied");
}

const struct zwlr_screencopy_frame_v1_interface kFrame = {
    [](wl_client*, wl_resource* frame, wl_resource* buffer) { copy(frame, buffer, false); }, destroyResource,
    [](wl_client*, wl_resource* frame, wl_resource* buffer) { copy(frame, buffer, true); }};

void capture(wl_client* client, wl_resource* manager, std::uint32_t id) {
  wl_resource* frame = wl_resource_create(client, &zwlr_screencopy_frame_v1_interface,
                                          wl_resource_get_version(manager), id);
  wl_resource_set_implementation(frame, &kFrame, nullptr, nullptr);
  describe(frame);
}

const struct zwlr_screencopy_manager_v1_interface kManager = {
    [](wl_client* client, wl_resource* manager, std::uint32_t id, std::int32_t, wl_resource*) {
      capture(client, manager, id);
    },
    [](wl_client* client, wl_resource* manager, std::uint32_t id, std::int32_t, wl_resource*, std::int32_t,
       std::int32_t, std::int32_t, std::int32_t) { capture(client, manager, id); },
    destroyResource};

void bindScreencopy(wl_client* client, void*, std::uint32_t version, std::uint32_t id) {
  wl_resource* manager = wl_resource_create(client, &zwlr_screencopy_manager_v1_interface,
                                            static_cast<int>(std::min(version, 3u)), id);
  wl_resource_set_implementation(manager, &kManager, nullptr, nullptr);
}

// --- globals whose requests are taken and never answered: every object a
// request makes exists from then on, and is as quiet.
int ignore(const void*, void* target, std::uint32_t, const wl_message* message, wl_argument* args) {
  auto* resource = static_cast<wl_resource*>(target);
  int at = 0;
  for (const char* s = message->signature; *s; ++s) {
    if (*s == '?' || (*s >= '0' && *s <= '9')) continue;
    if (*s == 'h') close(args[at].h);
    if (*s == 'n' && message->types[at]) {
      wl_resource* made = wl_resource_create(wl_resource_get_client(resource), message->types[at],
                                             wl_resource_get_version(resource), args[at].n);
      if (made) wl_resource_set_dispatcher(made, ignore, nullptr, nullptr, nullptr);
    }
    ++at;
  }
  if (std::strcmp(message->name, "destroy") == 0) wl_resource_destroy(resource);
  return 0;
}

void bindIgnored(wl_client* client, void* interface, std::uint32_t version, std::uint32_t id) {
  wl_resource* made = wl_resource_create(client, static_cast<const wl_interface*>(interface),
                                         static_cast<int>(version), id);
  wl_resource_set_dispatcher(made, ignore, nullptr, nullptr, nullptr);
}

void countSyncs(void*, wl_protocol_logger_type type, const wl_protocol_logger_message* message) {
  if (type == WL_PROTOCOL_LOGGER_REQUEST && std::strcmp(message->message->name, "sync") == 0 &&
      std::strcmp(wl_resource_get_class(message->resource), "wl_display") == 0 && ++syncs == options.answerSyncs) {
    silenceAfterDispatch = true;
  }
}

// --- sway's IPC
std::string treeFor(int owner) {
  const std::string w = std::to_string(kWidth), h = std::to_string(kHeight);
  const std::string whole = R"({"x":0,"y":0,"width":)" + w + R"(,"height":)" + h + "}";
  return R"({"id":1,"type":"root","name":"root","rect":)" + whole +
         R"(,"nodes":[{"id":2,"type":"output","name":"FAKE-1","rect":)" + whole +
         R"(,"nodes":[{"id":3,"type":"workspace","name":"1","output":"FAKE-1","rect":)" + whole +
         R"(,"nodes":[{"id":4,"type":"con","name":"app","app_id":"app","visible":true,"pid":)" +
         std::to_string(owner) + R"(,"rect":{"x":0,"y":0,"width":)" + std::to_string(kWidth / 2) +
         R"(,"height":)" + std::to_string(kHeight / 2) + R"(},"nodes":[],"floating_nodes":[]}],)"
         R"("floating_nodes":[]}],"floating_nodes":[]}],"floating_nodes":[]})";
}

int parentOf(int fd) {
  ucred peer{};
  socklen_t size = sizeof peer;
  if (getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0) return 0;
  std::ifstream stat("/proc/" + std::to_string(peer.pid) + "/stat");
  std::string line;
  std::getline(stat, line);
  std::istringstream rest(line.substr(line.rfind(')') + 2));
  std::string state;
  int parent = 0;
  rest >> state >> parent;
  return parent;
}

// Answers one request; false once the client has gone.
bool answer(int fd) {
  char header[14];
  if (recv(fd, header, sizeof header, MSG_WAITALL) != sizeof header) return false;
  std::uint32_t fields[2];
  std::memcpy(fields, header + 6, sizeof fields);
  std::string payload(fields[0], '\0');
  if (fields[0] && recv(fd, payload.data(), payload.size(), MSG_WAITALL) != static_cast<ssize_t>(payload.size())) {
    return false;
  }
  if (fields[1] == 9 && options.holdConfig) {
    report("config held");
    return true;
  }
  std::string reply = fields[1] == 4   ? (options.tree.empty() ? treeFor(parentOf(fd)) : options.tree)
                      : fields[1] == 9 ? R"({"config":""})"
                                       : R"({"success":false})";
  const std::uint32_t length = static_cast<std::uint32_t>(reply.size());
  std::memcpy(header + 6, &length, sizeof length);
  reply.insert(0, header, sizeof header);
  return send(fd, reply.data(), reply.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(reply.size());
}

int listenOn(const std::string& path) {
  sockaddr_un address{.sun_family = AF_UNIX, .sun_path = {}};
  path.copy(address.sun_path, sizeof address.sun_path - 1);
  int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(fd, 8) != 0) {
    std::perror(path.c_str());
    std::exit(2);
  }
  return fd;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  options.dir = argv[1];
  for (int i = 2; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--answer-syncs" && i + 1 < argc) options.answerSyncs = std::atoi(argv[++i]);
    else if (arg == "--screencopy" && i + 1 < argc) options.screencopy = argv[++i];
    else if (arg == "--desktop") options.desktop = true;
    else if (arg == "--hold-config") options.holdConfig = true;
    else if (arg == "--tree-file" && i + 1 < argc) {
      std::ifstream file(argv[++i]);
      options.tree.assign(std::istreambuf_iterator<char>(file), {});
    } else {
      return 2;
    }
  }
  wl_display* display = wl_display_create();
  wl_global_create(display, &wl_output_interface, 4, nullptr, bindOutput);  // the first: registry name 1
  wl_global_create(display, &wl_shm_interface, 1, nullptr, bindShm);
  wl_global_create(display, &zwlr_screencopy_manager_v1_interface, 3, nullptr, bindScreencopy);
  if (options.desktop) {
    wl_global_create(display, &wl_compositor_interface, 4, const_cast<wl_interface*>(&wl_compositor_interface),
                     bindIgnored);
    wl_global_create(display, &zwlr_layer_shell_v1_interface, 4,
                     const_cast<wl_interface*>(&zwlr_layer_shell_v1_interface), bindIgnored);
  }
  wl_display_add_protocol_logger(display, countSyncs, nullptr);
  if (wl_display_add_socket_fd(display, listenOn(options.dir + "/wayland-0")) != 0) return 2;
  const int ipc = listenOn(options.dir + "/sway.sock");
  report("ready");

  wl_event_loop* loop = wl_display_get_event_loop(display);
  std::vector<int> clients;
  for (bool silent = false;;) {
    if (!silent) wl_display_flush_clients(display);
    const int wayland = silent ? -1 : wl_event_loop_get_fd(loop);
    std::vector<pollfd> fds{{STDIN_FILENO, POLLIN, 0}, {ipc, POLLIN, 0}, {wayland, POLLIN, 0}};
    for (int c : clients) fds.push_back({c, POLLIN, 0});
    if (poll(fds.data(), fds.size(), -1) < 0 && errno != EINTR) return 1;
    char byte;
    if (fds[0].revents && read(STDIN_FILENO, &byte, 1) <= 0) break;
    if (fds[1].revents & POLLIN) {
      int client = accept4(ipc, nullptr, nullptr, SOCK_CLOEXEC);
      if (client >= 0) clients.push_back(client);
    }
    if (fds[2].revents) {
      wl_event_loop_dispatch(loop, 0);
      if (silenceAfterDispatch && !silent) {
        wl_display_flush_clients(display);
        silent = true;
        report("silent");
      }
    }
    for (std::size_t i = 3; i < fds.size(); ++i) {
      if (fds[i].revents && !answer(fds[i].fd)) {
        close(fds[i].fd);
        clients.erase(std::find(clients.begin(), clients.end(), fds[i].fd));
      }
    }
  }
  unlink((options.dir + "/wayland-0").c_str());
  unlink((options.dir + "/sway.sock").c_str());
  return 0;
}
