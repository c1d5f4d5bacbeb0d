// The POSIX layer's in-memory registry: the registry functions' documented results.
#if !defined(_WIN32)
#include <gtest/gtest.h>
#include <string.h>

#include <string>

#include "platform/posix/machine.h"

namespace {

const char kKey[] = "Software\\Vendor\\App";

class PlatformRegistryTest : public testing::Test {
 protected:
  void SetUp() override { machine::Reset(); }
  void TearDown() override { machine::Reset(); }

  static machine::Registry& Registry() { return machine::Current().registry; }

  static HKEY Open(HKEY root, const char* path, REGSAM access) {
    HKEY key = nullptr;
    EXPECT_EQ(ERROR_SUCCESS, RegOpenKeyExA(root, path, 0, access, &key)) << path;
    return key;
  }
};

TEST_F(PlatformRegistryTest, HostRegistryHoldsOnlyEmptyRoots) {
  HKEY key = nullptr;
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software", 0, KEY_READ, &key));
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegOpenKeyExA(HKEY_CLASSES_ROOT, "txtfile", 0, KEY_READ, &key));
  key = Open(HKEY_CURRENT_USER, nullptr, KEY_ALL_ACCESS);
  EXPECT_EQ(1, Registry().openKeys);
  EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(key));
  EXPECT_EQ(0, Registry().openKeys);
}

TEST_F(PlatformRegistryTest, NamesAreCaseBlindAndClassesRootIsUnderLocalMachine) {
  HKEY key = nullptr;
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegOpenKeyExA(HKEY_CLASSES_ROOT, nullptr, 0, KEY_READ, &key));  // no Classes yet
  Registry().SetString(HKEY_LOCAL_MACHINE, "SOFTWARE\\CLASSES\\TxtFile\\Shell", "Name", "value");
  key = Open(HKEY_CLASSES_ROOT, "txtfile\\shell", KEY_ALL_ACCESS);
  char data[16];
  DWORD size = sizeof data;
  DWORD type = 0;
  EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(key, "NAME", nullptr, &type, reinterpret_cast<BYTE*>(data), &size));
  EXPECT_EQ(6u, size);
  EXPECT_STREQ("value", data);
  EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);

  // A write through HKEY_CLASSES_ROOT lands under HKEY_LOCAL_MACHINE\Software\Classes.
  EXPECT_EQ(ERROR_SUCCESS, RegSetValueA(key, "open", REG_SZ, "cmd", 0));
  const machine::RegistryValue* written =
      Registry().FindValue(HKEY_LOCAL_MACHINE, "Software\\Classes\\TXTFILE\\SHELL\\OPEN", "");
  ASSERT_NE(nullptr, written);
  EXPECT_EQ(std::string("cmd\0", 4), written->data);
  EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(key));
}

TEST_F(PlatformRegistryTest, QueryValueExReportsMissingTooLongAndSizeOnly) {
  Registry().SetValue(HKEY_CURRENT_USER, kKey, "four", REG_BINARY, "abcd");
  Registry().SetString(HKEY_CURRENT_USER, kKey, "", "default");
  HKEY key = Open(HKEY_CURRENT_USER, kKey, KEY_READ);
  struct Case {
    const char* name;
    DWORD bufferSize;
    bool withData;
    LONG status;
    DWORD size;     // *size afterwards
    const char* data;  // the buffer afterwards
  };
  const Case cases[] = {
      {"four", 4, true, ERROR_SUCCESS, 4, "abcd...."},
      {"four", 3, true, ERROR_MORE_DATA, 4, "........"},  // untouched
      {"four", 0, false, ERROR_SUCCESS, 4, "........"},
      {"FOUR", 8, true, ERROR_SUCCESS, 4, "abcd...."},
      {"absent", 8, true, ERROR_FILE_NOT_FOUND, 8, "........"},
      {"", 8, true, ERROR_SUCCESS, 8, "default"},
      {nullptr, 8, true, ERROR_SUCCESS, 8, "default"},
  };
  for (const Case& c : cases) {
    char data[9] = "........";
    DWORD size = c.bufferSize;
    EXPECT_EQ(c.status, RegQueryValueExA(key, c.name, nullptr, nullptr,
                                         c.withData ? reinterpret_cast<BYTE*>(data) : nullptr, &size))
        << c.name << " " << c.bufferSize;
    EXPECT_EQ(c.size, size) << c.name << " " << c.bufferSize;
    EXPECT_EQ(0, memcmp(c.data, data, strlen(c.data))) << c.name << " " << c.bufferSize;
  }
  DWORD reserved = 0;
  DWORD size = 4;
  EXPECT_EQ(ERROR_INVALID_PARAMETER, RegQueryValueExA(key, "four", &reserved, nullptr, nullptr, &size));
  EXPECT_EQ(ERROR_INVALID_PARAMETER,
            RegQueryValueExA(key, "four", nullptr, nullptr, reinterpret_cast<BYTE*>(&size), nullptr));
  EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(key));
}

