// The text-file open command repair and the autostart value checks.
#include <gtest/gtest.h>

#include <string>

#include "registry/registry_repair.h"
#include "support/registry_seed.h"
#include "support/transcript.h"

#if !defined(_WIN32)
#include "app/console.h"
#include "app/run.h"
#include "platform/posix/machine.h"
#endif

namespace {

using support::CaptureOutput;

TEST(RegistryNamesTest, RootsAndSubkeysHaveDisplayNames) {
  EXPECT_STREQ("HKCR", RootKeyName(HKEY_CLASSES_ROOT));
  EXPECT_STREQ("HKCU", RootKeyName(HKEY_CURRENT_USER));
  EXPECT_STREQ("HKLM", RootKeyName(HKEY_LOCAL_MACHINE));
  EXPECT_STREQ("HKEY_USERS", RootKeyName(HKEY_USERS));
  EXPECT_STREQ("?", RootKeyName(reinterpret_cast<HKEY>(static_cast<uintptr_t>(0x80000005u))));
  EXPECT_STREQ("?", RootKeyName(nullptr));

  EXPECT_STREQ("Software\\Run", SubkeyLabel("Software\\Run"));
  EXPECT_STREQ("{default}", SubkeyLabel(nullptr));
  EXPECT_STREQ("{default}", SubkeyLabel(""));
}

TEST(RegistryNamesTest, AutostartTableHoldsTheFourValuesInOrder) {
  const char* run = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
  struct Row {
    HKEY root;
    const char* subkey;
    const char* valueName;
    const char* expectedData;
  };
  const Row rows[kAutostartValueCount] = {
      {HKEY_LOCAL_MACHINE, run, "syshelp", nullptr},
      {HKEY_LOCAL_MACHINE, run, "WinGate initialize", nullptr},
      {HKEY_LOCAL_MACHINE, run, "Module Call initialize", nullptr},
      {HKEY_CURRENT_USER, "Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows", "Run", "rpcsrv.exe"},
  };
  for (int i = 0; i < kAutostartValueCount; ++i) {
    EXPECT_EQ(rows[i].root, kAutostartValues[i].root) << i;
    EXPECT_STREQ(rows[i].subkey, kAutostartValues[i].subkey) << i;
    EXPECT_STREQ(rows[i].valueName, kAutostartValues[i].valueName) << i;
    if (rows[i].expectedData == nullptr) {
      EXPECT_EQ(nullptr, kAutostartValues[i].expectedData) << i;
    } else {
      EXPECT_STREQ(rows[i].expectedData, kAutostartValues[i].expectedData) << i;
    }
  }
}

#if !defined(_WIN32)
// ---------------------------------------------------------------------------------------------
// On the stand-in machine's in-memory registry.

using support::kCommandKey;
using support::kRunKey;
using support::kUserWindowsKey;
using support::Terminated;

class RegistryTest : public testing::Test {
 protected:
  void SetUp() override {
    machine::Reset();
    scanCounters = ScanCounters{};
  }
  void TearDown() override { machine::Reset(); }

  static machine::Registry& Registry() { return machine::Current().registry; }

