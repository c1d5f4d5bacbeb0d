// Makes a file that the signature test takes for a worm file, for end-to-end tests and benchmarks:
//   vr_make_worm_file PATH SIZE CRC [SEED]
// SIZE and CRC in decimal or with 0x in hexadecimal. Exits 0 when the file was written whole.
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>

#include "support/worm_file.h"

namespace {

bool ParseNumber(const char* text, unsigned long long limit, unsigned long long* value) {
  char* end = nullptr;
  errno = 0;
  *value = strtoull(text, &end, 0);
  return text[0] != '-' && end != text && *end == '\0' && errno == 0 && *value <= limit;
}

}  // namespace

int main(int argc, char** argv) {
  unsigned long long size = 0;
  unsigned long long crc = 0;
  unsigned long long seed = 1;
  if (argc < 4 || argc > 5 || !ParseNumber(argv[2], ~0ull, &size) || size < 4 ||
      !ParseNumber(argv[3], 0xFFFFFFFFull, &crc) || (argc == 5 && !ParseNumber(argv[4], 0xFFFFFFFFull, &seed))) {
    fprintf(stderr, "usage: %s PATH SIZE CRC [SEED]  (SIZE at least 4; CRC and SEED 32-bit)\n", argv[0]);
    return 2;
  }
  if (!support::WriteWormFile(argv[1], size, static_cast<uint32_t>(crc), static_cast<uint32_t>(seed))) {
    fprintf(stderr, "%s: cannot write %s\n", argv[0], argv[1]);
    return 1;
  }
  return 0;
}
