// Directory listings in the shape of FindFirstFileA/FindNextFileA. One opendir per listing and one
// fstatat per entry that may be listed; links, devices, pipes and sockets are left out, and so is
// every kernel pseudo file system and network file system, which a Windows machine would not show
// among its fixed disks.
#include <dirent.h>
#include <stddef.h>
#include <errno.h>
#include <fcntl.h>
#include <linux/magic.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <string>

#include "platform/posix/machine.h"

namespace {

// One open find handle. The folder is read straight from the kernel into `buffer`: the C
// library's directory streams would check the descriptor again on every listing. An exact-name
// lookup has no folder open (fd -1) and nothing after its one entry.
struct Listing {
  int fd;
  int dotsLeft;        // "." and ".." still to deliver before the folder's own entries
  struct stat folder;  // the folder itself; its device tells the mount points among its entries
  size_t next;         // read position in buffer
  size_t filled;
  char buffer[32768];
};

HANDLE OpenListing(const std::string& folder, WIN32_FIND_DATAA* found);
HANDLE FindExact(const char* path, WIN32_FIND_DATAA* found);
bool NextEntry(Listing* listing, WIN32_FIND_DATAA* found);
struct dirent64* ReadEntry(Listing* listing);
bool IsForeignFileSystem(int fd, dev_t device);
void Fill(WIN32_FIND_DATAA* found, const char* name, size_t nameLength, const struct stat& st);

HANDLE Fail(DWORD error) {
  SetLastError(error);
  return INVALID_HANDLE_VALUE;
}

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// "*.*" alone, or after a separator or a drive's colon: a listing of that folder.
bool IsListingPattern(const char* pattern, size_t length) {
  if (length < 3 || strcmp(pattern + length - 3, "*.*") != 0) return false;
  return length == 3 || IsSeparator(pattern[length - 4]) || pattern[length - 4] == ':';
}

}  // namespace

HANDLE FindFirstFileA(LPCSTR pattern, LPWIN32_FIND_DATAA found) {
  if (pattern == nullptr || found == nullptr) return Fail(ERROR_INVALID_PARAMETER);
  if (machine::Fails("FindFirstFileA", pattern)) return Fail(ERROR_ACCESS_DENIED);
  size_t length = strlen(pattern);
  if (IsListingPattern(pattern, length)) return OpenListing(std::string(pattern, length - 3), found);
  return FindExact(pattern, found);
}

