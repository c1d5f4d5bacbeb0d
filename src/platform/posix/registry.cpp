// The registry functions over the machine's in-memory registry. Handles are numbers above a fixed
// base that no pointer the process owns equals, well below the roots, so a stray or closed handle is
// refused rather than taken for a key.
#include <ctype.h>
#include <string.h>

#include "platform/posix/machine.h"

namespace {

const intptr_t kKeyHandleBase = 0x6000;

// Rights that change a key; a key that refuses write access refuses each of them.
const REGSAM kChangingRights = KEY_SET_VALUE | KEY_CREATE_SUB_KEY | KEY_CREATE_LINK | 0x00010000u /* DELETE */ |
                               0x00040000u /* WRITE_DAC */ | 0x00080000u /* WRITE_OWNER */;

machine::Registry& TheRegistry() { return machine::Current().registry; }

bool IsEmpty(LPCSTR text) { return text == nullptr || text[0] == '\0'; }

// The open handle's record, or null for anything else.
machine::OpenKey* HandleOf(HKEY key) {
  intptr_t number = reinterpret_cast<intptr_t>(key) - kKeyHandleBase;
  std::vector<machine::OpenKey>& handles = TheRegistry().handles;
  if (number < 0 || number >= static_cast<intptr_t>(handles.size()) || !handles[number].open) return nullptr;
  return &handles[number];
}

// The full path and granted rights that `key` stands for, extended by `subKey`. Returns the error
// a registry function reports when the handle or the subkey is unusable.
LONG Resolve(HKEY key, LPCSTR subKey, std::string* path, REGSAM* access) {
  std::string base = machine::RootPath(key);
  REGSAM granted = KEY_ALL_ACCESS;
  if (base.empty()) {
    const machine::OpenKey* handle = HandleOf(key);
    if (handle == nullptr) return ERROR_INVALID_HANDLE;
    base = handle->path;
    granted = handle->access;
  }
  if (!IsEmpty(subKey)) {
    if (subKey[0] == '\\') return ERROR_BAD_PATHNAME;
    base += '\\';
    base += subKey;
  }
  *path = base;
  if (access != nullptr) *access = granted;
  return ERROR_SUCCESS;
}

// The key at a full path; empty components (a doubled or trailing backslash) are skipped.
machine::RegistryKey* Lookup(const std::string& path, bool create) {
  machine::RegistryKey* key = &TheRegistry().top;
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find('\\', start);
    if (end == std::string::npos) end = path.size();
    if (end > start) {
      std::string name = path.substr(start, end - start);
      auto found = key->subkeys.find(name);
      if (found == key->subkeys.end()) {
        if (!create) return nullptr;
        found = key->subkeys.emplace(name, machine::RegistryKey{}).first;
      }
      key = &found->second;
    }
    start = end + 1;
  }
  return key;
}

// Copies `bytes` out as the query functions do: the size alone when `data` is null, ERROR_MORE_DATA
// with the buffer untouched when it is too small.
LONG CopyOut(const std::string& bytes, LPBYTE data, LPDWORD size) {
  DWORD length = static_cast<DWORD>(bytes.size());
  if (data != nullptr) {
    if (length > *size) {
      *size = length;
      return ERROR_MORE_DATA;
    }
    memcpy(data, bytes.data(), length);
  }
  *size = length;
  return ERROR_SUCCESS;
}

}  // namespace

namespace machine {

bool NoCaseLess::operator()(const std::string& a, const std::string& b) const {
  size_t length = a.size() < b.size() ? a.size() : b.size();
  for (size_t i = 0; i < length; ++i) {
    int ca = tolower(static_cast<unsigned char>(a[i]));
    int cb = tolower(static_cast<unsigned char>(b[i]));
    if (ca != cb) return ca < cb;
  }
  return a.size() < b.size();
}

std::string RootPath(HKEY root) {
  if (root == HKEY_CLASSES_ROOT) return "HKEY_LOCAL_MACHINE\\Software\\Classes";
  if (root == HKEY_CURRENT_USER) return "HKEY_CURRENT_USER";
  if (root == HKEY_LOCAL_MACHINE) return "HKEY_LOCAL_MACHINE";
  if (root == HKEY_USERS) return "HKEY_USERS";
  return std::string();
}

Registry::Registry() {
  for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER, HKEY_USERS}) top.subkeys[RootPath(root)];
}

RegistryKey& Registry::CreateKey(HKEY root, const std::string& path) {
  return *Lookup(RootPath(root) + "\\" + path, true);
}

RegistryKey* Registry::FindKey(HKEY root, const std::string& path) {
  return Lookup(RootPath(root) + "\\" + path, false);
}

const RegistryValue* Registry::FindValue(HKEY root, const std::string& path, const std::string& name) {
  const RegistryKey* key = FindKey(root, path);
  if (key == nullptr) return nullptr;
  auto found = key->values.find(name);
  return found == key->values.end() ? nullptr : &found->second;
}

void Registry::SetValue(HKEY root, const std::string& path, const std::string& name, DWORD type,
                        const std::string& data) {
  CreateKey(root, path).values[name] = RegistryValue{type, data};
}

void Registry::SetString(HKEY root, const std::string& path, const std::string& name, const std::string& text,
                         DWORD type) {
  SetValue(root, path, name, type, text + '\0');
}

}  // namespace machine