  // The default value of the text-file open command, or null.
  static const machine::RegistryValue* Command() { return Registry().FindValue(HKEY_CLASSES_ROOT, kCommandKey, ""); }
};

const char kCheckingCommand[] = "Checking registry key txtfile\\shell\\open\\command\n";
const std::string kRepaired = Terminated("NOTEPAD.EXE %1");

TEST_F(RegistryTest, TextFileCommandIsRepairedOnlyWhenItIsTheWormsCommand) {
  struct Case {
    const char* what;
    DWORD type;
    std::string data;  // the default value as stored
    bool refuseWrite;
    std::string lines;  // what follows the checking line
    std::string after;  // the default value afterwards
  };
  const std::string other = Terminated("\"C:\\windows\\system32\\notepad.exe\" \"%1\"");
  const std::string longest = std::string(199, 'a');
  const Case cases[] = {
      {"infected", REG_SZ, Terminated("winrpc.exe %1"), false,
       "Registry key value=[winrpc.exe %1]\nRepaired\nKey is OK\n", kRepaired},
      {"capitals", REG_SZ, Terminated("WINRPC.EXE %1"), false,
       "Registry key value=[WINRPC.EXE %1]\nRepaired\nKey is OK\n", kRepaired},
      {"mixed case, expandable string", REG_EXPAND_SZ, Terminated("WinRpc.Exe %1"), false,
       "Registry key value=[WinRpc.Exe %1]\nRepaired\nKey is OK\n", kRepaired},
      {"stored without its zero", REG_SZ, "winrpc.exe %1", false,
       "Registry key value=[winrpc.exe %1]\nRepaired\nKey is OK\n", kRepaired},
      {"trailing space", REG_SZ, Terminated("winrpc.exe %1 "), false,
       "Registry key value=[winrpc.exe %1 ]\nKey is OK\n", Terminated("winrpc.exe %1 ")},
      {"without its argument", REG_SZ, Terminated("winrpc.exe"), false, "Registry key value=[winrpc.exe]\nKey is OK\n",
       Terminated("winrpc.exe")},
      {"first string of several", REG_MULTI_SZ, std::string("winrpc.exe %1\0x\0", 17), false,
       "Registry key value=[winrpc.exe %1]\nRepaired\nKey is OK\n", kRepaired},
      {"another command", REG_SZ, other, false,
       "Registry key value=[\"C:\\windows\\system32\\notepad.exe\" \"%1\"]\nKey is OK\n", other},
      {"empty data", REG_SZ, "", false, "Registry key value=[]\nKey is OK\n", ""},
      {"199 characters fit", REG_SZ, Terminated(longest), false,
       "Registry key value=[" + longest + "]\nKey is OK\n", Terminated(longest)},
      {"200 characters do not", REG_SZ, Terminated(longest + "a"), false,
       "Error: Cannot query registry key value\n", Terminated(longest + "a")},
      {"200 bytes without a zero do not", REG_BINARY, longest + "a", false,
       "Error: Cannot query registry key value\n", longest + "a"},
      {"refused write", REG_SZ, Terminated("winrpc.exe %1"), true,
       "Registry key value=[winrpc.exe %1]\nCannot fix the registry key.\n", Terminated("winrpc.exe %1")},
  };
  for (const Case& c : cases) {
    machine::Reset();
    Registry().SetValue(HKEY_CLASSES_ROOT, kCommandKey, "", c.type, c.data);
    Registry().SetString(HKEY_CLASSES_ROOT, kCommandKey, "other", "kept");
    if (c.refuseWrite) machine::Current().faults.failing = {"RegSetValueA"};
    int result = -5;
    EXPECT_EQ(kCheckingCommand + c.lines, CaptureOutput([&] { result = CheckTextFileCommand(); })) << c.what;
    EXPECT_EQ(c.lines.compare(0, 6, "Error:") == 0 ? 1 : 0, result) << c.what;
    const machine::RegistryValue* command = Command();
    ASSERT_NE(nullptr, command) << c.what;
    EXPECT_EQ(c.after, command->data) << c.what;
    EXPECT_EQ(c.after == kRepaired ? static_cast<DWORD>(REG_SZ) : c.type, command->type) << c.what;
    EXPECT_NE(nullptr, Registry().FindValue(HKEY_CLASSES_ROOT, kCommandKey, "other")) << c.what;
    EXPECT_EQ(0, Registry().openKeys) << c.what;
  }
}

TEST_F(RegistryTest, TextFileCommandKeyWithoutDefaultValueReadsEmptyAndStaysSo) {
  Registry().CreateKey(HKEY_CLASSES_ROOT, kCommandKey);
  EXPECT_EQ(std::string(kCheckingCommand) + "Registry key value=[]\nKey is OK\n",
            CaptureOutput([] { EXPECT_EQ(0, CheckTextFileCommand()); }));
  EXPECT_EQ(nullptr, Command());
  EXPECT_EQ(0, Registry().openKeys);
}

TEST_F(RegistryTest, TextFileCommandKeyThatCannotBeOpenedWithFullAccessIsReported) {
  struct Case {
    const char* what;
    bool seed;
    bool readOnly;
  };
  const Case cases[] = {{"empty registry", false, false}, {"read-only key", true, true}};
  for (const Case& c : cases) {
    machine::Reset();
    if (c.seed) Registry().SetString(HKEY_LOCAL_MACHINE, std::string("Software\\Classes\\") + kCommandKey, "",
                                     "winrpc.exe %1");
    if (c.readOnly) Registry().FindKey(HKEY_CLASSES_ROOT, kCommandKey)->refusesWriteAccess = true;
    EXPECT_EQ(std::string(kCheckingCommand) + "Error: Cannot open registry key.\n",
              CaptureOutput([] { EXPECT_EQ(1, CheckTextFileCommand()); }))
        << c.what;
    if (c.seed) {
      EXPECT_EQ(Terminated("winrpc.exe %1"), Command()->data) << c.what;
    }
    EXPECT_EQ(0, Registry().openKeys) << c.what;
  }
}

// ---------------------------------------------------------------------------------------------
// Autostart values

std::string CheckingLine(int row) {
  const RegistryValueRow& r = kAutostartValues[row];
  return std::string("Checking registry [") + RootKeyName(r.root) + "\\" + r.subkey + "\\" + r.valueName + "]\n\t";
}

TEST_F(RegistryTest, AutostartValueIsDeletedWhenItsRowSaysSo) {
  enum Seed { kValue, kNoValue, kNoKey };
  struct Case {
    const char* what;
    int row;
    Seed seed;
    DWORD type;
    std::string data;
    std::string lines;  // what follows the checking line and its tab
    int result;
    bool removed;
  };
  const std::string opened1 = "...opened......checking( syshelp )...";
  const std::string opened4 = "...opened......checking( Run )...";
  const std::string removed = "...key found...OK (key removed)\n";
  const std::string left = "...key found...is OK\n";
  const std::string noRunKey = "Error: Cannot open registry key [HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Run].\n";
  const std::string tooLong = "FAIL - cannot query key (winerror=234)\n";
  const Case cases[] = {
      {"row 1, a command", 0, kValue, REG_SZ, Terminated("C:\\WINDOWS\\syshelp.exe"), opened1 + removed, 0, true},
      {"row 1, empty data", 0, kValue, REG_SZ, "", opened1 + removed, 0, true},
      {"row 2, a number", 1, kValue, REG_DWORD, std::string("\x01\0\0\0", 4),
       "...opened......checking( WinGate initialize )..." + removed, 0, true},
      {"row 3, 512 bytes fill the buffer", 2, kValue, REG_BINARY, std::string(512, 'm'),
       "...opened......checking( Module Call initialize )..." + removed, 0, true},
      {"row 1, 513 bytes", 0, kValue, REG_SZ, Terminated(std::string(512, 's')), opened1 + tooLong, 2, false},
      {"row 1, 600 bytes", 0, kValue, REG_SZ, Terminated(std::string(599, 's')), opened1 + tooLong, 2, false},
      {"row 1 absent", 0, kNoValue, REG_SZ, "", opened1 + "OK (not found)\n", 2, false},
      {"row 1, no key", 0, kNoKey, REG_SZ, "", noRunKey, -1, false},
      {"row 4, the worm's data", 3, kValue, REG_SZ, Terminated("rpcsrv.exe"), opened4 + removed, 0, true},
      {"row 4, expandable string", 3, kValue, REG_EXPAND_SZ, Terminated("rpcsrv.exe"), opened4 + removed, 0, true},
      {"row 4, first of several strings", 3, kValue, REG_MULTI_SZ, std::string("rpcsrv.exe\0other.exe\0", 22),
       opened4 + removed, 0, true},
      {"row 4, stored without its zero", 3, kValue, REG_BINARY, "rpcsrv.exe", opened4 + removed, 0, true},
      {"row 4, second of several strings", 3, kValue, REG_MULTI_SZ, std::string("other.exe\0rpcsrv.exe\0", 22),
       opened4 + left, 0, false},
      {"row 4, capitals", 3, kValue, REG_SZ, Terminated("RPCSRV.EXE"), opened4 + left, 0, false},
      {"row 4, longer command", 3, kValue, REG_SZ, Terminated("C:\\WINDOWS\\rpcsrv.exe /s"), opened4 + left, 0, false},
      {"row 4, arguments after it", 3, kValue, REG_SZ, Terminated("rpcsrv.exe /s"), opened4 + left, 0, false},
      {"row 4, shorter", 3, kValue, REG_SZ, Terminated("rpcsrv.ex"), opened4 + left, 0, false},
      {"row 4, empty", 3, kValue, REG_SZ, Terminated(""), opened4 + left, 0, false},
      {"row 4 absent", 3, kNoValue, REG_SZ, "", opened4 + "OK (not found)\n", 2, false},
      {"row 4, no key", 3, kNoKey, REG_SZ, "",
       "Error: Cannot open registry key [HKCU\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows].\n", -1, false},
  };
  for (const Case& c : cases) {
    machine::Reset();
    const RegistryValueRow& row = kAutostartValues[c.row];
    if (c.seed != kNoKey) Registry().SetString(row.root, row.subkey, "Keep", "C:\\keep.exe");
    if (c.seed == kValue) Registry().SetValue(row.root, row.subkey, row.valueName, c.type, c.data);
    int result = -5;
    EXPECT_EQ(CheckingLine(c.row) + c.lines, CaptureOutput([&] { result = CheckRegistryValue(row); })) << c.what;
    EXPECT_EQ(c.result, result) << c.what;
    const machine::RegistryValue* value = Registry().FindValue(row.root, row.subkey, row.valueName);
    if (c.seed == kValue && !c.removed) {
      ASSERT_NE(nullptr, value) << c.what;
      EXPECT_EQ(c.data, value->data) << c.what;
    } else {
      EXPECT_EQ(nullptr, value) << c.what;
    }
    if (c.seed != kNoKey) {
      EXPECT_NE(nullptr, Registry().FindValue(row.root, row.subkey, "Keep")) << c.what;
    }
    EXPECT_EQ(0, Registry().openKeys) << c.what;
  }
}

TEST_F(RegistryTest, ValueNamesAreMatchedWithoutRegardToCase) {
  Registry().SetString(HKEY_LOCAL_MACHINE, "SOFTWARE\\microsoft\\WINDOWS\\currentversion\\RUN", "SYSHELP", "x");
  EXPECT_EQ(CheckingLine(0) + "...opened......checking( syshelp )......key found...OK (key removed)\n",
            CaptureOutput([] { CheckRegistryValue(kAutostartValues[0]); }));
  EXPECT_TRUE(Registry().FindKey(HKEY_LOCAL_MACHINE, kRunKey)->values.empty());
}

TEST_F(RegistryTest, RefusedDeleteIsReportedOnTheSameLineAndKeepsTheValue) {
  struct Case {
    int row;
    std::string data;
    std::string valuePath;
  };
  const Case cases[] = {
      {0, "C:\\WINDOWS\\syshelp.exe", "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Run\\syshelp"},
      {3, "rpcsrv.exe", "HKCU\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows\\Run"},
  };
  for (const Case& c : cases) {
    machine::Reset();
    machine::Current().faults.failing = {"RegDeleteValueA"};
    const RegistryValueRow& row = kAutostartValues[c.row];
    Registry().SetString(row.root, row.subkey, row.valueName, c.data);
    int result = -5;
    EXPECT_EQ(CheckingLine(c.row) + "...opened......checking( " + row.valueName + " )......key found...Error: Cannot remove registry value [" +
                  c.valuePath + "]!\n",
              CaptureOutput([&] { result = CheckRegistryValue(row); }));
    EXPECT_EQ(2, result);
    EXPECT_NE(nullptr, Registry().FindValue(row.root, row.subkey, row.valueName));
    EXPECT_EQ(0, Registry().openKeys);
  }
}

// ---------------------------------------------------------------------------------------------
// The whole registry phase, as the run prints it.

std::string RegistryPhase() {
  std::string out = support::NormalizeBuildLine(CaptureOutput([] { RunRemoval(""); }));
  size_t start = out.find("Checking registry key");
  size_t end = out.find("Registry done:");
  return start == std::string::npos || end == std::string::npos ? out : out.substr(start, end - start);
}

TEST_F(RegistryTest, OnTheEmptyHostRegistryNoKeyOpens) {
  EXPECT_EQ(std::string(kCheckingCommand) + "Error: Cannot open registry key.\n" + CheckingLine(0) +
                "Error: Cannot open registry key [HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Run].\n" +
                CheckingLine(1) +
                "Error: Cannot open registry key [HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Run].\n" +
                CheckingLine(2) +
                "Error: Cannot open registry key [HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Run].\n" +
                CheckingLine(3) +
                "Error: Cannot open registry key [HKCU\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows].\n",
            RegistryPhase());
  EXPECT_EQ(0, Registry().openKeys);
}

// Without administrative rights on the NT family the machine-wide keys open for reading only: the
// command and the three machine-wide values are reported and kept, the user's value is handled.
TEST_F(RegistryTest, RunWithoutAdministrativeRightsHandlesOnlyTheUsersValue) {
  Registry().SetString(HKEY_CLASSES_ROOT, kCommandKey, "", "winrpc.exe %1");
  Registry().SetString(HKEY_LOCAL_MACHINE, kRunKey, "syshelp", "C:\\WINDOWS\\syshelp.exe");
  Registry().SetString(HKEY_CURRENT_USER, kUserWindowsKey, "Run", "rpcsrv.exe");
  Registry().FindKey(HKEY_CLASSES_ROOT, kCommandKey)->refusesWriteAccess = true;
  Registry().FindKey(HKEY_LOCAL_MACHINE, kRunKey)->refusesWriteAccess = true;
  const std::string runKeyError =
      "Error: Cannot open registry key [HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Run].\n";
  EXPECT_EQ(std::string(kCheckingCommand) + "Error: Cannot open registry key.\n" + CheckingLine(0) + runKeyError +
                CheckingLine(1) + runKeyError + CheckingLine(2) + runKeyError + CheckingLine(3) +
                "...opened......checking( Run )......key found...OK (key removed)\n",
            RegistryPhase());
  EXPECT_EQ(Terminated("winrpc.exe %1"), Command()->data);
  EXPECT_NE(nullptr, Registry().FindValue(HKEY_LOCAL_MACHINE, kRunKey, "syshelp"));
  EXPECT_EQ(nullptr, Registry().FindValue(HKEY_CURRENT_USER, kUserWindowsKey, "Run"));
  EXPECT_EQ(0, Registry().openKeys);
}

// The registries of the end-to-end scenarios, on a machine without fixed drives: the native build
// prints exactly the transcripts the Windows build prints for them under Wine.
std::string RunWithoutFixedDrives() {
  for (machine::Drive& drive : machine::Current().drives) drive = machine::Drive{};
  return support::NormalizeBuildLine(CaptureOutput([] { RunRemoval(nullptr); }));
}

std::string WindowsTranscript(const std::string& name) {
  return support::ReadFileBytes(support::SourcePath("tests/e2e/expected/" + name + ".txt"));
}

TEST_F(RegistryTest, NativeRunsPrintTheWindowsTranscriptsOfTheSameRegistries) {
  support::SeedFreshWineRegistry();
  Registry().SetString(HKEY_CLASSES_ROOT, kCommandKey, "", "winrpc.exe %1");
  Registry().SetString(HKEY_LOCAL_MACHINE, kRunKey, "syshelp", "C:\\WINDOWS\\SYSTEM\\syshelp.exe");
  Registry().SetString(HKEY_LOCAL_MACHINE, kRunKey, "WinGate initialize", "%windir%\\wingate.exe", REG_EXPAND_SZ);
  Registry().SetValue(HKEY_LOCAL_MACHINE, kRunKey, "Module Call initialize", REG_DWORD, std::string("\x01\0\0\0", 4));
  Registry().SetString(HKEY_LOCAL_MACHINE, kRunKey, "Keep", "C:\\keep.exe");
  Registry().SetString(HKEY_CURRENT_USER, kUserWindowsKey, "Run", "rpcsrv.exe");
  Registry().SetString(HKEY_CURRENT_USER, kUserWindowsKey, "Load", "");
  const std::string infected = WindowsTranscript("registry_infected");
  ASSERT_FALSE(infected.empty());
  EXPECT_EQ(infected, RunWithoutFixedDrives());

  Registry().SetString(HKEY_CURRENT_USER, kUserWindowsKey, "Run", "RPCSRV.EXE");
  EXPECT_EQ(WindowsTranscript("registry_clean"), RunWithoutFixedDrives());

  machine::Reset();
  support::SeedFreshWineRegistry();
  Registry().SetString(HKEY_CLASSES_ROOT, kCommandKey, "", "WINRPC.EXE %1");
  Registry().SetString(HKEY_LOCAL_MACHINE, kRunKey, "syshelp", std::string(599, 's'));
  Registry().SetValue(HKEY_LOCAL_MACHINE, kRunKey, "WinGate initialize", REG_BINARY, std::string("\0\xff", 2));
  Registry().SetValue(HKEY_LOCAL_MACHINE, kRunKey, "Module Call initialize", REG_MULTI_SZ,
                      std::string("a.exe\0b.exe\0", 13));
  Registry().SetValue(HKEY_CURRENT_USER, kUserWindowsKey, "Run", REG_MULTI_SZ,
                      std::string("rpcsrv.exe\0other.exe\0", 22));
  EXPECT_EQ(WindowsTranscript("registry_odd"), RunWithoutFixedDrives());
  EXPECT_EQ(0, Registry().openKeys);
}

#endif

}  // namespace
