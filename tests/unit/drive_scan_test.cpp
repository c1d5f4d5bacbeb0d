// The drive scan: counting, the progress throttle and the handling of infected files.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "app/console.h"
#include "app/run.h"
#include "scan/drive_scan.h"
#include "scan/signature.h"
#include "support/scratch_folder.h"
#include "support/transcript.h"
#include "support/worm_file.h"

#if !defined(_WIN32)
#include <fcntl.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <map>
#include <set>

#include "platform/posix/machine.h"
#endif

namespace {

using support::CaptureOutput;
using support::WithoutProgress;

struct Row {
  uint32_t size;
  uint32_t crc;
};
const Row kDropped = {77824, 0x58272A4F};  // ".DROPPED"
const Row kVariantC = {78848, 0xACB63D88};  // ".C"
const Row kPlain = {41984, 0xCA4CDED4};     // no suffix

class DriveScanTest : public testing::Test {
 protected:
  void SetUp() override {
#if !defined(_WIN32)
    machine::Reset();
#endif
    scanCounters = ScanCounters{};
    progressTick = 0;
    Crc32BuildTable();
    folder = std::make_unique<support::ScratchFolder>();
  }
  void TearDown() override {
    folder.reset();
    scanCounters = ScanCounters{};
    progressTick = 0;
#if !defined(_WIN32)
    machine::Reset();
#endif
  }

  void WriteWorm(const std::string& name, Row row, uint32_t seed = 1) {
    ASSERT_TRUE(support::WriteWormFile(folder->HostPath(name), row.size, row.crc, seed));
  }

  // Scans `name` in the scratch folder; the output without its progress drawings, whose number
  // depends on the clock.
  std::string Scan(const std::string& name) {
    std::string path = folder->WindowsPath(name);
    return CaptureOutput([&] { ScanRoot(path.c_str()); });
  }

