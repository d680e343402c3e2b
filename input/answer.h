// How quorvane-input writes: through the JSON line channel, and a Message that
// cannot be encoded ends the program with status 1 after a note on stderr.
#pragma once

#include "common/channel.h"
#include "input/texts.h"

namespace quorvane::input {

inline Channel makeChannel(Output& out, Output& err) {
  return Channel(out, [&err](const std::string& description) {
    err.write(texts::kCannotEncode + description + "\n");
  });
}

// Writes a one-shot answer and gives the status to end with: the answer's own,
// or 1 when it could not be encoded.
inline int answer(Channel& channel, const Json& message, int status) { return channel.emit(message) ? status : 1; }

}  // namespace quorvane::input
