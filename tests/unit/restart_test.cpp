// Deletion at restart: the case-blind search, the NT restart list and the WININIT.INI rewrite.
#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "scan/restart.h"
#include "support/scratch_folder.h"

#if defined(_WIN32)
#include "platform/win32.h"
#include "support/transcript.h"
#else
#include "platform/posix/machine.h"
#endif

namespace {

TEST(ContainsNoCaseTest, FindsThePatternAnywhereWithoutRegardToCase) {
  struct Case {
    const char* text;
    const char* pattern;
    bool found;
  };
  const Case cases[] = {
      {"[rename]\n", "[rename]", true},
      {"[Rename]", "[rename]", true},
      {"  ; see [RENAME] below", "[rename]", true},
      {"[renamE", "[rename]", false},
      {"", "[rename]", false},
      {"anything", "", true},
      // Only letters fold: "{" is "[" with the bit that separates the cases of letters.
      {"{RENAME}", "[rename]", false},
      {"[rename]", "{RENAME}", false},
      {"[rena[rename]", "[rename]", true},
  };
  for (const Case& c : cases) EXPECT_EQ(c.found, ContainsNoCase(c.text, c.pattern)) << c.text;
}

#if !defined(_WIN32)

class RestartTest : public testing::Test {
 protected:
  void SetUp() override {
    machine::Reset();
    folder_ = std::make_unique<support::ScratchFolder>();
    folder_->MakeFolder("WINDOWS");
    machine::Current().windowsDirectory = "T:\\WINDOWS";
  }
  void TearDown() override {
    folder_.reset();
    machine::Reset();
  }

  static void UseWindows98() {
    machine::Current().version = machine::WindowsVersion{VER_PLATFORM_WIN32_WINDOWS, 4, 10, 1998};
  }

