// The signature test: whether one file is a known worm file, by exact size and CRC-32.
#pragma once

#include <stdint.h>

// One known worm file: its exact size, the CRC-32 of its whole content, and the variant suffix the
// found message appends to the family name.
struct SignatureRow {
  uint32_t size;
  uint32_t crc;
  const char* suffix;
};

const int kSignatureCount = 10;
extern const SignatureRow kSignatureTable[kSignatureCount];

// Only files of at most this many bytes are read; larger rows of the table can never match.
const uint32_t kFileBufferSize = 100000;
extern unsigned char fileBuffer[kFileBufferSize];

// Fills the CRC-32 table; the run does this once, before any file is tested.
void Crc32BuildTable();

// The CRC-32 of IEEE 802.3 over a stream of bytes, kept in one process-wide register:
// Crc32Begin, any number of Crc32Update calls, then Crc32End gives the result.
void Crc32Begin();
uint32_t Crc32Update(const void* bytes, uint32_t length);  // returns `length`
uint32_t Crc32End();

// True when the file at `path`, whose size has `size` as its low 32 bits, is a known worm file; then
// `*suffix` is set to the matching row's variant suffix and otherwise left alone. A file whose size
// matches no row is never opened; a file that cannot be read is judged clean.
bool InspectFile(const char* path, uint32_t size, const char** suffix);
