// Which window system this session runs, and the sockets its servers answer
// on. In a Wayland session DISPLAY names XWayland, which knows only the X11
// clients' windows and pixels: an answer taken from it would be a wrong
// answer, not a partial one.
#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>

namespace quorvane::posix {

using Environment = std::function<const char*(const char*)>;
using Deadline = std::chrono::steady_clock::time_point;

// A server that works answers a connection at once; one that hangs is given
// this long, and then counts as gone.
inline constexpr std::chrono::milliseconds kServerAnswer{2000};
inline Deadline answerDeadline() { return std::chrono::steady_clock::now() + kServerAnswer; }

// The compositor's socket: WAYLAND_DISPLAY (a name in XDG_RUNTIME_DIR, or an
// absolute path), else the default socket when XDG_SESSION_TYPE says wayland;
// nothing when the session names none.
std::optional<std::string> waylandSocketPath(const Environment& env);

// A stream socket connected to the Unix socket at `path`, non-blocking, or -1
// when nothing accepts the connection by the deadline. A listener that does
// not take connections (a full backlog) is waited for until then, no longer.
int connectSocket(const std::string& path, Deadline deadline);

// Whether a Wayland compositor answers on the session's socket by the deadline.
bool waylandSession(const Environment& env, Deadline deadline);
bool waylandSession();

enum class WindowServer { none, x11, wayland };
// The window system to serve: Wayland where a compositor answers, else X11
// where DISPLAY names a server (it is asked only when used), else none.
WindowServer windowServer(const Environment& env, Deadline deadline);
WindowServer windowServer();

}  // namespace quorvane::posix
