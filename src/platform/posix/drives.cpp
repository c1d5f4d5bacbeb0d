#include "platform/posix/machine.h"

#include <ctype.h>

UINT GetDriveTypeA(LPCSTR rootPath) {
  if (rootPath == nullptr) return DRIVE_NO_ROOT_DIR;
  int letter = toupper(static_cast<unsigned char>(rootPath[0]));
  if (letter < 'A' || letter > 'Z' || rootPath[1] != ':') return DRIVE_NO_ROOT_DIR;
  if (rootPath[2] != '\0' && !(rootPath[2] == '\\' && rootPath[3] == '\0')) return DRIVE_NO_ROOT_DIR;
  return machine::DriveOf(static_cast<char>(letter)).type;
}
