#include "support/registry_seed.h"

#if !defined(_WIN32)
#include "platform/posix/machine.h"

namespace support {

const char kCommandKey[] = "txtfile\\shell\\open\\command";
const char kRunKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const char kUserWindowsKey[] = "Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows";

void SeedFreshWineRegistry() {
  machine::Registry& registry = machine::Current().registry;
  registry.SetString(HKEY_CLASSES_ROOT, kCommandKey, "", "\"C:\\windows\\system32\\notepad.exe\" \"%1\"");
  registry.CreateKey(HKEY_LOCAL_MACHINE, kRunKey);
}

std::string Terminated(const std::string& text) { return text + '\0'; }

}  // namespace support
#endif
