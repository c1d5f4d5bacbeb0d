// The directory walker: masks and name tests, path setup, the walk order, its results and its
// limits. Walks run over real temporary folders; under Wine the listings, short names and file
// times come from Windows' own functions, so the expected order is read from a listing.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "support/scratch_folder.h"
#include "walker/file_walker.h"

#if !defined(_WIN32)
#include <fcntl.h>
#include <unistd.h>

#include <set>

#include "platform/posix/machine.h"
#endif

namespace {

using support::ScratchFolder;

// ASCII upper-casing, as the walker does for short paths.
std::string Upper(std::string text) {
  for (char& c : text) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return text;
}

// A heap copy the walker may own and free.
char* Owned(const char* text) {
  char* copy = static_cast<char*>(malloc(strlen(text) + 1));
  strcpy(copy, text);
  return copy;
}

std::vector<std::string> MasksOf(const FileWalker& walker) {
  std::vector<std::string> masks;
  for (const MaskNode* node = walker.masks; node != nullptr; node = node->next) masks.push_back(node->mask);
  return masks;
}

// What the callbacks were told, in order: "D <longPath>" for a directory, "F <longPath>" for a file.
class Recorder : public WalkCallbacks {
 public:
  struct Seen {
    std::string trace;
    std::string shortPath;
    FoundEntry entry;
  };

  int OnFile(const FoundEntry& entry) override { return Record('F', entry, fileResult); }
  int OnDirectory(const FoundEntry& entry) override { return Record('D', entry, directoryResult); }
  int ShouldStop() override { return ++polls == stopAtPoll ? 1 : 0; }

  std::vector<std::string> Trace() const {
    std::vector<std::string> trace;
    for (const Seen& s : seen) trace.push_back(s.trace);
    return trace;
  }
  std::vector<std::string> SortedTrace() const {
    std::vector<std::string> trace = Trace();
    std::sort(trace.begin(), trace.end());
    return trace;
  }

  std::vector<Seen> seen;
  int polls = 0;
  int stopAtPoll = 0;  // ShouldStop answers 1 at this poll; 0 never
  std::function<int(const std::string&)> fileResult;  // by long path; none answers 0
  std::function<int(const std::string&)> directoryResult;

 private:
  int Record(char kind, const FoundEntry& entry, const std::function<int(const std::string&)>& result) {
    seen.push_back(Seen{std::string(1, kind) + " " + entry.longPath, entry.shortPath, entry});
    return result ? result(entry.longPath) : 0;
  }
};

#if !defined(_WIN32)
// Only the set of files reported: for walks too large to keep a trace of.
class CountingCallbacks : public WalkCallbacks {
 public:
  int OnFile(const FoundEntry& entry) override {
    files.insert(entry.longPath);
    return 0;
  }
  int OnDirectory(const FoundEntry&) override { return 0; }
  int ShouldStop() override { return 0; }
  std::set<std::string> files;
};
#endif

class AbortCountingWalker : public FileWalker {
 public:
  void OnAbort() override { ++aborts; }
  int aborts = 0;
};

// The names a listing of `folder` (with its trailing "\") gives, in the order it gives them,
// without "." and "..": the order a walk keeps.
struct Listed {
  std::vector<std::string> files;
  std::vector<std::string> dirs;
};

Listed ListingOf(const std::string& folder) {
  Listed listed;
  WIN32_FIND_DATAA record;
  HANDLE find = FindFirstFileA((folder + "*.*").c_str(), &record);
  if (find == INVALID_HANDLE_VALUE) {
    ADD_FAILURE() << "cannot list " << folder;
    return listed;
  }
  do {
    std::string name = record.cFileName;
    if (name == "." || name == "..") continue;
    (record.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY ? listed.dirs : listed.files).push_back(name);
  } while (FindNextFileA(find, &record));
  FindClose(find);
  return listed;
}

// The short form the system gives for `path`, upper-cased as the walker keeps it.
std::string ShortFormOf(const std::string& path) {
  char buffer[FileWalker::kPathSize];
  DWORD got = GetShortPathNameA(path.c_str(), buffer, sizeof buffer);
  EXPECT_TRUE(got > 0 && got < sizeof buffer) << path;
  return Upper(got > 0 && got < sizeof buffer ? buffer : path);
}

// Runs the body with `hostFolder` as the current directory.
class InFolder {
 public:
  explicit InFolder(const std::string& hostFolder) : saved_(std::filesystem::current_path()) {
    std::filesystem::current_path(hostFolder);
  }
  ~InFolder() { std::filesystem::current_path(saved_); }

