// Standard output and error as the programs write them: straight to the file
// descriptor, without any buffering.
#pragma once

#include "common/channel.h"

namespace quorvane::posix {

// Writes all bytes, retrying short and interrupted writes.
class FdOutput final : public Output {
 public:
  explicit FdOutput(int fd) : fd_(fd) {}
  bool write(std::string_view bytes) override;

 private:
  int fd_;
};

}  // namespace quorvane::posix
