// Changes to files that Linux makes differently: attributes, and deletion at the next restart.
#include <errno.h>
#include <sys/stat.h>

#include "platform/posix/machine.h"

namespace {

DWORD ErrorOf(int error) {
  switch (error) {
    case ENOENT:
      return ERROR_FILE_NOT_FOUND;
    case ENOTDIR:
      return ERROR_PATH_NOT_FOUND;
    default:
      return ERROR_ACCESS_DENIED;
  }
}

}  // namespace

BOOL MoveFileExA(LPCSTR existing, LPCSTR newName, DWORD flags) {
  machine::RestartList& list = machine::Current().restartList;
  list.requests.push_back(
      machine::MoveRequest{existing != nullptr ? existing : "", newName != nullptr, newName != nullptr ? newName : "",
                           flags});
  if (existing == nullptr || (flags & MOVEFILE_DELAY_UNTIL_REBOOT) == 0) {
    // Moving a file now is not something this system asks for.
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (machine::Fails("MoveFileExA", existing) || !list.accepts) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  return TRUE;
}

BOOL SetFileAttributesA(LPCSTR path, DWORD attributes) {
  if (path == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (machine::Fails("SetFileAttributesA", path)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  std::string host = machine::HostPath(path);
  struct stat info;
  if (host.empty() || stat(host.c_str(), &info) != 0) {
    SetLastError(host.empty() ? ERROR_PATH_NOT_FOUND : ErrorOf(errno));
    return FALSE;
  }
  mode_t mode = info.st_mode & 07777;
  mode = (attributes & FILE_ATTRIBUTE_READONLY) != 0 ? mode & ~static_cast<mode_t>(0222) : mode | S_IWUSR;
  if (chmod(host.c_str(), mode) != 0) {
    SetLastError(ErrorOf(errno));
    return FALSE;
  }
  return TRUE;
}
