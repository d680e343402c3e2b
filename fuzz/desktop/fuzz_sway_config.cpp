// sway's configuration comes from another process (its IPC socket, GET_CONFIG)
// and is written by hand: the reply's JSON and the configuration reader must
// refuse anything malformed, and stay within their bounds, without crashing.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "desktop/wayland/sway_wallpaper.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace quorvane::desktop::wayland;
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  // The input both as the whole reply and as the configuration text itself.
  if (auto text = swayConfigText(bytes)) swayBackground(*text, "HEADLESS-1", "/home/user");

  constexpr std::string_view kHome = "/home/user";
  if (auto b = swayBackground(bytes, "HEADLESS-1", kHome)) {
    // Each word is bounded once variables are replaced, whatever they double into.
    constexpr std::size_t kLongestWord = 4096;
    if (b->file.size() > kLongestWord + kHome.size() || b->mode.size() > kLongestWord ||
        b->color.size() > kLongestWord) {
      __builtin_trap();
    }
  }
  return 0;
}
