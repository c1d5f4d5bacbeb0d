// Registries the native tests start from, matching the Wine prefixes of the end-to-end tests.
#pragma once

#if !defined(_WIN32)
#include <string>

namespace support {

extern const char kCommandKey[];      // below HKEY_CLASSES_ROOT
extern const char kRunKey[];          // below HKEY_LOCAL_MACHINE
extern const char kUserWindowsKey[];  // below HKEY_CURRENT_USER

// What a freshly made Wine prefix holds: the text-file open command runs Notepad, the Run key
// exists and is empty, and the user's Windows key is absent.
void SeedFreshWineRegistry();

// A string value's bytes as the registry stores it: the text and its terminating zero.
std::string Terminated(const std::string& text);

}  // namespace support
#endif