  std::unique_ptr<support::ScratchFolder> folder;
};

TEST_F(DriveScanTest, CountsEveryDirectoryAndFileOfTheTree) {
  folder->MakeFolder("root");
  folder->MakeFolder("root/one");
  folder->MakeFolder("root/two");
  const char* files[] = {"root/a.txt", "root/b",        "root/one/c.exe", "root/one/d.dll", "root/one/e",
                         "root/two/f", "root/two/g.ini", "root/two/h",     "root/two/i",     "root/two/j"};
  for (const char* name : files) folder->Write(name, "clean");
  std::string out = WithoutProgress(Scan("root"));
  EXPECT_EQ("", out);
  EXPECT_EQ(3, scanCounters.directories);  // the root counts
  EXPECT_EQ(10, scanCounters.files);
  EXPECT_EQ(0, scanCounters.infected);
}

TEST_F(DriveScanTest, RemovesEachInfectedFileAndNamesItsVariant) {
  folder->MakeFolder("d");
  WriteWorm("d/dropped.exe", kDropped);
  WriteWorm("d/variant.exe", kVariantC);
  WriteWorm("d/plain.exe", kPlain);
  folder->Write("d/clean.exe", std::string(kDropped.size, 'x'));  // right size, wrong CRC
  std::string out = WithoutProgress(Scan("d/dropped.exe"));
  std::string dropped = folder->WindowsPath("d/dropped.exe");
  EXPECT_EQ("\nI-Worm/Ventrel.DROPPED found in file " + dropped + "\nFile " + dropped + " was removed.\n", out);
  EXPECT_FALSE(folder->Exists("d/dropped.exe"));

  out = WithoutProgress(Scan("d"));
  std::string variant = folder->WindowsPath("d/variant.exe");
  std::string plain = folder->WindowsPath("d/plain.exe");
  // Listing order decides which comes first.
  EXPECT_NE(std::string::npos,
            out.find("\nI-Worm/Ventrel.C found in file " + variant + "\nFile " + variant + " was removed.\n"));
  EXPECT_NE(std::string::npos,
            out.find("\nI-Worm/Ventrel found in file " + plain + "\nFile " + plain + " was removed.\n"));
  EXPECT_FALSE(folder->Exists("d/variant.exe"));
  EXPECT_FALSE(folder->Exists("d/plain.exe"));
  EXPECT_TRUE(folder->Exists("d/clean.exe"));
  EXPECT_EQ(3, scanCounters.infected);
  EXPECT_EQ(3, scanCounters.removed);
  EXPECT_EQ(4, scanCounters.files);
}

TEST_F(DriveScanTest, AbsentPathDoesNothing) {
  EXPECT_EQ("", CaptureOutput([] { ScanRoot(nullptr); }));
  EXPECT_EQ(0, scanCounters.directories);
  EXPECT_EQ(0, scanCounters.files);
}

#if !defined(_WIN32)
TEST_F(DriveScanTest, ReadOnlyInfectedFileIsMadeWritableAndDeleted) {
  WriteWorm("ro.exe", kDropped);
  ASSERT_EQ(0, chmod(folder->HostPath("ro.exe").c_str(), 0444));
  std::string path = folder->WindowsPath("ro.exe");
  EXPECT_EQ("\nI-Worm/Ventrel.DROPPED found in file " + path + "\nFile " + path + " was removed.\n",
            WithoutProgress(Scan("ro.exe")));
  EXPECT_FALSE(folder->Exists("ro.exe"));
}

TEST_F(DriveScanTest, FileThatCannotBeDeletedIsScheduledAndRestartIsAsked) {
  WriteWorm("busy.exe", kDropped);
  std::string path = folder->WindowsPath("busy.exe");
  machine::Current().faults.failing = {"remove"};
  machine::Current().restartList.accepts = true;
  std::string out = support::NormalizeBuildLine(CaptureOutput([&] { RunRemoval(path.c_str()); }));
  EXPECT_NE(std::string::npos,
            out.find("\nI-Worm/Ventrel.DROPPED found in file " + path + "\nFile " + path +
                     " was scheduled to remove after reboot.\n"));
  EXPECT_NE(std::string::npos, out.find("\rScan done: 0 directories, 1 files, 1 infected, 0 removed\n"
                                        "Done. Warning: Some I-Worm/Ventrel infections do still exist (count=1)!!!\n"
                                        "Please REBOOT Windows now to delete remaining infections!\n"));
  ASSERT_EQ(1u, machine::Current().restartList.requests.size());
  EXPECT_EQ(path, machine::Current().restartList.requests[0].existing);
  EXPECT_TRUE(folder->Exists("busy.exe"));
  EXPECT_TRUE(scanCounters.rebootNeeded);
}

TEST_F(DriveScanTest, FileThatCanNeitherBeDeletedNorScheduledIsAnErrorAndNoRestartIsAsked) {
  WriteWorm("stuck.exe", kPlain);
  std::string path = folder->WindowsPath("stuck.exe");
  machine::Current().faults.failing = {"remove"};  // and the restart list refuses, as on the host
  std::string out = support::NormalizeBuildLine(CaptureOutput([&] { RunRemoval(path.c_str()); }));
  EXPECT_NE(std::string::npos,
            out.find("\nI-Worm/Ventrel found in file " + path + "\nError: Cannot remove file " + path +
                     ", nor schedule its removal after reboot.\n"));
  EXPECT_EQ(std::string::npos, out.find("scheduled"));
  EXPECT_EQ(std::string::npos, out.find("REBOOT"));
  EXPECT_NE(std::string::npos, out.find("(count=1)!!!\n"));
  EXPECT_FALSE(scanCounters.rebootNeeded);
  EXPECT_TRUE(folder->Exists("stuck.exe"));
}

// A sparse file of 4 GiB plus a signature size, whose first bytes are a worm file: its low 32 bits
// of size match the row, but it is no worm file and must be left alone.
TEST_F(DriveScanTest, FileOfFourGibibytesOrMoreIsNeverInfected) {
  WriteWorm("huge.bin", kDropped);
  int fd = open(folder->HostPath("huge.bin").c_str(), O_WRONLY);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(0, ftruncate(fd, (off_t{1} << 32) + kDropped.size));
  close(fd);
  EXPECT_EQ("", WithoutProgress(Scan("huge.bin")));
  EXPECT_EQ(1, scanCounters.files);
  EXPECT_EQ(0, scanCounters.infected);
  EXPECT_TRUE(folder->Exists("huge.bin"));
}

TEST_F(DriveScanTest, ProgressLineIsRedrawnOnlyAfterMoreThanTheInterval) {
  DWORD now = 0;
  machine::Current().ticks = [&] { return now; };
  char path[] = "D:\\DIR\\";
  FoundEntry entry{};
  entry.longPath = path;
  ScanCallbacks callbacks;
  const std::string drawn = "\r" + std::string(73, ' ') + "\rD:\\DIR\\...";
  struct Step {
    DWORD tick;
    bool draws;
  };
  const Step steps[] = {
      {0xFFFFFF00u, true},   // the first directory is always drawn
      {0xFFFFFF32u, false},  // +50
      {0xFFFFFF64u, false},  // +100 is not more than 100
      {0xFFFFFF65u, true},   // +101 becomes the new reference
      {0x00000010u, true},   // +171, across the wrap of the tick count
      {0x00000042u, false},  // +50
      {0x00000075u, true},   // +101
  };
  for (const Step& step : steps) {
    now = step.tick;
    EXPECT_EQ(step.draws ? drawn : "", CaptureOutput([&] { callbacks.OnDirectory(entry); })) << step.tick;
  }
  EXPECT_EQ(7, scanCounters.directories);
}

// A scan opens a file only when its size is that of a signature row it can read: every other file
// is judged from its directory entry alone. The kernel's record of opens (inotify) is the witness,
// so an open by any route counts, not only one through the standard library. OpenedFiles gives
// the regular files opened in the watched folders, as "label/name".
class OpenWatch {
 public:
  OpenWatch() : fd_(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {}
  ~OpenWatch() {
    if (fd_ >= 0) close(fd_);
  }
  bool Watch(const std::string& hostFolder, const std::string& label) {
    int wd = fd_ < 0 ? -1 : inotify_add_watch(fd_, hostFolder.c_str(), IN_OPEN);
    if (wd < 0) return false;
    labels_[wd] = label;
    return true;
  }
  std::set<std::string> OpenedFiles() {
    std::set<std::string> opened;
    alignas(struct inotify_event) char buffer[16384];
    ssize_t got;
    while ((got = read(fd_, buffer, sizeof buffer)) > 0) {
      for (char* at = buffer; at < buffer + got;) {
        const struct inotify_event* event = reinterpret_cast<const struct inotify_event*>(at);
        if ((event->mask & IN_ISDIR) == 0 && event->len > 0) opened.insert(labels_[event->wd] + "/" + event->name);
        at += sizeof(struct inotify_event) + event->len;
      }
    }
    return opened;
  }

 private:
  int fd_;
  std::map<int, std::string> labels_;
};

// A file of `size` bytes that reads as zeros, which is no row's CRC.
void WriteSized(const std::string& hostPath, uint64_t size) {
  int fd = open(hostPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  ASSERT_GE(fd, 0) << hostPath;
  ASSERT_EQ(0, ftruncate(fd, static_cast<off_t>(size))) << hostPath;
  close(fd);
}

TEST_F(DriveScanTest, OnlyFilesOfAReadableSignatureSizeAreOpened) {
  struct Case {
    const char* name;
    uint64_t size;
    bool opened;
  };
  const Case cases[] = {
      {"top/empty", 0, false},
      {"top/one_less", 77823, false},
      {"top/one_more", 77825, false},
      {"top/small.txt", 4096, false},
      {"top/row1.exe", 77824, true},
      {"top/row2.exe", 78848, true},
      {"top/row6.exe", 84992, true},
      {"top/row7.exe", 77312, true},
      {"top/row9.exe", 81920, true},
      {"top/row10.exe", 41984, true},
      {"top/row3.exe", 107008, false},  // above the read limit: never a worm file
      {"top/row4.exe", 172842, false},
      {"top/huge.bin", (uint64_t{1} << 32) + 77824, false},  // low 32 bits match, the size does not
      {"top/sub/deep10.dll", 41984, true},
      {"top/sub/deep.dat", 100, false},
      {"top/sub/deep_zero", 0, false},
  };
  folder->MakeFolder("top");
  folder->MakeFolder("top/sub");
  for (const Case& c : cases) WriteSized(folder->HostPath(c.name), c.size);
  WriteWorm("top/worm.exe", kDropped);

  OpenWatch watch;
  ASSERT_TRUE(watch.Watch(folder->HostPath("top"), "top"));
  ASSERT_TRUE(watch.Watch(folder->HostPath("top/sub"), "top/sub"));
  Scan("top");

  std::set<std::string> expected = {"top/worm.exe"};
  for (const Case& c : cases) {
    if (c.opened) expected.insert(c.name);
  }
  EXPECT_EQ(expected, watch.OpenedFiles());
  EXPECT_EQ(static_cast<int32_t>(sizeof cases / sizeof cases[0]) + 1, scanCounters.files);
  EXPECT_EQ(1, scanCounters.infected);  // the worm file, and only it
  EXPECT_FALSE(folder->Exists("top/worm.exe"));
}

#endif

}  // namespace
