// What the machine tells about the Windows it stands for: the platform family and version, and the
// Windows folder.
#include <stdio.h>
#include <string.h>

#include "platform/posix/machine.h"

BOOL GetVersionExA(LPOSVERSIONINFOA info) {
  if (info == nullptr || info->dwOSVersionInfoSize != sizeof(OSVERSIONINFOA)) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  const machine::WindowsVersion& version = machine::Current().version;
  info->dwMajorVersion = version.major;
  info->dwMinorVersion = version.minor;
  info->dwBuildNumber = version.build;
  info->dwPlatformId = version.platform;
  memset(info->szCSDVersion, 0, sizeof info->szCSDVersion);
  return TRUE;
}

UINT GetWindowsDirectoryA(LPSTR buffer, UINT size) {
  const std::string& folder = machine::Current().windowsDirectory;
  UINT length = static_cast<UINT>(folder.size());
  if (buffer == nullptr || size <= length) return length + 1;
  memcpy(buffer, folder.c_str(), folder.size() + 1);
  return length;
}
