#include "support/temp_tree.h"

#include <gtest/gtest.h>

#include <fstream>
#include <system_error>

#include "platform/win32.h"

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

std::filesystem::path Below(const std::filesystem::path& root, const std::string& relative) {
  return relative.empty() ? root : root / std::filesystem::path(relative).make_preferred();
}

}  // namespace

TempTree::TempTree() {
  std::filesystem::path base = std::filesystem::temp_directory_path();
#if defined(_WIN32)
  int process = _getpid();
#else
  int process = static_cast<int>(getpid());
#endif
  static int made = 0;
  for (int attempt = 0; attempt < 1000 && root_.empty(); ++attempt) {
    std::filesystem::path candidate = base / ("vr-tree-" + std::to_string(process) + "-" + std::to_string(++made));
    std::error_code error;
    if (std::filesystem::create_directory(candidate, error)) root_ = candidate;
  }
  if (root_.empty()) ADD_FAILURE() << "no temporary folder could be made in " << base.string();
}

TempTree::~TempTree() {
  std::error_code error;
  if (!root_.empty()) std::filesystem::remove_all(root_, error);
}

void TempTree::AddDir(const std::string& relative) const {
  std::error_code error;
  std::filesystem::create_directories(Below(root_, relative), error);
  EXPECT_FALSE(error) << relative << ": " << error.message();
}

void TempTree::AddFile(const std::string& relative, uint64_t size) const {
  std::filesystem::path path = Below(root_, relative);
  std::error_code error;
  std::filesystem::create_directories(path.parent_path(), error);
  { std::ofstream create(path, std::ios::binary); }
  std::filesystem::resize_file(path, size, error);
  EXPECT_FALSE(error) << relative << ": " << error.message();
}

void TempTree::SetWriteTime(const std::string& relative, int64_t unixSeconds) const {
  std::string path = HostPath(relative);
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

std::string TempTree::HostPath(const std::string& relative) const { return Below(root_, relative).string(); }

std::string TempTree::WindowsPath(const std::string& relative) const {
#if defined(_WIN32)
  return HostPath(relative);
#else
  std::string windows = machine::WindowsPath(HostPath(relative));
  EXPECT_FALSE(windows.empty()) << "no drive holds " << HostPath(relative);
  return windows;
#endif
}

std::string Upper(std::string text) {
  for (char& c : text) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return text;
}

}  // namespace support