TEST_F(PlatformRegistryTest, QueryValueReadsTheDefaultValueOfAKeyOrSubkey) {
  Registry().SetString(HKEY_CURRENT_USER, kKey, "", "0123456789");
  Registry().CreateKey(HKEY_CURRENT_USER, "Software\\Bare");
  struct Case {
    const char* subKey;  // below HKEY_CURRENT_USER
    LONG bufferSize;
    LONG status;
    LONG size;
    std::string data;
  };
  const Case cases[] = {
      {kKey, 11, ERROR_SUCCESS, 11, std::string("0123456789\0", 11)},
      {kKey, 10, ERROR_MORE_DATA, 11, "##########"},
      {"Software\\Bare", 4, ERROR_SUCCESS, 1, std::string(1, '\0')},  // never set: the empty string
      {"Software\\Absent", 4, ERROR_FILE_NOT_FOUND, 4, "####"},
      {"\\Software", 4, ERROR_BAD_PATHNAME, 4, "####"},
  };
  for (const Case& c : cases) {
    char data[16];
    memset(data, '#', sizeof data);
    LONG size = c.bufferSize;
    EXPECT_EQ(c.status, RegQueryValueA(HKEY_CURRENT_USER, c.subKey, data, &size)) << c.subKey;
    EXPECT_EQ(c.size, size) << c.subKey;
    EXPECT_EQ(c.data, std::string(data, c.data.size())) << c.subKey;
  }
  EXPECT_EQ(0, Registry().openKeys);
}

TEST_F(PlatformRegistryTest, SetValueWritesOnlyStringsThroughAWritableHandle) {
  Registry().SetString(HKEY_CURRENT_USER, kKey, "", "old");
  HKEY readOnly = Open(HKEY_CURRENT_USER, kKey, KEY_READ);
  HKEY writable = Open(HKEY_CURRENT_USER, kKey, KEY_ALL_ACCESS);
  const std::string old("old\0", 4);

  EXPECT_EQ(ERROR_ACCESS_DENIED, RegSetValueA(readOnly, nullptr, REG_SZ, "new", 4));
  EXPECT_EQ(ERROR_INVALID_PARAMETER, RegSetValueA(writable, nullptr, REG_DWORD, "new", 4));
  machine::Current().faults.failing = {"RegSetValueA"};
  EXPECT_EQ(ERROR_ACCESS_DENIED, RegSetValueA(writable, nullptr, REG_SZ, "new", 4));
  EXPECT_EQ(old, Registry().FindValue(HKEY_CURRENT_USER, kKey, "")->data);

  machine::Current().faults.failing.clear();
  EXPECT_EQ(ERROR_SUCCESS, RegSetValueA(writable, nullptr, REG_SZ, "new text", 1));  // the size is ignored
  const machine::RegistryValue* value = Registry().FindValue(HKEY_CURRENT_USER, kKey, "");
  EXPECT_EQ(std::string("new text\0", 9), value->data);
  EXPECT_EQ(static_cast<DWORD>(REG_SZ), value->type);

  EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(readOnly));
  EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(writable));
}

TEST_F(PlatformRegistryTest, DeleteValueNeedsAWritableHandleAndAPresentValue) {
  Registry().SetString(HKEY_CURRENT_USER, kKey, "Doomed", "x");
  HKEY readOnly = Open(HKEY_CURRENT_USER, kKey, KEY_READ);
  HKEY writable = Open(HKEY_CURRENT_USER, kKey, KEY_ALL_ACCESS);

  EXPECT_EQ(ERROR_ACCESS_DENIED, RegDeleteValueA(readOnly, "Doomed"));
  machine::Current().faults.failing = {"RegDeleteValueA"};
  EXPECT_EQ(ERROR_ACCESS_DENIED, RegDeleteValueA(writable, "Doomed"));
  EXPECT_NE(nullptr, Registry().FindValue(HKEY_CURRENT_USER, kKey, "Doomed"));

  machine::Current().faults.failing.clear();
  EXPECT_EQ(ERROR_SUCCESS, RegDeleteValueA(writable, "DOOMED"));
  EXPECT_EQ(nullptr, Registry().FindValue(HKEY_CURRENT_USER, kKey, "Doomed"));
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegDeleteValueA(writable, "Doomed"));

  EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(readOnly));
  EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(writable));
}

TEST_F(PlatformRegistryTest, KeyThatRefusesWriteAccessOpensForReadingOnly) {
  Registry().CreateKey(HKEY_LOCAL_MACHINE, kKey).refusesWriteAccess = true;
  HKEY key = nullptr;
  for (REGSAM access : {KEY_ALL_ACCESS, KEY_WRITE, static_cast<REGSAM>(KEY_SET_VALUE)}) {
    EXPECT_EQ(ERROR_ACCESS_DENIED, RegOpenKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, access, &key)) << access;
  }
  EXPECT_EQ(0, Registry().openKeys);
  key = Open(HKEY_LOCAL_MACHINE, kKey, KEY_READ);
  EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(key));
}

TEST_F(PlatformRegistryTest, HandlesAreCountedAndRefusedOnceClosed) {
  Registry().CreateKey(HKEY_CURRENT_USER, kKey);
  HKEY first = Open(HKEY_CURRENT_USER, kKey, KEY_READ);
  HKEY second = Open(first, nullptr, KEY_READ);  // the same key again, through an open handle
  EXPECT_NE(first, second);
  EXPECT_EQ(2, Registry().openKeys);
  EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(first));
  EXPECT_EQ(ERROR_INVALID_HANDLE, RegCloseKey(first));
  DWORD size = 0;
  EXPECT_EQ(ERROR_INVALID_HANDLE, RegQueryValueExA(first, "x", nullptr, nullptr, nullptr, &size));
  EXPECT_EQ(1, Registry().openKeys);
  EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(second));
  EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(HKEY_LOCAL_MACHINE));  // a root: nothing to close
  EXPECT_EQ(ERROR_INVALID_HANDLE, RegCloseKey(nullptr));
  EXPECT_EQ(0, Registry().openKeys);
}

}  // namespace
#endif
