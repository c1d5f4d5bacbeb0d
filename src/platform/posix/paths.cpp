// The path model, and the standard library's path-taking functions routed through it. The build
// links system code with --wrap for fopen, remove and rename, so a call such as
// remove("Z:\\TMP\\X.EXE") reaches the host file /tmp/X.EXE; host paths pass through unchanged.
#include <ctype.h>
#include <errno.h>
#include <stdio.h>

#include "platform/posix/machine.h"

namespace machine {
namespace {

bool HasDriveLetter(const char* path) {
  return isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':';
}

}  // namespace

std::string HostPath(const char* path) {
  std::string rest;
  std::string host;
  if (HasDriveLetter(path)) {
    const Drive& drive = DriveOf(path[0]);
    if (drive.type == DRIVE_NO_ROOT_DIR || drive.root.empty()) return std::string();
    host = drive.root;
    if (host.back() == '/') host.pop_back();
    host += '/';
    rest = path + 2;
    if (!rest.empty() && (rest[0] == '\\' || rest[0] == '/')) rest.erase(0, 1);
  } else {
    rest = path;
  }
  for (char& c : rest) {
    if (c == '\\') c = '/';
  }
  return host + rest;
}

std::string WindowsPath(const std::string& hostPath) {
  if (hostPath.empty() || hostPath[0] != '/') return std::string();
  int best = -1;
  size_t bestLength = 0;
  const Machine& m = Current();
  for (int i = 0; i < 26; ++i) {
    const Drive& drive = m.drives[i];
    if (drive.type == DRIVE_NO_ROOT_DIR || drive.root.empty()) continue;
    std::string root = drive.root;
    while (root.size() > 1 && root.back() == '/') root.pop_back();
    size_t length = root == "/" ? 0 : root.size();
    bool holds = hostPath.compare(0, length, root, 0, length) == 0 &&
                 (hostPath.size() == length || hostPath[length] == '/');
    if (holds && (best < 0 || length > bestLength)) {
      best = i;
      bestLength = length;
    }
  }
  if (best < 0) return std::string();
  std::string windows(1, static_cast<char>('A' + best));
  windows += ":\\";
  size_t start = bestLength;
  while (start < hostPath.size() && hostPath[start] == '/') ++start;
  for (size_t i = start; i < hostPath.size(); ++i) windows += hostPath[i] == '/' ? '\\' : hostPath[i];
  return windows;
}

bool Fails(const char* operation, const char* path) {
  Faults& faults = Current().faults;
  if (faults.onlyWindowsPaths && path != nullptr && !HasDriveLetter(path)) return false;
  ++faults.calls;
  if (faults.failCall > 0 && faults.calls == faults.failCall) return true;
  return faults.failing.count(operation) != 0;
}

}  // namespace machine

extern "C" {

FILE* __real_fopen(const char* path, const char* mode);
int __real_remove(const char* path);
int __real_rename(const char* from, const char* to);

FILE* __wrap_fopen(const char* path, const char* mode) {
  if (machine::Fails("fopen", path)) {
    errno = EACCES;
    return nullptr;
  }
  std::string host = machine::HostPath(path);
  if (host.empty()) {
    errno = ENOENT;
    return nullptr;
  }
  // Windows reads "t" as text mode; on POSIX every stream is untranslated.
  std::string hostMode;
  for (const char* c = mode; *c != '\0'; ++c) {
    if (*c != 't') hostMode += *c;
  }
  return __real_fopen(host.c_str(), hostMode.c_str());
}

int __wrap_remove(const char* path) {
  if (machine::Fails("remove", path)) {
    errno = EACCES;
    return -1;
  }
  std::string host = machine::HostPath(path);
  if (host.empty()) {
    errno = ENOENT;
    return -1;
  }
  return __real_remove(host.c_str());
}

int __wrap_rename(const char* from, const char* to) {
  if (machine::Fails("rename", from)) {
    errno = EACCES;
    return -1;
  }
  std::string hostFrom = machine::HostPath(from);
  std::string hostTo = machine::HostPath(to);
  if (hostFrom.empty() || hostTo.empty()) {
    errno = ENOENT;
    return -1;
  }
  return __real_rename(hostFrom.c_str(), hostTo.c_str());
}

}  // extern "C"
