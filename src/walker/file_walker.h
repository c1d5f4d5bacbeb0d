// A self-contained walker over a file, a directory tree or a drive. It lists each directory, hands
// every file that passes its name test to OnFile and every directory to OnDirectory, files of a
// directory before its subdirectories. It knows nothing of what its owner looks for.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "platform/win32.h"

// What the callbacks see of the current file or directory. The two paths point into the walker's
// own buffers; the time, date, attribute and size fields describe the file last handed to OnFile.
struct FoundEntry {
  char* longPath;   // the file, or the directory with a trailing "\"
  char* shortPath;  // the same in its short (8.3) form, upper-cased
  uint16_t dosTime;  // last write, MS-DOS form, UTC
  uint16_t dosDate;
  uint32_t attributes;
  uint32_t sizeLow;
  uint32_t sizeHigh;
  int32_t filesReported;       // files that passed the name test
  int32_t entriesSeen;         // file entries examined, before the name test
  int32_t directoriesEntered;  // directories whose OnDirectory let the walk in, listable or not
};

// What the owner of a walk is told. The walker never owns or destroys its callbacks object.
class WalkCallbacks {
 public:
  // Each accepted file. -10 stops a directory walk; for a single file the result is the walk's.
  virtual int OnFile(const FoundEntry& entry) = 0;
  // Each directory, before it is listed. Any non-zero result ends the walk and becomes its result.
  virtual int OnDirectory(const FoundEntry& entry) = 0;
  // Asked before each entry of a listing; non-zero ends the walk with -10.
  virtual int ShouldStop() = 0;

 protected:
  ~WalkCallbacks() = default;
};

// One extension mask, owned by the walker.
struct MaskNode {
  char* mask;
  MaskNode* next;
};

// A subdirectory found while listing, walked once the listing is closed.
struct PendingDir {
  WIN32_FIND_DATAA record;
  PendingDir* next;
};

// Result codes of a walk besides 0 (finished) and -1 (failed, or not found).
const int kWalkStopped = -10;

class FileWalker {
 public:
  static constexpr size_t kPathSize = 500;

  FileWalker();
  FileWalker(const FileWalker&) = delete;
  FileWalker& operator=(const FileWalker&) = delete;

  // The name test: 0 accepts `name`, whose extension is `ext` (null when it has none); -1 rejects.
  // The wildcard accepts first; otherwise the masks decide.
  virtual int MatchName(const char* name, const char* ext);
  virtual ~FileWalker();
  // Lists the directory in longPath and walks it; the walk's result code.
  virtual int ScanDirectory();
  // Walks `path`, a file, directory, drive or wildcard path, descending when `recurse` is set; the
  // walk's result code. A path of kPathSize characters or more is refused with -1, unwalked.
  virtual int ScanPath(const char* path, int recurse);
  // Called once when ShouldStop ends a walk.
  virtual void OnAbort();

  // Walks `spec`; a leading "-" turns off descent into subdirectories. -10 when the walk was
  // stopped, 0 otherwise.
  int AddPathSpec(const char* spec);
  // Adds each ";"-separated mask of `list`, left to right; empty pieces add nothing.
  void AddMasks(const char* list);
  void AddMask(const char* mask);
  // 0 when `name` matches the wildcard; -1 otherwise, or without a wildcard or a name.
  int MatchWildcard(const char* name) const;
  // The name test for the last component of longPath.
  int MatchCurrentName();

  // The steps of a walk. ClassifyPath makes longPath absolute and returns 0 for a file, 1 for a
  // directory or drive root, 2 for a path that cannot be resolved or found.
  int ClassifyPath();
  int ScanSingleFile();
  int ProcessEntry(const WIN32_FIND_DATAA& findRecord);

  int recurse;
  char longPath[kPathSize];
  char shortPath[kPathSize];
  MaskNode* masks;
  FoundEntry entry;
  char* wildcard;
  WalkCallbacks* callbacks;  // set by the owner before a walk

 private:
  bool WriteEntryName(const WIN32_FIND_DATAA& record, size_t longTail, size_t shortTail, size_t reserve);
  HANDLE OpenListing(size_t longTail, WIN32_FIND_DATAA* record);
  int VisitEntry(const WIN32_FIND_DATAA& record, size_t longTail, size_t shortTail, PendingDir*** pendingEnd);
};
