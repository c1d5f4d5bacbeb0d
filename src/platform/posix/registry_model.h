// The in-memory registry of the POSIX layer's machine object: keys and values with names compared
// without regard to ASCII case, typed values stored as raw bytes, and the open-key handles.
// Test-facing, like machine.h; system code never includes it.
#pragma once

#include "platform/posix/win32_posix.h"

#include <map>
#include <string>
#include <vector>

namespace machine {

// Orders names as the registry compares them: ASCII letters without regard to case.
struct NoCaseLess {
  bool operator()(const std::string& a, const std::string& b) const;
};

// A value as it is stored: its type and its bytes, a string's terminating zero included only when
// the writer gave it. Reads return the bytes as stored and add no terminator, as the ANSI registry
// of the Windows 95 family does.
struct RegistryValue {
  DWORD type = REG_SZ;
  std::string data;
};

struct RegistryKey {
  std::map<std::string, RegistryKey, NoCaseLess> subkeys;
  std::map<std::string, RegistryValue, NoCaseLess> values;  // "" names the default value
  // Opens for reading only, as HKEY_LOCAL_MACHINE does for a user without administrative rights:
  // a request for any right that changes the key is refused with ERROR_ACCESS_DENIED.
  bool refusesWriteAccess = false;
};

// One handle RegOpenKeyExA gave out: the key's full path from the top ("HKEY_LOCAL_MACHINE\\...")
// and the rights granted. The path is looked up again on each use.
struct OpenKey {
  std::string path;
  REGSAM access = 0;
  bool open = false;
};

// Every registry function asks machine::Fails(), naming itself, so a test makes any of them fail
// through the machine's Faults: opens, reads, writes and deletes with ERROR_ACCESS_DENIED, a close
// with ERROR_INVALID_HANDLE after it has let the handle go. Without a fault set nothing changes.
struct Registry {
  Registry();  // the roots, and nothing in them

  RegistryKey top;  // its subkeys are the roots: HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER, HKEY_USERS
  std::vector<OpenKey> handles;  // by handle number
  int openKeys = 0;              // handles open now; 0 after a check that closed every key

  // Test conveniences; `root` is one of the HKEY_* roots and `path` is relative to it.
  // The key, created with every missing key above it.
  RegistryKey& CreateKey(HKEY root, const std::string& path);
  // The key, or null when it does not exist.
  RegistryKey* FindKey(HKEY root, const std::string& path);
  // The value, or null when it or its key does not exist; `name` "" is the default value.
  const RegistryValue* FindValue(HKEY root, const std::string& path, const std::string& name);
  // Stores `data` as it is, creating the key.
  void SetValue(HKEY root, const std::string& path, const std::string& name, DWORD type,
                const std::string& data);
  // Stores `text` with its terminating zero, creating the key.
  void SetString(HKEY root, const std::string& path, const std::string& name, const std::string& text,
                 DWORD type = REG_SZ);
};

// The full path of `root`'s key from the top ("HKEY_LOCAL_MACHINE\\Software\\Classes" for
// HKEY_CLASSES_ROOT); empty for a handle that is not a root.
std::string RootPath(HKEY root);

}  // namespace machine
