// The POSIX layer's version, Windows folder, restart list, attributes and text-mode streams.
#include <gtest/gtest.h>

#include "platform/win32.h"

// The record's size is what callers put in its first field; both platforms must agree on it.
static_assert(sizeof(OSVERSIONINFOA) == 148, "OSVERSIONINFOA is 148 bytes");

#if !defined(_WIN32)
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>

#include <memory>
#include <string>

#include "platform/posix/machine.h"
#include "support/scratch_folder.h"

namespace {

class PlatformFilesTest : public testing::Test {
 protected:
  void SetUp() override {
    machine::Reset();
    folder_ = std::make_unique<support::ScratchFolder>();
  }
  void TearDown() override {
    folder_.reset();
    machine::Reset();
  }

  std::string ReadThrough(const char* mode) {
    FILE* f = fopen(folder_->WindowsPath("F.TXT").c_str(), mode);
    if (f == nullptr) return "(cannot open)";
    std::string text;
    char chunk[7];  // small, so a CR LF pair often falls across two reads
    size_t n;
    while ((n = fread(chunk, 1, sizeof chunk, f)) > 0) text.append(chunk, n);
    fclose(f);
    return text;
  }

  std::string WriteThrough(const char* mode, const std::string& text) {
    FILE* f = fopen(folder_->WindowsPath("F.TXT").c_str(), mode);
    if (f == nullptr) return "(cannot open)";
    fputs(text.c_str(), f);
    fclose(f);
    return folder_->Read("F.TXT");
  }

  std::unique_ptr<support::ScratchFolder> folder_;
};

TEST_F(PlatformFilesTest, VersionIsTheMachinesAndNtByDefault) {
  OSVERSIONINFOA info;
  memset(&info, 0xAB, sizeof info);
  info.dwOSVersionInfoSize = sizeof info;
  ASSERT_TRUE(GetVersionExA(&info));
  EXPECT_EQ(static_cast<DWORD>(VER_PLATFORM_WIN32_NT), info.dwPlatformId);
  EXPECT_EQ('\0', info.szCSDVersion[0]);

  machine::Current().version = machine::WindowsVersion{VER_PLATFORM_WIN32_WINDOWS, 4, 10, 1998};
  ASSERT_TRUE(GetVersionExA(&info));
  EXPECT_EQ(static_cast<DWORD>(VER_PLATFORM_WIN32_WINDOWS), info.dwPlatformId);
  EXPECT_EQ(4u, info.dwMajorVersion);
  EXPECT_EQ(10u, info.dwMinorVersion);

  info.dwOSVersionInfoSize = 100;
  EXPECT_FALSE(GetVersionExA(&info));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());
}

TEST_F(PlatformFilesTest, WindowsFolderIsCopiedOnlyWhenItFits) {
  char buffer[16];
  memset(buffer, '#', sizeof buffer);
  EXPECT_EQ(11u, GetWindowsDirectoryA(buffer, 10));  // "C:\WINDOWS" and its zero need 11
  EXPECT_EQ('#', buffer[0]);
  EXPECT_EQ(10u, GetWindowsDirectoryA(buffer, 11));
  EXPECT_STREQ("C:\\WINDOWS", buffer);
}

TEST_F(PlatformFilesTest, RestartRequestsAreRecordedAndRefusedOnTheHost) {
  machine::RestartList& list = machine::Current().restartList;
  EXPECT_FALSE(MoveFileExA("C:\\X.EXE", nullptr, 5));
  EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
  list.accepts = true;
  EXPECT_TRUE(MoveFileExA("C:\\X.EXE", nullptr, 5));
  EXPECT_FALSE(MoveFileExA("C:\\X.EXE", "C:\\Y.EXE", MOVEFILE_REPLACE_EXISTING));  // not at restart
  machine::Current().faults.failing = {"MoveFileExA"};
  EXPECT_FALSE(MoveFileExA("C:\\X.EXE", nullptr, 5));
  ASSERT_EQ(4u, list.requests.size());
  EXPECT_EQ("C:\\Y.EXE", list.requests[2].newName);
  EXPECT_TRUE(list.requests[2].hasNewName);
  EXPECT_FALSE(list.requests[3].hasNewName);
}

