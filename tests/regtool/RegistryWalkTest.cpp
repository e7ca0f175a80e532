// The registry functions vantor-reg adds to the platform layer (EnumKey, EnumValue,
// DeleteKey), against the hive and against Wine's advapi32 (the Windows build, the
// bridge), so that the hive answers as Windows does.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "RawRegistry.h"
#include "RegistryUnderTest.h"

namespace {

using namespace platform;
using namespace std::string_literals;

const std::string kBase = "Software\\VantorTest\\Walk";

RegKey Create(const std::string& path) {
  RegKey key = kNoKey;
  EXPECT_EQ(RegistryUnderTest().CreateKey(kCurrentUser, path, &key), kSuccess) << path;
  return key;
}

void Set(const std::string& path, const std::string& name, std::uint32_t type, const std::string& bytes) {
  EXPECT_TRUE(WriteRaw(RegistryUnderTest(), path, name, {type, bytes})) << path << " " << name;
}

std::vector<std::string> SubkeyNames(RegKey key) {
  std::vector<std::string> names;
  std::string name;
  for (std::uint32_t i = 0; RegistryUnderTest().EnumKey(key, i, &name) == kSuccess; ++i) names.push_back(name);
  return names;
}

class RegistryWalk : public testing::Test {
 protected:
  void SetUp() override { Clear(kCurrentUser, kBase); }
  void TearDown() override { Clear(kCurrentUser, kBase); }

  // Deletes a tree from its leaves up, the only way DeleteKey allows.
  static void Clear(RegKey parent, const std::string& path) {
    RegKey key = kNoKey;
    if (RegistryUnderTest().OpenKey(parent, path, &key) != kSuccess) return;
    for (const std::string& name : SubkeyNames(key)) Clear(key, name);
    RegistryUnderTest().CloseKey(key);
    ASSERT_EQ(RegistryUnderTest().DeleteKey(parent, path), kSuccess) << path;
  }
};

TEST_F(RegistryWalk, EnumeratesSubkeysAndValuesByUpperCasedName) {
  // Names on which Windows, Wine and the hive agree: none with a character between 'Z' and
  // 'a'. Values go in in their order, which Windows keeps.
  const RegKey key = Create(kBase);
  for (const char* name : {"beta", "\xE9t\xE9", "Alpha", "GAMMA"}) RegistryUnderTest().CloseKey(Create(kBase + "\\" + name));
  EXPECT_EQ(SubkeyNames(key), (std::vector<std::string>{"Alpha", "beta", "GAMMA", "\xE9t\xE9"}));

  Set(kBase, "", kRegSz, "default\0"s);
  Set(kBase, "Mid", kRegBinary, std::string(5000, '\x7F'));
  Set(kBase, "zeta", kRegDword, "\x01\x02\x03\x04"s);
  std::vector<std::string> names;
  std::string name;
  std::uint32_t type = 0;
  std::uint32_t size = 0;
  for (std::uint32_t i = 0; RegistryUnderTest().EnumValue(key, i, &name, &type, nullptr, &size) == kSuccess; ++i)
    names.push_back(name);
  EXPECT_EQ(names, (std::vector<std::string>{"", "Mid", "zeta"}));

  // Data comes as QueryValue gives it: the size first, kMoreData when the buffer is short.
  ASSERT_EQ(RegistryUnderTest().EnumValue(key, 1, &name, &type, nullptr, &size), kSuccess);
  EXPECT_EQ(type, kRegBinary);
  EXPECT_EQ(size, 5000u);
  std::vector<std::uint8_t> data(10);
  size = 10;
  EXPECT_EQ(RegistryUnderTest().EnumValue(key, 1, &name, &type, data.data(), &size), kMoreData);
  EXPECT_EQ(size, 5000u);
  data.resize(size);
  ASSERT_EQ(RegistryUnderTest().EnumValue(key, 1, &name, &type, data.data(), &size), kSuccess);
  EXPECT_EQ(std::string(data.begin(), data.end()), std::string(5000, '\x7F'));

  EXPECT_EQ(RegistryUnderTest().EnumKey(key, 5, &name), kNoMoreItems);
  EXPECT_EQ(RegistryUnderTest().EnumValue(key, 3, &name, &type, nullptr, &size), kNoMoreItems);
  RegistryUnderTest().CloseKey(key);
}

TEST_F(RegistryWalk, DeleteKeyRefusesParentsAndTakesValuesAlong) {
  const RegKey key = Create(kBase + "\\Parent");
  RegistryUnderTest().CloseKey(Create(kBase + "\\Parent\\Child"));
  Set(kBase + "\\Parent", "kept", kRegSz, "x\0"s);
  EXPECT_EQ(RegistryUnderTest().DeleteKey(kCurrentUser, kBase + "\\Parent"), kAccessDenied);
  EXPECT_EQ(RegistryUnderTest().DeleteKey(kCurrentUser, kBase + "\\Parent\\Missing"), kFileNotFound);
  EXPECT_EQ(RegistryUnderTest().DeleteKey(kCurrentUser, kBase + "\\PARENT\\child"), kSuccess);
  EXPECT_EQ(RegistryUnderTest().DeleteKey(kCurrentUser, kBase + "\\Parent"), kSuccess);

  // A key made again under the same name starts empty.
  const RegKey again = Create(kBase + "\\Parent");
  EXPECT_EQ(RegistryUnderTest().QueryValue(again, "kept", nullptr, nullptr, nullptr), kFileNotFound);
  RegistryUnderTest().CloseKey(again);
  RegistryUnderTest().CloseKey(key);
}

TEST_F(RegistryWalk, HandlesToADeletedKeyAnswerKeyDeleted) {
  const RegKey key = Create(kBase + "\\Doomed");
  Set(kBase + "\\Doomed", "v", kRegSz, "x\0"s);
  ASSERT_EQ(RegistryUnderTest().DeleteKey(kCurrentUser, kBase + "\\Doomed"), kSuccess);
  // A new key may get the deleted one's place in the store: the old handle must not see it.
  RegistryUnderTest().CloseKey(Create(kBase + "\\Newcomer"));

  std::string name;
  std::uint32_t size = 0;
  RegKey sub = kNoKey;
  EXPECT_EQ(RegistryUnderTest().QueryValue(key, "v", nullptr, nullptr, &size), kKeyDeleted);
  EXPECT_EQ(RegistryUnderTest().SetValue(key, "w", kRegSz, reinterpret_cast<const std::uint8_t*>("y"), 2), kKeyDeleted);
  EXPECT_EQ(RegistryUnderTest().DeleteValue(key, "v"), kKeyDeleted);
  EXPECT_EQ(RegistryUnderTest().EnumKey(key, 0, &name), kKeyDeleted);
  EXPECT_EQ(RegistryUnderTest().EnumValue(key, 0, &name, nullptr, nullptr, &size), kKeyDeleted);
  EXPECT_EQ(RegistryUnderTest().CreateKey(key, "Sub", &sub), kKeyDeleted);
  EXPECT_EQ(RegistryUnderTest().OpenKey(key, "Sub", &sub), kKeyDeleted);
  EXPECT_EQ(sub, kNoKey);
  EXPECT_EQ(RegistryUnderTest().DeleteKey(key, ""), kKeyDeleted);
  EXPECT_EQ(RegistryUnderTest().CloseKey(key), kSuccess);
}

}  // namespace