BOOL FindNextFileA(HANDLE find, LPWIN32_FIND_DATAA found) {
  if (find == nullptr || find == INVALID_HANDLE_VALUE || found == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  Listing* listing = static_cast<Listing*>(find);
  if (listing->fd < 0 || !NextEntry(listing, found)) {
    SetLastError(ERROR_NO_MORE_FILES);
    return FALSE;
  }
  return TRUE;
}

BOOL FindClose(HANDLE find) {
  if (find == nullptr || find == INVALID_HANDLE_VALUE) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  Listing* listing = static_cast<Listing*>(find);
  if (listing->fd >= 0) close(listing->fd);
  free(listing);
  return TRUE;
}

DWORD GetShortPathNameA(LPCSTR longPath, LPSTR shortPath, DWORD size) {
  if (longPath == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (machine::Fails("GetShortPathNameA", longPath)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return 0;
  }
  std::string host = machine::HostPath(longPath);
  struct stat st;
  if (host.empty() || lstat(host.c_str(), &st) != 0) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return 0;
  }
  size_t length = strlen(longPath);
  if (shortPath == nullptr || length + 1 > size) return static_cast<DWORD>(length + 1);
  memmove(shortPath, longPath, length + 1);
  return static_cast<DWORD>(length);
}

namespace {

HANDLE OpenListing(const std::string& folder, WIN32_FIND_DATAA* found) {
  std::string host = folder.empty() ? std::string(".") : machine::HostPath(folder.c_str());
  if (host.empty()) return Fail(ERROR_PATH_NOT_FOUND);
  // A trailing "/" would make open() follow a link named by the last component.
  while (host.size() > 1 && host.back() == '/') host.pop_back();
  bool driveRoot = host == "/" || (folder.size() <= 3 && folder.size() >= 2 && folder[1] == ':' &&
                                   (folder.size() == 2 || IsSeparator(folder[2])));

  int fd = open(host.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return Fail(errno == EACCES ? ERROR_ACCESS_DENIED : ERROR_PATH_NOT_FOUND);
  struct stat st;
  if (fstat(fd, &st) != 0 || IsForeignFileSystem(fd, st.st_dev)) {
    close(fd);
    return Fail(ERROR_PATH_NOT_FOUND);
  }
  Listing* listing = static_cast<Listing*>(malloc(sizeof(Listing)));
  if (listing == nullptr) {
    close(fd);
    return Fail(ERROR_NOT_ENOUGH_MEMORY);
  }
  listing->fd = fd;
  listing->dotsLeft = driveRoot ? 0 : 2;
  listing->folder = st;
  listing->next = 0;
  listing->filled = 0;
  if (!NextEntry(listing, found)) {
    FindClose(listing);
    return Fail(ERROR_FILE_NOT_FOUND);
  }
  return listing;
}

HANDLE FindExact(const char* path, WIN32_FIND_DATAA* found) {
  std::string host = machine::HostPath(path);
  if (host.empty()) return Fail(ERROR_PATH_NOT_FOUND);
  // As on Windows, a name with a trailing separator names nothing.
  if (IsSeparator(host.back())) return Fail(ERROR_FILE_NOT_FOUND);
  struct stat st;
  if (fstatat(AT_FDCWD, host.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
    return Fail(errno == ENOENT ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND);
  }
  if (!S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode)) return Fail(ERROR_FILE_NOT_FOUND);
  int fd = open(host.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
  bool foreign = fd < 0 || IsForeignFileSystem(fd, st.st_dev);
  if (fd >= 0) close(fd);
  if (foreign) return Fail(ERROR_FILE_NOT_FOUND);

  size_t slash = host.rfind('/');
  const char* name = host.c_str() + (slash == std::string::npos ? 0 : slash + 1);
  size_t nameLength = strlen(name);
  if (nameLength >= MAX_PATH) return Fail(ERROR_FILE_NOT_FOUND);
  // Nothing is read into the buffer, but the record is a whole one: the close frees it as any.
  Listing* listing = static_cast<Listing*>(malloc(sizeof(Listing)));
  if (listing == nullptr) return Fail(ERROR_NOT_ENOUGH_MEMORY);
  listing->fd = -1;
  Fill(found, name, nameLength, st);
  return listing;
}

// The dot entries carry the folder's own record: nothing reads them but to skip them, and a stat
// of the parent would cost every listing a call.
bool NextEntry(Listing* listing, WIN32_FIND_DATAA* found) {
  if (listing->dotsLeft > 0) {
    const char* dots = listing->dotsLeft == 2 ? "." : "..";
    --listing->dotsLeft;
    Fill(found, dots, strlen(dots), listing->folder);
    return true;
  }
  int fd = listing->fd;
  struct stat st;
  while (struct dirent64* item = ReadEntry(listing)) {
    const char* name = item->d_name;
    if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'))) continue;
    // The directory's own type spares a stat for what is never listed.
    if (item->d_type != DT_UNKNOWN && item->d_type != DT_REG && item->d_type != DT_DIR) continue;
    if (fstatat(fd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;  // gone since the read
    if (S_ISDIR(st.st_mode)) {
      if (st.st_dev != listing->folder.st_dev) {  // a mount point: what is mounted there decides
        int mounted = openat(fd, name, O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        bool foreign = mounted >= 0 && IsForeignFileSystem(mounted, st.st_dev);
        if (mounted >= 0) close(mounted);
        if (foreign) continue;
      }
    } else if (!S_ISREG(st.st_mode)) {
      continue;
    }
    size_t nameLength = strlen(name);
    if (nameLength >= MAX_PATH) continue;
    Fill(found, name, nameLength, st);
    return true;
  }
  return false;
}

struct dirent64* ReadEntry(Listing* listing) {
  if (listing->next >= listing->filled) {
    ssize_t got = getdents64(listing->fd, listing->buffer, sizeof listing->buffer);
    if (got <= 0) return nullptr;  // the end, or a folder that vanished while read
    listing->filled = static_cast<size_t>(got);
    listing->next = 0;
  }
  struct dirent64* item = reinterpret_cast<struct dirent64*>(listing->buffer + listing->next);
  listing->next += item->d_reclen;
  return item;
}

// Kernel pseudo file systems and network file systems, by the magic number statfs reports.
// devtmpfs reports tmpfs's number, so tmpfs is told apart through the mount table.
bool IsDevtmpfs(dev_t device);
bool ClassifyFileSystem(int fd, dev_t device);

// The answer for the last device asked about is kept: a walk asks for every folder it lists, and
// nearly all of them lie on the same file system.
bool IsForeignFileSystem(int fd, dev_t device) {
  static bool known = false;
  static dev_t knownDevice;
  static bool knownForeign;
  if (known && knownDevice == device) return knownForeign;
  bool foreign = ClassifyFileSystem(fd, device);
  known = true;
  knownDevice = device;
  knownForeign = foreign;
  return foreign;
}

bool ClassifyFileSystem(int fd, dev_t device) {
  struct statfs fs;
  if (fstatfs(fd, &fs) != 0) return false;
  switch (static_cast<uint32_t>(fs.f_type)) {
    case PROC_SUPER_MAGIC:
    case SYSFS_MAGIC:
    case CGROUP_SUPER_MAGIC:
    case CGROUP2_SUPER_MAGIC:
    case DEBUGFS_MAGIC:
    case TRACEFS_MAGIC:
    case SECURITYFS_MAGIC:
    case SELINUX_MAGIC:
    case SMACK_MAGIC:
    case DEVPTS_SUPER_MAGIC:
    case BPF_FS_MAGIC:
    case PSTOREFS_MAGIC:
    case EFIVARFS_MAGIC:
    case HUGETLBFS_MAGIC:
    case 0x19800202:  // mqueue
    case BINFMTFS_MAGIC:
    case XENFS_SUPER_MAGIC:
    case NSFS_MAGIC:
    case AUTOFS_SUPER_MAGIC:
    case 0x62656570:  // configfs
    case 0x65735543:  // fusectl
    case 0x67596969:  // rpc_pipefs
    case 0x6e667364:  // nfsd
    case NFS_SUPER_MAGIC:
    case SMB_SUPER_MAGIC:
    case CIFS_SUPER_MAGIC:
    case SMB2_SUPER_MAGIC:
    case CODA_SUPER_MAGIC:
    case AFS_SUPER_MAGIC:
    case AFS_FS_MAGIC:
    case NCP_SUPER_MAGIC:
    case V9FS_MAGIC:
    case 0x00c36400:  // ceph
    case 0x47504653:  // gpfs
    case 0x013111a8:  // ibrix
    case 0x0bd00bd0:  // lustre
      return true;
    case TMPFS_MAGIC:
      return IsDevtmpfs(device);
    default:
      return false;
  }
}

// The mount table is read once per tmpfs device met; the answers are kept for the process.
bool IsDevtmpfs(dev_t device) {
  struct Known {
    dev_t device;
    bool devtmpfs;
  };
  static Known known[32];
  static int knownCount = 0;
  for (int i = 0; i < knownCount; ++i) {
    if (known[i].device == device) return known[i].devtmpfs;
  }

  std::string table;
  int fd = open("/proc/self/mountinfo", O_RDONLY | O_CLOEXEC);
  if (fd >= 0) {
    char chunk[4096];
    ssize_t got;
    while ((got = read(fd, chunk, sizeof chunk)) > 0) table.append(chunk, static_cast<size_t>(got));
    close(fd);
  }
  // Each line: id parent major:minor root mountpoint options [optional fields] - type source ...
  char number[32];
  snprintf(number, sizeof number, " %u:%u ", major(device), minor(device));
  bool devtmpfs = false;
  size_t start = 0;
  while (start < table.size()) {
    size_t end = table.find('\n', start);
    if (end == std::string::npos) end = table.size();
    std::string line = table.substr(start, end - start);
    size_t at = line.find(number);
    size_t dash = line.find(" - ");
    if (at != std::string::npos && dash != std::string::npos && at < dash &&
        line.compare(dash + 3, 9, "devtmpfs ") == 0) {
      devtmpfs = true;
    }
    start = end + 1;
  }
  if (knownCount < 32) known[knownCount++] = Known{device, devtmpfs};
  return devtmpfs;
}

FILETIME FileTimeOf(const struct timespec& when) {
  const int64_t kSecondsFrom1601To1970 = 11644473600LL;
  FILETIME time = {0, 0};
  if (when.tv_sec < -kSecondsFrom1601To1970) return time;
  uint64_t ticks = static_cast<uint64_t>(when.tv_sec + kSecondsFrom1601To1970) * 10000000u +
                   static_cast<uint64_t>(when.tv_nsec) / 100u;
  time.dwLowDateTime = static_cast<DWORD>(ticks);
  time.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
  return time;
}

void Fill(WIN32_FIND_DATAA* found, const char* name, size_t nameLength, const struct stat& st) {
  DWORD attributes;
  if (S_ISDIR(st.st_mode)) {
    attributes = FILE_ATTRIBUTE_DIRECTORY;
  } else {
    attributes = FILE_ATTRIBUTE_ARCHIVE;
    if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) attributes |= FILE_ATTRIBUTE_READONLY;
  }
  // Dot files are the hidden files of Unix.
  if (name[0] == '.' && name[1] != '\0' && !(name[1] == '.' && name[2] == '\0')) {
    attributes |= FILE_ATTRIBUTE_HIDDEN;
  }
  found->dwFileAttributes = attributes;
  found->ftCreationTime = FileTimeOf(st.st_mtim);  // Linux keeps no creation time in stat
  found->ftLastAccessTime = FileTimeOf(st.st_atim);
  found->ftLastWriteTime = FileTimeOf(st.st_mtim);
  uint64_t size = S_ISDIR(st.st_mode) ? 0 : static_cast<uint64_t>(st.st_size);
  found->nFileSizeHigh = static_cast<DWORD>(size >> 32);
  found->nFileSizeLow = static_cast<DWORD>(size);
  found->dwReserved0 = 0;
  found->dwReserved1 = 0;
  memcpy(found->cFileName, name, nameLength + 1);
  found->cAlternateFileName[0] = '\0';
}

}  // namespace
