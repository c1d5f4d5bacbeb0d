// Real temporary folder trees for tests that walk the file system, natively and under Wine.
#pragma once

#include <stdint.h>

#include <filesystem>
#include <string>

namespace support {

class TempTree {
 public:
  // A new empty folder in the system's temporary folder.
  TempTree();
  // Removes the folder with everything in it.
  ~TempTree();
  TempTree(const TempTree&) = delete;
  TempTree& operator=(const TempTree&) = delete;

  // `relative` uses "/" between components; missing parent folders are made.
  void AddDir(const std::string& relative) const;
  // A file of `size` bytes (sparse where the file system allows).
  void AddFile(const std::string& relative, uint64_t size = 0) const;
  // Sets the last-write time, in seconds since 1970-01-01 UTC.
  void SetWriteTime(const std::string& relative, int64_t unixSeconds) const;

  // The host path of the root, or of an entry below it.
  std::string HostPath(const std::string& relative = "") const;
  // The path the system is given for it: the host path on Windows, its drive path in the path
  // model elsewhere ("Z:\\tmp\\..."). Components are joined with "\\".
  std::string WindowsPath(const std::string& relative = "") const;

 private:
  std::filesystem::path root_;
};

// ASCII upper-casing, as the walker does for short paths.
std::string Upper(std::string text);

}  // namespace support
