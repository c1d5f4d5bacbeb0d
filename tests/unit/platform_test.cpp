// The POSIX layer's own model: drive types, the path model and the fault switches.
#if !defined(_WIN32)
#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <string>

#include "platform/posix/machine.h"
#include "support/transcript.h"

namespace {

class PlatformTest : public testing::Test {
 protected:
  void SetUp() override { machine::Reset(); }
  void TearDown() override { machine::Reset(); }
};

TEST_F(PlatformTest, HostDefaultsHaveZAsTheOneFixedDrive) {
  EXPECT_EQ(static_cast<UINT>(DRIVE_FIXED), GetDriveTypeA("Z:\\"));
  EXPECT_EQ(static_cast<UINT>(DRIVE_FIXED), GetDriveTypeA("z:"));
  for (const char* other : {"A:\\", "C:\\", "Y:\\", "", "Z:\\DIR", "ZZ:\\", "1:\\"}) {
    EXPECT_EQ(static_cast<UINT>(DRIVE_NO_ROOT_DIR), GetDriveTypeA(other)) << other;
  }
}

TEST_F(PlatformTest, PathModelMapsDrivesToTheirRootFolders) {
  machine::DriveOf('D') = machine::Drive{DRIVE_FIXED, "/srv/d/"};
  struct Case {
    const char* windows;
    const char* host;
  };
  const Case cases[] = {
      {"Z:\\", "/"},
      {"Z:\\tmp\\X.EXE", "/tmp/X.EXE"},
      {"z:\\tmp\\", "/tmp/"},
      {"D:\\", "/srv/d/"},
      {"D:\\WINDOWS\\WININIT.INI", "/srv/d/WINDOWS/WININIT.INI"},
      {"D:", "/srv/d/"},
      {"/mnt/win/a", "/mnt/win/a"},
      {"rel\\sub", "rel/sub"},
      {"C:\\absent", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(c.host, machine::HostPath(c.windows)) << c.windows;
}

TEST_F(PlatformTest, WindowsPathPicksTheDriveWithTheLongestRoot) {
  machine::DriveOf('D') = machine::Drive{DRIVE_FIXED, "/srv/d"};
  struct Case {
    const char* host;
    const char* windows;
  };
  const Case cases[] = {
      {"/", "Z:\\"},
      {"/mnt/win", "Z:\\mnt\\win"},
      {"/srv/d", "D:\\"},
      {"/srv/d/WINDOWS/X.EXE", "D:\\WINDOWS\\X.EXE"},
      {"/srv/dd/X", "Z:\\srv\\dd\\X"},
      {"relative", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(c.windows, machine::WindowsPath(c.host)) << c.host;

  machine::DriveOf('Z') = machine::Drive{};
  EXPECT_EQ("", machine::WindowsPath("/mnt/win"));
}

TEST_F(PlatformTest, StandardFileFunctionsTakeWindowsPaths) {
  char dir[] = "/tmp/vr-platform-XXXXXX";
  ASSERT_NE(nullptr, mkdtemp(dir));
  machine::DriveOf('D') = machine::Drive{DRIVE_FIXED, dir};

  FILE* f = fopen("D:\\A.TXT", "wt");
  ASSERT_NE(nullptr, f);
  fputs("line\n", f);
  fclose(f);
  // Text mode, as on Windows.
  EXPECT_EQ("line\r\n", support::ReadFileBytes(std::string(dir) + "/A.TXT"));

  EXPECT_EQ(0, rename("D:\\A.TXT", "D:\\B.TXT"));
  EXPECT_EQ("line\r\n", support::ReadFileBytes(std::string(dir) + "/B.TXT"));
  EXPECT_EQ(nullptr, fopen("Q:\\B.TXT", "rb"));  // no such drive

  machine::Current().faults.failing = {"remove"};
  EXPECT_EQ(-1, remove("D:\\B.TXT"));
  EXPECT_EQ(0, access((std::string(dir) + "/B.TXT").c_str(), F_OK));
  machine::Current().faults.failing.clear();
  EXPECT_EQ(0, remove("D:\\B.TXT"));
  EXPECT_NE(0, access((std::string(dir) + "/B.TXT").c_str(), F_OK));
  rmdir(dir);
}

TEST_F(PlatformTest, NthCallFaultHitsExactlyThatCallAndSparesHostPaths) {
  machine::Faults& faults = machine::Current().faults;
  faults.failCall = 2;
  EXPECT_FALSE(machine::Fails("fopen", "/tmp/host-file"));  // not counted
  EXPECT_FALSE(machine::Fails("fopen", "Z:\\a"));
  EXPECT_TRUE(machine::Fails("fputs", nullptr));
  EXPECT_FALSE(machine::Fails("fclose", "Z:\\a"));
  EXPECT_EQ(3, faults.calls);
}

}  // namespace
#endif
