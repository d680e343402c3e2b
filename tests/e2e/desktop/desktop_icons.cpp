// quorvane-desktop-icons: stands in for a file manager's desktop in tests and the demo. It opens a
// DESKTOP-type window over the whole root, filled with 203040 and, on every monitor, a column of
// square "icons" (FF00FF) from the top-left corner plus one in the middle; prints "ready <window id>"
// once the window is viewable, and stays until its standard input closes.
#include <cstdio>
#include <cstdlib>
#include <poll.h>
#include <unistd.h>

#include <xcb/randr.h>
#include <xcb/xcb.h>

namespace {

constexpr int kIconSize = 64, kIconPitch = 120, kMargin = 40, kIconsPerColumn = 4;

xcb_window_t window(xcb_connection_t* c, xcb_window_t parent, int x, int y, int width, int height, uint32_t color) {
  xcb_window_t w = xcb_generate_id(c);
  uint32_t values[] = {color, XCB_EVENT_MASK_EXPOSURE};
  xcb_create_window(c, XCB_COPY_FROM_PARENT, w, parent, static_cast<int16_t>(x), static_cast<int16_t>(y),
                    static_cast<uint16_t>(width), static_cast<uint16_t>(height), 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                    XCB_COPY_FROM_PARENT, XCB_CW_BACK_PIXEL | XCB_CW_EVENT_MASK, values);
  return w;
}

void icons(xcb_connection_t* c, xcb_window_t desk, int x, int y, int w, int h) {
  for (int i = 0; i < kIconsPerColumn; ++i) window(c, desk, x + kMargin, y + kMargin + i * kIconPitch, kIconSize, kIconSize, 0xFF00FF);
  window(c, desk, x + (w - kIconSize) / 2, y + (h - kIconSize) / 2, kIconSize, kIconSize, 0xFF00FF);
}

}  // namespace

int main() {
  xcb_connection_t* c = xcb_connect(nullptr, nullptr);
  if (xcb_connection_has_error(c)) return 2;
  xcb_screen_t* s = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
  xcb_window_t desk = window(c, s->root, 0, 0, s->width_in_pixels, s->height_in_pixels, 0x203040);
  auto type = xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, 19, "_NET_WM_WINDOW_TYPE"), nullptr);
  auto desktop = xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, 27, "_NET_WM_WINDOW_TYPE_DESKTOP"), nullptr);
  xcb_change_property(c, XCB_PROP_MODE_REPLACE, desk, type->atom, XCB_ATOM_ATOM, 32, 1, &desktop->atom);
  xcb_change_property(c, XCB_PROP_MODE_REPLACE, desk, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8, 7, "Desktop");
  free(type), free(desktop);
  auto* r = xcb_randr_get_monitors_reply(c, xcb_randr_get_monitors(c, s->root, 1), nullptr);
  if (!r || !xcb_randr_get_monitors_monitors_length(r)) icons(c, desk, 0, 0, s->width_in_pixels, s->height_in_pixels);
  for (auto it = xcb_randr_get_monitors_monitors_iterator(r); r && it.rem; xcb_randr_monitor_info_next(&it)) {
    icons(c, desk, it.data->x, it.data->y, it.data->width, it.data->height);
  }
  free(r);
  xcb_map_subwindows(c, desk);
  xcb_map_window(c, desk);  // last: the window manager reads its type as it maps it
  xcb_flush(c);

  for (bool announced = false;;) {
    pollfd fds[2] = {{xcb_get_file_descriptor(c), POLLIN, 0}, {0, POLLIN, 0}};
    poll(fds, 2, -1);
    while (xcb_generic_event_t* e = xcb_poll_for_event(c)) {
      // The desktop's first Expose: it is viewable, its children painted.
      if ((e->response_type & 0x7F) == XCB_EXPOSE && reinterpret_cast<xcb_expose_event_t*>(e)->window == desk &&
          !announced) {
        announced = true;
        printf("ready %u\n", desk);
        fflush(stdout);
      }
      free(e);
    }
    char buf[256];
    if (xcb_connection_has_error(c)) return 3;
    if ((fds[1].revents & (POLLIN | POLLHUP)) && read(0, buf, sizeof buf) <= 0) return 0;
  }
}
