// The POSIX stand-in for the small part of the Win32 API that this system calls. Every
// declaration here is written from the documented behaviour of the Win32 function of the same
// name; the facts Linux does not have (drive types, the resident driver, the registry, the
// platform family) come from the process-wide machine object in machine.h.
#pragma once

#include <stddef.h>
#include <stdint.h>

typedef uint32_t DWORD;
typedef int32_t LONG;
typedef uint32_t UINT;
typedef int BOOL;
typedef uint16_t WORD;
typedef uint8_t BYTE;
typedef char CHAR;
typedef void* HANDLE;
typedef void* LPVOID;
typedef const char* LPCSTR;
typedef char* LPSTR;
typedef DWORD* LPDWORD;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

#define INVALID_HANDLE_VALUE ((HANDLE)(intptr_t)-1)

// Error codes.
#define ERROR_SUCCESS 0
#define ERROR_FILE_NOT_FOUND 2
#define ERROR_PATH_NOT_FOUND 3
#define ERROR_ACCESS_DENIED 5
#define ERROR_INVALID_HANDLE 6
#define ERROR_NOT_ENOUGH_MEMORY 8
#define ERROR_NO_MORE_FILES 18
#define ERROR_NOT_READY 21
#define ERROR_WRITE_FAULT 29
#define ERROR_SHARING_VIOLATION 32
#define ERROR_INVALID_PARAMETER 87
#define ERROR_INSUFFICIENT_BUFFER 122
#define ERROR_MORE_DATA 234
#define ERROR_INVALID_FUNCTION 1

DWORD GetLastError(void);
void SetLastError(DWORD error);

// Drive types.
#define DRIVE_UNKNOWN 0
#define DRIVE_NO_ROOT_DIR 1
#define DRIVE_REMOVABLE 2
#define DRIVE_FIXED 3
#define DRIVE_REMOTE 4
#define DRIVE_CDROM 5
#define DRIVE_RAMDISK 6

// Drive type of the drive that `rootPath` names ("C:\", "C:" or "c:\"); DRIVE_NO_ROOT_DIR for a
// drive the machine does not have or a path that is not a drive root.
UINT GetDriveTypeA(LPCSTR rootPath);

// CreateFileA and DeviceIoControl reach only the resident driver's stand-in device: this system
// opens no other object through them.
#define GENERIC_READ 0x80000000u
#define GENERIC_WRITE 0x40000000u
#define FILE_SHARE_READ 0x1u
#define FILE_SHARE_WRITE 0x2u
#define FILE_SHARE_DELETE 0x4u
#define CREATE_NEW 1
#define CREATE_ALWAYS 2
#define OPEN_EXISTING 3
#define OPEN_ALWAYS 4
#define TRUNCATE_EXISTING 5
#define FILE_ATTRIBUTE_READONLY 0x1u
#define FILE_ATTRIBUTE_HIDDEN 0x2u
#define FILE_ATTRIBUTE_SYSTEM 0x4u
#define FILE_ATTRIBUTE_DIRECTORY 0x10u
#define FILE_ATTRIBUTE_ARCHIVE 0x20u
#define FILE_ATTRIBUTE_NORMAL 0x80u

typedef struct OVERLAPPED OVERLAPPED;
typedef OVERLAPPED* LPOVERLAPPED;
typedef struct SECURITY_ATTRIBUTES SECURITY_ATTRIBUTES;
typedef SECURITY_ATTRIBUTES* LPSECURITY_ATTRIBUTES;

HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                   DWORD disposition, DWORD flags, HANDLE templateFile);
BOOL DeviceIoControl(HANDLE device, DWORD code, LPVOID in, DWORD inSize, LPVOID out,
                     DWORD outSize, LPDWORD bytesReturned, LPOVERLAPPED overlapped);
BOOL CloseHandle(HANDLE handle);

// Milliseconds since an arbitrary start, wrapping at 2^32 as Windows' tick count does.
DWORD GetTickCount(void);

