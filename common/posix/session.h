// Which window system this session runs. In a Wayland session DISPLAY names
// XWayland, which knows only the X11 clients' windows and pixels: an answer
// taken from it would be a wrong answer, not a partial one.
#pragma once

#include <functional>

namespace quorvane::posix {

using Environment = std::function<const char*(const char*)>;

// Whether a Wayland compositor answers on WAYLAND_DISPLAY (a name in
// XDG_RUNTIME_DIR, or an absolute path), or on the default socket when
// XDG_SESSION_TYPE says wayland.
bool waylandSession(const Environment& env);
bool waylandSession();

}  // namespace quorvane::posix
