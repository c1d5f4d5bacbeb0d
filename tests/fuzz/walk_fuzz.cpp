// The path setup and walk with arbitrary specs over a small fixed tree, which is drive T: and the
// current directory. The first byte chooses a leading "-", the drive's root or its current
// directory ("T:\" or "T:"), and the masks; the rest follows. Besides memory errors, checks that
// every file reported is a file of the tree, every directory reported lies inside it, the paths
// stay within their buffers, and a finished walk leaves longPath naming what it walked.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <set>
#include <string>

#include "fuzz_check.h"
#include "platform/posix/machine.h"
#include "walker/file_walker.h"

namespace {

struct Tree {
  std::string root;  // host folder, no trailing "/"
  std::set<std::string> files;  // as the walker reports them: "T:\\SUB\\X.TXT"
};

const char* const kFiles[] = {"A.TXT", "B.EXE", ".hidden", "sp ace.txt", "\xE9t\xE9.txt", "SUB/X.TXT",
                              "SUB/DEEP/Y.EXE", "SUB/DEEP/noext", ".config/Z.TXT", "SUB2/.x"};
const char* const kFolders[] = {"SUB", "SUB/DEEP", "SUB2", "EMPTY", ".config"};

Tree MakeTree() {
  Tree tree;
  tree.root = fuzz::TemporaryFolder("vr-fuzz-walk");
  for (const char* folder : kFolders) FUZZ_CHECK(mkdir((tree.root + "/" + folder).c_str(), 0700) == 0);
  for (const char* file : kFiles) {
    FILE* f = fopen((tree.root + "/" + file).c_str(), "wb");
    FUZZ_CHECK(f != nullptr);
    fputs(file, f);
    fclose(f);
    std::string windows = std::string("T:\\") + file;
    for (char& c : windows) c = c == '/' ? '\\' : c;
    tree.files.insert(windows);
  }
  machine::Reset();
  machine::Current().drives = {};
  machine::DriveOf('T') = machine::Drive{DRIVE_FIXED, tree.root};
  FUZZ_CHECK(chdir(tree.root.c_str()) == 0);
  return tree;
}

const Tree& TheTree() {
  static const Tree tree = MakeTree();
  return tree;
}

// The host folder a reported directory stands for, with "." and ".." taken away as Windows does.
bool InsideTree(const std::string& windowsPath) {
  std::string host = machine::HostPath(windowsPath.c_str());
  if (host.empty() || host[0] != '/') host = TheTree().root + "/" + host;
  std::vector<std::string> parts;
  size_t start = 0;
  while (start <= host.size()) {
    size_t end = host.find('/', start);
    if (end == std::string::npos) end = host.size();
    std::string part = host.substr(start, end - start);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    start = end + 1;
  }
  std::string resolved;
  for (const std::string& part : parts) resolved += "/" + part;
  const std::string& root = TheTree().root;
  return resolved.compare(0, root.size(), root) == 0 && (resolved.size() == root.size() || resolved[root.size()] == '/');
}

class Checker : public WalkCallbacks {
 public:
  int OnFile(const FoundEntry& entry) override {
    CheckBounded(entry);
    FUZZ_CHECK(TheTree().files.count(entry.longPath) == 1);
    if (first.empty()) first = std::string("F") + entry.longPath;
    return 0;
  }
  int OnDirectory(const FoundEntry& entry) override {
    CheckBounded(entry);
    FUZZ_CHECK(InsideTree(entry.longPath));
    if (first.empty()) first = std::string("D") + entry.longPath;
    ++directories;
    return 0;
  }
  int ShouldStop() override { return 0; }

  static void CheckBounded(const FoundEntry& entry) {
    FUZZ_CHECK(strnlen(entry.longPath, FileWalker::kPathSize) < FileWalker::kPathSize);
    FUZZ_CHECK(strnlen(entry.shortPath, FileWalker::kPathSize) < FileWalker::kPathSize);
  }

  std::string first;
  int directories = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TheTree();
  if (size == 0) return 0;
  uint8_t flags = data[0];
  std::string spec = flags & 1 ? "-" : "";
  spec += flags & 2 ? "T:" : "T:\\";
  spec += fuzz::AsCString(std::string(reinterpret_cast<const char*>(data + 1), size - 1));

  Checker checker;
  {
    FileWalker walker;
    walker.callbacks = &checker;
    walker.AddMasks(flags & 4 ? "TXT;?X?" : "*");
    int result = walker.AddPathSpec(spec.c_str());
    FUZZ_CHECK(result == 0);
    FUZZ_CHECK(strnlen(walker.longPath, FileWalker::kPathSize) < FileWalker::kPathSize);
    FUZZ_CHECK(strnlen(walker.shortPath, FileWalker::kPathSize) < FileWalker::kPathSize);
    if (!checker.first.empty()) FUZZ_CHECK(checker.first.substr(1) == walker.longPath);
    if (flags & 1) FUZZ_CHECK(checker.directories <= 1);
  }
  return 0;
}
