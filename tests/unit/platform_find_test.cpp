// The POSIX layer's directory listings, short names, full paths and MS-DOS times.
#if !defined(_WIN32)
#include <errno.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "platform/posix/machine.h"
#include "support/scratch_folder.h"

namespace {

using support::ScratchFolder;

FILETIME FileTimeOfUnix(int64_t seconds) {
  uint64_t ticks = static_cast<uint64_t>(seconds + 11644473600LL) * 10000000u;
  return FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

// Every record a listing of `pattern` gives, in order; empty when it cannot be opened.
std::vector<WIN32_FIND_DATAA> List(const std::string& pattern) {
  std::vector<WIN32_FIND_DATAA> records;
  WIN32_FIND_DATAA record;
  HANDLE find = FindFirstFileA(pattern.c_str(), &record);
  if (find == INVALID_HANDLE_VALUE) return records;
  do records.push_back(record);
  while (FindNextFileA(find, &record));
  EXPECT_EQ(static_cast<DWORD>(ERROR_NO_MORE_FILES), GetLastError());
  EXPECT_TRUE(FindClose(find));
  return records;
}

std::set<std::string> NamesOf(const std::vector<WIN32_FIND_DATAA>& records) {
  std::set<std::string> names;
  for (const WIN32_FIND_DATAA& record : records) names.insert(record.cFileName);
  return names;
}

// File system types by mount point, from the mount table.
std::map<std::string, std::string> MountTypes() {
  std::ifstream table("/proc/self/mountinfo");
  std::map<std::string, std::string> types;
  std::string line;
  while (std::getline(table, line)) {
    std::istringstream fields(line);
    std::string id, parent, device, root, point, field;
    fields >> id >> parent >> device >> root >> point;
    while (fields >> field && field != "-") {
    }
    fields >> types[point];
  }
  return types;
}

class PlatformFindTest : public testing::Test {
 protected:
  void SetUp() override { machine::Reset(); }
  void TearDown() override { machine::Reset(); }

  // a.txt (over 4 GiB, sparse), ro.txt (read-only), .hidden, sub\, and what is never listed:
  // links to a file and to a folder, a dangling link and a pipe.
  void MakeMixedFolder() {
    tree.MakeFile("a.txt", (uint64_t{5} << 30) + 3);
    tree.SetWriteTime("a.txt", 981173106);
    tree.MakeFile("ro.txt", 1);
    ASSERT_EQ(0, chmod(tree.HostPath("ro.txt").c_str(), 0444));
    tree.MakeFile(".hidden");
    tree.MakeFolder("sub");
    ASSERT_EQ(0, symlink(tree.HostPath("a.txt").c_str(), tree.HostPath("link-file").c_str()));
    ASSERT_EQ(0, symlink(tree.HostPath("sub").c_str(), tree.HostPath("link-dir").c_str()));
    ASSERT_EQ(0, symlink("/nonexistent", tree.HostPath("dangling").c_str()));
    ASSERT_EQ(0, mkfifo(tree.HostPath("pipe").c_str(), 0600));
  }

  ScratchFolder tree{ScratchFolder::Reach::kHostPath};
};

TEST_F(PlatformFindTest, ListingGivesDotsFirstThenRegularFilesAndDirectoriesOnly) {
  MakeMixedFolder();
  std::vector<WIN32_FIND_DATAA> records = List(tree.WindowsPath() + "\\*.*");
  ASSERT_EQ(6u, records.size());
  EXPECT_STREQ(".", records[0].cFileName);
  EXPECT_STREQ("..", records[1].cFileName);
  EXPECT_EQ((std::set<std::string>{".", "..", "a.txt", "ro.txt", ".hidden", "sub"}), NamesOf(records));

  std::map<std::string, WIN32_FIND_DATAA> byName;
  for (const WIN32_FIND_DATAA& record : records) {
    byName[record.cFileName] = record;
    EXPECT_STREQ("", record.cAlternateFileName) << record.cFileName;
  }
  const WIN32_FIND_DATAA& big = byName["a.txt"];
  EXPECT_EQ(1u, big.nFileSizeHigh);
  EXPECT_EQ(0x40000003u, big.nFileSizeLow);
  FILETIME written = FileTimeOfUnix(981173106);
  EXPECT_EQ(written.dwLowDateTime, big.ftLastWriteTime.dwLowDateTime);
  EXPECT_EQ(written.dwHighDateTime, big.ftLastWriteTime.dwHighDateTime);
  EXPECT_EQ(FILE_ATTRIBUTE_ARCHIVE, big.dwFileAttributes);
  EXPECT_EQ(FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_READONLY, byName["ro.txt"].dwFileAttributes);
  EXPECT_EQ(FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_HIDDEN, byName[".hidden"].dwFileAttributes);
  EXPECT_EQ(FILE_ATTRIBUTE_DIRECTORY, byName["sub"].dwFileAttributes);
  EXPECT_EQ(FILE_ATTRIBUTE_DIRECTORY, byName["."].dwFileAttributes);
}

TEST_F(PlatformFindTest, DriveRootListingHasNoDots) {
  machine::DriveOf('D') = machine::Drive{DRIVE_FIXED, tree.HostPath()};
  SetLastError(ERROR_SUCCESS);
  WIN32_FIND_DATAA record;
  EXPECT_EQ(INVALID_HANDLE_VALUE, FindFirstFileA("D:\\*.*", &record));  // an empty root lists nothing
  EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());

  tree.MakeFile("a.txt");
  tree.MakeFolder("sub");
  for (const char* pattern : {"D:\\*.*", "d:*.*"}) {
    EXPECT_EQ((std::set<std::string>{"a.txt", "sub"}), NamesOf(List(pattern))) << pattern;
  }
}

TEST_F(PlatformFindTest, ExactNamesFindOneRegularFileOrDirectory) {
  MakeMixedFolder();
  struct Case {
    std::string path;
    DWORD error;  // ERROR_SUCCESS: found
  };
  const Case cases[] = {
      {tree.WindowsPath("a.txt"), ERROR_SUCCESS},
      {tree.WindowsPath("sub"), ERROR_SUCCESS},
      {tree.HostPath("sub"), ERROR_SUCCESS},
      {tree.WindowsPath("sub") + "\\", ERROR_FILE_NOT_FOUND},
      {tree.WindowsPath("link-file"), ERROR_FILE_NOT_FOUND},
      {tree.WindowsPath("link-dir"), ERROR_FILE_NOT_FOUND},
      {tree.WindowsPath("pipe"), ERROR_FILE_NOT_FOUND},
      {tree.WindowsPath("missing"), ERROR_FILE_NOT_FOUND},
      {tree.WindowsPath("a.txt") + "\\x", ERROR_PATH_NOT_FOUND},
      {"Q:\\a.txt", ERROR_PATH_NOT_FOUND},
  };
  for (const Case& c : cases) {
    WIN32_FIND_DATAA record;
    SetLastError(ERROR_SUCCESS);
    HANDLE find = FindFirstFileA(c.path.c_str(), &record);
    EXPECT_EQ(c.error, GetLastError()) << c.path;
    if (c.error != ERROR_SUCCESS) {
      EXPECT_EQ(INVALID_HANDLE_VALUE, find) << c.path;
      continue;
    }
    ASSERT_NE(INVALID_HANDLE_VALUE, find) << c.path;
    EXPECT_EQ(c.path.substr(c.path.find_last_of("\\/") + 1), record.cFileName);
    EXPECT_FALSE(FindNextFileA(find, &record));
    EXPECT_EQ(static_cast<DWORD>(ERROR_NO_MORE_FILES), GetLastError());
    EXPECT_TRUE(FindClose(find));
  }
}

TEST_F(PlatformFindTest, FoldersReachedThroughALinkOrMissingAreNotListed) {
  MakeMixedFolder();
  tree.MakeFile("sub/inner.txt");
  EXPECT_EQ((std::set<std::string>{".", "..", "inner.txt"}), NamesOf(List(tree.WindowsPath("sub") + "\\*.*")));
  for (const char* name : {"link-dir", "missing", "a.txt"}) {
    WIN32_FIND_DATAA record;
    EXPECT_EQ(INVALID_HANDLE_VALUE, FindFirstFileA((tree.WindowsPath(name) + "\\*.*").c_str(), &record)) << name;
    EXPECT_EQ(static_cast<DWORD>(ERROR_PATH_NOT_FOUND), GetLastError()) << name;
  }
  machine::Current().faults.failing = {"FindFirstFileA"};
  EXPECT_TRUE(List(tree.WindowsPath("sub") + "\\*.*").empty());
}

TEST_F(PlatformFindTest, KernelPseudoFileSystemsAreNeitherListedNorFound) {
  for (const char* pattern : {"Z:\\proc\\*.*", "Z:\\proc\\self\\*.*", "Z:\\sys\\*.*", "Z:\\sys\\kernel\\*.*"}) {
    EXPECT_TRUE(List(pattern).empty()) << pattern;
  }
  for (const char* path : {"Z:\\proc", "Z:\\proc\\self\\status", "Z:\\sys\\kernel"}) {
    WIN32_FIND_DATAA record;
    EXPECT_EQ(INVALID_HANDLE_VALUE, FindFirstFileA(path, &record)) << path;
  }
  std::set<std::string> top = NamesOf(List("Z:\\*.*"));
  EXPECT_EQ(0u, top.count("proc"));
  EXPECT_EQ(0u, top.count("sys"));
  EXPECT_EQ(1u, top.count("usr"));

  // devtmpfs reports tmpfs's magic number; only the mount table tells them apart. Both kinds
  // must be met here, so both answers are proven.
  std::map<std::string, std::string> types = MountTypes();
  int kinds = 0;
  for (const char* point : {"/dev", "/dev/shm", "/run", "/tmp"}) {
    const std::string& type = types[point];
    if (type != "devtmpfs" && type != "tmpfs") continue;
    kinds |= type == "devtmpfs" ? 1 : 2;
    std::string pattern = machine::WindowsPath(point) + "\\*.*";
    EXPECT_EQ(type == "tmpfs", !List(pattern).empty()) << point << " is " << type;
  }
  EXPECT_EQ(3, kinds) << "no devtmpfs and tmpfs mount among /dev, /dev/shm, /run and /tmp";
  EXPECT_EQ(types["/dev"] != "devtmpfs", top.count("dev") == 1);
}

TEST_F(PlatformFindTest, ShortFormOfAnExistingPathIsThePathItself) {
  tree.MakeFile("Long File Name.text");
  std::string path = tree.WindowsPath("Long File Name.text");
  char buffer[600];
  EXPECT_EQ(path.size(), GetShortPathNameA(path.c_str(), buffer, sizeof buffer));
  EXPECT_EQ(path, buffer);
  std::string folder = tree.WindowsPath() + "\\";
  EXPECT_EQ(folder.size(), GetShortPathNameA(folder.c_str(), buffer, sizeof buffer));
  EXPECT_EQ(folder, buffer);

  strcpy(buffer, "untouched");
  EXPECT_EQ(path.size() + 1, GetShortPathNameA(path.c_str(), buffer, static_cast<DWORD>(path.size())));
  EXPECT_STREQ("untouched", buffer);

  EXPECT_EQ(0u, GetShortPathNameA(tree.WindowsPath("missing").c_str(), buffer, sizeof buffer));
  EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
  machine::Current().faults.failing = {"GetShortPathNameA"};
  EXPECT_EQ(0u, GetShortPathNameA(path.c_str(), buffer, sizeof buffer));
}

TEST_F(PlatformFindTest, FullPathIsAWindowsPathInThePathModel) {
  machine::DriveOf('D') = machine::Drive{DRIVE_FIXED, "/srv/d"};
  std::string here = tree.WindowsPath();
  std::string parent = here.substr(0, here.rfind('\\'));
  struct Case {
    const char* relative;
    std::string full;
  };
  const Case cases[] = {
      {"", here},
      {".", here},
      {"a\\b\\..\\c", here + "\\a\\c"},
      {"sub/", here + "\\sub\\"},
      {"..", parent},
      {"/usr/./bin/../lib", "Z:\\usr\\lib"},
      {"\\usr", "Z:\\usr"},
      {"/", "Z:\\"},
      {"/..", "Z:\\"},
      {"Z:\\a\\..\\..\\b", "Z:\\b"},
      {"z:/a//b/", "Z:\\a\\b\\"},
      {"Z:", here},  // the current directory of drive Z:
      {"Z:x", here + "\\x"},
      {"D:x", "D:\\x"},
      {"/srv/d/x", "D:\\x"},
      {"/srv/d/../e", "Z:\\srv\\e"},
      {"D:\\..\\..", "D:\\"},
  };
  std::filesystem::path saved = std::filesystem::current_path();
  std::filesystem::current_path(tree.HostPath());
  for (const Case& c : cases) {
    char buffer[500];
    EXPECT_EQ(buffer, _fullpath(buffer, c.relative, sizeof buffer)) << c.relative;
    EXPECT_EQ(c.full, buffer) << c.relative;
  }
  char* allocated = _fullpath(nullptr, "x", 0);
  ASSERT_NE(nullptr, allocated);
  EXPECT_EQ(here + "\\x", allocated);
  free(allocated);
  std::filesystem::current_path(saved);

  char small[7];
  EXPECT_EQ(small, _fullpath(small, "/usr", sizeof small));  // 6 characters and the terminator
  EXPECT_EQ(nullptr, _fullpath(small, "/usr1", sizeof small));
  EXPECT_EQ(ERANGE, errno);
  machine::DriveOf('Z') = machine::Drive{};
  EXPECT_EQ(nullptr, _fullpath(small, "/usr", sizeof small));  // no drive holds it
}

TEST(PlatformDosTime, FileTimesBecomeMsDosDatesAndTimesInUtc) {
  struct Case {
    int64_t unixSeconds;
    BOOL converted;
    WORD date;
    WORD time;
  };
  const Case cases[] = {
      {315532800, TRUE, (1 << 5) | 1, 0},                                // 1980-01-01 00:00:00
      {315532799, FALSE, 0, 0},                                          // a second earlier
      {981173106, TRUE, (21 << 9) | (2 << 5) | 3, (4 << 11) | (5 << 5) | 3},  // 2001-02-03 04:05:06
      {981173107, TRUE, (21 << 9) | (2 << 5) | 3, (4 << 11) | (5 << 5) | 3},  // odd seconds round down
      {951825600, TRUE, (20 << 9) | (2 << 5) | 29, 12 << 11},           // 2000-02-29 12:00:00
      {4354819199, TRUE, (127 << 9) | (12 << 5) | 31, (23 << 11) | (59 << 5) | 29},  // 2107-12-31 23:59:59
      {4354819200, FALSE, 0, 0},                                         // 2108-01-01
      {0, FALSE, 0, 0},
  };
  for (const Case& c : cases) {
    FILETIME time = FileTimeOfUnix(c.unixSeconds);
    WORD date = 0xffff;
    WORD clock = 0xffff;
    EXPECT_EQ(c.converted, CoFileTimeToDosDateTime(&time, &date, &clock)) << c.unixSeconds;
    if (c.converted) {
      EXPECT_EQ(c.date, date) << c.unixSeconds;
      EXPECT_EQ(c.time, clock) << c.unixSeconds;
    }
  }
  FILETIME zero = {0, 0};
  WORD date, clock;
  EXPECT_FALSE(CoFileTimeToDosDateTime(&zero, &date, &clock));  // 1601
}

}  // namespace
#endif
