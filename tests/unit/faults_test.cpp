// Faults at every step: the N-th platform call of the registry repair, or of the removal of an
// infected file with its deletion at restart, fails, for N = 1, 2, ... until a run meets no fault.
// After each run what was printed must agree with what was done, and nothing may be lost or left
// half-written.
#include <gtest/gtest.h>

#if !defined(_WIN32)
#include <memory>
#include <string>
#include <vector>

#include "app/console.h"
#include "platform/posix/machine.h"
#include "registry/registry_repair.h"
#include "scan/drive_scan.h"
#include "support/registry_seed.h"
#include "support/scratch_folder.h"
#include "support/transcript.h"
#include "support/worm_file.h"

namespace {

using support::CaptureOutput;
using support::Terminated;

class FaultsTest : public testing::Test {
 protected:
  void SetUp() override {
    machine::Reset();
    scanCounters = ScanCounters{};
  }
  void TearDown() override {
    scanCounters = ScanCounters{};
    machine::Reset();
  }

  // Fails the `step`-th call from now on; 0 fails none.
  static void FailCall(long step) {
    machine::Current().faults.calls = 0;
    machine::Current().faults.failCall = step;
  }
  // True when the run just made reached its `step`-th call, which then failed.
  static bool FaultHit(long step) { return machine::Current().faults.calls >= step; }
};

// ---------------------------------------------------------------------------------------------
// The registry repair.

const char kRunKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const char kUserWindowsKey[] = "Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows";

// An infected registry: the worm's command, its three machine values and the user's value, next to
// a value of the Run key the repair must never touch.
void SeedInfectedRegistry() {
  machine::Registry& registry = machine::Current().registry;
  registry.SetString(HKEY_CLASSES_ROOT, support::kCommandKey, "", "winrpc.exe %1");
  registry.SetString(HKEY_LOCAL_MACHINE, kRunKey, "syshelp", "C:\\WINDOWS\\SYSHELP.EXE");
  registry.SetString(HKEY_LOCAL_MACHINE, kRunKey, "WinGate initialize", "x");
  registry.SetString(HKEY_LOCAL_MACHINE, kRunKey, "Module Call initialize", "");
  registry.SetString(HKEY_LOCAL_MACHINE, kRunKey, "Keep me", "C:\\TOOLS\\KEEP.EXE");
  registry.SetString(HKEY_CURRENT_USER, kUserWindowsKey, "Run", "rpcsrv.exe");
  registry.SetString(HKEY_CURRENT_USER, kUserWindowsKey, "load", "");
}

// The report of one check: from its checking line to the next one.
std::vector<std::string> ChecksOf(const std::string& printed) {
  std::vector<std::string> checks;
  size_t at = printed.find("Checking registry");
  while (at != std::string::npos) {
    size_t next = printed.find("Checking registry", at + 1);
    checks.push_back(printed.substr(at, next == std::string::npos ? std::string::npos : next - at));
    at = next;
  }
  return checks;
}

TEST_F(FaultsTest, RegistryRepairFailingAtEveryStepChangesOnlyWhatItReports) {
  machine::Registry& registry = machine::Current().registry;
  const std::string worm = Terminated("winrpc.exe %1");
  const std::string repaired = Terminated("NOTEPAD.EXE %1");
  const std::string originals[kAutostartValueCount] = {Terminated("C:\\WINDOWS\\SYSHELP.EXE"), Terminated("x"),
                                                       Terminated(""), Terminated("rpcsrv.exe")};
  int faultsMet = 0;
  for (long step = 1;; ++step) {
    machine::Reset();
    SeedInfectedRegistry();
    FailCall(step);
    std::string printed = CaptureOutput([] {
      CheckTextFileCommand();
      for (const RegistryValueRow& row : kAutostartValues) CheckRegistryValue(row);
    });
    bool hit = FaultHit(step);
    machine::Current().faults.failCall = 0;
    SCOPED_TRACE("fault at call " + std::to_string(step) + "\n" + printed);

    EXPECT_EQ(0, registry.openKeys);
    std::vector<std::string> checks = ChecksOf(printed);
    ASSERT_EQ(1u + kAutostartValueCount, checks.size());
    for (const std::string& check : checks) EXPECT_EQ('\n', check.back());

    // The command is the worm's or the repaired one, never anything else, and "Repaired" says which.
    const machine::RegistryValue* command = registry.FindValue(HKEY_CLASSES_ROOT, support::kCommandKey, "");
    ASSERT_NE(nullptr, command);
    bool repairedNow = checks[0].find("Repaired\n") != std::string::npos;
    EXPECT_EQ(repairedNow ? repaired : worm, command->data);

    // Each value is gone exactly when its check says it removed it; otherwise it is as it was.
    for (int i = 0; i < kAutostartValueCount; ++i) {
      const RegistryValueRow& row = kAutostartValues[i];
      const machine::RegistryValue* value = registry.FindValue(row.root, row.subkey, row.valueName);
      bool removed = checks[1 + i].find("OK (key removed)\n") != std::string::npos;
      if (removed) {
        EXPECT_EQ(nullptr, value) << row.valueName;
      } else {
        ASSERT_NE(nullptr, value) << row.valueName;
        EXPECT_EQ(originals[i], value->data) << row.valueName;
        bool reported = checks[1 + i].find("Error: ") != std::string::npos ||
                        checks[1 + i].find("FAIL - ") != std::string::npos;
        EXPECT_TRUE(reported) << row.valueName << ": a value left in place is reported as a failure";
      }
    }
    const machine::RegistryValue* kept = registry.FindValue(HKEY_LOCAL_MACHINE, kRunKey, "Keep me");
    ASSERT_NE(nullptr, kept);
    EXPECT_EQ(Terminated("C:\\TOOLS\\KEEP.EXE"), kept->data);
    EXPECT_NE(nullptr, registry.FindValue(HKEY_CURRENT_USER, kUserWindowsKey, "load"));

    if (!hit) {
      // The first run that met no fault repaired everything.
      EXPECT_TRUE(repairedNow);
      for (const RegistryValueRow& row : kAutostartValues) {
        EXPECT_EQ(nullptr, registry.FindValue(row.root, row.subkey, row.valueName)) << row.valueName;
      }
      break;
    }
    ++faultsMet;
  }
  // The opens, reads, writes, deletes and closes of five checks.
  EXPECT_GE(faultsMet, 5 * 3);
}

// ---------------------------------------------------------------------------------------------
// The removal of an infected file, and its deletion at restart when the delete fails.

const char kIni[] = "WINDOWS/WININIT.INI";
const char kNew[] = "WINDOWS/WININIT.NEW";

std::string Line(const std::string& text) { return text + "\r\n"; }

TEST_F(FaultsTest, RemovalFailingAtEveryStepDeletesOrSchedulesExactlyWhatItReports) {
  struct Case {
    const char* why;
    DWORD platform;
    // A file in use cannot be deleted: on the NT family no delete succeeds there, on the Windows 95
    // family every operation on the file itself fails, and the list's own files still work.
    bool inUse;
    int faultsAtLeast;  // the steps of the delete, and of the scheduling when the file is in use
  };
  const Case cases[] = {
      {"NT family, file removable", VER_PLATFORM_WIN32_NT, false, 2},
      {"NT family, file in use", VER_PLATFORM_WIN32_NT, true, 3},
      {"Windows 95 family, file removable", VER_PLATFORM_WIN32_WINDOWS, false, 2},
      {"Windows 95 family, file in use", VER_PLATFORM_WIN32_WINDOWS, true, 8},
  };
  const std::string before = Line("[boot]") + Line("[rename]") + Line("NUL=C:\\OLD.EXE") + Line("[x]");
  for (const Case& c : cases) {
    int faultsMet = 0;
    for (long step = 1;; ++step) {
      machine::Reset();
      scanCounters = ScanCounters{};
      support::ScratchFolder folder;
      folder.MakeFolder("WINDOWS");
      folder.Write(kIni, before);
      ASSERT_TRUE(support::WriteWormFile(folder.HostPath("X.EXE"), 41984, 0xCA4CDED4, 1));
      const std::string path = folder.WindowsPath("X.EXE");
      machine::Machine& m = machine::Current();
      m.version = machine::WindowsVersion{c.platform, 4, c.platform == VER_PLATFORM_WIN32_NT ? 0u : 10u, 1};
      m.windowsDirectory = folder.WindowsPath("WINDOWS");
      m.restartList.accepts = true;
      if (c.inUse && c.platform == VER_PLATFORM_WIN32_NT) m.faults.failing = {"remove"};
      if (c.inUse && c.platform != VER_PLATFORM_WIN32_NT) m.faults.failingPaths = {path};
      FailCall(step);
      std::string printed = CaptureOutput([&] { HandleInfectedFile(path.c_str(), ""); });
      bool hit = FaultHit(step);
      m.faults = machine::Faults{};
      SCOPED_TRACE(std::string(c.why) + ", fault at call " + std::to_string(step) + "\n" + printed);

      const std::string found = "\nI-Worm/Ventrel found in file " + path + "\n";
      ASSERT_EQ(0u, printed.find(found));
      const std::string verdict = printed.substr(found.size());
      const std::string after = Line("[boot]") + Line("[rename]") + Line("NUL=" + path) + Line("NUL=C:\\OLD.EXE") +
                                Line("[x]");
      std::string ini = folder.Exists(kIni) ? folder.Read(kIni) : "(absent)";
      std::string left = folder.Exists(kNew) ? folder.Read(kNew) : "(absent)";
      bool accepted = !m.restartList.requests.empty();
      if (verdict == "File " + path + " was removed.\n") {
        EXPECT_FALSE(folder.Exists("X.EXE"));
        EXPECT_EQ(1, scanCounters.removed);
        EXPECT_FALSE(scanCounters.rebootNeeded);
        EXPECT_EQ(before, ini);
      } else if (verdict == "File " + path + " was scheduled to remove after reboot.\n") {
        EXPECT_TRUE(folder.Exists("X.EXE"));
        EXPECT_TRUE(scanCounters.rebootNeeded);
        if (c.platform == VER_PLATFORM_WIN32_NT) {
          ASSERT_TRUE(accepted);
          EXPECT_EQ(path, m.restartList.requests.back().existing);
          EXPECT_EQ(before, ini);
        } else {
          EXPECT_EQ(after, ini);
          EXPECT_EQ("(absent)", left);
        }
      } else {
        EXPECT_EQ("Error: Cannot remove file " + path + ", nor schedule its removal after reboot.\n", verdict);
        EXPECT_TRUE(folder.Exists("X.EXE"));
        EXPECT_FALSE(scanCounters.rebootNeeded);
        if (ini == "(absent)") {
          // Only a failed rename comes after the old list is gone: the new one holds every entry.
          EXPECT_EQ(after, left);
        } else {
          EXPECT_EQ(before, ini);
          EXPECT_EQ("(absent)", left);
        }
      }
      EXPECT_EQ(1, scanCounters.infected);
      if (!hit) {
        EXPECT_EQ(c.inUse ? "File " + path + " was scheduled to remove after reboot.\n"
                          : "File " + path + " was removed.\n",
                  verdict);
        break;
      }
      ++faultsMet;
    }
    EXPECT_GE(faultsMet, c.faultsAtLeast) << c.why;
  }
}

}  // namespace
#endif