// Registry roots, so the autostart table can name them on every platform.
typedef struct HKEY__* HKEY;
typedef HKEY* PHKEY;
#define HKEY_CLASSES_ROOT ((HKEY)(uintptr_t)0x80000000u)
#define HKEY_CURRENT_USER ((HKEY)(uintptr_t)0x80000001u)
#define HKEY_LOCAL_MACHINE ((HKEY)(uintptr_t)0x80000002u)
#define HKEY_USERS ((HKEY)(uintptr_t)0x80000003u)

// The standard library's fopen, remove and rename take Windows paths too: the build routes them
// through the path model of machine.h (see paths.cpp).

// The platform family and version, as GetVersionExA reports them. The caller sets
// dwOSVersionInfoSize to the size of the record (148) before the call.
#define VER_PLATFORM_WIN32s 0
#define VER_PLATFORM_WIN32_WINDOWS 1
#define VER_PLATFORM_WIN32_NT 2

typedef struct OSVERSIONINFOA {
  DWORD dwOSVersionInfoSize;
  DWORD dwMajorVersion;
  DWORD dwMinorVersion;
  DWORD dwBuildNumber;
  DWORD dwPlatformId;
  CHAR szCSDVersion[128];
} OSVERSIONINFOA;
typedef OSVERSIONINFOA* LPOSVERSIONINFOA;

BOOL GetVersionExA(LPOSVERSIONINFOA info);

// Copies the Windows folder (a Windows path without a trailing backslash) into `buffer` and returns
// its length; when it does not fit `size` characters with its terminating zero, returns the size
// needed and leaves the buffer alone.
UINT GetWindowsDirectoryA(LPSTR buffer, UINT size);

// Only the form this system uses is carried out: a delete or rename at the next restart
// (MOVEFILE_DELAY_UNTIL_REBOOT). The machine records every request; Linux deletes nothing at
// restart, so on the host the request fails unless a test lets the machine accept it.
#define MOVEFILE_REPLACE_EXISTING 0x1u
#define MOVEFILE_COPY_ALLOWED 0x2u
#define MOVEFILE_DELAY_UNTIL_REBOOT 0x4u

BOOL MoveFileExA(LPCSTR existing, LPCSTR newName, DWORD flags);

// Read-only maps to the file's write permission bits (set: none; clear: the owner's back); the
// other attributes have no effect on Linux. Fails for a file that does not exist.
BOOL SetFileAttributesA(LPCSTR path, DWORD attributes);
// Registry. The POSIX layer keeps the registry in memory on the machine object (machine.h);
// HKEY_CLASSES_ROOT is HKEY_LOCAL_MACHINE\Software\Classes, as on the NT family.
typedef LONG* PLONG;
typedef DWORD REGSAM;
typedef BYTE* LPBYTE;

#define ERROR_BAD_PATHNAME 161
#define ERROR_KEY_DELETED 1018

#define REG_NONE 0
#define REG_SZ 1
#define REG_EXPAND_SZ 2
#define REG_BINARY 3
#define REG_DWORD 4
#define REG_MULTI_SZ 7

#define KEY_QUERY_VALUE 0x0001u
#define KEY_SET_VALUE 0x0002u
#define KEY_CREATE_SUB_KEY 0x0004u
#define KEY_ENUMERATE_SUB_KEYS 0x0008u
#define KEY_NOTIFY 0x0010u
#define KEY_CREATE_LINK 0x0020u
#define KEY_READ 0x20019u
#define KEY_WRITE 0x20006u
#define KEY_ALL_ACCESS 0xF003Fu

// Opens `subKey` (null or empty: `key` itself) below an open key or a root with the rights in
// `access`. ERROR_FILE_NOT_FOUND for a missing key, ERROR_ACCESS_DENIED for rights the key refuses.
LONG RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD options, REGSAM access, PHKEY result);

