// What the fuzz targets share: a failed check prints what broke and aborts, so libFuzzer keeps the
// input that broke it.
#pragma once

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>

#include <filesystem>
#include <string>
#include <vector>

#define FUZZ_CHECK(condition)                                                     \
  do {                                                                            \
    if (!(condition)) {                                                           \
      fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
      abort();                                                                    \
    }                                                                             \
  } while (0)

namespace fuzz {

// `data` cut at each `separator`, at most `count` pieces; the last piece takes the rest.
inline std::vector<std::string> Split(const uint8_t* data, size_t size, char separator, size_t count) {
  std::vector<std::string> pieces(1);
  for (size_t i = 0; i < size; ++i) {
    if (static_cast<char>(data[i]) == separator && pieces.size() < count) {
      pieces.emplace_back();
    } else {
      pieces.back() += static_cast<char>(data[i]);
    }
  }
  pieces.resize(count);
  return pieces;
}

// The text a C string of these bytes holds: up to the first zero byte.
inline std::string AsCString(const std::string& bytes) { return std::string(bytes.c_str()); }

// A new folder in /tmp named after `prefix`, removed with its contents when the process exits.
inline std::string TemporaryFolder(const char* prefix) {
  static std::string made;
  std::string pattern = std::string("/tmp/") + prefix + "-XXXXXX";
  FUZZ_CHECK(made.empty() && mkdtemp(&pattern[0]) != nullptr);
  made = pattern;
  atexit([] {
    std::error_code ignored;
    std::filesystem::remove_all(made, ignored);
  });
  return made;
}

}  // namespace fuzz
