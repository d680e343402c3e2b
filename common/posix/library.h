// A system library loaded when first called instead of linked, so that a
// start that never calls it does not pay for loading it.
#pragma once

#include <dlfcn.h>
#include <mutex>

namespace quorvane::posix {

class Library {
 public:
  // Nothing is loaded yet: a constant, so a program may hold one from its start.
  constexpr explicit Library(const char* soname) : soname_(soname) {}
  Library(const Library&) = delete;
  Library& operator=(const Library&) = delete;

  // The library's own function, looked up in the library, never in this
  // program (whose definitions of the same names forward here); null when the
  // library cannot be loaded or lacks it. The first call loads the library,
  // for good: its functions are called until the process ends.
  template <typename F>
  F* function(const char* name) {
    std::call_once(loaded_, [this] { handle_ = dlopen(soname_, RTLD_NOW | RTLD_LOCAL); });
    return handle_ ? reinterpret_cast<F*>(dlsym(handle_, name)) : nullptr;
  }

 private:
  const char* soname_;
  std::once_flag loaded_;
  void* handle_ = nullptr;
};

}  // namespace quorvane::posix
