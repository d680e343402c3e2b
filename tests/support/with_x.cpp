// quorvane-with-x: runs one command on a private virtual display, then stops
// the display. Used by the demo and the benchmarks.
//   quorvane-with-x [--no-wm] [--size WxH] [--monitor WxH+X+Y]... -- COMMAND...
#include <csignal>
#include <cstdio>
#include <sys/wait.h>

#include "tests/support/process.h"
#include "tests/support/xsession.h"

int main(int argc, char** argv) {
  quorvane::test::XSessionOptions options;
  int i = 1;
  for (; i < argc && std::string(argv[i]) != "--"; ++i) {
    const std::string a = argv[i];
    if (a == "--no-wm") options.windowManager = false;
    else if (a == "--size" && i + 1 < argc) sscanf(argv[++i], "%dx%d", &options.width, &options.height);
    else if (a == "--monitor" && i + 1 < argc) options.monitors.push_back(argv[++i]);
    else
      return fprintf(stderr, "usage: quorvane-with-x [--no-wm] [--size WxH] [--monitor WxH+X+Y]... -- COMMAND...\n"), 2;
  }
  if (++i >= argc) return fprintf(stderr, "quorvane-with-x: no command\n"), 2;
  try {
    quorvane::test::XSession session(options);
    session.exportDisplay();
    // The command shares our standard streams. Pass an interrupt on to it and still stop the display.
    const pid_t pid = quorvane::test::spawn({argv + i, argv + argc}, {}, {});
    signal(SIGINT, SIG_IGN);
    signal(SIGTERM, SIG_IGN);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  } catch (const std::exception& e) {
    fprintf(stderr, "quorvane-with-x: %s\n", e.what());
    return 1;
  }
}
