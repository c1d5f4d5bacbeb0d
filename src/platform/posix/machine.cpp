#include "platform/posix/machine.h"

#include <ctype.h>
#include <time.h>

namespace machine {
namespace {

Machine HostDefaults() {
  Machine m;
  m.drives['Z' - 'A'] = Drive{DRIVE_FIXED, "/"};
  // The host runs no Windows: it reports an NT-family system (a restart request then goes to
  // MoveFileExA, which fails on the host), and its Windows folder is the usual one on drive C:,
  // which the host does not have, so nothing lands in a host folder unless a test maps C: or
  // names another folder.
  m.version = WindowsVersion{VER_PLATFORM_WIN32_NT, 5, 1, 2600};
  m.windowsDirectory = "C:\\WINDOWS";
  return m;
}

Machine& Storage() {
  static Machine instance = HostDefaults();
  return instance;
}

thread_local DWORD lastError = ERROR_SUCCESS;

}  // namespace

Machine& Current() { return Storage(); }

void Reset() { Storage() = HostDefaults(); }

Drive& DriveOf(char letter) {
  return Storage().drives[toupper(static_cast<unsigned char>(letter)) - 'A'];
}

}  // namespace machine

DWORD GetLastError(void) { return machine::lastError; }

void SetLastError(DWORD error) { machine::lastError = error; }

DWORD GetTickCount(void) {
  const machine::Machine& m = machine::Current();
  if (m.ticks) return m.ticks();
  struct timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  uint64_t ms = static_cast<uint64_t>(now.tv_sec) * 1000u + static_cast<uint64_t>(now.tv_nsec) / 1000000u;
  return static_cast<DWORD>(ms);
}
