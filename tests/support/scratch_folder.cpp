#include "support/scratch_folder.h"

#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>

#include <fstream>
#include <system_error>

#include "platform/win32.h"
#include "support/transcript.h"

#if defined(_WIN32)
#include <process.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/posix/machine.h"
#endif

namespace support {
namespace {

#if !defined(_WIN32)
const char kDriveLetter = 'T';
#endif

std::filesystem::path Below(const std::filesystem::path& root, const std::string& name) {
  return name.empty() ? root : root / std::filesystem::path(name).make_preferred();
}

std::string WithBackslashes(std::string path) {
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  return path;
}

}  // namespace

ScratchFolder::ScratchFolder(Reach reach) : reach_(reach) {
  std::filesystem::path base = std::filesystem::temp_directory_path();
#if defined(_WIN32)
  int process = _getpid();
#else
  int process = static_cast<int>(getpid());
#endif
  static int made = 0;
  for (int attempt = 0; attempt < 1000 && root_.empty(); ++attempt) {
    std::filesystem::path candidate = base / ("vr-test-" + std::to_string(process) + "-" + std::to_string(++made));
    std::error_code error;
    if (std::filesystem::create_directory(candidate, error)) root_ = candidate;
  }
  if (root_.empty()) {
    // Without a folder of its own the test would write where it stands: stop here.
    fprintf(stderr, "no temporary folder could be made in %s\n", base.string().c_str());
    abort();
  }
#if !defined(_WIN32)
  if (reach_ == Reach::kDriveT) machine::DriveOf(kDriveLetter) = machine::Drive{DRIVE_FIXED, root_.string()};
#endif
}

ScratchFolder::~ScratchFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(root_, ignored);
}

std::string ScratchFolder::HostPath(const std::string& name) const { return Below(root_, name).string(); }

std::string ScratchFolder::WindowsPath(const std::string& name) const {
#if defined(_WIN32)
  return WithBackslashes(HostPath(name));
#else
  if (reach_ == Reach::kDriveT) return WithBackslashes(std::string(1, kDriveLetter) + ":\\" + name);
  std::string windows = machine::WindowsPath(HostPath(name));
  EXPECT_FALSE(windows.empty()) << "no drive holds " << HostPath(name);
  return windows;
#endif
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
  std::error_code error;
  std::filesystem::create_directories(HostPath(name), error);
  EXPECT_FALSE(error) << name << ": " << error.message();
}

void ScratchFolder::MakeFile(const std::string& name, uint64_t size) const {
  std::filesystem::path path = Below(root_, name);
  std::error_code error;
  std::filesystem::create_directories(path.parent_path(), error);
  { std::ofstream create(path, std::ios::binary); }
  std::filesystem::resize_file(path, size, error);
  EXPECT_FALSE(error) << name << ": " << error.message();
}

void ScratchFolder::SetWriteTime(const std::string& name, int64_t unixSeconds) const {
  std::string path = HostPath(name);
#if defined(_WIN32)
  uint64_t ticks = static_cast<uint64_t>(unixSeconds + 11644473600LL) * 10000000u;
  FILETIME time = {static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
  HANDLE file = CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, file) << path;
  EXPECT_TRUE(SetFileTime(file, nullptr, nullptr, &time)) << path;
  CloseHandle(file);
#else
  struct timespec times[2];
  times[0].tv_sec = times[1].tv_sec = static_cast<time_t>(unixSeconds);
  times[0].tv_nsec = times[1].tv_nsec = 0;
  EXPECT_EQ(0, utimensat(AT_FDCWD, path.c_str(), times, 0)) << path;
#endif
}

}  // namespace support
