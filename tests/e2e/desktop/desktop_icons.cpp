// quorvane-desktop-icons: stands in for a file manager's desktop in tests and
// the demo. It opens a DESKTOP-type window over the whole root, filled with a
// background colour and rows of square "icons" of a known colour on every
// monitor, prints "ready <window id>" once the window is viewable, and stays
// until its standard input closes.
//   quorvane-desktop-icons [--background RRGGBB] [--icon RRGGBB]
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <poll.h>
#include <string>
#include <unistd.h>
#include <vector>

#include <xcb/randr.h>
#include <xcb/xcb.h>

namespace {

// Icons sit where file managers put them: a column from the top-left corner of
// each monitor, plus one in its middle so that any placement can be checked.
constexpr int kIconSize = 64;
constexpr int kIconPitch = 120;
constexpr int kMargin = 40;
constexpr int kIconsPerColumn = 4;

xcb_atom_t atom(xcb_connection_t* c, const char* name) {
  auto* r = xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, static_cast<uint16_t>(strlen(name)), name), nullptr);
  xcb_atom_t a = r ? r->atom : XCB_NONE;
  free(r);
  return a;
}

struct Area {
  int x, y, w, h;
};

std::vector<Area> monitorAreas(xcb_connection_t* c, xcb_screen_t* s) {
  std::vector<Area> areas;
  auto* r = xcb_randr_get_monitors_reply(c, xcb_randr_get_monitors(c, s->root, 1), nullptr);
  if (r) {
    for (auto it = xcb_randr_get_monitors_monitors_iterator(r); it.rem; xcb_randr_monitor_info_next(&it)) {
      areas.push_back({it.data->x, it.data->y, it.data->width, it.data->height});
    }
    free(r);
  }
  if (areas.empty()) areas.push_back({0, 0, s->width_in_pixels, s->height_in_pixels});
  return areas;
}

void child(xcb_connection_t* c, xcb_window_t parent, int x, int y, uint32_t color) {
  xcb_window_t w = xcb_generate_id(c);
  uint32_t values[] = {color};
  xcb_create_window(c, XCB_COPY_FROM_PARENT, w, parent, static_cast<int16_t>(x), static_cast<int16_t>(y), kIconSize,
                    kIconSize, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT, XCB_CW_BACK_PIXEL, values);
  xcb_map_window(c, w);
}

}  // namespace

int main(int argc, char** argv) {
  uint32_t background = 0x203040, icon = 0xFF00FF;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (!strcmp(argv[i], "--background")) background = static_cast<uint32_t>(strtoul(argv[i + 1], nullptr, 16));
    if (!strcmp(argv[i], "--icon")) icon = static_cast<uint32_t>(strtoul(argv[i + 1], nullptr, 16));
  }
  xcb_connection_t* c = xcb_connect(nullptr, nullptr);
  if (xcb_connection_has_error(c)) {
    fprintf(stderr, "desktop-icons: cannot connect to X\n");
    return 2;
  }
  xcb_screen_t* s = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
  xcb_window_t desk = xcb_generate_id(c);
  uint32_t values[] = {background, XCB_EVENT_MASK_EXPOSURE};
  xcb_create_window(c, XCB_COPY_FROM_PARENT, desk, s->root, 0, 0, s->width_in_pixels, s->height_in_pixels, 0,
                    XCB_WINDOW_CLASS_INPUT_OUTPUT, s->root_visual, XCB_CW_BACK_PIXEL | XCB_CW_EVENT_MASK, values);
  xcb_atom_t desktopType = atom(c, "_NET_WM_WINDOW_TYPE_DESKTOP");
  xcb_change_property(c, XCB_PROP_MODE_REPLACE, desk, atom(c, "_NET_WM_WINDOW_TYPE"), XCB_ATOM_ATOM, 32, 1,
                      &desktopType);
  const char name[] = "Desktop";
  xcb_change_property(c, XCB_PROP_MODE_REPLACE, desk, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8, sizeof name - 1, name);
  for (const Area& a : monitorAreas(c, s)) {
    for (int i = 0; i < kIconsPerColumn; ++i) child(c, desk, a.x + kMargin, a.y + kMargin + i * kIconPitch, icon);
    child(c, desk, a.x + (a.w - kIconSize) / 2, a.y + (a.h - kIconSize) / 2, icon);
  }
  xcb_map_window(c, desk);
  xcb_flush(c);

  bool announced = false;
  for (;;) {
    pollfd fds[2] = {{xcb_get_file_descriptor(c), POLLIN, 0}, {0, POLLIN, 0}};
    poll(fds, 2, -1);
    while (xcb_generic_event_t* e = xcb_poll_for_event(c)) {
      // The first Expose means the window is viewable with its children painted.
      if ((e->response_type & 0x7F) == XCB_EXPOSE && !announced) {
        announced = true;
        printf("ready %u\n", desk);
        fflush(stdout);
      }
      free(e);
    }
    if (xcb_connection_has_error(c)) return 3;
    if (fds[1].revents & (POLLIN | POLLHUP)) {
      char buf[256];
      if (read(0, buf, sizeof buf) <= 0) return 0;
    }
  }
}
