// sway's configuration as its IPC hands it out (GET_CONFIG), read for the
// background it gives each output: the `output ... bg` lines.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace quorvane::desktop::wayland {

struct SwayBackground {
  std::string file;   // an absolute path, "" for a solid colour
  std::string mode;   // stretch, fill, fit, center, tile, solid_color
  std::string color;  // the fallback (or solid) colour, "#rrggbb"; may be ""
};

// The background sway gives the output `outputName`: its last `bg` (or
// `background`) line for that name, else its last one for `*`. Understands
// `set $variable value`, quoting, `~/` and `output NAME { ... }` blocks.
// nullopt also for a configuration over 1 MiB, with more than 64 variables, a
// word over 4,096 bytes once variables are replaced, or blocks opened by more
// than 16 words: such a configuration is not read.
std::optional<SwayBackground> swayBackground(std::string_view config, std::string_view outputName,
                                             std::string_view home);

// The configuration text in sway's reply to GET_CONFIG; nullopt for any other reply.
std::optional<std::string> swayConfigText(std::string_view reply);

}  // namespace quorvane::desktop::wayland