 private:
  std::filesystem::path saved_;
};

TEST(WalkerObject, StartsEmptyWithTheEntryAimedAtItsOwnPaths) {
  FileWalker walker;
  EXPECT_EQ(1, walker.recurse);
  EXPECT_STREQ("", walker.longPath);
  EXPECT_STREQ("", walker.shortPath);
  EXPECT_EQ(nullptr, walker.masks);
  EXPECT_EQ(nullptr, walker.wildcard);
  EXPECT_EQ(nullptr, walker.callbacks);
  EXPECT_EQ(walker.longPath, walker.entry.longPath);
  EXPECT_EQ(walker.shortPath, walker.entry.shortPath);
  EXPECT_EQ(0, walker.entry.dosTime + walker.entry.dosDate);
  EXPECT_EQ(0u, walker.entry.attributes + walker.entry.sizeLow + walker.entry.sizeHigh);
  EXPECT_EQ(0, walker.entry.filesReported + walker.entry.entriesSeen + walker.entry.directoriesEntered);
}

TEST(WalkerMasks, AddMasksKeepsTheNonEmptyPiecesInOrder) {
  struct Case {
    const char* list;
    std::vector<std::string> masks;
  };
  const Case cases[] = {
      {"EXE;;COM;", {"EXE", "COM"}},
      {";", {}},
      {"", {}},
      {"*", {"*"}},
      {";E?E;EX*", {"E?E", "EX*"}},
  };
  for (const Case& c : cases) {
    FileWalker walker;
    char list[32];
    strcpy(list, c.list);
    walker.AddMasks(list);
    EXPECT_EQ(c.masks, MasksOf(walker)) << c.list;
    EXPECT_STREQ(c.list, list);
  }
  FileWalker walker;
  walker.AddMasks("EXE");
  walker.AddMask("");
  walker.AddMask("COM");
  EXPECT_EQ((std::vector<std::string>{"EXE", "COM"}), MasksOf(walker));
}

TEST(WalkerMasks, MasksTestTheExtensionPositionByPosition) {
  struct Case {
    const char* masks;
    const char* name;
    const char* ext;
    int expected;
  };
  const Case cases[] = {
      {"*", "README", nullptr, 0},
      {"*", "README.TXT", "TXT", 0},
      {"EXE", "README.exe", "exe", 0},
      {"exe", "README.EXE", "EXE", 0},
      {"EXE", "README.EXE2", "EXE2", -1},
      {"EXE", "README.EX", "EX", -1},
      {"EXE", "README", nullptr, -1},
      {"EXE", "README.", "", -1},
      {"EX*", "README.EX", "EX", 0},
      {"EX*", "README.EXE", "EXE", 0},
      {"EX*", "README.E", "E", -1},
      {"E?E", "README.EXE", "EXE", 0},
      {"E?E", "README.EE", "EE", -1},
      {"?", "README.", "", -1},
      {"COM;EXE", "A.exe", "exe", 0},
      {"COM;EXE", "A.BAT", "BAT", -1},
      {"EXE;*X", "README", nullptr, 0},  // a mask that begins with "*" takes names without extension
      {"EXE;X*", "README", nullptr, -1},
      {"", "A.EXE", "EXE", -1},  // no masks and no wildcard: nothing is accepted
      {"", "README", nullptr, -1},
  };
  for (const Case& c : cases) {
    FileWalker walker;
    walker.AddMasks(c.masks);
    EXPECT_EQ(c.expected, walker.MatchName(c.name, c.ext)) << c.masks << " with " << c.name;
  }
}

TEST(WalkerMasks, WildcardMatchesWithoutBacktracking) {
  struct Case {
    const char* wildcard;
    const char* name;
    int expected;
  };
  const Case cases[] = {
      {"*.EXE", "NOTEPAD.EXE", 0},
      {"*.EXE", "NOTEPAD.EXEC", 0},  // name characters left over are not examined
      {"*.exe", "notepad.EXE", 0},
      {"*.EXE", "NOTEPAD.COM", -1},
      {"*.*", "README", -1},
      {"*.*", "README.TXT", 0},
      {"A?C.*", "ABC.TXT", 0},
      {"A?C.*", "AB.TXT", -1},
      {"A?C.*", "A.C.TXT", -1},  // "?" never takes a "."
      {"*X.TXT", "ABX.TXT", -1},  // the "*" has already taken the X
      {"*X.TXT", "X.TXT", -1},
      {"*", "", 0},
      {"ABC", "ABCDEF", 0},
      {"ABCD", "ABC", -1},
      {"?", "", -1},
  };
  for (const Case& c : cases) {
    FileWalker walker;
    walker.wildcard = Owned(c.wildcard);
    EXPECT_EQ(c.expected, walker.MatchWildcard(c.name)) << c.wildcard << " with " << c.name;
  }
  FileWalker walker;
  EXPECT_EQ(-1, walker.MatchWildcard("A.EXE"));  // no wildcard
  walker.wildcard = Owned("*");
  EXPECT_EQ(-1, walker.MatchWildcard(nullptr));
}

TEST(WalkerMasks, WildcardAcceptsFirstAndTheMasksDecideTheRest) {
  FileWalker walker;
  walker.wildcard = Owned("*.EXE");
  walker.AddMasks("COM");
  EXPECT_EQ(0, walker.MatchName("A.EXE", "EXE"));
  EXPECT_EQ(0, walker.MatchName("A.COM", "COM"));
  EXPECT_EQ(-1, walker.MatchName("A.TXT", "TXT"));
  EXPECT_EQ(-1, walker.MatchName("README", nullptr));
}

TEST(WalkerMasks, MatchCurrentNameSplitsTheLastComponentOfTheLongPath) {
  struct NameSpy : FileWalker {
    int MatchName(const char* name, const char* ext) override {
      seenName = name;
      seenExt = ext != nullptr ? ext : "(none)";
      return 7;
    }
    std::string seenName;
    std::string seenExt;
  };
  struct Case {
    const char* longPath;
    const char* name;
    const char* ext;
  };
  const Case cases[] = {
      {"C:\\DIR\\SUB\\FILE.TXT", "FILE.TXT", "TXT"},
      {"C:\\DIR\\NOEXT", "NOEXT", "(none)"},
      {"C:\\DIR.D\\NOEXT", "NOEXT", "(none)"},
      {"C:\\DIR\\ARCHIVE.TAR.GZ", "ARCHIVE.TAR.GZ", "GZ"},
      {"C:\\DIR\\FILE.", "FILE.", ""},
      {"A.B", "A.B", "B"},
  };
  for (const Case& c : cases) {
    NameSpy walker;
    strcpy(walker.longPath, c.longPath);
    EXPECT_EQ(7, walker.MatchCurrentName());
    EXPECT_EQ(c.name, walker.seenName) << c.longPath;
    EXPECT_EQ(c.ext, walker.seenExt) << c.longPath;
  }
}

class WalkerTest : public testing::Test {
 protected:
  void SetUp() override {
#if !defined(_WIN32)
    machine::Reset();
#endif
    walker.callbacks = &recorder;
    walker.AddMasks("*");
  }
  void TearDown() override {
#if !defined(_WIN32)
    machine::Reset();
#endif
  }

