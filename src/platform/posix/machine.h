// The test-facing side of the POSIX layer: the process-wide machine object that holds the facts
// Linux does not have. Its defaults describe the host; tests change them here. System code never
// includes this header.
#pragma once

#include "platform/posix/registry_model.h"
#include "platform/posix/win32_posix.h"

#include <array>
#include <functional>
#include <set>
#include <string>
#include <vector>

namespace machine {

struct Drive {
  UINT type = DRIVE_NO_ROOT_DIR;
  std::string root;  // host folder the drive's root stands for
};

// One CreateFileA call that reached the resident driver's name, as it was made.
struct DeviceOpen {
  std::string name;
  DWORD access = 0;
  DWORD share = 0;
  bool security = false;
  DWORD disposition = 0;
  DWORD flags = 0;
  bool templateFile = false;
};

// One DeviceIoControl call on an open device handle, as it was made.
struct DeviceRequest {
  DWORD code = 0;
  bool inBuffer = false;
  DWORD inSize = 0;
  bool outBuffer = false;
  DWORD outSize = 0;
  bool bytesReturned = false;
  bool overlapped = false;
};

// A stand-in for the resident driver: absent by default. When present it opens under `name`,
// records every open and request, and answers with `reply`, or refuses when `refuse` is set.
struct ResidentDevice {
  bool present = false;
  bool refuse = false;
  std::string name = "\\\\.\\OrvFsh";
  DWORD reply = 0;
  std::vector<DeviceOpen> opens;
  std::vector<DeviceRequest> requests;
  int closes = 0;
  int openHandles = 0;      // handles open now
  std::vector<bool> live;   // by handle number: still open
};

// Failures a test cannot produce for real on Linux. Every POSIX-layer operation that can fail asks
// Fails() first, naming itself ("remove", "rename", "fopen", ...): it fails when its name is in
// `failing`, or when it is the `failCall`-th operation asked about since the counter was cleared
// (1 is the first; 0 turns this off), which lets a test walk a failure through every step.
// `onlyWindowsPaths` keeps the switches off operations on host paths ("/tmp/..."), so the test's
// own files are never hit; operations without a path are always asked about.
// Text-mode streams on Windows paths ask about "write" for each write and "fclose" when closed, so
// a test can make a file fail part-way, as on a full disk.
struct Faults {
  std::set<std::string> failing;
  long failCall = 0;
  long calls = 0;
  bool onlyWindowsPaths = true;
  // Every operation on one of these paths (as the system names it) fails, whatever its name.
  std::set<std::string> failingPaths;
};

// The Windows version GetVersionExA reports.
struct WindowsVersion {
  DWORD platform = VER_PLATFORM_WIN32_NT;
  DWORD major = 0;
  DWORD minor = 0;
  DWORD build = 0;
};

// One MoveFileExA call, as it was made.
struct MoveRequest {
  std::string existing;
  bool hasNewName = false;
  std::string newName;
  DWORD flags = 0;
};

// The list of renames and deletes carried out at the next restart. Linux has none, so by default
// every request fails (ERROR_ACCESS_DENIED, as for an NT user without rights to the list); with
// `accepts` set, a delay-until-restart request succeeds. Every request is recorded either way.
struct RestartList {
  bool accepts = false;
  std::vector<MoveRequest> requests;
};

struct Machine {
  // Indexed by drive letter, 'A' at 0. The host's "/" is Z:, the one fixed drive by default.
  std::array<Drive, 26> drives;
  ResidentDevice device;
  // The tick source; empty means the host's monotonic clock.
  std::function<DWORD()> ticks;
  Faults faults;
  WindowsVersion version;
  // The Windows folder, as a Windows path without a trailing backslash.
  std::string windowsDirectory;
  RestartList restartList;
  // Empty on the host: Linux has no registry.
  Registry registry;
};

// The machine the POSIX layer works on.
Machine& Current();

// Puts the machine back to the defaults that describe the host.
void Reset();

// Convenience for tests: the drive table entry of `letter`.
Drive& DriveOf(char letter);

// The path model. A Windows path "X:\\a\\b" names "a/b" below drive X's root folder; a path
// without a drive letter is a host path whose backslashes are separators ("/mnt/win" stays as it
// is). Empty when the path names a drive the machine does not have.
std::string HostPath(const char* path);

// The Windows form of an absolute host path: the drive whose root folder holds it (the longest
// root wins), a colon, a backslash and the rest with backslashes. Empty when no drive holds it.
std::string WindowsPath(const std::string& hostPath);

// Asked by each POSIX-layer operation that can fail, with the Windows or host path it works on
// (or null); true when this call must fail (see Faults).
bool Fails(const char* operation, const char* path = nullptr);

}  // namespace machine
