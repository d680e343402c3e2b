// quorvane-x-info: prints the displays (RandR monitors) of the current X
// server with the ids the helpers take, one per line: "id name WxH+X+Y [main]".
#include <cstdio>

#include "common/x11/connection.h"

int main() {
  auto c = quorvane::x11::Connection::open();
  if (!c) {
    fprintf(stderr, "quorvane-x-info: cannot connect to the X server\n");
    return 1;
  }
  auto all = quorvane::x11::monitors(*c);
  auto main = quorvane::x11::mainMonitor(all);
  for (const auto& m : all) {
    printf("%u %s %ux%u%+d%+d%s\n", m.id, m.name.c_str(), m.width, m.height, m.x, m.y,
           main && main->id == m.id ? " main" : "");
  }
  return 0;
}
