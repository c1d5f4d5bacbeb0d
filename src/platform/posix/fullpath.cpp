// The standard library's conversion to an absolute path, in the path model: the result is always
// a Windows path. A relative path is resolved against the host's current directory, a Unix path
// ("/mnt/win") is read as the path of the drive that holds it.
#include <ctype.h>
#include <errno.h>
#include <limits.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "platform/posix/machine.h"

namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// `prefix` followed by the components of `path` with "." and ".." resolved ("..", at the top,
// stays at the top), joined by `separator`.
std::string Resolve(const std::string& prefix, const std::string& path, char separator);

std::string CurrentDirectory() {
  char buffer[PATH_MAX];
  return getcwd(buffer, sizeof buffer) == nullptr ? std::string() : std::string(buffer);
}

}  // namespace

char* _fullpath(char* absPath, const char* relPath, size_t maxLength) {
  if (machine::Fails("_fullpath", relPath)) {
    errno = EACCES;
    return nullptr;
  }
  std::string path = relPath == nullptr ? std::string() : std::string(relPath);
  bool keepSeparator = !path.empty() && IsSeparator(path.back());
  std::string result;
  if (path.size() >= 2 && isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':') {
    char letter = static_cast<char>(toupper(static_cast<unsigned char>(path[0])));
    std::string rest = path.substr(2);
    std::string root = std::string(1, letter) + ":\\";
    if (rest.empty() || !IsSeparator(rest[0])) {
      // "X:name" is relative to the current directory when that is on drive X, else to X's root.
      std::string current = machine::WindowsPath(CurrentDirectory());
      if (!current.empty() && toupper(static_cast<unsigned char>(current[0])) == letter) {
        rest = current.substr(3) + "\\" + rest;
      }
    }
    result = Resolve(root, rest, '\\');
  } else {
    std::string host = path;
    if (path.empty() || !IsSeparator(path[0])) {
      std::string current = CurrentDirectory();
      if (current.empty()) {
        errno = ENOENT;
        return nullptr;
      }
      host = current + "/" + path;
    }
    result = machine::WindowsPath(Resolve("/", host, '/'));
    if (result.empty()) {
      errno = ENOENT;
      return nullptr;
    }
  }
  if (keepSeparator && result.back() != '\\') result += '\\';

  if (absPath == nullptr) {
    absPath = static_cast<char*>(malloc(result.size() + 1));
    if (absPath == nullptr) {
      errno = ENOMEM;
      return nullptr;
    }
  } else if (result.size() + 1 > maxLength) {
    errno = ERANGE;
    return nullptr;
  }
  memcpy(absPath, result.c_str(), result.size() + 1);
  return absPath;
}

namespace {

std::string Resolve(const std::string& prefix, const std::string& path, char separator) {
  std::vector<std::string> parts;
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = start;
    while (end < path.size() && !IsSeparator(path[end])) ++end;
    std::string part = path.substr(start, end - start);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    start = end + 1;
  }
  std::string result = prefix;
  for (size_t i = 0; i < parts.size(); ++i) {
    if (i > 0) result += separator;
    result += parts[i];
  }
  return result;
}

}  // namespace
