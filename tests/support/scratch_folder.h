// A temporary folder for one test, removed with everything in it when the test ends. The system
// code is given its files by Windows path: natively the folder is drive T: of the machine, so the
// path model and the fault switches apply; on Windows it is the real temporary folder.
#pragma once

#include <string>

namespace support {

class ScratchFolder {
 public:
  ScratchFolder();
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  // `name` is relative, with "/" between its parts. HostPath is for the test's own file access,
  // WindowsPath for the system code.
  std::string HostPath(const std::string& name) const;
  std::string WindowsPath(const std::string& name) const;

  void Write(const std::string& name, const std::string& bytes) const;
  std::string Read(const std::string& name) const;
  bool Exists(const std::string& name) const;
  void MakeFolder(const std::string& name) const;

 private:
  std::string root_;
};

}  // namespace support
