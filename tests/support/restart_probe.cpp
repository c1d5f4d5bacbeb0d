// Schedules one file for deletion at restart in a process of its own, so a test under Wine can set,
// before the process starts, which Windows family Wine reports to it:
//   vr_restart_probe PATH
// Prints "platform=P result=R" with the platform family and the result of the request; the exit
// code is the platform family when the request took effect and 100 more when it did not.
#include <stdio.h>
#include <string.h>

#include "platform/win32.h"
#include "scan/restart.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: %s PATH\n", argv[0]);
    return 200;
  }
  OSVERSIONINFOA version;
  memset(&version, 0, sizeof version);
  version.dwOSVersionInfoSize = sizeof version;
  GetVersionExA(&version);
  int result = ScheduleDeleteAtRestart(argv[1]);
  printf("platform=%lu result=%d\n", static_cast<unsigned long>(version.dwPlatformId), result);
  return static_cast<int>(version.dwPlatformId) + (result == 0 ? 0 : 100);
}