  std::unique_ptr<support::ScratchFolder> folder_;
};

TEST_F(RestartTest, NtFamilyAsksTheRestartListAndReportsItsAnswer) {
  for (bool accepts : {false, true}) {
    machine::Current().restartList = machine::RestartList{accepts, {}};
    EXPECT_EQ(accepts ? 0 : -1, ScheduleDeleteAtRestart("C:\\WINDOWS\\X.EXE")) << accepts;
    const std::vector<machine::MoveRequest>& requests = machine::Current().restartList.requests;
    ASSERT_EQ(1u, requests.size());
    EXPECT_EQ("C:\\WINDOWS\\X.EXE", requests[0].existing);
    EXPECT_FALSE(requests[0].hasNewName);
    EXPECT_EQ(5u, requests[0].flags);
  }
  EXPECT_FALSE(folder_->Exists("WINDOWS/WININIT.INI"));
  EXPECT_FALSE(folder_->Exists("WINDOWS/WININIT.NEW"));
}

const char kIni[] = "WINDOWS/WININIT.INI";
const char kNew[] = "WINDOWS/WININIT.NEW";
const char kAbsent[] = "\x01(absent)";

std::string Line(const std::string& text) { return text + "\r\n"; }

TEST_F(RestartTest, Windows95FamilyAddsTheEntryToWininit) {
  UseWindows98();
  const std::string longLine = ";" + std::string(600, 'x');
  // The header padded to the piece limit: its line ends just after a piece boundary.
  const std::string limitHeader = "[rename]" + std::string(490, ' ');
  const std::string longHeader = "[rename]" + std::string(700, ';');
  // A piece holds 498 characters: a line of 498 fills one without its line feed, longer ones span two
  // or three.
  const std::string line498 = "a=" + std::string(496, '4');
  const std::string line499 = "b=" + std::string(497, '9');
  const std::string line1000 = "c=" + std::string(998, '1');
  const std::string header499 = "[RENAME]" + std::string(491, ' ');
  struct Case {
    const char* why;
    std::string before;  // kAbsent: no file
    std::string after;
  };
  const Case cases[] = {
      {"no file", kAbsent, Line("[rename]") + Line("NUL=C:\\B.EXE")},
      {"empty file", "", Line("[rename]") + Line("NUL=C:\\B.EXE")},
      {"section with an entry", Line("[Rename]") + Line("NUL=C:\\A.EXE"),
       Line("[Rename]") + Line("NUL=C:\\B.EXE") + Line("NUL=C:\\A.EXE")},
      {"header in capitals", Line("[RENAME]") + Line("NUL=C:\\A.EXE"),
       Line("[RENAME]") + Line("NUL=C:\\B.EXE") + Line("NUL=C:\\A.EXE")},
      {"other sections only", Line("[boot]") + Line("shell=x") + Line("") + Line("[386Enh]") + Line("a=1"),
       Line("[boot]") + Line("shell=x") + Line("") + Line("[386Enh]") + Line("a=1") + Line("[rename]") +
           Line("NUL=C:\\B.EXE")},
      {"section between others", Line("[boot]") + Line("[rename]") + Line("NUL=C:\\A.EXE") + Line("[x]") + Line("b=2"),
       Line("[boot]") + Line("[rename]") + Line("NUL=C:\\B.EXE") + Line("NUL=C:\\A.EXE") + Line("[x]") +
           Line("b=2")},
      {"two headers: the first takes the entry", Line("[rename]") + Line("[rename]"),
       Line("[rename]") + Line("NUL=C:\\B.EXE") + Line("[rename]")},
      {"no final line feed, no section", Line("[boot]") + "a=1",
       Line("[boot]") + Line("a=1") + Line("[rename]") + Line("NUL=C:\\B.EXE")},
      {"no final line feed after the header", "[rename]", Line("[rename]") + Line("NUL=C:\\B.EXE")},
      {"long line copied whole", Line(longLine) + Line("[rename]") + Line("NUL=C:\\A.EXE"),
       Line(longLine) + Line("[rename]") + Line("NUL=C:\\B.EXE") + Line("NUL=C:\\A.EXE")},
      {"long header line is not cut by the entry", Line(longHeader) + Line("NUL=C:\\A.EXE"),
       Line(longHeader) + Line("NUL=C:\\B.EXE") + Line("NUL=C:\\A.EXE")},
      {"header line of exactly the piece limit", Line(limitHeader) + Line("NUL=C:\\A.EXE"),
       Line(limitHeader) + Line("NUL=C:\\B.EXE") + Line("NUL=C:\\A.EXE")},
      {"long last line without a line feed", Line("[boot]") + longLine,
       Line("[boot]") + Line(longLine) + Line("[rename]") + Line("NUL=C:\\B.EXE")},
      {"line feeds alone are written as CR LF", "[rename]\nNUL=C:\\A.EXE\n",
       Line("[rename]") + Line("NUL=C:\\B.EXE") + Line("NUL=C:\\A.EXE")},
      {"a lone CR stays", Line("[boot]") + Line("a=1\rb"),
       Line("[boot]") + Line("a=1\rb") + Line("[rename]") + Line("NUL=C:\\B.EXE")},
      {"Ctrl-Z ends the text", Line("[rename]") + Line("NUL=C:\\A.EXE") + "\x1A" + "junk\r\n",
       Line("[rename]") + Line("NUL=C:\\B.EXE") + Line("NUL=C:\\A.EXE")},
      {"Ctrl-Z mid-line", Line("[rename]") + "NUL=C:\\A.EXE\x1A[rename]\r\n", Line("[rename]") + Line("NUL=C:\\B.EXE") + Line("NUL=C:\\A.EXE")},
      {"a zero byte does not cut its line", Line("[boot]") + Line(std::string("a=1\0b=2", 7)) + Line("[rename]"),
       Line("[boot]") + Line(std::string("a=1\0b=2", 7)) + Line("[rename]") + Line("NUL=C:\\B.EXE")},
      {"lines of 498, 499 and 1000 characters", Line(line498) + Line(line499) + Line(line1000) + Line("[rename]"),
       Line(line498) + Line(line499) + Line(line1000) + Line("[rename]") + Line("NUL=C:\\B.EXE")},
      {"header on a line of 499 characters", Line(header499) + Line("NUL=C:\\A.EXE"),
       Line(header499) + Line("NUL=C:\\B.EXE") + Line("NUL=C:\\A.EXE")},
  };
  for (const Case& c : cases) {
    machine::Current().faults.calls = 0;
    if (c.before == kAbsent) {
      remove(folder_->HostPath(kIni).c_str());
    } else {
      folder_->Write(kIni, c.before);
    }
    EXPECT_EQ(0, ScheduleDeleteAtRestart("C:\\B.EXE")) << c.why;
    EXPECT_EQ(c.after, folder_->Read(kIni)) << c.why;
    EXPECT_FALSE(folder_->Exists(kNew)) << c.why;
  }
  EXPECT_TRUE(machine::Current().restartList.requests.empty());
}

TEST_F(RestartTest, SecondRequestStandsDirectlyUnderTheHeader) {
  UseWindows98();
  EXPECT_EQ(0, ScheduleDeleteAtRestart("C:\\A.EXE"));
  EXPECT_EQ(0, ScheduleDeleteAtRestart("D:\\LONG FOLDER NAME\\B.EXE"));
  EXPECT_EQ(Line("[rename]") + Line("NUL=D:\\LONG FOLDER NAME\\B.EXE") + Line("NUL=C:\\A.EXE"), folder_->Read(kIni));
}

TEST_F(RestartTest, ReadOnlyListIsReplacedAllTheSame) {
  UseWindows98();
  folder_->Write(kIni, Line("[rename]") + Line("NUL=C:\\A.EXE"));
  ASSERT_TRUE(SetFileAttributesA("T:\\WINDOWS\\WININIT.INI",
                                 FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
  EXPECT_EQ(0, ScheduleDeleteAtRestart("C:\\B.EXE"));
  EXPECT_EQ(Line("[rename]") + Line("NUL=C:\\B.EXE") + Line("NUL=C:\\A.EXE"), folder_->Read(kIni));
}

// The old list stays as it was whenever the new one cannot take its place whole.
TEST_F(RestartTest, FailuresLeaveTheOldListAsItWas) {
  UseWindows98();
  const std::string before = Line("[boot]") + Line("[rename]") + Line("NUL=C:\\A.EXE");
  struct Case {
    const char* why;
    std::set<std::string> failingPaths;
    std::set<std::string> failing;
  };
  const Case cases[] = {
      {"list cannot be read", {"T:\\WINDOWS\\WININIT.INI"}, {}},
      {"new list cannot be made", {"T:\\WINDOWS\\WININIT.NEW"}, {}},
      {"disk full", {}, {"write"}},
      {"close fails", {}, {"fclose"}},
  };
  for (const Case& c : cases) {
    folder_->Write(kIni, before);
    machine::Current().faults.failingPaths = c.failingPaths;
    machine::Current().faults.failing = c.failing;
    EXPECT_EQ(-1, ScheduleDeleteAtRestart("C:\\B.EXE")) << c.why;
    EXPECT_EQ(before, folder_->Read(kIni)) << c.why;
    EXPECT_FALSE(folder_->Exists(kNew)) << c.why;
  }
}

// A failure at each step in turn, writes part-way through the new list included: the request
// either takes effect whole or fails, and no entry is ever lost.
TEST_F(RestartTest, FailureAtAnyStepLosesNoEntry) {
  UseWindows98();
  const std::string before = Line("[boot]") + Line("a=1") + Line("[rename]") + Line("NUL=C:\\A.EXE") + Line("[x]");
  const std::string after =
      Line("[boot]") + Line("a=1") + Line("[rename]") + Line("NUL=C:\\B.EXE") + Line("NUL=C:\\A.EXE") + Line("[x]");
  machine::Faults& faults = machine::Current().faults;
  int failedWrites = 0;
  for (long step = 1;; ++step) {
    folder_->Write(kIni, before);
    faults.calls = 0;
    faults.failCall = step;
    int result = ScheduleDeleteAtRestart("C:\\B.EXE");
    std::string ini = folder_->Exists(kIni) ? folder_->Read(kIni) : kAbsent;
    std::string left = folder_->Exists(kNew) ? folder_->Read(kNew) : kAbsent;
    if (faults.calls < step) {
      EXPECT_EQ(0, result) << "no failure at step " << step;
      EXPECT_EQ(after, ini);
      break;
    }
    if (result == 0) {
      EXPECT_EQ(after, ini) << step;
      EXPECT_EQ(kAbsent, left) << step;
    } else if (ini == kAbsent) {
      // Only the last step, the rename, fails after the old list is gone: the new one holds it all.
      EXPECT_EQ(after, left) << step;
    } else {
      EXPECT_EQ(before, ini) << step;
      EXPECT_EQ(kAbsent, left) << step;
      ++failedWrites;
    }
    remove(folder_->HostPath(kNew).c_str());
  }
  EXPECT_GE(failedWrites, 6);  // the opens, every line written and the closes
}

TEST_F(RestartTest, WindowsFolderMustLeaveRoomForTheListName) {
  UseWindows98();
  struct Case {
    size_t length;  // of the Windows folder's path
    int result;
  };
  // "T:\" and a folder name: 247 characters leave room for "\WININIT.INI" in 260.
  const Case cases[] = {{247, 0}, {248, -1}, {499, -1}, {700, -1}};
  for (const Case& c : cases) {
    std::string name(c.length - 3, 'W');
    if (name.size() < 250) folder_->MakeFolder(name);
    machine::Current().windowsDirectory = "T:\\" + name;
    machine::Current().faults.calls = 0;
    EXPECT_EQ(c.result, ScheduleDeleteAtRestart("C:\\B.EXE")) << c.length;
    if (c.result == 0) {
      EXPECT_EQ(Line("[rename]") + Line("NUL=C:\\B.EXE"), folder_->Read(name + "/WININIT.INI"));
    } else {
      EXPECT_EQ(0, machine::Current().faults.calls) << "nothing opened for " << c.length;
    }
  }
}

#else  // _WIN32: the real restart lists, under Wine

const char kSessionManager[] = "System\\CurrentControlSet\\Control\\Session Manager";
const char kPendingRenames[] = "PendingFileRenameOperations";

// The NT restart list, put back as it was when the test ends.
class PendingRenames {
 public:
  PendingRenames() { present_ = Read(&saved_); }
  ~PendingRenames() {
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) return;
    if (present_) {
      RegSetValueExA(key, kPendingRenames, 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(saved_.data()),
                     static_cast<DWORD>(saved_.size()));
    } else {
      RegDeleteValueA(key, kPendingRenames);
    }
    RegCloseKey(key);
  }

  // The value's data, read back with the registry API; false when there is none.
  static bool Read(std::string* data) {
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    DWORD type = 0;
    DWORD size = 0;
    bool found = RegQueryValueExA(key, kPendingRenames, nullptr, &type, nullptr, &size) == ERROR_SUCCESS;
    if (found) {
      data->assign(size, '\0');
      found = RegQueryValueExA(key, kPendingRenames, nullptr, &type, reinterpret_cast<BYTE*>(&(*data)[0]),
                               &size) == ERROR_SUCCESS &&
              type == REG_MULTI_SZ;
      data->resize(size);
    }
    RegCloseKey(key);
    return found;
  }

 private:
  bool present_ = false;
  std::string saved_;
};

// A deletion is the file's NT path followed by an empty destination.
std::string DeletionOf(const std::string& path) { return "\\??\\" + path + std::string(2, '\0'); }

TEST(RestartUnderWineTest, NtRequestLandsInTheRestartList) {
  OSVERSIONINFOA version = {};
  version.dwOSVersionInfoSize = sizeof version;
  ASSERT_TRUE(GetVersionExA(&version));
  ASSERT_EQ(static_cast<DWORD>(VER_PLATFORM_WIN32_NT), version.dwPlatformId);

  support::ScratchFolder folder;
  folder.Write("X.EXE", "x");
  std::string path = folder.WindowsPath("X.EXE");
  PendingRenames restore;
  EXPECT_EQ(0, ScheduleDeleteAtRestart(path.c_str()));
  std::string pending;
  ASSERT_TRUE(PendingRenames::Read(&pending));
  EXPECT_NE(std::string::npos, pending.find(DeletionOf(path))) << pending;
}

std::string ProgramBeside(const char* name) {
  char self[MAX_PATH];
  DWORD length = GetModuleFileNameA(nullptr, self, sizeof self);
  std::string path(self, length);
  return path.substr(0, path.find_last_of('\\') + 1) + name;
}

// Runs `program` with one argument and returns its exit code, or -1 when it could not run.
long RunProgram(const std::string& program, const std::string& argument) {
  std::string commandLine = "\"" + program + "\" \"" + argument + "\"";
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  if (!CreateProcessA(program.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &process)) {
    return -1;
  }
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD code = 0;
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return static_cast<long>(code);
}

// Wine reports the Windows 95 family to a program it is told to before the program starts; the
// helper program is told so alone, so nothing else in the prefix is affected.
TEST(RestartUnderWineTest, Windows95FamilyRewritesWininitInTheWindowsFolder) {
  const char kProbe[] = "vr_restart_probe.exe";
  const std::string appKey = std::string("Software\\Wine\\AppDefaults\\") + kProbe;
  std::string probe = ProgramBeside(kProbe);
  ASSERT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(probe.c_str())) << probe;

  char windows[MAX_PATH];
  ASSERT_NE(0u, GetWindowsDirectoryA(windows, sizeof windows));
  const std::string ini = std::string(windows) + "\\WININIT.INI";
  const bool hadIni = GetFileAttributesA(ini.c_str()) != INVALID_FILE_ATTRIBUTES;
  const std::string savedIni = support::ReadFileBytes(ini);
  const std::string before = "[boot]\r\n[rename]\r\nNUL=C:\\KEEP.EXE\r\n";
  FILE* seed = fopen(ini.c_str(), "wb");
  ASSERT_NE(nullptr, seed);
  fputs(before.c_str(), seed);
  fclose(seed);

  support::ScratchFolder folder;
  folder.Write("X.EXE", "x");
  std::string path = folder.WindowsPath("X.EXE");
  PendingRenames restore;

  HKEY key;
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, appKey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                           &key, nullptr));
  RegSetValueExA(key, "Version", 0, REG_SZ, reinterpret_cast<const BYTE*>("win98"), 6);
  RegCloseKey(key);
  long code = RunProgram(probe, path);
  RegDeleteKeyA(HKEY_CURRENT_USER, appKey.c_str());

  std::string after = support::ReadFileBytes(ini);
  if (hadIni) {
    FILE* back = fopen(ini.c_str(), "wb");
    if (back != nullptr) {
      fwrite(savedIni.data(), 1, savedIni.size(), back);
      fclose(back);
    }
  } else {
    DeleteFileA(ini.c_str());
  }

  EXPECT_EQ(VER_PLATFORM_WIN32_WINDOWS, code) << "exit code: the platform family, 100 more on failure";
  EXPECT_EQ("[boot]\r\n[rename]\r\nNUL=" + path + "\r\nNUL=C:\\KEEP.EXE\r\n", after);
  std::string pending;
  if (PendingRenames::Read(&pending)) {
    EXPECT_EQ(std::string::npos, pending.find(DeletionOf(path)));
  }
}

#endif  // _WIN32

}  // namespace
