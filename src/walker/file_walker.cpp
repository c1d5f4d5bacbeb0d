#include "walker/file_walker.h"

#include <stdlib.h>
#include <string.h>

namespace {

char AsciiUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

void UpperCase(char* text) {
  for (; *text != '\0'; ++text) *text = AsciiUpper(*text);
}

char* CopyText(const char* text, size_t length) {
  char* copy = static_cast<char*>(malloc(length + 1));
  if (copy == nullptr) return nullptr;
  memcpy(copy, text, length);
  copy[length] = '\0';
  return copy;
}

// Both separators end a path component: Windows takes either, and a Unix path is a valid spec.
bool IsSeparator(char c) { return c == '\\' || c == '/'; }

bool IsDriveLetter(char c) {
  c = AsciiUpper(c);
  return c >= 'A' && c <= 'Z';
}

bool IsDriveRoot(const char* path) {
  return IsDriveLetter(path[0]) && path[1] == ':' && path[2] == '\\' && path[3] == '\0';
}

// Appends "\" to a non-empty path that lacks it; false when there is no room for it.
bool EndWithSeparator(char* path, size_t* length) {
  if (*length == 0 || path[*length - 1] == '\\') return true;
  if (*length + 1 >= FileWalker::kPathSize) return false;
  path[(*length)++] = '\\';
  path[*length] = '\0';
  return true;
}

void FreePending(PendingDir* node) {
  while (node != nullptr) {
    PendingDir* next = node->next;
    free(node);
    node = next;
  }
}

}  // namespace

FileWalker::FileWalker() : recurse(1), masks(nullptr), entry(), wildcard(nullptr), callbacks(nullptr) {
  longPath[0] = '\0';
  shortPath[0] = '\0';
  entry.longPath = longPath;
  entry.shortPath = shortPath;
}

FileWalker::~FileWalker() {
  free(wildcard);
  while (masks != nullptr) {
    MaskNode* next = masks->next;
    free(masks->mask);
    free(masks);
    masks = next;
  }
}

int FileWalker::AddPathSpec(const char* spec) {
  if (spec == nullptr || spec[0] == '\0') return 0;
  int walkRecurse = 1;
  if (spec[0] == '-') {
    ++spec;
    walkRecurse = 0;
  }
  return ScanPath(spec, walkRecurse) == kWalkStopped ? kWalkStopped : 0;
}

int FileWalker::ScanPath(const char* path, int recurse) {
  if (path == nullptr) return -1;
  size_t length = strnlen(path, kPathSize);
  if (length >= kPathSize) return -1;
  this->recurse = recurse;
  memcpy(longPath, path, length + 1);

  size_t component = length;
  while (component > 0 && !IsSeparator(longPath[component - 1])) --component;
  if (strpbrk(longPath + component, "*?") != nullptr) {
    char* copy = CopyText(longPath + component, length - component);
    if (copy == nullptr) return -1;  // walking without the wildcard would report the wrong files
    free(wildcard);
    wildcard = copy;
    longPath[component] = '\0';
  }
  if (IsDriveLetter(longPath[0]) && longPath[1] == ':' && longPath[2] == '\0') {
    longPath[2] = '\\';
    longPath[3] = '\0';
  }

  int kind = ClassifyPath();
  DWORD got = GetShortPathNameA(longPath, shortPath, kPathSize);
  if (got == 0 || got >= kPathSize) memcpy(shortPath, longPath, strlen(longPath) + 1);
  UpperCase(shortPath);
  return kind == 0 ? ScanSingleFile() : ScanDirectory();
}

