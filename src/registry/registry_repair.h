// The registry repairs: the text-file open command and the worm's autostart values.
#pragma once

#include "platform/win32.h"

// Puts back "NOTEPAD.EXE %1" as the text-file open command when the worm replaced it.
// Returns 1 when the key cannot be opened or read, 0 otherwise.
int CheckTextFileCommand();

struct RegistryValueRow {
  HKEY root;
  const char* subkey;
  const char* valueName;
  const char* expectedData;  // deleted only when it holds exactly this; null: deleted whatever it holds
};

const int kAutostartValueCount = 4;
extern const RegistryValueRow kAutostartValues[kAutostartValueCount];

// Examines one autostart value and deletes it when the row says so. Returns 0 when the value was
// left alone as correct or was deleted, 2 when it was absent or its read or delete failed, and -1
// when the key did not open.
int CheckRegistryValue(const RegistryValueRow& row);

// The short display name of a registry root ("HKLM", "HKCU", ...), "?" for any other key.
const char* RootKeyName(HKEY root);

// The subkey for display, "{default}" when there is none.
const char* SubkeyLabel(const char* subkey);
