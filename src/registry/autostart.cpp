#include <stdio.h>
#include <string.h>

#include "app/console.h"
#include "registry/registry_repair.h"

const RegistryValueRow kAutostartValues[kAutostartValueCount] = {
    {HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion\\Run", "syshelp", nullptr},
    {HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion\\Run", "WinGate initialize", nullptr},
    {HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion\\Run", "Module Call initialize", nullptr},
    {HKEY_CURRENT_USER, "Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows", "Run", "rpcsrv.exe"},
};

namespace {

const DWORD kValueBufferSize = 512;

}  // namespace

int CheckRegistryValue(const RegistryValueRow& row) {
  const char* rootName = RootKeyName(row.root);
  const char* subkey = SubkeyLabel(row.subkey);
  printf("Checking registry [%s\\%s\\%s]\n\t", rootName, subkey, row.valueName);
  HKEY key;
  if (RegOpenKeyExA(row.root, row.subkey, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) {
    return ReportError(-1, "Cannot open registry key [%s\\%s].", rootName, subkey);
  }
  printf("...opened...");
  printf("...checking( %s )...", row.valueName);

  // Whatever the value's type, its data is taken as a string up to its first zero byte.
  char data[kValueBufferSize];
  DWORD size = sizeof data;
  LONG status = RegQueryValueExA(key, row.valueName, nullptr, nullptr, reinterpret_cast<BYTE*>(data), &size);
  if (status != ERROR_SUCCESS) {
    if (status == ERROR_FILE_NOT_FOUND) {
      printf("OK (not found)\n");
    } else {
      printf("FAIL - cannot query key (winerror=%d)\n", static_cast<int>(status));
    }
    RegCloseKey(key);
    return 2;
  }
  printf("...key found...");
  // Data stored without a terminating zero ends where the registry says it ends; data that fills
  // the buffer loses its last byte to the terminator.
  if (size < kValueBufferSize) data[size] = '\0';
  data[kValueBufferSize - 1] = '\0';

  if (row.expectedData != nullptr && strcmp(data, row.expectedData) != 0) {
    printf("is OK\n");
    RegCloseKey(key);
    return 0;
  }
  if (RegDeleteValueA(key, row.valueName) == ERROR_SUCCESS) {
    RegCloseKey(key);
    printf("OK (key removed)\n");
    return 0;
  }
  ReportError(-1, "Cannot remove registry value [%s\\%s\\%s]!", rootName, subkey, row.valueName);
  RegCloseKey(key);
  return 2;
}

const char* RootKeyName(HKEY root) {
  if (root == HKEY_CLASSES_ROOT) return "HKCR";
  if (root == HKEY_CURRENT_USER) return "HKCU";
  if (root == HKEY_LOCAL_MACHINE) return "HKLM";
  if (root == HKEY_USERS) return "HKEY_USERS";
  return "?";
}

const char* SubkeyLabel(const char* subkey) {
  return subkey == nullptr || subkey[0] == '\0' ? "{default}" : subkey;
}
