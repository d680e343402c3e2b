// Wallpapers for the desktop benchmarks: a photo-like JPEG, and a GSettings
// configuration that chooses it.
#pragma once

#include <cmath>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <turbojpeg.h>

namespace quorvane::bench {

// Smooth gradients with some texture, so the JPEG has real detail.
inline void writeJpeg(const std::string& path, int w, int h) {
  std::vector<unsigned char> rgb(static_cast<size_t>(w) * h * 3);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      unsigned char* p = &rgb[(static_cast<size_t>(y) * w + x) * 3];
      p[0] = static_cast<unsigned char>(x * 255 / w);
      p[1] = static_cast<unsigned char>(y * 255 / h);
      p[2] = static_cast<unsigned char>(128 + 60 * std::sin(x * 0.05) * std::cos(y * 0.03));
    }
  }
  tjhandle tj = tjInitCompress();
  unsigned char* out = nullptr;
  unsigned long size = 0;
  tjCompress2(tj, rgb.data(), w, w * 3, h, TJPF_RGB, &out, &size, TJSAMP_420, 90, 0);
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<char*>(out), static_cast<std::streamsize>(size));
  tjFree(out);
  tjDestroy(tj);
}

// The picture as the user's GSettings choice, in a configuration of its own.
inline std::string configFor(const std::string& dir, const std::string& name, const std::string& image) {
  std::string config = dir + "/" + name;
  std::filesystem::create_directories(config + "/glib-2.0/settings");
  std::ofstream(config + "/glib-2.0/settings/keyfile")
      << "[org/gnome/desktop/background]\npicture-uri='file://" << image << "'\npicture-options='zoom'\n";
  return config;
}

}  // namespace quorvane::bench
