// A temporary folder for one test, removed with everything in it when the test ends. The test
// reaches its files by host path; the system code is given them by Windows path. On Windows that
// is the real path of the folder; natively the folder is reached through the machine, in one of
// two ways the test chooses.
#pragma once

#include <stdint.h>

#include <filesystem>
#include <string>

namespace support {

class ScratchFolder {
 public:
  // How the system code reaches the folder natively.
  enum class Reach {
    // The folder is drive T: of the machine ("T:\\name"), so the fault switches apply to it.
    kDriveT,
    // The path model's form of the host path ("Z:\\tmp\\...\\name"), as a relative spec or
    // _fullpath resolves it against the host's current folder.
    kHostPath,
  };

  explicit ScratchFolder(Reach reach = Reach::kDriveT);
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  // `name` is relative, with "/" between its parts; "" names the folder itself. HostPath is for
  // the test's own file access, WindowsPath for the system code.
  std::string HostPath(const std::string& name = "") const;
  std::string WindowsPath(const std::string& name = "") const;

  // Writes `bytes` as the whole file.
  void Write(const std::string& name, const std::string& bytes) const;
  std::string Read(const std::string& name) const;
  bool Exists(const std::string& name) const;
  // Missing parent folders are made.
  void MakeFolder(const std::string& name) const;
  // A file of `size` bytes (sparse where the file system allows); missing parent folders are made.
  void MakeFile(const std::string& name, uint64_t size = 0) const;
  // Sets the last-write time, in seconds since 1970-01-01 UTC.
  void SetWriteTime(const std::string& name, int64_t unixSeconds) const;

 private:
  std::filesystem::path root_;
  Reach reach_;
};

}  // namespace support
