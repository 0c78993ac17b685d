// The registry operations as the module relies on them. The same checks run
// against the Linux backend and, under Wine, against the real API.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/handles.h"
#include "platform/platform.h"
#include "tests/support/test_system.h"

namespace {

using platform::ScopedKey;

const char16_t kTestKey[] = u"Software\\RunvanePlatformTest";

class Registry : public ::testing::Test {
 protected:
  void SetUp() override { testsys::DeleteRegKey(HKEY_CURRENT_USER, kTestKey); }
  void TearDown() override { testsys::DeleteRegKey(HKEY_CURRENT_USER, kTestKey); }

  static LONG Create(const std::u16string& path, ScopedKey* key, DWORD* disposition = nullptr) {
    return platform::RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                     nullptr, key->receive(), disposition);
  }
  static LONG Set(HKEY key, const char16_t* name, DWORD type, const void* data, DWORD size) {
    return platform::RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), size);
  }
  static LONG SetText(HKEY key, const char16_t* name, const std::u16string& text) {
    return Set(key, name, REG_SZ, text.c_str(), DWORD((text.size() + 1) * 2));
  }

  testsys::CleanSystem system_;
};

std::u16string Key(const char16_t* rest) { return std::u16string(kTestKey) + rest; }

TEST_F(Registry, ValuesRoundTripWithTypeAndBytesIgnoringNameCase) {
  ScopedKey key;
  ASSERT_EQ(Create(Key(u"\\Sub"), &key), ERROR_SUCCESS);
  const std::u16string text = u"C:\\Tools\\app.exe /start";
  const char16_t multi[] = u"one\0two\0";  // two strings and the closing empty one
  const DWORD number = 0x12345678;
  const BYTE binary[] = {0, 1, 2, 0xFF, 0x80};
  ASSERT_EQ(SetText(key.get(), u"MyValue", text), ERROR_SUCCESS);
  ASSERT_EQ(Set(key.get(), u"Expand", REG_EXPAND_SZ, u"%SystemRoot%\\x", 30), ERROR_SUCCESS);
  ASSERT_EQ(Set(key.get(), u"Multi", REG_MULTI_SZ, multi, sizeof multi), ERROR_SUCCESS);
  ASSERT_EQ(Set(key.get(), u"Number", REG_DWORD, &number, 4), ERROR_SUCCESS);
  ASSERT_EQ(Set(key.get(), u"Binary", REG_BINARY, binary, sizeof binary), ERROR_SUCCESS);
  // Windows adds a terminator the caller forgot when the unit after the
  // counted ones is zero; the unit after "abc" here is not.
  ASSERT_EQ(Set(key.get(), u"Unterminated", REG_SZ, u"abcd", 6), ERROR_SUCCESS);

  ScopedKey read;
  ASSERT_EQ(platform::RegOpenKeyExW(HKEY_CURRENT_USER, u"SOFTWARE\\runvaneplatformtest\\SUB", 0, KEY_READ,
                                    read.receive()),
            ERROR_SUCCESS);
  struct Expected {
    const char16_t* name;
    DWORD type;
    const void* data;
    DWORD size;
  } expected[] = {
      {u"myvalue", REG_SZ, text.c_str(), DWORD((text.size() + 1) * 2)},
      {u"EXPAND", REG_EXPAND_SZ, u"%SystemRoot%\\x", 30},
      {u"multi", REG_MULTI_SZ, multi, sizeof multi},
      {u"number", REG_DWORD, &number, 4},
      {u"binary", REG_BINARY, binary, sizeof binary},
      {u"unterminated", REG_SZ, u"abc", 6},
  };
  for (const Expected& e : expected) {
    BYTE data[256] = {};
    DWORD size = sizeof data;
    DWORD type = 0;
    ASSERT_EQ(platform::RegQueryValueExW(read.get(), e.name, nullptr, &type, data, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, e.type);
    ASSERT_EQ(size, e.size);
    EXPECT_EQ(std::memcmp(data, e.data, size), 0);
  }
}

TEST_F(Registry, CreateMakesIntermediateKeysAndReportsDisposition) {
  ScopedKey key;
  DWORD disposition = 0;
  ASSERT_EQ(Create(Key(u"\\A\\B\\C"), &key, &disposition), ERROR_SUCCESS);
  EXPECT_EQ(disposition, DWORD(REG_CREATED_NEW_KEY));
  ScopedKey again;
  ASSERT_EQ(Create(Key(u"\\a\\b\\c"), &again, &disposition), ERROR_SUCCESS);
  EXPECT_EQ(disposition, DWORD(REG_OPENED_EXISTING_KEY));

  ScopedKey middle;
  ASSERT_EQ(platform::RegOpenKeyExW(HKEY_CURRENT_USER, Key(u"\\A").c_str(), 0, KEY_READ, middle.receive()),
            ERROR_SUCCESS);
  char16_t name[8];
  DWORD length = 8;
  ASSERT_EQ(platform::RegEnumKeyExW(middle.get(), 0, name, &length, nullptr, nullptr, nullptr, nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(std::u16string(name), u"B");
  EXPECT_EQ(length, 1u);
  length = 8;
  EXPECT_EQ(platform::RegEnumKeyExW(middle.get(), 1, name, &length, nullptr, nullptr, nullptr, nullptr),
            ERROR_NO_MORE_ITEMS);
}

TEST_F(Registry, OpeningAnEmptySubKeyGivesASecondHandle) {
  ScopedKey key;
  ASSERT_EQ(Create(kTestKey, &key), ERROR_SUCCESS);
  ASSERT_EQ(SetText(key.get(), u"v", u"1"), ERROR_SUCCESS);
  HKEY second = nullptr;
  ASSERT_EQ(platform::RegOpenKeyExW(key.get(), u"", 0, KEY_READ, &second), ERROR_SUCCESS);
  ASSERT_NE(second, nullptr);
  EXPECT_NE(second, key.get());
  key.reset();
  DWORD size = 0;
  EXPECT_EQ(platform::RegQueryValueExW(second, u"v", nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(size, 4u);
  EXPECT_EQ(platform::RegCloseKey(second), ERROR_SUCCESS);
  EXPECT_EQ(platform::RegCloseKey(second), ERROR_INVALID_HANDLE) << "a handle closes once";
}

TEST_F(Registry, EnumerationNeverWritesPastEitherBuffer) {
  ScopedKey key;
  ASSERT_EQ(Create(Key(u"\\Run"), &key), ERROR_SUCCESS);
  // 512 bytes of text without a terminator, as a scanner's buffer holds.
  // (The unit after them is not zero, so Windows adds no terminator.)
  std::u16string full = std::u16string(256, u'x') + u'y';
  ASSERT_EQ(Set(key.get(), u"LongName", REG_SZ, full.data(), 512), ERROR_SUCCESS);

  char16_t name[32];
  BYTE data[600];
  DWORD type = 0;

  // Name buffer one unit short: ERROR_MORE_DATA, nothing past the buffer.
  std::memset(name, 0xCC, sizeof name);
  DWORD nameLength = 8;  // "LongName" needs 9 with its terminator
  DWORD dataLength = 512;
  EXPECT_EQ(platform::RegEnumValueW(key.get(), 0, name, &nameLength, nullptr, &type, data, &dataLength),
            ERROR_MORE_DATA);
  for (size_t i = 8; i < 32; ++i) ASSERT_EQ(name[i], char16_t(0xCCCC)) << "unit " << i;

  // Data buffer one byte short: ERROR_MORE_DATA, nothing past the buffer.
  std::memset(data, 0xCC, sizeof data);
  nameLength = 32;
  dataLength = 511;
  EXPECT_EQ(platform::RegEnumValueW(key.get(), 0, name, &nameLength, nullptr, &type, data, &dataLength),
            ERROR_MORE_DATA);
  for (size_t i = 511; i < sizeof data; ++i) ASSERT_EQ(data[i], 0xCC) << "byte " << i;

  // Exactly 512: the whole value, no terminator added, nothing beyond.
  std::memset(data, 0xCC, sizeof data);
  nameLength = 32;
  dataLength = 512;
  ASSERT_EQ(platform::RegEnumValueW(key.get(), 0, name, &nameLength, nullptr, &type, data, &dataLength),
            ERROR_SUCCESS);
  EXPECT_EQ(nameLength, 8u) << "length without the terminator";
  EXPECT_EQ(std::u16string(name), u"LongName");
  EXPECT_EQ(dataLength, 512u);
  EXPECT_EQ(type, DWORD(REG_SZ));
  EXPECT_EQ(data[0], 'x');
  for (size_t i = 512; i < sizeof data; ++i) ASSERT_EQ(data[i], 0xCC) << "byte " << i;

  nameLength = 32;
  dataLength = 512;
  EXPECT_EQ(platform::RegEnumValueW(key.get(), 1, name, &nameLength, nullptr, &type, data, &dataLength),
            ERROR_NO_MORE_ITEMS);
}

TEST_F(Registry, EnumerationListsEveryValueOnceIncludingTheDefault) {
  ScopedKey key;
  ASSERT_EQ(Create(Key(u"\\Order"), &key), ERROR_SUCCESS);
  for (const char16_t* name : {u"b", u"A", u"c", u""}) ASSERT_EQ(SetText(key.get(), name, u"x"), ERROR_SUCCESS);
  ASSERT_EQ(SetText(key.get(), u"B", u"replaced"), ERROR_SUCCESS) << "same name ignoring case";
  std::vector<std::u16string> names;
  for (DWORD i = 0;; ++i) {
    char16_t name[16];
    DWORD length = 16;
    LONG r = platform::RegEnumValueW(key.get(), i, name, &length, nullptr, nullptr, nullptr, nullptr);
    if (r == ERROR_NO_MORE_ITEMS) break;
    ASSERT_EQ(r, ERROR_SUCCESS);
    names.push_back(name);
  }
  // Wine (and so the Linux backend, which writes Wine's files) keeps values
  // sorted ignoring case; Windows itself lists them in creation order.
  EXPECT_EQ(names, (std::vector<std::u16string>{u"", u"A", u"b", u"c"}));
}

// Every value and its data, in enumeration order, through a new handle.
std::vector<std::pair<std::u16string, std::u16string>> ReadAll(const std::u16string& path) {
  std::vector<std::pair<std::u16string, std::u16string>> out;
  ScopedKey key;
  if (platform::RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, key.receive()) != ERROR_SUCCESS) return out;
  for (DWORD i = 0;; ++i) {
    char16_t name[32], data[32] = {};
    DWORD nameLength = 32, dataLength = sizeof data;
    if (platform::RegEnumValueW(key.get(), i, name, &nameLength, nullptr, nullptr, reinterpret_cast<BYTE*>(data),
                                &dataLength) != ERROR_SUCCESS)
      break;
    out.push_back({name, data});
  }
  return out;
}

// Closing a handle may let the backend drop what it read of the key; what
// a later handle reads, and what a change keeps, must not depend on it.
TEST_F(Registry, ValuesStayTheSameAcrossHandlesAndAChangeKeepsEveryOne) {
  const std::u16string path = Key(u"\\Handles");
  {
    ScopedKey key;
    ASSERT_EQ(Create(path, &key), ERROR_SUCCESS);
    for (const char16_t* name : {u"a", u"b", u"c"}) ASSERT_EQ(SetText(key.get(), name, name), ERROR_SUCCESS);
  }
  const auto first = ReadAll(path);
  ASSERT_EQ(first.size(), 3u);
  EXPECT_EQ(ReadAll(path), first);
  ScopedKey open;  // one handle stays open while others come and go
  ASSERT_EQ(platform::RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_ALL_ACCESS, open.receive()),
            ERROR_SUCCESS);
  EXPECT_EQ(ReadAll(path), first);
  ASSERT_EQ(SetText(open.get(), u"d", u"d"), ERROR_SUCCESS);
  open.reset();
  EXPECT_EQ(ReadAll(path), (std::vector<std::pair<std::u16string, std::u16string>>{
                               {u"a", u"a"}, {u"b", u"b"}, {u"c", u"c"}, {u"d", u"d"}}));
}

TEST_F(Registry, QueryReportsSizesAndRefusesSmallBuffers) {
  ScopedKey key;
  ASSERT_EQ(Create(kTestKey, &key), ERROR_SUCCESS);
  ASSERT_EQ(SetText(key.get(), u"v", u"hello"), ERROR_SUCCESS);
  DWORD size = 0;
  DWORD type = 0;
  ASSERT_EQ(platform::RegQueryValueExW(key.get(), u"v", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(size, 12u);
  EXPECT_EQ(type, DWORD(REG_SZ));
  BYTE small[16];
  std::memset(small, 0xCC, sizeof small);
  size = 4;
  EXPECT_EQ(platform::RegQueryValueExW(key.get(), u"v", nullptr, nullptr, small, &size), ERROR_MORE_DATA);
  EXPECT_EQ(size, 12u);
  for (size_t i = 4; i < sizeof small; ++i) ASSERT_EQ(small[i], 0xCC);
  size = sizeof small;
  EXPECT_EQ(platform::RegQueryValueExW(key.get(), u"missing", nullptr, nullptr, small, &size),
            ERROR_FILE_NOT_FOUND);
}

TEST_F(Registry, DeleteValueTellsWhatWasNotThere) {
  ScopedKey key;
  ASSERT_EQ(Create(kTestKey, &key), ERROR_SUCCESS);
  ASSERT_EQ(SetText(key.get(), u"Gone", u"x"), ERROR_SUCCESS);
  EXPECT_EQ(platform::SHDeleteValueW(HKEY_CURRENT_USER, kTestKey, u"gone"), ERROR_SUCCESS);
  EXPECT_EQ(platform::SHDeleteValueW(HKEY_CURRENT_USER, kTestKey, u"Gone"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(platform::SHDeleteValueW(HKEY_CURRENT_USER, Key(u"\\NoSuchKey").c_str(), u"Gone"),
            ERROR_FILE_NOT_FOUND);
  DWORD size = 0;
  EXPECT_EQ(platform::RegQueryValueExW(key.get(), u"Gone", nullptr, nullptr, nullptr, &size),
            ERROR_FILE_NOT_FOUND);
}

TEST_F(Registry, DeleteKeyRemovesTheSubtreeAndKeepsTheParent) {
  ScopedKey deep;
  ASSERT_EQ(Create(Key(u"\\Run\\Disabled\\Deeper"), &deep), ERROR_SUCCESS);
  ASSERT_EQ(SetText(deep.get(), u"v", u"x"), ERROR_SUCCESS);
  ScopedKey sibling;
  ASSERT_EQ(Create(Key(u"\\Run\\Other"), &sibling), ERROR_SUCCESS);
  ScopedKey watched;
  ASSERT_EQ(platform::RegOpenKeyExW(HKEY_CURRENT_USER, Key(u"\\Run\\Disabled").c_str(), 0, KEY_READ,
                                    watched.receive()),
            ERROR_SUCCESS);

  EXPECT_EQ(platform::SHDeleteKeyW(HKEY_CURRENT_USER, Key(u"\\run\\DISABLED").c_str()), ERROR_SUCCESS);
  ScopedKey probe;
  EXPECT_EQ(platform::RegOpenKeyExW(HKEY_CURRENT_USER, Key(u"\\Run\\Disabled").c_str(), 0, KEY_READ,
                                    probe.receive()),
            ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(platform::RegOpenKeyExW(HKEY_CURRENT_USER, Key(u"\\Run\\Other").c_str(), 0, KEY_READ,
                                    probe.receive()),
            ERROR_SUCCESS);
  EXPECT_EQ(platform::SHDeleteKeyW(HKEY_CURRENT_USER, Key(u"\\Run\\Disabled").c_str()), ERROR_FILE_NOT_FOUND);

  // A handle to the deleted key answers with an error, never with data.
  DWORD size = 0;
  EXPECT_NE(platform::RegQueryValueExW(watched.get(), u"v", nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
  EXPECT_NE(platform::RegSetValueExW(deep.get(), u"v", 0, REG_SZ, reinterpret_cast<const BYTE*>(u"y"), 4),
            ERROR_SUCCESS);

  // The parent stays, also once its last sub-key is gone.
  EXPECT_EQ(platform::SHDeleteKeyW(HKEY_CURRENT_USER, Key(u"\\Run\\Other").c_str()), ERROR_SUCCESS);
  EXPECT_EQ(platform::RegOpenKeyExW(HKEY_CURRENT_USER, Key(u"\\Run").c_str(), 0, KEY_READ, probe.receive()),
            ERROR_SUCCESS);
}

// The tree delete works below an open handle (the way to stay in the view
// the handle was opened in): with a sub-key name that key goes with
// everything below it; without, only what lies below the handle's key.
TEST_F(Registry, DeleteTreeBelowAnOpenHandle) {
  ScopedKey deep;
  ASSERT_EQ(Create(Key(u"\\List\\Record\\Deeper"), &deep), ERROR_SUCCESS);
  ASSERT_EQ(SetText(deep.get(), u"v", u"x"), ERROR_SUCCESS);
  ScopedKey record;
  ASSERT_EQ(Create(Key(u"\\List\\Record"), &record), ERROR_SUCCESS);
  ASSERT_EQ(SetText(record.get(), u"item", u"x"), ERROR_SUCCESS);
  ScopedKey other;
  ASSERT_EQ(Create(Key(u"\\List\\Other"), &other), ERROR_SUCCESS);
  ScopedKey list;
  ASSERT_EQ(platform::RegOpenKeyExW(HKEY_CURRENT_USER, Key(u"\\List").c_str(), 0,
                                    KEY_ALL_ACCESS | KEY_WOW64_64KEY, list.receive()),
            ERROR_SUCCESS);

  EXPECT_EQ(platform::RegDeleteTreeW(list.get(), u"RECORD"), ERROR_SUCCESS);
  ScopedKey probe;
  EXPECT_EQ(platform::RegOpenKeyExW(HKEY_CURRENT_USER, Key(u"\\List\\Record").c_str(), 0, KEY_READ,
                                    probe.receive()),
            ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(platform::RegOpenKeyExW(HKEY_CURRENT_USER, Key(u"\\List\\Other").c_str(), 0, KEY_READ,
                                    probe.receive()),
            ERROR_SUCCESS);
  EXPECT_EQ(platform::RegDeleteTreeW(list.get(), u"Record"), ERROR_FILE_NOT_FOUND);

  // Without a name the key stays, emptied.
  ASSERT_EQ(SetText(list.get(), u"own", u"x"), ERROR_SUCCESS);
  EXPECT_EQ(platform::RegDeleteTreeW(list.get(), nullptr), ERROR_SUCCESS);
  EXPECT_EQ(platform::RegOpenKeyExW(HKEY_CURRENT_USER, Key(u"\\List").c_str(), 0, KEY_READ,
                                    probe.receive()),
            ERROR_SUCCESS);
  DWORD size = 0;
  EXPECT_EQ(platform::RegQueryValueExW(probe.get(), u"own", nullptr, nullptr, nullptr, &size),
            ERROR_FILE_NOT_FOUND);
  DWORD length = 64;
  char16_t name[64] = {};
  EXPECT_EQ(platform::RegEnumKeyExW(probe.get(), 0, name, &length, nullptr, nullptr, nullptr, nullptr),
            ERROR_NO_MORE_ITEMS);
}

TEST_F(Registry, BadHandlesAndReadOnlyHandlesAreRefused) {
  HKEY bogus = reinterpret_cast<HKEY>(static_cast<uintptr_t>(0x5A5A5A0));
  DWORD size = 0;
  EXPECT_EQ(platform::RegQueryValueExW(bogus, u"v", nullptr, nullptr, nullptr, &size), ERROR_INVALID_HANDLE);
  ScopedKey key;
  ASSERT_EQ(Create(kTestKey, &key), ERROR_SUCCESS);
  ScopedKey readOnly;
  ASSERT_EQ(platform::RegOpenKeyExW(HKEY_CURRENT_USER, kTestKey, 0, KEY_READ, readOnly.receive()),
            ERROR_SUCCESS);
  EXPECT_EQ(SetText(readOnly.get(), u"v", u"x"), ERROR_ACCESS_DENIED);
  ScopedKey missing;
  EXPECT_EQ(platform::RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Software\\NoSuchVendor\\NoSuchKey", 0, KEY_READ,
                                    missing.receive()),
            ERROR_FILE_NOT_FOUND);
  EXPECT_FALSE(missing);
}

TEST_F(Registry, MachineAndUserKeysAreSeparate) {
  ASSERT_TRUE(testsys::SetRegString(HKEY_LOCAL_MACHINE, kTestKey, u"Where", u"machine"));
  ASSERT_TRUE(testsys::SetRegString(HKEY_CURRENT_USER, kTestKey, u"Where", u"user"));
  for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
    ScopedKey key;
    ASSERT_EQ(platform::RegOpenKeyExW(root, kTestKey, 0, KEY_READ, key.receive()), ERROR_SUCCESS);
    char16_t text[16] = {};
    DWORD size = sizeof text;
    ASSERT_EQ(platform::RegQueryValueExW(key.get(), u"Where", nullptr, nullptr, reinterpret_cast<BYTE*>(text),
                                         &size),
              ERROR_SUCCESS);
    EXPECT_EQ(std::u16string(text), root == HKEY_LOCAL_MACHINE ? u"machine" : u"user");
  }
  testsys::DeleteRegKey(HKEY_LOCAL_MACHINE, kTestKey);
}

}  // namespace
