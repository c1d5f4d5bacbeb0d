// The WININIT.INI rewrite on arbitrary file contents. The old list is read as a text stream reads
// it (CR LF as LF, nothing after a Ctrl-Z); the new list, read the same way, must hold every line
// of the old one in order, each ending with its line feed, and the new entry exactly once more
// than before, on a line of its own directly under a line holding the section header (the first
// such line, or one added at the end).
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>

#include <algorithm>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "platform/posix/machine.h"
#include "scan/restart.h"

namespace {

const char kEntry[] = "NUL=C:\\FUZZ\\NEW ENTRY.EXE";

std::string& Folder() {
  static std::string folder = fuzz::TemporaryFolder("vr-fuzz-wininit");
  return folder;
}

void SetUpMachine() {
  machine::Reset();
  machine::DriveOf('T') = machine::Drive{DRIVE_FIXED, Folder()};
  machine::Current().windowsDirectory = "T:";
  machine::Current().version = machine::WindowsVersion{VER_PLATFORM_WIN32_WINDOWS, 4, 10, 1998};
}

std::string ReadHost(const std::string& path) {
  std::string bytes;
  FILE* f = fopen(path.c_str(), "rb");
  if (f == nullptr) return bytes;
  char chunk[4096];
  size_t got;
  while ((got = fread(chunk, 1, sizeof chunk, f)) > 0) bytes.append(chunk, got);
  fclose(f);
  return bytes;
}

void WriteHost(const std::string& path, const std::string& bytes) {
  FILE* f = fopen(path.c_str(), "wb");
  FUZZ_CHECK(f != nullptr);
  FUZZ_CHECK(fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size());
  FUZZ_CHECK(fclose(f) == 0);
}

// What a text stream reads from these bytes.
std::string AsText(const std::string& bytes) {
  std::string text;
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (bytes[i] == '\x1A') break;
    if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') continue;
    text += bytes[i];
  }
  return text;
}

// The lines of a text, without their line feeds; a last line without one counts.
std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

// The copy reads a line in pieces of at most 498 characters, its line feed included, and looks for
// the header in each piece as far as its first zero byte.
bool HoldsHeader(const std::string& line) {
  const std::string whole = line + "\n";
  for (size_t start = 0; start < whole.size(); start += 498) {
    std::string piece = fuzz::AsCString(whole.substr(start, 498));
    for (char& c : piece) c = c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
    if (piece.find("[RENAME]") != std::string::npos) return true;
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  SetUpMachine();
  const std::string ini = Folder() + "/WININIT.INI";
  const std::string old(reinterpret_cast<const char*>(data), size);
  WriteHost(ini, old);
  FUZZ_CHECK(ScheduleDeleteAtRestart(kEntry + 4) == 0);
  const std::string written = ReadHost(ini);
  struct stat st;
  FUZZ_CHECK(stat((Folder() + "/WININIT.NEW").c_str(), &st) != 0);

  // Every line feed written is a CR LF, and nothing is cut by a Ctrl-Z.
  const std::string text = AsText(written);
  FUZZ_CHECK(written.find('\x1A') == std::string::npos);
  for (size_t i = 0; i < written.size(); ++i) FUZZ_CHECK(written[i] != '\n' || (i > 0 && written[i - 1] == '\r'));
  FUZZ_CHECK(!text.empty() && text.back() == '\n');
  std::vector<std::string> before = Lines(AsText(old));
  std::vector<std::string> after = Lines(text);

  if (std::none_of(before.begin(), before.end(), HoldsHeader)) {
    // No header was seen: a new section at the end.
    before.push_back("[rename]");
    before.push_back(kEntry);
    FUZZ_CHECK(after == before);
    return 0;
  }
  // Directly under the first line that holds the header, ahead of whatever followed it.
  size_t header = static_cast<size_t>(std::find_if(before.begin(), before.end(), HoldsHeader) - before.begin());
  before.insert(before.begin() + header + 1, kEntry);
  FUZZ_CHECK(after == before);
  return 0;
}
