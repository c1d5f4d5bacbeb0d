// The registry checks on arbitrary value data and types. The input gives, for the text-file
// command and each autostart value in turn, a presence and type byte, a two-byte length and the
// data. Besides memory errors (a read past the data the registry returned), checks what is
// printed of the command, that exactly the values the checks must change are changed, and that
// every key opened is closed.
#include <stdint.h>
#include <stdio.h>
#include <strings.h>

#include <string>

#include "fuzz_check.h"
#include "platform/posix/machine.h"
#include "registry/registry_repair.h"

namespace {

const char kCommandKey[] = "txtfile\\shell\\open\\command";

struct Value {
  bool present = false;
  DWORD type = 0;
  std::string data;
};

// Takes one value off the front of the input.
Value Next(const uint8_t** data, size_t* size) {
  Value value;
  if (*size < 3) {
    *size = 0;
    return value;
  }
  value.present = ((*data)[0] & 0x80) == 0;
  static const DWORD kTypes[] = {REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ, REG_BINARY, REG_DWORD, REG_NONE, 0xFFFFFFFFu};
  value.type = kTypes[(*data)[0] % (sizeof kTypes / sizeof kTypes[0])];
  size_t length = (*data)[1] | static_cast<size_t>((*data)[2]) << 8;
  *data += 3;
  *size -= 3;
  if (length > *size) length = *size;
  value.data.assign(reinterpret_cast<const char*>(*data), length);
  *data += length;
  *size -= length;
  return value;
}

// Runs `body` with standard output going to a string.
template <typename Body>
std::string Printed(Body body) {
  char* text = nullptr;
  size_t length = 0;
  FILE* saved = stdout;
  stdout = open_memstream(&text, &length);
  FUZZ_CHECK(stdout != nullptr);
  body();
  fclose(stdout);
  stdout = saved;
  std::string printed(text, length);
  free(text);
  return printed;
}

bool SameValue(const machine::RegistryValue* stored, const Value& value) {
  return stored != nullptr && stored->type == value.type && stored->data == value.data;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  machine::Reset();
  machine::Registry& registry = machine::Current().registry;
  Value command = Next(&data, &size);
  registry.CreateKey(HKEY_CLASSES_ROOT, kCommandKey);
  if (command.present) registry.SetValue(HKEY_CLASSES_ROOT, kCommandKey, "", command.type, command.data);
  Value values[kAutostartValueCount];
  for (int i = 0; i < kAutostartValueCount; ++i) {
    const RegistryValueRow& row = kAutostartValues[i];
    values[i] = Next(&data, &size);
    registry.CreateKey(row.root, row.subkey);
    if (values[i].present) registry.SetValue(row.root, row.subkey, row.valueName, values[i].type, values[i].data);
  }

  // The command: printed as far as its data and its first zero byte go, repaired only when it is
  // the worm's, refused when it does not fit the 200-byte buffer with a terminator.
  std::string printed = Printed([] { CheckTextFileCommand(); });
  std::string stored = command.present ? command.data : std::string(1, '\0');
  bool fits = stored.size() < 200 || (stored.size() == 200 && stored.find('\0') != std::string::npos);
  const machine::RegistryValue* after = registry.FindValue(HKEY_CLASSES_ROOT, kCommandKey, "");
  if (!fits) {
    FUZZ_CHECK(printed.find("Error: Cannot query registry key value\n") != std::string::npos);
    FUZZ_CHECK(SameValue(after, command));
  } else {
    std::string view = fuzz::AsCString(stored);
    FUZZ_CHECK(printed.find("Registry key value=[" + view + "]\n") != std::string::npos);
    if (strcasecmp(view.c_str(), "winrpc.exe %1") == 0) {
      FUZZ_CHECK(after != nullptr && after->type == REG_SZ && after->data == std::string("NOTEPAD.EXE %1", 15));
    } else if (command.present) {
      FUZZ_CHECK(SameValue(after, command));
    } else {
      FUZZ_CHECK(after == nullptr);
    }
  }

  // Each autostart value: deleted when its row says so and it fits the 512-byte buffer, which
  // keeps at most 511 bytes of it; otherwise left as it was.
  for (int i = 0; i < kAutostartValueCount; ++i) {
    const RegistryValueRow& row = kAutostartValues[i];
    Printed([&row] { CheckRegistryValue(row); });
    const Value& value = values[i];
    bool deleted = value.present && value.data.size() <= 512 &&
                   (row.expectedData == nullptr || fuzz::AsCString(value.data.substr(0, 511)) == row.expectedData);
    const machine::RegistryValue* left = registry.FindValue(row.root, row.subkey, row.valueName);
    if (deleted || !value.present) {
      FUZZ_CHECK(left == nullptr);
    } else {
      FUZZ_CHECK(SameValue(left, value));
    }
  }
  FUZZ_CHECK(registry.openKeys == 0);
  return 0;
}