  // A.TXT, SUB1\X.TXT, B.TXT and SUB2\Y.TXT, made in that order.
  void MakeTwoFilesAndTwoSubdirectories() {
    tree.MakeFile("A.TXT");
    tree.MakeFile("SUB1/X.TXT");
    tree.MakeFile("B.TXT");
    tree.MakeFile("SUB2/Y.TXT");
  }

  // The tree's root as the walker reports it, with its trailing "\".
  std::string Root() const { return tree.WindowsPath() + "\\"; }

  // What a walk of `folder` reports when each of its subdirectories holds files only: the
  // directory, its files in listing order, then each subdirectory and its files.
  static std::vector<std::string> FilesThenSubdirectories(const std::string& folder, bool descend) {
    std::vector<std::string> trace = {"D " + folder};
    Listed top = ListingOf(folder);
    for (const std::string& file : top.files) trace.push_back("F " + folder + file);
    if (!descend) return trace;
    for (const std::string& dir : top.dirs) {
      trace.push_back("D " + folder + dir + "\\");
      for (const std::string& file : ListingOf(folder + dir + "\\").files) trace.push_back("F " + folder + dir + "\\" + file);
    }
    return trace;
  }

  ScratchFolder tree{ScratchFolder::Reach::kHostPath};
  Recorder recorder;
  AbortCountingWalker walker;
};

TEST_F(WalkerTest, FilesOfADirectoryComeBeforeItsSubdirectoriesInListingOrder) {
  MakeTwoFilesAndTwoSubdirectories();
  EXPECT_EQ(0, walker.AddPathSpec(tree.WindowsPath().c_str()));
  EXPECT_EQ(FilesThenSubdirectories(Root(), true), recorder.Trace());
  // The paths are cut back after each directory, so the walk ends naming its start.
  EXPECT_EQ(Root(), walker.longPath);
  EXPECT_EQ(ShortFormOf(Root()), walker.shortPath);
  EXPECT_EQ(4, walker.entry.filesReported);
  EXPECT_EQ(4, walker.entry.entriesSeen);
  EXPECT_EQ(3, walker.entry.directoriesEntered);
  EXPECT_EQ(0, walker.aborts);
}

TEST_F(WalkerTest, LeadingDashWalksTheDirectoryWithoutDescending) {
  MakeTwoFilesAndTwoSubdirectories();
  EXPECT_EQ(0, walker.AddPathSpec(("-" + tree.WindowsPath()).c_str()));
  EXPECT_EQ(FilesThenSubdirectories(Root(), false), recorder.Trace());
  EXPECT_EQ(0, walker.recurse);

  // "-" alone is the current directory.
  Recorder again;
  walker.callbacks = &again;
  InFolder inside(tree.HostPath());
  EXPECT_EQ(0, walker.AddPathSpec("-"));
  EXPECT_EQ(FilesThenSubdirectories(Root(), false), again.Trace());
}

TEST_F(WalkerTest, DriveWithoutBackslashIsWalkedFromItsRoot) {
  std::string drive = tree.WindowsPath().substr(0, 2);
  recorder.directoryResult = [](const std::string&) { return 7; };  // stop at once: no walk of a whole drive
  EXPECT_EQ(7, walker.ScanPath(drive.c_str(), 1));
  EXPECT_EQ(std::vector<std::string>{"D " + drive + "\\"}, recorder.Trace());
  EXPECT_EQ(0, walker.AddPathSpec(drive.c_str()));  // a result other than -10 reads as 0
  EXPECT_EQ(0, walker.entry.directoriesEntered);  // OnDirectory kept it out
}

TEST_F(WalkerTest, WildcardSpecFiltersFilesAtEveryDepthButNeverDirectories) {
  for (const char* name : {"A.EXE", "B.TXT", "C.COM", "SUB/D.EXE", "SUB/E.TXT", "SUB/DEEP.TXT/F.EXE"}) tree.MakeFile(name);
  struct Case {
    const char* masks;
    std::vector<std::string> files;
  };
  const Case cases[] = {
      {"COM", {"A.EXE", "C.COM", "SUB\\D.EXE", "SUB\\DEEP.TXT\\F.EXE"}},
      {"", {"A.EXE", "SUB\\D.EXE", "SUB\\DEEP.TXT\\F.EXE"}},
      {"*", {"A.EXE", "B.TXT", "C.COM", "SUB\\D.EXE", "SUB\\DEEP.TXT\\F.EXE", "SUB\\E.TXT"}},
  };
  for (const Case& c : cases) {
    Recorder seen;
    FileWalker wildcardWalker;
    wildcardWalker.callbacks = &seen;
    wildcardWalker.AddMasks(c.masks);
    EXPECT_EQ(0, wildcardWalker.AddPathSpec((tree.WindowsPath() + "\\*.EXE").c_str()));
    EXPECT_STREQ("*.EXE", wildcardWalker.wildcard);
    std::vector<std::string> expected = {"D " + Root(), "D " + Root() + "SUB\\", "D " + Root() + "SUB\\DEEP.TXT\\"};
    for (const std::string& file : c.files) expected.push_back("F " + Root() + file);
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(expected, seen.SortedTrace()) << "masks " << c.masks;
  }
}

TEST_F(WalkerTest, SingleFileIsReportedOnceWithItsRecordAndResult) {
  tree.MakeFile("BIG.BIN", (uint64_t{5} << 30) + 3);
  tree.SetWriteTime("BIG.BIN", 981173106);  // 2001-02-03 04:05:06 UTC
  FileWalker plain;  // no masks: a file named explicitly passes anyway
  plain.callbacks = &recorder;
  recorder.fileResult = [](const std::string&) { return 3; };
  EXPECT_EQ(3, plain.ScanPath(tree.WindowsPath("BIG.BIN").c_str(), 1));
  ASSERT_EQ(std::vector<std::string>{"F " + tree.WindowsPath("BIG.BIN")}, recorder.Trace());
  const FoundEntry& entry = recorder.seen[0].entry;
  EXPECT_EQ(1u, entry.sizeHigh);
  EXPECT_EQ(0x40000003u, entry.sizeLow);
  EXPECT_EQ(0u, entry.attributes & FILE_ATTRIBUTE_DIRECTORY);
  EXPECT_EQ(((2001 - 1980) << 9) | (2 << 5) | 3, entry.dosDate);
  EXPECT_EQ((4 << 11) | (5 << 5) | (6 / 2), entry.dosTime);
  EXPECT_EQ(1, entry.filesReported);
  EXPECT_EQ(0, entry.directoriesEntered);
  EXPECT_EQ(ShortFormOf(tree.WindowsPath("BIG.BIN")), recorder.seen[0].shortPath);

  EXPECT_EQ(0, plain.AddPathSpec(tree.WindowsPath("BIG.BIN").c_str()));  // the OnFile result reads as 0
}

TEST_F(WalkerTest, TimeOutsideTheDosRangeReadsAsZero) {
  tree.MakeFile("NEW.TXT");
  tree.SetWriteTime("NEW.TXT", 981173106);
  tree.MakeFile("OLD.TXT");
  tree.SetWriteTime("OLD.TXT", 157766400);  // 1975, before the first MS-DOS date
  EXPECT_EQ(0, walker.AddPathSpec(tree.WindowsPath("NEW.TXT").c_str()));
  EXPECT_EQ(0, walker.AddPathSpec(tree.WindowsPath("OLD.TXT").c_str()));
  ASSERT_EQ(2u, recorder.seen.size());
  EXPECT_NE(0, recorder.seen[0].entry.dosDate);
  EXPECT_EQ(0, recorder.seen[1].entry.dosDate);
  EXPECT_EQ(0, recorder.seen[1].entry.dosTime);
}

TEST_F(WalkerTest, MissingPathIsReportedOnceAsAnEmptyDirectory) {
  std::string missing = tree.WindowsPath("NOPE");
  EXPECT_EQ(0, walker.AddPathSpec(missing.c_str()));
  ASSERT_EQ(std::vector<std::string>{"D " + missing + "\\"}, recorder.Trace());
  // No short form exists: the short path is the long one, upper-cased.
  EXPECT_EQ(Upper(missing + "\\"), recorder.seen[0].shortPath);
  EXPECT_EQ(1, walker.entry.directoriesEntered);

  FileWalker plain;
  EXPECT_EQ(-1, plain.ScanSingleFile());  // nothing at an empty path
}

TEST_F(WalkerTest, RelativeSpecsResolveAgainstTheCurrentDirectory) {
  MakeTwoFilesAndTwoSubdirectories();
  tree.MakeFile("C.EXE");
  struct Case {
    const char* spec;
    const char* masks;
    std::vector<std::string> expected;  // relative to the root, sorted
  };
  const Case cases[] = {
      {"SUB1", "*", {"D SUB1\\", "F SUB1\\X.TXT"}},
      {"A.TXT", "*", {"F A.TXT"}},
      {".\\SUB2\\..\\B.TXT", "*", {"F B.TXT"}},
      {"*.EXE", "", {"D ", "D SUB1\\", "D SUB2\\", "F C.EXE"}},
      {"-*.TXT", "", {"D ", "F A.TXT", "F B.TXT"}},
  };
  InFolder inside(tree.HostPath());
  for (const Case& c : cases) {
    Recorder seen;
    FileWalker relative;
    relative.callbacks = &seen;
    relative.AddMasks(c.masks);
    EXPECT_EQ(0, relative.AddPathSpec(c.spec));
    std::vector<std::string> expected;
    for (const std::string& line : c.expected) expected.push_back(line.substr(0, 2) + Root() + line.substr(2));
    EXPECT_EQ(expected, seen.SortedTrace()) << c.spec;
  }
}

TEST_F(WalkerTest, ShouldStopEndsTheWalkWithOneAbortAtAnyDepth) {
  tree.MakeFile("SUB1/X.TXT");
  tree.MakeFile("SUB1/Z.TXT");
  tree.MakeFile("SUB2/Y.TXT");
  Listed top = ListingOf(Root());
  ASSERT_EQ(2u, top.dirs.size());
  std::string first = Root() + top.dirs[0] + "\\";
  // Polls: ".", ".." and the two subdirectories of the root, then "." and ".." of the first one.
  struct Case {
    int stopAt;
    std::vector<std::string> expected;
  };
  const Case cases[] = {
      {3, {"D " + Root()}},
      {7, {"D " + Root(), "D " + first}},
      {8, {"D " + Root(), "D " + first, "F " + first + ListingOf(first).files[0]}},
  };
  for (const Case& c : cases) {
    Recorder seen;
    AbortCountingWalker stopping;
    stopping.callbacks = &seen;
    stopping.AddMasks("*");
    seen.stopAtPoll = c.stopAt;
    EXPECT_EQ(kWalkStopped, stopping.AddPathSpec(tree.WindowsPath().c_str()));
    EXPECT_EQ(1, stopping.aborts) << "stop at " << c.stopAt;
    EXPECT_EQ(c.stopAt, seen.polls);
    EXPECT_EQ(c.expected, seen.Trace()) << "stop at " << c.stopAt;
  }
}

TEST_F(WalkerTest, OnlyMinusTenFromOnFileStopsADirectoryWalk) {
  MakeTwoFilesAndTwoSubdirectories();
  std::vector<std::string> all = FilesThenSubdirectories(Root(), true);
  struct Case {
    int answer;  // what OnFile answers from the second file on
    int result;
    size_t events;
  };
  const Case cases[] = {
      {kWalkStopped, kWalkStopped, 3},  // the directory, the first file, the second file
      {-1, 0, all.size()},
      {5, 0, all.size()},
  };
  for (const Case& c : cases) {
    Recorder seen;
    AbortCountingWalker walking;
    walking.callbacks = &seen;
    walking.AddMasks("*");
    int files = 0;
    seen.fileResult = [&](const std::string&) { return ++files >= 2 ? c.answer : 0; };
    EXPECT_EQ(c.result, walking.ScanPath(tree.WindowsPath().c_str(), 1)) << c.answer;
    EXPECT_EQ(std::vector<std::string>(all.begin(), all.begin() + c.events), seen.Trace()) << c.answer;
    EXPECT_EQ(0, walking.aborts);
  }
}

TEST_F(WalkerTest, NonZeroOnDirectoryEndsTheWalkWithItsResult) {
  MakeTwoFilesAndTwoSubdirectories();
  std::vector<std::string> all = FilesThenSubdirectories(Root(), true);
  Listed top = ListingOf(Root());
  std::string refused = Root() + top.dirs[0] + "\\";
  recorder.directoryResult = [&](const std::string& path) { return path == refused ? 42 : 0; };
  EXPECT_EQ(42, walker.ScanPath(tree.WindowsPath().c_str(), 1));
  // Everything up to the refused directory, which is reported but neither counted nor listed.
  std::vector<std::string> expected(all.begin(), std::find(all.begin(), all.end(), "D " + refused) + 1);
  EXPECT_EQ(expected, recorder.Trace());
  EXPECT_EQ(1, walker.entry.directoriesEntered);
}

TEST_F(WalkerTest, DirectoriesWhoseNameBeginsWithADotAreNotEntered) {
  tree.MakeFile(".config/X.TXT");
  tree.MakeFile(".profile");
  tree.MakeFile("A.TXT");
  EXPECT_EQ(0, walker.AddPathSpec(tree.WindowsPath().c_str()));
  std::vector<std::string> expected = {"D " + Root(), "F " + Root() + ".profile", "F " + Root() + "A.TXT"};
  EXPECT_EQ(expected, recorder.SortedTrace());
}

TEST_F(WalkerTest, CountersKeepGoingWithoutCallbacksAndAcrossWalks) {
  tree.MakeFile("A.TXT");
  tree.MakeFile("B.BIN");
  tree.MakeFile("SUB/C.TXT");
  FileWalker counting;
  counting.AddMasks("TXT");
  for (int walk = 1; walk <= 2; ++walk) {
    EXPECT_EQ(0, counting.AddPathSpec(tree.WindowsPath().c_str()));
    EXPECT_EQ(3 * walk, counting.entry.entriesSeen);
    EXPECT_EQ(2 * walk, counting.entry.filesReported);
    EXPECT_EQ(2 * walk, counting.entry.directoriesEntered);
  }
}

TEST_F(WalkerTest, ShortPathsAreTheUpperCasedShortForms) {
  tree.MakeFile("lower.txt");
  tree.MakeFile("A Long File Name.text");
  tree.MakeFile("Long Directory Name/inner file name.txt");
  EXPECT_EQ(0, walker.AddPathSpec(tree.WindowsPath().c_str()));
  ASSERT_EQ(5u, recorder.seen.size());
  for (const Recorder::Seen& seen : recorder.seen) {
    std::string longPath = seen.trace.substr(2);
    EXPECT_EQ(ShortFormOf(longPath), seen.shortPath) << longPath;
  }
}

TEST_F(WalkerTest, SpecsTooLongForThePathBuffersAreRefusedUnwalked) {
  std::string base = tree.WindowsPath() + "\\";
  struct Case {
    size_t length;
    int result;
    size_t events;
  };
  const Case cases[] = {
      {498, 0, 1},  // a missing directory reported with its "\" as the 499th character
      {499, 0, 0},  // no room for the "\": nothing in it could be reported
      {500, -1, 0},
      {700, -1, 0},
  };
  for (const Case& c : cases) {
    Recorder seen;
    FileWalker limited;
    limited.callbacks = &seen;
    std::string spec = base + std::string(c.length - base.size(), 'X');
    strcpy(limited.longPath, "unchanged");
    EXPECT_EQ(c.result, limited.ScanPath(spec.c_str(), 1)) << c.length;
    EXPECT_EQ(0, limited.AddPathSpec(spec.c_str()));
    ASSERT_EQ(2 * c.events, seen.seen.size()) << c.length;
    if (c.events > 0) {
      EXPECT_EQ("D " + spec + "\\", seen.Trace()[0]);
    }
    if (c.result == -1) {
      EXPECT_STREQ("unchanged", limited.longPath);
    }
    EXPECT_LT(strlen(limited.shortPath), FileWalker::kPathSize);
  }
}

#if !defined(_WIN32)
// Windows' ANSI file functions stop at 260 characters, well before the walker's own limit, so the
// entries near it are walked on Linux only.
TEST_F(WalkerTest, EntriesPastThePathLimitAreSkippedAndTheWalkGoesOn) {
  // A folder whose path, with its "\", is 497 characters.
  std::string relative;
  size_t remaining = 497 - Root().size();
  while (remaining > 256) {
    relative += std::string(150, 'd') + "/";
    remaining -= 151;
  }
  relative += std::string(remaining - 1, 'e');
  std::string deep = tree.WindowsPath(relative) + "\\";
  ASSERT_EQ(497u, deep.size());
  for (const char* name : {"AB", "ABC", "C", "E/F"}) tree.MakeFile(relative + "/" + name);
  tree.MakeFolder(relative + "/GH");
  tree.MakeFile("Z.TXT");

  EXPECT_EQ(0, walker.AddPathSpec(tree.WindowsPath().c_str()));
  std::vector<std::string> trace = recorder.SortedTrace();
  for (const std::string& line : trace) EXPECT_LE(line.size() - 2, 499u) << line;
  EXPECT_EQ(1, std::count(trace.begin(), trace.end(), "F " + deep + "AB"));   // 499 characters
  EXPECT_EQ(1, std::count(trace.begin(), trace.end(), "F " + deep + "C"));
  EXPECT_EQ(1, std::count(trace.begin(), trace.end(), "D " + deep + "E\\"));  // 499 with its "\"
  EXPECT_EQ(0, std::count(trace.begin(), trace.end(), "F " + deep + "ABC"));
  EXPECT_EQ(0, std::count(trace.begin(), trace.end(), "D " + deep + "GH\\"));
  EXPECT_EQ(1, std::count(trace.begin(), trace.end(), "F " + Root() + "Z.TXT"));
  EXPECT_EQ(Root(), walker.longPath);
}

TEST_F(WalkerTest, UnlistableDirectoryIsReportedAndTreatedAsEmpty) {
  MakeTwoFilesAndTwoSubdirectories();
  std::vector<std::string> all = FilesThenSubdirectories(Root(), true);
  // Calls that can fail, in order: the full path, the lookup, the short form, the root's listing,
  // then the first subdirectory's listing.
  machine::Current().faults.calls = 0;
  machine::Current().faults.failCall = 5;
  EXPECT_EQ(0, walker.AddPathSpec(tree.WindowsPath().c_str()));
  std::vector<std::string> expected = all;
  expected.erase(expected.begin() + 4);  // the file of the first subdirectory
  EXPECT_EQ(expected, recorder.Trace());
  EXPECT_EQ(3, walker.entry.directoriesEntered);
}

TEST_F(WalkerTest, ShortPathFallsBackToTheLongPathUpperCased) {
  tree.MakeFile("sub/a.txt");
  machine::Current().faults.failing = {"GetShortPathNameA"};
  EXPECT_EQ(0, walker.AddPathSpec(tree.WindowsPath().c_str()));
  ASSERT_EQ(3u, recorder.seen.size());
  for (const Recorder::Seen& seen : recorder.seen) EXPECT_EQ(Upper(seen.trace.substr(2)), seen.shortPath);
}

TEST_F(WalkerTest, UnresolvablePathIsWalkedAsGiven) {
  machine::Current().faults.failing = {"_fullpath"};
  EXPECT_EQ(0, walker.ScanPath("Z:\\NOWHERE\\..\\ELSE", 1));
  EXPECT_EQ(std::vector<std::string>{"D Z:\\NOWHERE\\..\\ELSE\\"}, recorder.Trace());
}

TEST_F(WalkerTest, UnixPathsAreDrivePaths) {
  MakeTwoFilesAndTwoSubdirectories();
  EXPECT_EQ(0, walker.AddPathSpec(("-" + tree.HostPath() + "/*.TXT").c_str()));
  EXPECT_EQ(FilesThenSubdirectories(Root(), false), recorder.Trace());
  EXPECT_STREQ("*.TXT", walker.wildcard);

  machine::DriveOf('D') = machine::Drive{DRIVE_FIXED, tree.HostPath()};
  Recorder onD;
  walker.callbacks = &onD;
  EXPECT_EQ(0, walker.AddPathSpec("d:"));
  EXPECT_EQ(FilesThenSubdirectories("D:\\", true), onD.Trace());
}

// A wildcard that only a "." or ".." after it makes the last component names nothing: the lookup
// would answer with the first entry the pattern matches, under the pattern's own name.
TEST_F(WalkerTest, WildcardInAFolderNameIsNoFile) {
  // A drive root lists no "." first: its first entry is a file.
  tree.MakeFile("A.TXT");
  tree.MakeFile("B.TXT");
  machine::DriveOf('T') = machine::Drive{DRIVE_FIXED, tree.HostPath()};
  for (const char* spec : {"T:\\*.*\\.", "T:\\*.*\\X\\..", "T:\\A.T?T\\.", "T:\\*\\A.TXT"}) {
    Recorder seen;
    walker.callbacks = &seen;
    EXPECT_EQ(0, walker.AddPathSpec(spec)) << spec;
    ASSERT_EQ(1u, seen.seen.size()) << spec;
    EXPECT_EQ('D', seen.Trace()[0][0]) << seen.Trace()[0];
  }
}

TEST_F(WalkerTest, NamesWithHighBytesSpacesAndLeadingDotsAreReportedAsTheyAre) {
  const std::vector<std::string> files = {"\xE9t\xE9.txt", "with space.TXT", " lead", "trail ", ".hidden",
                                          "..two", "sp ace dir/\xFF\x80.bin", "sp ace dir/.x"};
  for (const std::string& name : files) tree.MakeFile(name);
  tree.MakeFile(".dotdir/never.txt");
  EXPECT_EQ(0, walker.AddPathSpec(tree.WindowsPath().c_str()));
  std::vector<std::string> expected = {"D " + Root(), "D " + Root() + "sp ace dir\\"};
  for (const std::string& name : files) {
    std::string windows = name;
    std::replace(windows.begin(), windows.end(), '/', '\\');
    expected.push_back("F " + Root() + windows);
  }
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(expected, recorder.SortedTrace());
}

TEST_F(WalkerTest, DirectoryOfAHundredThousandEntriesIsWalkedWhole) {
  const int kEntries = 100000;
  tree.MakeFolder("big");
  std::string folder = tree.HostPath("big") + "/";
  for (int i = 0; i < kEntries; ++i) {
    int fd = open((folder + std::to_string(i)).c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0600);
    ASSERT_GE(fd, 0) << i;
    close(fd);
  }
  CountingCallbacks counting;
  walker.callbacks = &counting;
  EXPECT_EQ(0, walker.AddPathSpec(tree.WindowsPath("big").c_str()));
  EXPECT_EQ(static_cast<size_t>(kEntries), counting.files.size());
  EXPECT_EQ(kEntries, walker.entry.filesReported);
  EXPECT_EQ(tree.WindowsPath("big") + "\\", walker.longPath);
}

// Nested folders of ten characters with their "\" each, a file in every one, far past the limit:
// the walk goes as deep as the paths fit and no further.
TEST_F(WalkerTest, TreeNestedPastThePathLimitIsWalkedAsFarAsItFits) {
  std::string relative;
  while (Root().size() + relative.size() < 700) {
    relative += "DDDDDDDDD/";
    tree.MakeFile(relative + "F.TXT");
  }
  EXPECT_EQ(0, walker.AddPathSpec(tree.WindowsPath().c_str()));
  size_t deepest = 0;
  int files = 0;
  int filesThatFit = 0;
  for (const std::string& line : recorder.Trace()) {
    std::string path = line.substr(2);
    EXPECT_LE(path.size(), 499u) << path;
    if (line[0] == 'D') deepest = std::max(deepest, path.size());
    if (line[0] == 'D' && path != Root() && path.size() + 5 <= 499) ++filesThatFit;
    if (line[0] == 'F') ++files;
  }
  // The deepest folder reported leaves no room for one more level.
  EXPECT_GT(deepest + 10, 499u);
  // Every folder below the root holds "F.TXT", reported wherever its path fits.
  EXPECT_EQ(filesThatFit, files);
  EXPECT_GT(files, 40);
  EXPECT_EQ(Root(), walker.longPath);
}

// What the callbacks do to the tree while the walk is in it: at the first file, the other files of
// the listing go and a new file appears; on entering the first subdirectory, the other one, queued
// already, goes, and a new folder appears in the one about to be listed.
class ChangingCallbacks : public Recorder {
 public:
  explicit ChangingCallbacks(const ScratchFolder& tree) : tree_(tree) {}
  int OnFile(const FoundEntry& entry) override {
    int result = Recorder::OnFile(entry);
    if (!filesChanged_) {
      filesChanged_ = true;
      for (const char* name : {"A.TXT", "B.TXT", "C.TXT", "D.TXT"}) {
        if (std::string(entry.longPath).find(name) == std::string::npos) std::filesystem::remove(tree_.HostPath(name));
      }
      tree_.MakeFile("NEW.TXT");
    }
    return result;
  }
  int OnDirectory(const FoundEntry& entry) override {
    int result = Recorder::OnDirectory(entry);
    std::string path = entry.longPath;
    if (seen.size() > 1 && entered.empty()) {
      entered = path.substr(path.size() - 5, 4);
      std::filesystem::remove_all(tree_.HostPath(entered == "SUB1" ? "SUB2" : "SUB1"));
      tree_.MakeFile(entered + "/NEWDIR/N.TXT");
    }
    return result;
  }
  std::string entered;  // the subdirectory entered first

