// Whether this process has a shared library mapped: for the tests of the
// libraries the programs load when first called, not at start.
#pragma once

#include <fstream>
#include <string>
#include <string_view>

namespace quorvane::test {

inline bool libraryMapped(std::string_view soname) {
  std::ifstream maps("/proc/self/maps");
  for (std::string line; std::getline(maps, line);) {
    if (line.find(soname) != std::string::npos) return true;
  }
  return false;
}

}  // namespace quorvane::test