int FileWalker::ClassifyPath() {
  char* saved = CopyText(longPath, strlen(longPath));
  if (saved == nullptr) return 2;
  // An empty path names the current directory.
  if (_fullpath(longPath, saved[0] != '\0' ? saved : ".", kPathSize) == nullptr) {
    memcpy(longPath, saved, strlen(saved) + 1);
    free(saved);
    return 2;
  }
  free(saved);
  if (IsDriveRoot(longPath)) return 1;
  // ScanPath took the wildcard off the last component. One left now stood in a folder name, or
  // was uncovered by taking away a "." or ".." after it ("C:\*.*\."): the path names no entry, and
  // the lookup would answer with the first entry the pattern matches, under the pattern's name.
  if (strpbrk(longPath, "*?") != nullptr) return 2;

  WIN32_FIND_DATAA record;
  HANDLE find = FindFirstFileA(longPath, &record);
  if (find == INVALID_HANDLE_VALUE) return 2;
  FindClose(find);
  if (record.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return 1;
  // A file named explicitly always passes the name test.
  AddMasks("*");
  return 0;
}

int FileWalker::ScanSingleFile() {
  WIN32_FIND_DATAA record;
  HANDLE find = FindFirstFileA(longPath, &record);
  if (find == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_NO_MORE_FILES ? 0 : -1;
  // The record is a copy: the handle need not stay open while the owner works on the file.
  FindClose(find);
  return ProcessEntry(record);
}

int FileWalker::ProcessEntry(const WIN32_FIND_DATAA& findRecord) {
  ++entry.entriesSeen;
  if (MatchCurrentName() != 0) return 0;
  WORD date = 0;
  WORD time = 0;
  // A time outside the MS-DOS range reads as zero rather than as the previous file's.
  FILETIME written = findRecord.ftLastWriteTime;
  if (!CoFileTimeToDosDateTime(&written, &date, &time)) {
    date = 0;
    time = 0;
  }
  entry.dosDate = date;
  entry.dosTime = time;
  entry.attributes = findRecord.dwFileAttributes;
  entry.sizeLow = findRecord.nFileSizeLow;
  entry.sizeHigh = findRecord.nFileSizeHigh;
  ++entry.filesReported;
  return callbacks != nullptr ? callbacks->OnFile(entry) : 0;
}

// Files are reported while the directory is listed; subdirectories are queued with a copy of
// their find record and walked after the listing is closed, so normally one listing is open.
int FileWalker::ScanDirectory() {
  PendingDir* pending = nullptr;
  PendingDir** pendingEnd = &pending;
  size_t longTail = strlen(longPath);
  size_t shortTail = strlen(shortPath);
  // A directory with no room for its "\" has no room for any entry either.
  if (!EndWithSeparator(longPath, &longTail) || !EndWithSeparator(shortPath, &shortTail)) return 0;

  if (callbacks != nullptr) {
    int result = callbacks->OnDirectory(entry);
    if (result != 0) return result;
  }
  ++entry.directoriesEntered;

  WIN32_FIND_DATAA record;
  HANDLE find = OpenListing(longTail, &record);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      if (callbacks != nullptr && callbacks->ShouldStop() != 0) {
        FindClose(find);
        FreePending(pending);
        OnAbort();
        return kWalkStopped;
      }
      int result = VisitEntry(record, longTail, shortTail, &pendingEnd);
      if (result != 0) {
        FindClose(find);
        FreePending(pending);
        return result;
      }
    } while (FindNextFileA(find, &record));
    FindClose(find);
  }

  for (PendingDir* node = pending; node != nullptr; node = node->next) {
    if (!WriteEntryName(node->record, longTail, shortTail, 1)) continue;
    int result = ScanDirectory();
    if (result != 0) {
      FreePending(pending);
      return result;
    }
  }
  longPath[longTail] = '\0';
  shortPath[shortTail] = '\0';
  FreePending(pending);
  return 0;
}

void FileWalker::OnAbort() {}

void FileWalker::AddMasks(const char* list) {
  if (list == nullptr) return;
  while (true) {
    const char* end = strchr(list, ';');
    size_t length = end != nullptr ? static_cast<size_t>(end - list) : strlen(list);
    if (length > 0) {
      char* copy = CopyText(list, length);
      if (copy != nullptr) {
        AddMask(copy);
        free(copy);
      }
    }
    if (end == nullptr) return;
    list = end + 1;
  }
}

void FileWalker::AddMask(const char* mask) {
  if (mask == nullptr || mask[0] == '\0') return;
  MaskNode* node = static_cast<MaskNode*>(malloc(sizeof(MaskNode)));
  char* copy = CopyText(mask, strlen(mask));
  if (node == nullptr || copy == nullptr) {
    free(node);
    free(copy);
    return;
  }
  node->mask = copy;
  node->next = nullptr;
  MaskNode** end = &masks;
  while (*end != nullptr) end = &(*end)->next;
  *end = node;
}

