#include "support/scratch_folder.h"

#include <filesystem>
#include <fstream>
#include <string>

#include "support/transcript.h"

#if !defined(_WIN32)
#include <stdlib.h>

#include "platform/posix/machine.h"
#endif

namespace support {
namespace {

#if !defined(_WIN32)
const char kDriveLetter = 'T';
#endif

}  // namespace

ScratchFolder::ScratchFolder() {
  std::filesystem::path base = std::filesystem::temp_directory_path();
#if defined(_WIN32)
  for (int n = 0;; ++n) {
    std::filesystem::path candidate = base / ("vr-test-" + std::to_string(n));
    if (std::filesystem::create_directory(candidate)) {
      root_ = candidate.string();
      break;
    }
  }
#else
  std::string pattern = (base / "vr-test-XXXXXX").string();
  if (mkdtemp(&pattern[0]) == nullptr) abort();
  root_ = pattern;
  machine::DriveOf(kDriveLetter) = machine::Drive{DRIVE_FIXED, root_};
#endif
}

ScratchFolder::~ScratchFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(root_, ignored);
}

std::string ScratchFolder::HostPath(const std::string& name) const { return root_ + "/" + name; }

std::string ScratchFolder::WindowsPath(const std::string& name) const {
#if defined(_WIN32)
  std::string path = root_ + "\\" + name;
#else
  std::string path = std::string(1, kDriveLetter) + ":\\" + name;
#endif
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  return path;
}

void ScratchFolder::Write(const std::string& name, const std::string& bytes) const {
  std::ofstream out(HostPath(name), std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string ScratchFolder::Read(const std::string& name) const { return ReadFileBytes(HostPath(name)); }

bool ScratchFolder::Exists(const std::string& name) const {
  std::error_code ignored;
  return std::filesystem::exists(HostPath(name), ignored);
}

void ScratchFolder::MakeFolder(const std::string& name) const {
  std::filesystem::create_directories(HostPath(name));
}

}  // namespace support
