// The floor of a window list on X11: a minimal xcb client that connects and
// makes the two round trips any list needs, the windows, then one batch of
// questions about each (geometry and WM_CLASS), and prints a line a window.
#include <cstdio>
#include <cstdlib>
#include <vector>

#include <xcb/xcb.h>

int main() {
  xcb_connection_t* x = xcb_connect(nullptr, nullptr);
  if (xcb_connection_has_error(x)) return 1;
  const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(x)).data->root;
  xcb_query_tree_reply_t* tree = xcb_query_tree_reply(x, xcb_query_tree(x, root), nullptr);
  if (!tree) return 1;
  const xcb_window_t* windows = xcb_query_tree_children(tree);
  const int count = xcb_query_tree_children_length(tree);
  std::vector<xcb_get_geometry_cookie_t> geometries;
  std::vector<xcb_get_property_cookie_t> classes;
  for (int i = 0; i < count; ++i) {
    geometries.push_back(xcb_get_geometry(x, windows[i]));
    classes.push_back(xcb_get_property(x, 0, windows[i], XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 0, 64));
  }
  for (int i = 0; i < count; ++i) {
    xcb_get_geometry_reply_t* g = xcb_get_geometry_reply(x, geometries[i], nullptr);
    xcb_get_property_reply_t* c = xcb_get_property_reply(x, classes[i], nullptr);
    if (g && c) {
      std::printf("%u %.*s %d %d %u %u\n", windows[i], xcb_get_property_value_length(c),
                  static_cast<const char*>(xcb_get_property_value(c)), g->x, g->y, g->width, g->height);
    }
    std::free(g);
    std::free(c);
  }
  std::free(tree);
  xcb_disconnect(x);
  return 0;
}