 private:
  const ScratchFolder& tree_;
  bool filesChanged_ = false;
};

TEST_F(WalkerTest, EntriesThatVanishOrAppearDuringTheWalkAreNeverReportedGone) {
  for (const char* name : {"A.TXT", "B.TXT", "C.TXT", "D.TXT", "SUB1/X.TXT", "SUB2/X.TXT"}) tree.MakeFile(name);
  ChangingCallbacks changing(tree);
  walker.callbacks = &changing;
  EXPECT_EQ(0, walker.AddPathSpec(tree.WindowsPath().c_str()));
  std::vector<std::string> trace = changing.Trace();
  // One file of the root was reported before the others went, and none of them after; the new
  // one may or may not be met, as on Windows.
  int rootFiles = 0;
  for (const std::string& line : trace) {
    std::string rest = line.substr(2 + Root().size());
    if (line[0] == 'F' && rest.find('\\') == std::string::npos && rest != "NEW.TXT") ++rootFiles;
  }
  EXPECT_EQ(1, rootFiles);
  // The folder that went after it was queued is reported, and found empty; the new folder in the
  // one entered is walked.
  ASSERT_FALSE(changing.entered.empty());
  std::string gone = changing.entered == "SUB1" ? "SUB2" : "SUB1";
  EXPECT_EQ(1, std::count(trace.begin(), trace.end(), "D " + Root() + gone + "\\"));
  EXPECT_EQ(0, std::count(trace.begin(), trace.end(), "F " + Root() + gone + "\\X.TXT"));
  EXPECT_EQ(1, std::count(trace.begin(), trace.end(), "F " + Root() + changing.entered + "\\X.TXT"));
  EXPECT_EQ(1, std::count(trace.begin(), trace.end(), "F " + Root() + changing.entered + "\\NEWDIR\\N.TXT"));
  EXPECT_EQ(Root(), walker.longPath);
}

#endif

}  // namespace
