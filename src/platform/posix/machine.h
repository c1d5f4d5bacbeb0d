// The test-facing side of the POSIX layer: the process-wide machine object that holds the facts
// Linux does not have. Its defaults describe the host; tests change them here. System code never
// includes this header.
#pragma once

#include "platform/posix/win32_posix.h"

#include <array>
#include <functional>
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

struct Machine {
  // Indexed by drive letter, 'A' at 0. The host's "/" is Z:, the one fixed drive by default.
  std::array<Drive, 26> drives;
  ResidentDevice device;
  // The tick source; empty means the host's monotonic clock.
  std::function<DWORD()> ticks;
};

// The machine the POSIX layer works on.
Machine& Current();

// Puts the machine back to the defaults that describe the host.
void Reset();

// Convenience for tests: the drive table entry of `letter`.
Drive& DriveOf(char letter);

}  // namespace machine
