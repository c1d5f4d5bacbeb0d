#include "support/worm_file.h"

#include <fstream>
#include <vector>

namespace support {
namespace {

const uint32_t kPolynomial = 0xEDB88320u;

// Pseudo-random body bytes; the same seed always gives the same file.
class BodyBytes {
 public:
  explicit BodyBytes(uint32_t seed) : state_(seed != 0 ? seed : 1) {}
  unsigned char Next() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 17;
    state_ ^= state_ << 5;
    return static_cast<unsigned char>(state_ >> 24);
  }

 private:
  uint32_t state_;
};

void Put(unsigned char* four, uint32_t value) {
  for (int i = 0; i < 4; ++i) four[i] = static_cast<unsigned char>(value >> (8 * i));
}

// The four bytes that, placed before `trailing` more bytes, change the whole CRC-32 by `change`.
// A change of the four bytes changes the CRC by a linear function of that change alone (the other
// bytes and the length fix only the constant part), so the function is found column by column from
// the 32 single-bit changes and inverted by Gaussian elimination.
uint32_t SolveChange(size_t trailing, uint32_t change) {
  std::vector<unsigned char> probe(4 + trailing, 0);
  const uint32_t zeros = ReferenceCrc32(probe.data(), probe.size());
  uint32_t pivotValue[32] = {};
  uint32_t pivotBits[32] = {};
  bool hasPivot[32] = {};
  for (int bit = 0; bit < 32; ++bit) {
    Put(probe.data(), 1u << bit);
    uint32_t value = ReferenceCrc32(probe.data(), probe.size()) ^ zeros;
    uint32_t bits = 1u << bit;
    for (int top = 31; top >= 0 && value != 0; --top) {
      if (((value >> top) & 1) == 0) continue;
      if (!hasPivot[top]) {
        hasPivot[top] = true;
        pivotValue[top] = value;
        pivotBits[top] = bits;
        break;
      }
      value ^= pivotValue[top];
      bits ^= pivotBits[top];
    }
  }
  // Every column is independent (the generator polynomial has a constant term), so each bit of the
  // wanted change has its pivot.
  uint32_t solution = 0;
  for (int top = 31; top >= 0; --top) {
    if (((change >> top) & 1) == 0) continue;
    change ^= pivotValue[top];
    solution ^= pivotBits[top];
  }
  return solution;
}

}  // namespace

uint32_t ReferenceCrc32(const void* bytes, size_t length, uint32_t crc) {
  const unsigned char* p = static_cast<const unsigned char*>(bytes);
  uint32_t reg = ~crc;
  for (size_t i = 0; i < length; ++i) {
    reg ^= p[i];
    for (int bit = 0; bit < 8; ++bit) reg = (reg & 1) != 0 ? (reg >> 1) ^ kPolynomial : reg >> 1;
  }
  return ~reg;
}

std::string MakeWormBytes(uint32_t size, uint32_t crc, uint32_t seed) {
  if (size < 4) return std::string();
  std::string bytes(size, '\0');
  BodyBytes body(seed);
  for (uint32_t i = 0; i + 4 < size; ++i) bytes[i] = static_cast<char>(body.Next());
  SolveCrc32(bytes, size - 4, crc);
  return bytes;
}

void SolveCrc32(std::string& bytes, size_t offset, uint32_t crc) {
  unsigned char* four = reinterpret_cast<unsigned char*>(&bytes[offset]);
  Put(four, 0);
  uint32_t current = ReferenceCrc32(bytes.data(), bytes.size());
  Put(four, SolveChange(bytes.size() - offset - 4, current ^ crc));
}

bool WriteWormFile(const std::string& path, uint64_t size, uint32_t crc, uint32_t seed) {
  if (size < 4) return false;
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) return false;
  BodyBytes body(seed);
  unsigned char chunk[65536];
  uint32_t running = 0;
  for (uint64_t left = size - 4; left > 0;) {
    size_t length = left < sizeof chunk ? static_cast<size_t>(left) : sizeof chunk;
    for (size_t i = 0; i < length; ++i) chunk[i] = body.Next();
    running = ReferenceCrc32(chunk, length, running);
    out.write(reinterpret_cast<const char*>(chunk), static_cast<std::streamsize>(length));
    left -= length;
  }
  unsigned char tail[4] = {};
  Put(tail, SolveChange(0, ReferenceCrc32(tail, 4, running) ^ crc));
  out.write(reinterpret_cast<const char*>(tail), 4);
  out.close();
  return !out.fail();
}

}  // namespace support
