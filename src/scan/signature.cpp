#include "scan/signature.h"

#include <stdio.h>
#include <string.h>

const SignatureRow kSignatureTable[kSignatureCount] = {
    {77824, 0x58272A4F, ".DROPPED"},
    {78848, 0xACB63D88, ".C"},
    {107008, 0xD28AB6B9, ""},
    {172842, 0x69480FA2, ""},
    {107008, 0xB8D92DC8, ""},
    {84992, 0x40A884EC, ""},
    {77312, 0x5836E16D, ""},
    {84992, 0xFE8AB2C8, ""},
    {81920, 0xA2B6C559, ""},
    {41984, 0xCA4CDED4, ""},
};

unsigned char fileBuffer[kFileBufferSize];

namespace {

uint32_t crc32Table[256];
uint32_t crc32Register;

bool SizeMatchesARow(uint32_t size) {
  for (const SignatureRow& row : kSignatureTable) {
    if (row.size == size) return true;
  }
  return false;
}

// Reads the file into the start of fileBuffer. The buffer is cleared first, so an unreadable or
// shortened file is tested as zeros after whatever could be read; no such buffer matches a row.
void ReadCandidate(const char* path, uint32_t size) {
  memset(fileBuffer, 0, sizeof fileBuffer);
  FILE* file = fopen(path, "rb");
  if (file == nullptr) return;
  // Counted in bytes, so a short read still leaves what it got in the buffer.
  fread(fileBuffer, 1, size, file);
  fclose(file);
}

}  // namespace

bool InspectFile(const char* path, uint32_t size, const char** suffix) {
  if (!SizeMatchesARow(size)) return false;
  if (size > kFileBufferSize) return false;
  ReadCandidate(path, size);
  Crc32Begin();
  Crc32Update(fileBuffer, size);
  uint32_t crc = Crc32End();
  // Any row's CRC counts, not only that of the row whose size matched.
  for (const SignatureRow& row : kSignatureTable) {
    if (row.crc == crc) {
      *suffix = row.suffix;
      return true;
    }
  }
  return false;
}

void Crc32BuildTable() {
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t crc = 0;
    uint32_t data = i;
    for (int bit = 0; bit < 8; ++bit) {
      crc = ((crc ^ data) & 1) != 0 ? (crc >> 1) ^ 0xEDB88320u : crc >> 1;
      data >>= 1;
    }
    crc32Table[i] = crc;
  }
}

void Crc32Begin() { crc32Register = 0xFFFFFFFFu; }

uint32_t Crc32Update(const void* bytes, uint32_t length) {
  const unsigned char* p = static_cast<const unsigned char*>(bytes);
  for (uint32_t i = 0; i < length; ++i) {
    crc32Register = (crc32Register >> 8) ^ crc32Table[(p[i] ^ crc32Register) & 0xFF];
  }
  return length;
}

uint32_t Crc32End() { return ~crc32Register; }
