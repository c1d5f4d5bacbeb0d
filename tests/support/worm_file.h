// Files that the signature test takes for worm files, made at test time: a body of pseudo-random
// bytes and four bytes chosen so the whole file has a given CRC-32. No worm file is ever stored.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>

namespace support {

// The CRC-32 of IEEE 802.3, computed bit by bit, independently of the system's table. `crc` is the
// result over the bytes before these, so a stream can be taken in pieces; 0 starts a new one.
uint32_t ReferenceCrc32(const void* bytes, size_t length, uint32_t crc = 0);

// `size` bytes (at least 4) whose CRC-32 is `crc`: the body comes from `seed`, the last four bytes
// are solved. Empty when `size` is below 4.
std::string MakeWormBytes(uint32_t size, uint32_t crc, uint32_t seed = 1);

// Overwrites the four bytes of `bytes` at `offset` so that the CRC-32 of all of `bytes` becomes
// `crc`. Any four consecutive bytes can be solved for, since CRC-32 is linear in its input.
void SolveCrc32(std::string& bytes, size_t offset, uint32_t crc);

// Writes a file of `size` bytes (at least 4, any size: it is streamed) with the content
// MakeWormBytes gives; false when `size` is below 4 or the file cannot be written.
bool WriteWormFile(const std::string& path, uint64_t size, uint32_t crc, uint32_t seed = 1);

}  // namespace support
