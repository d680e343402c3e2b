#include "common/posix/fd_output.h"

#include <cerrno>
#include <unistd.h>

namespace quorvane::posix {

bool FdOutput::write(std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t n = ::write(fd_, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

}  // namespace quorvane::posix
