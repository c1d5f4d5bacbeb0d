// The resident driver's stand-in. Its handles are numbers above a fixed base, which no pointer the
// process owns equals, so a stray handle is refused rather than taken for the device.
#include "platform/posix/machine.h"

#include <strings.h>

namespace {

const intptr_t kDeviceHandleBase = 0x5000;

bool IsDeviceHandle(HANDLE handle) {
  intptr_t number = reinterpret_cast<intptr_t>(handle) - kDeviceHandleBase;
  const std::vector<bool>& live = machine::Current().device.live;
  return number >= 0 && number < static_cast<intptr_t>(live.size()) && live[number];
}

}  // namespace

HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                   DWORD disposition, DWORD flags, HANDLE templateFile) {
  machine::ResidentDevice& device = machine::Current().device;
  if (name == nullptr || strcasecmp(name, device.name.c_str()) != 0 || !device.present) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  device.opens.push_back(machine::DeviceOpen{name, access, share, security != nullptr, disposition, flags,
                                             templateFile != nullptr});
  ++device.openHandles;
  device.live.push_back(true);
  return reinterpret_cast<HANDLE>(kDeviceHandleBase + static_cast<intptr_t>(device.live.size()) - 1);
}

BOOL DeviceIoControl(HANDLE handle, DWORD code, LPVOID in, DWORD inSize, LPVOID out, DWORD outSize,
                     LPDWORD bytesReturned, LPOVERLAPPED overlapped) {
  if (!IsDeviceHandle(handle)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  machine::ResidentDevice& device = machine::Current().device;
  device.requests.push_back(machine::DeviceRequest{code, in != nullptr, inSize, out != nullptr, outSize,
                                                   bytesReturned != nullptr, overlapped != nullptr});
  if (device.refuse) {
    SetLastError(ERROR_INVALID_FUNCTION);
    return FALSE;
  }
  DWORD written = 0;
  if (out != nullptr && outSize >= sizeof(DWORD)) {
    *static_cast<DWORD*>(out) = device.reply;
    written = sizeof(DWORD);
  }
  if (bytesReturned != nullptr) *bytesReturned = written;
  return TRUE;
}

BOOL CloseHandle(HANDLE handle) {
  if (!IsDeviceHandle(handle)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  machine::ResidentDevice& device = machine::Current().device;
  device.live[reinterpret_cast<intptr_t>(handle) - kDeviceHandleBase] = false;
  --device.openHandles;
  ++device.closes;
  return TRUE;
}
