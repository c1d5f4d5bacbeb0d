// The run sequence, the counters and the console routines.
#include <gtest/gtest.h>
#include <string.h>

#include <memory>
#include <string>
#include <vector>

#include "app/console.h"
#include "app/run.h"
#include "scan/drive_scan.h"
#include "support/registry_seed.h"
#include "support/scratch_folder.h"
#include "support/transcript.h"

#if !defined(_WIN32)
#include "platform/posix/machine.h"
#endif

namespace {

using support::CaptureOutput;
using support::NormalizeBuildLine;

class RunTest : public testing::Test {
 protected:
  // Natively the registry starts as a fresh Wine prefix has it, so the run prints the same registry
  // lines on both builds.
  void SetUp() override {
    scanCounters = ScanCounters{};
    progressTick = 0;
#if !defined(_WIN32)
    machine::Reset();
    support::SeedFreshWineRegistry();
    folder = std::make_unique<support::ScratchFolder>();
    folder->MakeFolder("empty");
    // Natively no drive may stand for the host's own "/": a drive the tests scan is an empty folder.
    SetDrives({});
#endif
  }
  void TearDown() override {
    scanCounters = ScanCounters{};
    progressTick = 0;
#if !defined(_WIN32)
    folder.reset();
    machine::Reset();
#endif
  }

#if !defined(_WIN32)
  // Gives the machine exactly `drives`, each an empty folder.
  void SetDrives(const std::vector<std::pair<char, UINT>>& drives) {
    for (machine::Drive& drive : machine::Current().drives) drive = machine::Drive{};
    for (const auto& [letter, type] : drives) MapDrive(letter, type, "empty");
  }
  void MapDrive(char letter, UINT type, const std::string& name) {
    machine::DriveOf(letter) = machine::Drive{type, folder->HostPath(name)};
  }
  std::unique_ptr<support::ScratchFolder> folder;
#endif

  // Runs the program as the command line `args` would (args[0] is the program name).
  static std::string RunProgram(std::vector<std::string> args) {
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(&arg[0]);
    argv.push_back(nullptr);
    return support::WithoutProgress(NormalizeBuildLine(CaptureOutput([&] {
      EXPECT_EQ(0, RemoverMain(static_cast<int>(args.size()), argv.data()));
    })));
  }
};

std::string AbsentAutostartValue(const char* name) {
  return std::string("Checking registry [HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Run\\") + name +
         "]\n\t...opened......checking( " + name + " )...OK (not found)\n";
}

// The registry phase on a clean registry as a fresh Wine prefix has it.
const std::string kCleanRegistry =
    "Checking registry key txtfile\\shell\\open\\command\n"
    "Registry key value=[\"C:\\windows\\system32\\notepad.exe\" \"%1\"]\n"
    "Key is OK\n" +
    AbsentAutostartValue("syshelp") + AbsentAutostartValue("WinGate initialize") +
    AbsentAutostartValue("Module Call initialize") +
    "Checking registry [HKCU\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows\\Run]\n"
    "\tError: Cannot open registry key [HKCU\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows].\n";

const std::string kHeader = std::string("I-Worm/Ventrel Remover v0.94\t\t") +
                            "Free removal tool; use at your own risk, no warranty of any kind.\n" +
                            support::kBuildLine + "\n" + kCleanRegistry +
                            "Registry done: 0 files, 0 infected, 0 removed\n";
const std::string kClearProgress = "\r" + std::string(73, ' ') + "\r   ";

// One drive's lines for a scan of empty folders: the root (or the missing path) counts as one.
std::string DriveBlock(const std::string& path, int directories = 1) {
  return "Scanning drive " + path + "...\n" + kClearProgress + "\rScan done: " + std::to_string(directories) +
         " directories, 0 files, 0 infected, 0 removed\n";
}

// ---------------------------------------------------------------------------------------------
// Console routines

TEST(ShowProgressTest, DrawsBlankLineThenTextWithTail) {
  struct Case {
    std::string text;
    std::string expected;
  };
  const std::string blank = "\r" + std::string(73, ' ') + "\r";
  const std::string hundred(100, 'p');
  const std::string seventy(70, 'q');
  const Case cases[] = {
      {"", blank + "   "},
      {"C:\\WINDOWS\\", blank + "C:\\WINDOWS\\..."},
      {seventy, blank + seventy + "..."},
      {hundred, blank + hundred.substr(0, 70) + "..."},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.expected, CaptureOutput([&] { ShowProgress(c.text.c_str()); })) << c.text;
  }
}