// Reads the default value of `subKey` (null or empty: `key` itself) into `data`, `*size` bytes at
// most; `*size` becomes the length of the data. A key without a default value reads as the empty
// string. ERROR_MORE_DATA when the data does not fit, with the buffer untouched.
LONG RegQueryValueA(HKEY key, LPCSTR subKey, LPSTR data, PLONG size);

// Reads the value `name` (null or empty: the default value), its type into `*type` when asked.
// ERROR_FILE_NOT_FOUND for a missing value, ERROR_MORE_DATA when it does not fit `*size` bytes.
// With `data` null only the size is returned.
LONG RegQueryValueExA(HKEY key, LPCSTR name, LPDWORD reserved, LPDWORD type, LPBYTE data, LPDWORD size);

// Writes the string `data` with its terminating zero as the default value of `subKey` (null or
// empty: `key` itself), creating the subkey if needed. `type` must be REG_SZ; `size` is ignored,
// as the length comes from the string.
LONG RegSetValueA(HKEY key, LPCSTR subKey, DWORD type, LPCSTR data, DWORD size);

// Deletes the value `name` (null or empty: the default value). ERROR_FILE_NOT_FOUND when absent.
LONG RegDeleteValueA(HKEY key, LPCSTR name);

// Closes an opened key; closing a root succeeds and changes nothing.
LONG RegCloseKey(HKEY key);
// Directory listings, short names and file times (find.cpp, dostime.cpp, fullpath.cpp).
#define MAX_PATH 260

// 100-nanosecond intervals since 1601-01-01, UTC.
typedef struct FILETIME {
  DWORD dwLowDateTime;
  DWORD dwHighDateTime;
} FILETIME;

typedef struct WIN32_FIND_DATAA {
  DWORD dwFileAttributes;
  FILETIME ftCreationTime;
  FILETIME ftLastAccessTime;
  FILETIME ftLastWriteTime;
  DWORD nFileSizeHigh;
  DWORD nFileSizeLow;
  DWORD dwReserved0;
  DWORD dwReserved1;
  CHAR cFileName[MAX_PATH];
  CHAR cAlternateFileName[14];
} WIN32_FIND_DATAA;
typedef WIN32_FIND_DATAA* LPWIN32_FIND_DATAA;

// `pattern` is an exact name, or a folder followed by "*.*", which lists the folder: "." and ".."
// first unless the folder is a drive root (both carry the folder's own record), then every
// regular file and directory in it. Symbolic links are neither followed nor listed; nothing on a
// kernel pseudo file system or a network file system is found. Linux has no 8.3 names: cAlternateFileName is always empty. Fails with
// ERROR_FILE_NOT_FOUND or ERROR_PATH_NOT_FOUND.
HANDLE FindFirstFileA(LPCSTR pattern, LPWIN32_FIND_DATAA found);
// The next entry of a listing; FALSE with ERROR_NO_MORE_FILES after the last one.
BOOL FindNextFileA(HANDLE find, LPWIN32_FIND_DATAA found);
BOOL FindClose(HANDLE find);

// Linux has no 8.3 names: the short form of an existing path is the path itself. Returns its
// length, or the size needed (terminator included) when `size` is too small, or 0 when the path
// does not exist.
DWORD GetShortPathNameA(LPCSTR longPath, LPSTR shortPath, DWORD size);

// The standard library's conversion to an absolute Windows path: a relative path is resolved
// against the current directory, a Unix absolute path ("/mnt/win") is read as the drive path that
// holds it, "." and ".." are resolved and a trailing separator is kept. With `absPath` null the
// result is allocated with malloc. Null when the result needs more than `maxLength` characters
// with its terminator, or when no drive holds the path.
char* _fullpath(char* absPath, const char* relPath, size_t maxLength);

// MS-DOS date and time of a file time, without conversion to local time; FALSE outside the years
// 1980 to 2107.
BOOL CoFileTimeToDosDateTime(FILETIME* fileTime, WORD* dosDate, WORD* dosTime);