int FileWalker::MatchName(const char* name, const char* ext) {
  if (wildcard != nullptr && MatchWildcard(name) == 0) return 0;
  if (ext == nullptr) {
    for (const MaskNode* node = masks; node != nullptr; node = node->next) {
      if (node->mask[0] == '*') return 0;
    }
    return -1;
  }
  for (const MaskNode* node = masks; node != nullptr; node = node->next) {
    const char* m = node->mask;
    const char* e = ext;
    while (true) {
      if (*m == '*') return 0;
      if (*m == '\0') {
        if (*e == '\0') return 0;
        break;
      }
      if (*e == '\0') break;
      if (*m != '?' && AsciiUpper(*m) != AsciiUpper(*e)) break;
      ++m;
      ++e;
    }
  }
  return -1;
}

// A "*" stops at the next "." and there is no backtracking: "*X.TXT" matches nothing, because the
// "*" has already taken the X. Name characters left when the pattern ends are not examined.
int FileWalker::MatchWildcard(const char* name) const {
  if (wildcard == nullptr || name == nullptr) return -1;
  const char* n = name;
  for (const char* p = wildcard; *p != '\0'; ++p) {
    if (*p == '*') {
      while (*n != '\0' && *n != '.') ++n;
    } else if (*p == '?') {
      if (*n == '\0' || *n == '.') return -1;
      ++n;
    } else {
      if (AsciiUpper(*p) != AsciiUpper(*n)) return -1;
      ++n;
    }
  }
  return 0;
}

int FileWalker::MatchCurrentName() {
  const char* name = strrchr(longPath, '\\');
  name = name != nullptr ? name + 1 : longPath;
  const char* dot = strrchr(name, '.');
  return MatchName(name, dot != nullptr ? dot + 1 : nullptr);
}

// Directories are queued (or, when no node can be had, walked at once); files are reported now.
// Neither the wildcard nor the masks apply to directories.
int FileWalker::VisitEntry(const WIN32_FIND_DATAA& record, size_t longTail, size_t shortTail,
                           PendingDir*** pendingEnd) {
  if (record.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
    if (!recurse || record.cFileName[0] == '.') return 0;
    PendingDir* node = static_cast<PendingDir*>(malloc(sizeof(PendingDir)));
    if (node != nullptr) {
      node->record = record;
      node->next = nullptr;
      **pendingEnd = node;
      *pendingEnd = &node->next;
      return 0;
    }
    if (!WriteEntryName(record, longTail, shortTail, 1)) return 0;
    return ScanDirectory();
  }
  if (!WriteEntryName(record, longTail, shortTail, 0)) return 0;
  return ProcessEntry(record) == kWalkStopped ? kWalkStopped : 0;
}

// Writes the entry's names at the two tails, the short one upper-cased. An entry whose path, with
// `reserve` more characters, would not fit is left out: false, and the paths hold no new name.
bool FileWalker::WriteEntryName(const WIN32_FIND_DATAA& record, size_t longTail, size_t shortTail,
                                size_t reserve) {
  const char* shortName = record.cAlternateFileName[0] != '\0' ? record.cAlternateFileName : record.cFileName;
  size_t shortMax = shortName == record.cFileName ? sizeof record.cFileName : sizeof record.cAlternateFileName;
  size_t longLength = strnlen(record.cFileName, sizeof record.cFileName);
  size_t shortLength = strnlen(shortName, shortMax);
  if (longTail + longLength + reserve >= kPathSize || shortTail + shortLength + reserve >= kPathSize) {
    longPath[longTail] = '\0';
    shortPath[shortTail] = '\0';
    return false;
  }
  memcpy(longPath + longTail, record.cFileName, longLength);
  longPath[longTail + longLength] = '\0';
  memcpy(shortPath + shortTail, shortName, shortLength);
  shortPath[shortTail + shortLength] = '\0';
  UpperCase(shortPath + shortTail);
  return true;
}

// The listing pattern is written at the tail; a directory too deep for it there (only names of a
// character or two still fit) is listed through a copy, so no entry that fits is lost.
HANDLE FileWalker::OpenListing(size_t longTail, WIN32_FIND_DATAA* record) {
  static const char kEverything[] = "*.*";
  if (longTail + sizeof kEverything <= kPathSize) {
    memcpy(longPath + longTail, kEverything, sizeof kEverything);
    return FindFirstFileA(longPath, record);
  }
  char* pattern = static_cast<char*>(malloc(longTail + sizeof kEverything));
  if (pattern == nullptr) return INVALID_HANDLE_VALUE;
  memcpy(pattern, longPath, longTail);
  memcpy(pattern + longTail, kEverything, sizeof kEverything);
  HANDLE find = FindFirstFileA(pattern, record);
  free(pattern);
  return find;
}