LONG RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD, REGSAM access, PHKEY result) {
  if (result == nullptr) return ERROR_INVALID_PARAMETER;
  if (machine::Fails("RegOpenKeyExA")) return ERROR_ACCESS_DENIED;
  std::string path;
  LONG status = Resolve(key, subKey, &path, nullptr);
  if (status != ERROR_SUCCESS) return status;
  const machine::RegistryKey* found = Lookup(path, false);
  if (found == nullptr) return ERROR_FILE_NOT_FOUND;
  if (found->refusesWriteAccess && (access & kChangingRights) != 0) return ERROR_ACCESS_DENIED;
  machine::Registry& registry = TheRegistry();
  registry.handles.push_back(machine::OpenKey{path, access, true});
  ++registry.openKeys;
  *result = reinterpret_cast<HKEY>(kKeyHandleBase + static_cast<intptr_t>(registry.handles.size()) - 1);
  return ERROR_SUCCESS;
}

LONG RegQueryValueA(HKEY key, LPCSTR subKey, LPSTR data, PLONG size) {
  if (size == nullptr && data != nullptr) return ERROR_INVALID_PARAMETER;
  if (machine::Fails("RegQueryValueA")) return ERROR_ACCESS_DENIED;
  std::string path;
  REGSAM access = 0;
  LONG status = Resolve(key, subKey, &path, &access);
  if (status != ERROR_SUCCESS) return status;
  // A subkey is opened for reading on the caller's behalf; the handle's own rights count otherwise.
  if (IsEmpty(subKey) && (access & KEY_QUERY_VALUE) == 0) return ERROR_ACCESS_DENIED;
  const machine::RegistryKey* found = Lookup(path, false);
  if (found == nullptr) return ERROR_FILE_NOT_FOUND;
  auto value = found->values.find("");
  // Every key has a default value for this function: one never set reads as the empty string.
  const std::string bytes = value == found->values.end() ? std::string(1, '\0') : value->second.data;
  DWORD length = size != nullptr ? static_cast<DWORD>(*size) : 0;
  status = CopyOut(bytes, reinterpret_cast<LPBYTE>(data), &length);
  if (size != nullptr) *size = static_cast<LONG>(length);
  return status;
}

LONG RegQueryValueExA(HKEY key, LPCSTR name, LPDWORD reserved, LPDWORD type, LPBYTE data, LPDWORD size) {
  if (reserved != nullptr || (data != nullptr && size == nullptr)) return ERROR_INVALID_PARAMETER;
  if (machine::Fails("RegQueryValueExA")) return ERROR_ACCESS_DENIED;
  std::string path;
  REGSAM access = 0;
  LONG status = Resolve(key, nullptr, &path, &access);
  if (status != ERROR_SUCCESS) return status;
  if ((access & KEY_QUERY_VALUE) == 0) return ERROR_ACCESS_DENIED;
  const machine::RegistryKey* found = Lookup(path, false);
  if (found == nullptr) return ERROR_KEY_DELETED;
  auto value = found->values.find(IsEmpty(name) ? "" : name);
  if (value == found->values.end()) return ERROR_FILE_NOT_FOUND;
  if (type != nullptr) *type = value->second.type;
  if (size == nullptr) return ERROR_SUCCESS;
  return CopyOut(value->second.data, data, size);
}

LONG RegSetValueA(HKEY key, LPCSTR subKey, DWORD type, LPCSTR data, DWORD) {
  if (type != REG_SZ || data == nullptr) return ERROR_INVALID_PARAMETER;
  std::string path;
  REGSAM access = 0;
  LONG status = Resolve(key, subKey, &path, &access);
  if (status != ERROR_SUCCESS) return status;
  machine::RegistryKey* target = Lookup(path, false);
  if (IsEmpty(subKey)) {
    if ((access & KEY_SET_VALUE) == 0) return ERROR_ACCESS_DENIED;
    if (target == nullptr) return ERROR_KEY_DELETED;
  } else if (target != nullptr ? target->refusesWriteAccess : (access & KEY_CREATE_SUB_KEY) == 0) {
    return ERROR_ACCESS_DENIED;
  }
  if (machine::Fails("RegSetValueA")) return ERROR_ACCESS_DENIED;
  if (target == nullptr) target = Lookup(path, true);
  target->values[""] = machine::RegistryValue{REG_SZ, std::string(data, strlen(data) + 1)};
  return ERROR_SUCCESS;
}

LONG RegDeleteValueA(HKEY key, LPCSTR name) {
  std::string path;
  REGSAM access = 0;
  LONG status = Resolve(key, nullptr, &path, &access);
  if (status != ERROR_SUCCESS) return status;
  if ((access & KEY_SET_VALUE) == 0) return ERROR_ACCESS_DENIED;
  if (machine::Fails("RegDeleteValueA")) return ERROR_ACCESS_DENIED;
  machine::RegistryKey* found = Lookup(path, false);
  if (found == nullptr) return ERROR_KEY_DELETED;
  if (found->values.erase(IsEmpty(name) ? "" : name) == 0) return ERROR_FILE_NOT_FOUND;
  return ERROR_SUCCESS;
}

LONG RegCloseKey(HKEY key) {
  if (!machine::RootPath(key).empty()) return ERROR_SUCCESS;
  machine::OpenKey* handle = HandleOf(key);
  if (handle == nullptr) return ERROR_INVALID_HANDLE;
  handle->open = false;
  --TheRegistry().openKeys;
  // A close that reports a failure has still let the handle go: its caller could do nothing else.
  return machine::Fails("RegCloseKey") ? ERROR_INVALID_HANDLE : ERROR_SUCCESS;
}
