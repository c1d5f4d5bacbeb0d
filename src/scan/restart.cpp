#include "scan/restart.h"

#include <errno.h>
#include <stdio.h>
#include <string.h>

#include "platform/win32.h"

namespace {

const int kWindowsDirectorySize = 500;
const int kIniPathSize = 260;
// A read of at most 498 characters and its terminating zero; the piece ends at a line feed or there.
const int kPieceLimit = 499;

const char kRenameHeader[] = "[rename]";
const char kDeleteTarget[] = "NUL";

int ScheduleInWininit(const char* path);
bool CopyWithEntry(FILE* ini, FILE* out, char* line, const char* path);
size_t ReadPiece(FILE* in, char* piece);
char AsciiUpper(char c);

}  // namespace

int ScheduleDeleteAtRestart(const char* path) {
  OSVERSIONINFOA version;
  memset(&version, 0, sizeof version);
  version.dwOSVersionInfoSize = sizeof version;
  // Without the family it is unknown which of the two lists the next start reads.
  if (!GetVersionExA(&version)) return -1;
  if (version.dwPlatformId == VER_PLATFORM_WIN32_NT) {
    return MoveFileExA(path, nullptr, MOVEFILE_REPLACE_EXISTING | MOVEFILE_DELAY_UNTIL_REBOOT) ? 0 : -1;
  }
  return ScheduleInWininit(path);
}

bool ContainsNoCase(const char* text, const char* pattern) {
  for (const char* start = text;; ++start) {
    size_t i = 0;
    while (pattern[i] != '\0' && AsciiUpper(start[i]) == AsciiUpper(pattern[i])) ++i;
    if (pattern[i] == '\0') return true;
    if (*start == '\0') return false;
  }
}

namespace {

// WININIT.INI is copied to WININIT.NEW with the new entry added, and WININIT.NEW then takes its
// place. The old file goes only once the new one is written whole, so a failure at any step leaves
// every entry already scheduled where it was.
int ScheduleInWininit(const char* path) {
  // Serves first as the Windows folder, then as the line buffer of the copy.
  char buffer[kWindowsDirectorySize];
  UINT length = GetWindowsDirectoryA(buffer, sizeof buffer);
  if (length == 0 || length >= sizeof buffer) return -1;
  char iniPath[kIniPathSize];
  char newPath[kIniPathSize];
  int iniLength = snprintf(iniPath, sizeof iniPath, "%s\\WININIT.INI", buffer);
  int newLength = snprintf(newPath, sizeof newPath, "%s\\WININIT.NEW", buffer);
  if (iniLength < 0 || iniLength >= kIniPathSize || newLength < 0 || newLength >= kIniPathSize) return -1;

  FILE* ini = fopen(iniPath, "rt");
  // A list that exists but cannot be read must not be replaced by one holding only the new entry.
  if (ini == nullptr && errno != ENOENT) return -1;
  FILE* out = fopen(newPath, "wt");
  if (out == nullptr) {
    if (ini != nullptr) fclose(ini);
    return -1;
  }
  bool written;
  if (ini == nullptr) {
    written = fprintf(out, "%s\n%s=%s\n", kRenameHeader, kDeleteTarget, path) > 0;
  } else {
    written = CopyWithEntry(ini, out, buffer, path);
    fclose(ini);
  }
  if (fclose(out) != 0) written = false;
  if (!written) {
    remove(newPath);
    return -1;
  }

  // Read-only, hidden or system: the old list is replaced all the same.
  SetFileAttributesA(iniPath, FILE_ATTRIBUTE_ARCHIVE);
  if (remove(iniPath) != 0 && errno != ENOENT) {
    remove(newPath);
    return -1;
  }
  // Should this fail, WININIT.NEW is kept: it is now the only copy of the old entries.
  return rename(newPath, iniPath) == 0 ? 0 : -1;
}

// Copies `ini` to `out` piece by piece and adds the entry directly below the first line that holds
// the section header, ahead of the entries already there, or a new section at the end when there is
// none. Header and entry always start a line of their own: after a line cut at the piece limit the
// entry waits for that line's end, and a last line without a line feed gets one. Pieces are copied
// by their length, so a zero byte in a line does not cut off the rest of it. False when a read or
// a write failed.
bool CopyWithEntry(FILE* ini, FILE* out, char* line, const char* path) {
  bool ok = true;
  bool sectionSeen = false;
  bool entryWritten = false;
  bool atLineStart = true;
  size_t length;
  while (ok && (length = ReadPiece(ini, line)) > 0) {
    bool holdsHeader = ContainsNoCase(line, kRenameHeader);
    ok = fwrite(line, 1, length, out) == length;
    atLineStart = line[length - 1] == '\n';
    if (holdsHeader) sectionSeen = true;
    if (ok && sectionSeen && !entryWritten && atLineStart) {
      ok = fprintf(out, "%s=%s\n", kDeleteTarget, path) > 0;
      entryWritten = true;
    }
  }
  if (ferror(ini)) ok = false;
  if (ok && !atLineStart) ok = fputs("\n", out) >= 0;
  if (ok && !sectionSeen) ok = fprintf(out, "%s\n", kRenameHeader) > 0;
  if (ok && !entryWritten) ok = fprintf(out, "%s=%s\n", kDeleteTarget, path) > 0;
  return ok;
}

// Reads what fgets with the piece limit would: up to and including the next line feed, at most
// kPieceLimit - 1 characters, terminated. Returns the length, which fgets does not tell; 0 at the
// end of the text or on a read error.
size_t ReadPiece(FILE* in, char* piece) {
  size_t length = 0;
  while (length + 1 < static_cast<size_t>(kPieceLimit)) {
    int c = getc(in);
    if (c == EOF) break;
    piece[length++] = static_cast<char>(c);
    if (c == '\n') break;
  }
  piece[length] = '\0';
  return length;
}

char AsciiUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

}  // namespace
