#include "scan/drive_scan.h"

#include <stdio.h>

#include "app/console.h"
#include "platform/win32.h"
#include "scan/restart.h"
#include "scan/signature.h"

uint32_t progressTick = 0;

void ScanRoot(const char* path) {
  if (path == nullptr) return;
  ScanCallbacks callbacks;
  FileWalker walker;
  walker.callbacks = &callbacks;
  walker.AddMasks("*");
  walker.AddPathSpec(path);
}

int ScanCallbacks::OnFile(const FoundEntry& entry) {
  ++scanCounters.files;
  const char* suffix = "";
  // Every worm file is far below 4 GiB. A larger file whose low 32 bits of size happen to equal a
  // signature size is not one, whatever its first bytes hold, and must never be deleted.
  if (entry.sizeHigh != 0) return 0;
  if (InspectFile(entry.longPath, entry.sizeLow, &suffix)) HandleInfectedFile(entry.longPath, suffix);
  return 0;
}

int ScanCallbacks::OnDirectory(const FoundEntry& entry) {
  ++scanCounters.directories;
  uint32_t now = GetTickCount();
  // Compared as a signed difference, so the wrap of the tick count after 49.7 days does not stop
  // the redraws.
  if (progressTick == 0 || static_cast<int32_t>(now - progressTick) > static_cast<int32_t>(kProgressInterval)) {
    ShowProgress(entry.longPath);
    progressTick = now;
  }
  fflush(stdout);
  return 0;
}

int ScanCallbacks::ShouldStop() { return 0; }

void HandleInfectedFile(const char* path, const char* suffix) {
  ++scanCounters.infected;
  printf("\nI-Worm/Ventrel%s found in file %s\n", suffix, path);
  SetFileAttributesA(path, FILE_ATTRIBUTE_ARCHIVE);
  if (remove(path) == 0) {
    ++scanCounters.removed;
    printf("File %s was removed.\n", path);
  } else if (ScheduleDeleteAtRestart(path) == 0) {
    printf("File %s was scheduled to remove after reboot.\n", path);
    scanCounters.rebootNeeded = true;
  } else {
    // Nothing will delete it: say so instead of promising a restart that would leave it in place.
    ReportError(-1, "Cannot remove file %s, nor schedule its removal after reboot.", path);
  }
}
