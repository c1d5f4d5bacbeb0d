#include "app/run.h"

#include <stdio.h>
#include <string.h>

#include "app/console.h"
#include "platform/win32.h"
#include "registry/registry_repair.h"
#include "scan/drive_scan.h"
#include "scan/signature.h"

namespace {

const char kBanner[] =
    "I-Worm/Ventrel Remover v0.94\t\t"
    "Free removal tool; use at your own risk, no warranty of any kind.";

const char kDeviceName[] = "\\\\.\\OrvFsh";

// Device type 0x5349, function 0x803, buffered transfer, write access.
const DWORD kDriverControlCode = 0x5349A00C;

void ScanDrives(const char* path) {
  char drive[kDriveBufferSize] = "X:\\";
  if (path != nullptr) {
    // A shortened path could name another folder, whose files would then be scanned and deleted.
    size_t length = strlen(path);
    if (length > static_cast<size_t>(kMaxPathArgument)) {
      ReportError(-1, "The path is too long (%d characters; at most %d are allowed).",
                  static_cast<int>(length), kMaxPathArgument);
      return;
    }
  }
  for (char letter = 'A'; letter <= 'Z'; ++letter) {
    drive[0] = letter;
    if (path == nullptr && GetDriveTypeA(drive) != DRIVE_FIXED) continue;
    if (path != nullptr) memcpy(drive, path, strlen(path) + 1);
    printf("Scanning drive %s...\n", drive);
    ScanRoot(drive);
    ShowProgress("");
    FoldCounters();
    printf("\rScan done: %d directories, %d files, %d infected, %d removed\n", scanCounters.directories,
           scanCounters.files, scanCounters.infected, scanCounters.removed);
    ResetDriveCounters();
    if (path != nullptr) break;
  }
}

}  // namespace

int RemoverMain(int argc, char** argv) {
  NotifyResidentDriver();
  const char* path = argc >= 2 ? argv[1] : nullptr;
  int result = RunRemoval(path);
  NotifyResidentDriver();
  return result;
}

void NotifyResidentDriver() {
  HANDLE device = CreateFileA(kDeviceName, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (device == INVALID_HANDLE_VALUE) return;
  DWORD reply = 0;
  DWORD returned = 0;
  DeviceIoControl(device, kDriverControlCode, nullptr, 0, &reply, sizeof reply, &returned, nullptr);
  CloseHandle(device);
}

int RunRemoval(const char* path) {
  Crc32BuildTable();
  printf("%s\n", kBanner);
  printf("Build date:  %s;%s\n", __TIME__, __DATE__);

  CheckTextFileCommand();
  for (const RegistryValueRow& row : kAutostartValues) CheckRegistryValue(row);
  FoldCounters();
  printf("Registry done: %d files, %d infected, %d removed\n", scanCounters.files, scanCounters.infected,
         scanCounters.removed);
  ResetDriveCounters();

  ScanDrives(path);

  if (scanCounters.remaining != 0) {
    printf("Done. Warning: Some I-Worm/Ventrel infections do still exist (count=%d)!!!\n",
           scanCounters.remaining);
  } else {
    printf("All done (checked %d files).\n", scanCounters.totalFiles);
  }
  if (scanCounters.rebootNeeded) printf("Please REBOOT Windows now to delete remaining infections!\n");
  return 0;
}
