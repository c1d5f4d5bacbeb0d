#include <stdio.h>
#include <string.h>
#include <strings.h>

#include "app/console.h"
#include "registry/registry_repair.h"

namespace {

const char kCommandKey[] = "txtfile\\shell\\open\\command";
const char kInfectedCommand[] = "winrpc.exe %1";
const char kRepairedCommand[] = "NOTEPAD.EXE %1";
const LONG kValueBufferSize = 200;

}  // namespace

int CheckTextFileCommand() {
  printf("Checking registry key %s\n", kCommandKey);
  HKEY key;
  if (RegOpenKeyExA(HKEY_CLASSES_ROOT, kCommandKey, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) {
    return ReportError(1, "Cannot open registry key.");
  }
  char value[kValueBufferSize];
  LONG size = sizeof value;
  // The registry may return data without a terminating zero: it ends where the returned length says.
  // A value that fills the whole buffer has no room for one, so it counts as too long, as a longer
  // one does.
  if (RegQueryValueA(key, nullptr, value, &size) != ERROR_SUCCESS || size < 0 ||
      (size >= kValueBufferSize && memchr(value, '\0', sizeof value) == nullptr)) {
    RegCloseKey(key);
    return ReportError(1, "Cannot query registry key value");
  }
  if (size < kValueBufferSize) value[size] = '\0';
  printf("Registry key value=[%s]\n", value);

  bool repairFailed = false;
  if (strcasecmp(value, kInfectedCommand) == 0) {
    memcpy(value, kRepairedCommand, sizeof kRepairedCommand);
    if (RegSetValueA(key, nullptr, REG_SZ, value, sizeof kRepairedCommand) == ERROR_SUCCESS) {
      printf("Repaired\n");
    } else {
      printf("Cannot fix the registry key.\n");
      repairFailed = true;
    }
  }
  if (!repairFailed) printf("Key is OK\n");
  RegCloseKey(key);
  return 0;
}