TEST_F(PlatformFilesTest, ReadOnlyAttributeIsTheWritePermission) {
  folder_->Write("F.TXT", "x");
  std::string path = folder_->WindowsPath("F.TXT");
  struct stat info;
  ASSERT_EQ(0, chmod(folder_->HostPath("F.TXT").c_str(), 0664));
  ASSERT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY));
  ASSERT_EQ(0, stat(folder_->HostPath("F.TXT").c_str(), &info));
  EXPECT_EQ(0444u, info.st_mode & 0777);
  ASSERT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_ARCHIVE));
  ASSERT_EQ(0, stat(folder_->HostPath("F.TXT").c_str(), &info));
  EXPECT_EQ(0644u, info.st_mode & 0777);

  EXPECT_FALSE(SetFileAttributesA(folder_->WindowsPath("MISSING.TXT").c_str(), FILE_ATTRIBUTE_ARCHIVE));
  EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
  EXPECT_FALSE(SetFileAttributesA("Q:\\F.TXT", FILE_ATTRIBUTE_ARCHIVE));
}

TEST_F(PlatformFilesTest, TextStreamsReadAsWindowsDoes) {
  struct Case {
    std::string bytes;
    std::string text;
  };
  const Case cases[] = {
      {"a\r\nb\r\n", "a\nb\n"},
      {"a\rb", "a\rb"},
      {"a\r", "a\r"},
      {"\r\r\n\n", "\r\n\n"},
      {"abcdef\r\nghijkl\r\n", "abcdef\nghijkl\n"},
      {"a\r\n\x1A" "b\r\n", "a\n"},
      {"\x1A", ""},
  };
  for (const Case& c : cases) {
    folder_->Write("F.TXT", c.bytes);
    EXPECT_EQ(c.text, ReadThrough("rt")) << c.bytes;
    EXPECT_EQ(c.bytes, ReadThrough("rb")) << c.bytes;
    EXPECT_EQ(c.bytes, ReadThrough("r")) << c.bytes;
  }
}

TEST_F(PlatformFilesTest, TextStreamsWriteAsWindowsDoes) {
  EXPECT_EQ("a\r\nb\r\n", WriteThrough("wt", "a\nb\n"));
  EXPECT_EQ("a\r\nb\r\nc\r\n", WriteThrough("at", "c\n"));
  EXPECT_EQ("a\r\r\n", WriteThrough("wt", "a\r\n"));
  EXPECT_EQ("a\nb\n", WriteThrough("wb", "a\nb\n"));
  EXPECT_EQ("a\nb\n", WriteThrough("w", "a\nb\n"));

  // The test's own files, on host paths, are never translated.
  FILE* f = fopen(folder_->HostPath("H.TXT").c_str(), "wt");
  ASSERT_NE(nullptr, f);
  fputs("a\n", f);
  fclose(f);
  EXPECT_EQ("a\n", folder_->Read("H.TXT"));
}

TEST_F(PlatformFilesTest, TextStreamWritesAndCloseAskTheFaultSwitches) {
  machine::Faults& faults = machine::Current().faults;
  FILE* f = fopen(folder_->WindowsPath("F.TXT").c_str(), "wt");
  ASSERT_NE(nullptr, f);
  EXPECT_GE(fputs("one\n", f), 0);
  faults.failing = {"write"};
  EXPECT_EQ(EOF, fputs("two\n", f));
  EXPECT_LT(fprintf(f, "%s\n", "three"), 0);
  faults.failing = {"fclose"};
  EXPECT_EQ(EOF, fclose(f));
  faults.failing.clear();
  EXPECT_EQ("one\r\n", folder_->Read("F.TXT"));
}

}  // namespace
#endif