TEST(ReportErrorTest, PrintsPrefixedLineAndReturnsResult) {
  int result = 0;
  std::string out = CaptureOutput([&] { result = ReportError(1, "Cannot open registry key."); });
  EXPECT_EQ("Error: Cannot open registry key.\n", out);
  EXPECT_EQ(1, result);

  out = CaptureOutput([&] { result = ReportError(-1, "Cannot open [%s\\%s].", "HKLM", "Software"); });
  EXPECT_EQ("Error: Cannot open [HKLM\\Software].\n", out);
  EXPECT_EQ(-1, result);
  EXPECT_STREQ("Error: Cannot open [HKLM\\Software].", errorText);
}

TEST(ReportErrorTest, CutsMessageLongerThanBufferWithoutOverrun) {
  const std::string longText(5000, 'x');
  std::string out = CaptureOutput([&] { ReportError(0, "%s", longText.c_str()); });
  ASSERT_EQ(static_cast<size_t>(kErrorTextSize), out.size());  // 999 characters and the line feed
  EXPECT_EQ("Error: " + std::string(kErrorTextSize - 8, 'x') + "\n", out);
}

// ---------------------------------------------------------------------------------------------
// Counters

TEST_F(RunTest, FoldAddsDriveCountsToRunTotalsAndResetKeepsThem) {
  scanCounters = ScanCounters{4, 10, 3, 2, 0, 0, true};
  FoldCounters();
  EXPECT_EQ(1, scanCounters.remaining);
  EXPECT_EQ(10, scanCounters.totalFiles);
  ResetDriveCounters();
  EXPECT_EQ(0, scanCounters.directories);
  EXPECT_EQ(0, scanCounters.files);
  EXPECT_EQ(0, scanCounters.infected);
  EXPECT_EQ(0, scanCounters.removed);
  EXPECT_EQ(1, scanCounters.remaining);
  EXPECT_EQ(10, scanCounters.totalFiles);
  EXPECT_TRUE(scanCounters.rebootNeeded);

  // A drive with no infection leaves the remaining count where it was.
  scanCounters.files = 5;
  FoldCounters();
  ResetDriveCounters();
  EXPECT_EQ(1, scanCounters.remaining);
  EXPECT_EQ(15, scanCounters.totalFiles);
}

TEST_F(RunTest, VerdictWarnsAboutRemainingInfectionsAndAsksForRestart) {
  scanCounters.remaining = 1;
  scanCounters.rebootNeeded = true;
  std::string out = RunProgram({"ventrel-remover", ""});
  EXPECT_EQ(kHeader + DriveBlock("", 0) +
                "Done. Warning: Some I-Worm/Ventrel infections do still exist (count=1)!!!\n"
                "Please REBOOT Windows now to delete remaining infections!\n",
            out);
}

// ---------------------------------------------------------------------------------------------
// Arguments: these need no stand-in machine, so they run on Windows too.

TEST_F(RunTest, EmptyArgumentExaminesNoDrive) {
  EXPECT_EQ(kHeader + DriveBlock("", 0) + "All done (checked 0 files).\n", RunProgram({"ventrel-remover", ""}));
}

TEST_F(RunTest, OnlyFirstArgumentIsUsed) {
  EXPECT_EQ(kHeader + DriveBlock("", 0) + "All done (checked 0 files).\n",
            RunProgram({"ventrel-remover", "", "C:\\", "D:\\"}));
}

TEST_F(RunTest, PathArgumentIsScannedOnceWhateverTheDrive) {
  struct Case {
    const char* path;
  };
  const Case cases[] = {{"Q:\\NO\\SUCH\\DIR"}, {"-Q:\\DIR"}, {"Q:\\TEMP"}};
  for (const Case& c : cases) {
    EXPECT_EQ(kHeader + DriveBlock(c.path) + "All done (checked 0 files).\n",
              RunProgram({"ventrel-remover", c.path}))
        << c.path;
  }
}

TEST_F(RunTest, PathArgumentUpToTheBufferLimitIsScannedLongerIsRefused) {
  const std::string fits = "Q:\\" + std::string(kMaxPathArgument - 3, 'a');
  ASSERT_EQ(199u, fits.size());
  EXPECT_EQ(kHeader + DriveBlock(fits) + "All done (checked 0 files).\n", RunProgram({"ventrel-remover", fits}));

  for (size_t length : {200u, 4000u}) {
    const std::string tooLong = "Q:\\" + std::string(length - 3, 'a');
    EXPECT_EQ(kHeader + "Error: The path is too long (" + std::to_string(length) +
                  " characters; at most 199 are allowed).\n" + "All done (checked 0 files).\n",
              RunProgram({"ventrel-remover", tooLong}))
        << length;
  }
}

#if !defined(_WIN32)
// ---------------------------------------------------------------------------------------------
// Drive loop and driver requests, on the stand-in machine.

