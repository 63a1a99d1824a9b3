#pragma once
// What the fuzz targets share: the input as text, a scratch file that holds
// it, and a failed check that libFuzzer reports as a crash.

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

namespace talvern::fuzz {

// A broken invariant: print it and abort, so the input is kept as a crash.
[[noreturn]] inline void fail(const char* what) {
  std::fprintf(stderr, "fuzz check failed: %s\n", what);
  std::abort();
}
#define FUZZ_CHECK(cond) ((cond) ? (void)0 : ::talvern::fuzz::fail(#cond))

inline std::string_view as_text(const std::uint8_t* data, std::size_t size) {
  return {reinterpret_cast<const char*>(data), size};
}

// A folder of this process for files the readers open.
inline const std::filesystem::path& scratch_dir() {
  static const std::filesystem::path dir = [] {
    std::filesystem::path d = std::filesystem::temp_directory_path() /
                              ("talvern-fuzz-" + std::to_string(::getpid()));
    std::filesystem::create_directories(d);
    std::atexit([] {
      std::error_code ec;
      std::filesystem::remove_all(scratch_dir(), ec);
    });
    return d;
  }();
  return dir;
}

// Replaces `name` in the scratch folder by `text`; its path.
inline std::filesystem::path scratch_file(const char* name, std::string_view text) {
  const std::filesystem::path p = scratch_dir() / name;
  std::FILE* f = std::fopen(p.c_str(), "wb");
  if (!f) fail("cannot write the scratch file");
  if (!text.empty()) std::fwrite(text.data(), 1, text.size(), f);
  std::fclose(f);
  return p;
}

}  // namespace talvern::fuzz