TEST_F(RunTest, DriveLoopScansFixedDrivesOnlyInLetterOrder) {
  struct Case {
    std::vector<std::pair<char, UINT>> drives;
    std::string scanned;
  };
  const Case cases[] = {
      {{{'C', DRIVE_FIXED}, {'D', DRIVE_FIXED}}, DriveBlock("C:\\") + DriveBlock("D:\\")},
      {{{'D', DRIVE_FIXED}, {'A', DRIVE_REMOVABLE}, {'C', DRIVE_FIXED}}, DriveBlock("C:\\") + DriveBlock("D:\\")},
      {{{'A', DRIVE_REMOVABLE},
        {'C', DRIVE_REMOTE},
        {'E', DRIVE_CDROM},
        {'F', DRIVE_RAMDISK},
        {'G', DRIVE_UNKNOWN},
        {'Z', DRIVE_FIXED}},
       DriveBlock("Z:\\")},
      {{{'A', DRIVE_FIXED}, {'Z', DRIVE_FIXED}}, DriveBlock("A:\\") + DriveBlock("Z:\\")},
      {{}, ""},
      {{{'C', DRIVE_CDROM}, {'X', DRIVE_REMOTE}}, ""},
  };
  for (const Case& c : cases) {
    SetDrives(c.drives);
    scanCounters = ScanCounters{};
    EXPECT_EQ(kHeader + c.scanned + "All done (checked 0 files).\n", RunProgram({"ventrel-remover"}));
  }
}

TEST_F(RunTest, PathArgumentIgnoresDriveTable) {
  SetDrives({});
  EXPECT_EQ(kHeader + DriveBlock("C:\\TEMP") + "All done (checked 0 files).\n",
            RunProgram({"ventrel-remover", "C:\\TEMP"}));
}

// The layout of the end-to-end scenario: C: remote, D: and F: fixed, E: a CD-ROM. The native build
// must print exactly what the Windows build prints there.
TEST_F(RunTest, NativeTranscriptMatchesWindowsTranscriptForSameLayout) {
  SetDrives({{'C', DRIVE_REMOTE}, {'E', DRIVE_CDROM}});
  folder->MakeFolder("d");
  folder->MakeFolder("d/DATA");
  folder->MakeFolder("f");
  MapDrive('D', DRIVE_FIXED, "d");
  MapDrive('F', DRIVE_FIXED, "f");
  std::string expected = support::ReadFileBytes(support::SourcePath("tests/e2e/expected/no_argument.txt"));
  ASSERT_FALSE(expected.empty());
  EXPECT_EQ(expected, RunProgram({"ventrel-remover"}));
}

TEST_F(RunTest, DriverGetsTwoIdenticalRequestsAroundTheRun) {
  machine::ResidentDevice& device = machine::Current().device;
  device.present = true;
  device.reply = 0xDEADBEEF;
  SetDrives({});
  RunProgram({"ventrel-remover"});

  ASSERT_EQ(2u, device.opens.size());
  for (const machine::DeviceOpen& open : device.opens) {
    EXPECT_EQ("\\\\.\\OrvFsh", open.name);
    EXPECT_EQ(GENERIC_READ | GENERIC_WRITE, open.access);
    EXPECT_EQ(0u, open.share);
    EXPECT_FALSE(open.security);
    EXPECT_EQ(static_cast<DWORD>(OPEN_ALWAYS), open.disposition);
    EXPECT_EQ(FILE_ATTRIBUTE_NORMAL, open.flags);
    EXPECT_FALSE(open.templateFile);
  }
  ASSERT_EQ(2u, device.requests.size());
  for (const machine::DeviceRequest& request : device.requests) {
    EXPECT_EQ(0x5349A00Cu, request.code);
    EXPECT_FALSE(request.inBuffer);
    EXPECT_EQ(0u, request.inSize);
    EXPECT_TRUE(request.outBuffer);
    EXPECT_EQ(4u, request.outSize);
    EXPECT_TRUE(request.bytesReturned);
    EXPECT_FALSE(request.overlapped);
  }
  EXPECT_EQ(2, device.closes);
  EXPECT_EQ(0, device.openHandles);
}

TEST_F(RunTest, DriverThatRefusesOrIsAbsentChangesNothing) {
  SetDrives({{'C', DRIVE_FIXED}});
  const std::string expected = kHeader + DriveBlock("C:\\") + "All done (checked 0 files).\n";

  EXPECT_EQ(expected, RunProgram({"ventrel-remover"}));
  EXPECT_TRUE(machine::Current().device.opens.empty());

  machine::ResidentDevice& device = machine::Current().device;
  device.present = true;
  device.refuse = true;
  scanCounters = ScanCounters{};
  EXPECT_EQ(expected, RunProgram({"ventrel-remover"}));
  EXPECT_EQ(2u, device.requests.size());
  EXPECT_EQ(2, device.closes);  // closed although the request failed
  EXPECT_EQ(0, device.openHandles);
}
#endif

}  // namespace
