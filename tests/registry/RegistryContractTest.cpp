// The registry contract, on the registry the suite runs on: the hive, and Wine's advapi32 in
// the Windows build and through the bridge. RegMod's procedures, with values seeded and
// inspected through the raw registry functions; and the registry functions vantor-reg adds
// to the platform layer (EnumKey, EnumValue, DeleteKey), so that the hive answers as Windows
// does.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "base/Utf8.h"
#include "registry/RegMod.h"
#include "tests/support/RawRegistry.h"
#include "tests/support/RecordingRegistry.h"
#include "tests/support/RegistryUnderTest.h"

namespace {

using namespace platform;
using namespace std::string_literals;
using registry::DeleteRegValue;
using registry::GetRegValue;
using registry::SetRegValue;
using registry::ValueType;

const std::string kTestKey = "Software\\VantorTest\\RegMod\\";

void Set(const std::string& path, const std::string& name, std::uint32_t type, const std::string& bytes) {
  EXPECT_TRUE(WriteRaw(RegistryUnderTest(), path, name, {type, bytes})) << path << " " << name;
}

std::optional<RawValue> RawGet(const std::string& name) { return ReadRaw(RegistryUnderTest(), kTestKey, name); }

bool KeyExists(const std::string& path) {
  Key key(RegistryUnderTest());
  return RegistryUnderTest().OpenKey(kCurrentUser, path, key.Receive()) == kSuccess;
}

std::string Read(const std::string& name) { return GetRegValue(kCurrentUser, kTestKey, name); }

// Every type's text form. Strings are seeded in UTF-16 through the wide calls, which store
// their bytes as they are (the ANSI calls of Wine's registry add a missing terminator); the
// other types' data are the same bytes either way. A terminating zero goes, nothing else:
// data that end without one keep their last character.
TEST(GetRegValue, TurnsEachTypeIntoItsTextForm) {
  struct Case {
    const char* name;
    std::uint32_t type;
    std::string data;
    std::string text;
  };
  const auto wide = [](const std::string& utf8) { return base::Utf8ToUtf16Le(utf8); };
  std::string longHex;
  for (int i = 0; i < 2049; ++i) longHex += "AB";
  const Case cases[] = {
      {"sz", kRegSz, wide("abc\0"s), "abc"},
      {"empty sz", kRegSz, wide("\0"s), ""},
      {"sz with no data", kRegSz, "", ""},
      {"sz without terminator", kRegSz, wide("abc"), "abc"},
      {"sz of an odd byte count", kRegSz, wide("abc") + 'x', "abc"},
      {"sz with zeros inside", kRegSz, wide("a\0\0b\0"s), "a\0\0b"s},
      {"sz ending in two zeros", kRegSz, wide("ab\0\0"s), "ab\0"s},
      {"expand sz", kRegExpandSz, wide("%TEMP%\\x\0"s), "%TEMP%\\x"},
      {"multi sz", kRegMultiSz, wide("a\0b\0\0"s), "a\0b\0"s},
      {"none", kRegNone, "a\0b\0c\0"s, "a\0b\0c"s},
      {"none without terminator", kRegNone, "abc", "abc"},
      {"qword", kRegQword, "\x08\x07\x06\x05\x04\x03\x02\x01"s, "\x08\x07\x06\x05\x04\x03\x02\x01"},
      {"qword ending in zeros", kRegQword, "\x2A\0\0\0\0\0\0\0"s, "*\0\0\0\0\0\0"s},
      {"big-endian dword", kRegDwordBigEndian, "\0\0\0\x2A"s, "\0\0\0*"s},
      {"dword 42", kRegDword, "\x2A\0\0\0"s, "042"},
      {"dword 0", kRegDword, "\0\0\0\0"s, "000"},
      {"dword 1234", kRegDword, "\xD2\x04\0\0"s, "1234"},
      {"dword max", kRegDword, "\xFF\xFF\xFF\xFF"s, "4294967295"},
      {"dword of two bytes", kRegDword, "\x2A\x01"s, "298"},
      {"dword of one byte", kRegDword, "\x2A", "042"},
      {"dword of no bytes", kRegDword, "", "000"},
      {"dword of six bytes", kRegDword, "\x2A\0\0\0\xFF\xFF"s, "042"},
      {"binary", kRegBinary, "\x0A\x1B\x00\xFF"s, "0A1B00FF"},
      {"empty binary", kRegBinary, "", ""},
      {"binary of 2,049 bytes", kRegBinary, std::string(2049, '\xAB'), longHex},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(WriteRaw(RegistryUnderTest(), kTestKey, c.name, {c.type, c.data}, Through::Wide)) << c.name;
    EXPECT_EQ(Read(c.name), c.text) << c.name;
  }
  // Strings in the code page, through the ANSI calls.
  Set(kTestKey, "western letters", kRegSz, "caf\xE9 \x80\0"s);
  EXPECT_EQ(Read("western letters"), "café €");
}

TEST(GetRegValue, AnythingUnreadableIsNotFound) {
  EXPECT_EQ(GetRegValue(kCurrentUser, "Software\\VantorTest\\NoSuchKey\\", "1"), "Not Found");
  EXPECT_FALSE(KeyExists("Software\\VantorTest\\NoSuchKey"));  // a read creates no key
  EXPECT_EQ(Read("no such value"), "Not Found");
  EXPECT_EQ(GetRegValue(platform::kNoKey, kTestKey, "sz"), "Not Found");
  SetRegValue(kCurrentUser, kTestKey, "holds the failure text", ValueType::String, "Not Found");
  EXPECT_EQ(Read("holds the failure text"), "Not Found");
}

TEST(GetRegValue, KeyAndValueNamesIgnoreCaseAndTrailingBackslash) {
  SetRegValue(kCurrentUser, "Software\\VantorTest\\Case\\", "Value", ValueType::String, "v");
  EXPECT_EQ(GetRegValue(kCurrentUser, "SOFTWARE\\vantortest\\CASE", "vALUE"), "v");
  SetRegValue(kCurrentUser, "software\\VANTORTEST\\case", "VALUE", ValueType::String, "w");
  EXPECT_EQ(GetRegValue(kCurrentUser, "Software\\VantorTest\\Case\\", "value"), "w");
}

// Each text replaces a value of another type.
TEST(SetRegValue, StoresTextsAsTerminatedStringsInTheAnsiCodePage) {
  struct Case {
    std::string text;
    std::string bytes;
  };
  const Case cases[] = {
      {"abc", "abc\0"s},
      {"", "\0"s},
      {"  blanks kept  ", "  blanks kept  \0"s},
      {"café €", "caf\xE9 \x80\0"s},
  };
  for (const Case& c : cases) {
    Set(kTestKey, "written", platform::kRegDword, "\x2A\0\0\0"s);
    SetRegValue(kCurrentUser, kTestKey, "written", ValueType::String, c.text);
    EXPECT_EQ(RawGet("written"), (RawValue{platform::kRegSz, c.bytes})) << c.text;
    EXPECT_EQ(Read("written"), c.text);
  }
}

// Windows and Wine keep strings in UTF-16, whatever units they hold, lone surrogates among
// them (a high one, a low one, a pair the wrong way round); the hive keeps Windows-1252, with
// '?' for what it lacks. A text read and stored back, as a reload does, leaves the string as
// the registry held it.
TEST(SetRegValue, TextReadAndStoredBackLeavesTheStringAsItWas) {
  const struct {
    RawValue string;
    std::string inHive;
  } cases[] = {
      {WideSz("Привет é 😀"), "?????? \xE9 ?\0"s},
      {WideSz("café €"), "caf\xE9 \x80\0"s},
      {WideSz(""), "\0"s},
      {{kRegSz, "\x3D\xD8\0\0"s}, "?\0"s},
      {{kRegSz,
        "\x00\xDC"
        "a\0"
        "\x00\xDC\x3D\xD8"
        "\0\0"s},
       "?a??\0"s},
  };
  const auto held = [] {
    return RegistryIsWines() ? ReadRaw(RegistryUnderTest(), kTestKey, "again", Through::Wide) : RawGet("again");
  };
  for (const auto& c : cases) {
    const RawValue kept = RegistryIsWines() ? c.string : RawValue{kRegSz, c.inHive};
    ASSERT_TRUE(WriteRaw(RegistryUnderTest(), kTestKey, "again", c.string, Through::Wide));
    EXPECT_EQ(held(), kept);
    SetRegValue(kCurrentUser, kTestKey, "again", ValueType::String, Read("again"));
    EXPECT_EQ(held(), kept) << c.inHive;
  }
}

TEST(SetRegValue, StoresNumbersAsDwordsOnRequest) {
  SetRegValue(kCurrentUser, kTestKey, "number", ValueType::Dword, "-2");
  EXPECT_EQ(RawGet("number"), (RawValue{platform::kRegDword, "\xFE\xFF\xFF\xFF"s}));
  EXPECT_EQ(Read("number"), "4294967294");
  // Something that is no 32-bit number stores nothing and leaves the old value.
  for (const char* bad : {"abc", "", "4294967296", "1e10"}) {
    SetRegValue(kCurrentUser, kTestKey, "number", ValueType::Dword, bad);
    EXPECT_EQ(Read("number"), "4294967294") << bad;
  }
}

TEST(SetRegValue, FailsSilentlyWhenTheKeyCantBeCreated) {
  SetRegValue(platform::kNoKey, kTestKey, "nowhere", ValueType::String, "x");
  SetRegValue(kCurrentUser, "\\VantorTest\\Bad", "1", ValueType::String, "x");
  EXPECT_EQ(Read("nowhere"), "Not Found");
  EXPECT_FALSE(KeyExists("VantorTest\\Bad"));
  // Key names are limited to 255 characters (Wine lets one more through).
  const std::string longest(255, 'k');
  SetRegValue(kCurrentUser, longest, "1", ValueType::String, "x");
  EXPECT_EQ(GetRegValue(kCurrentUser, longest, "1"), "x");
  for (const std::size_t length : {256u, 257u}) {
    if (RegistryIsWines() && length == 256) continue;
    const std::string tooLong(length, 'k');
    SetRegValue(kCurrentUser, tooLong, "1", ValueType::String, "x");
    EXPECT_FALSE(KeyExists(tooLong)) << length;
  }
}

TEST(DeleteRegValue, RemovesOnlyTheNamedValue) {
  const std::string path = "Software\\VantorTest\\Delete\\";
  SetRegValue(kCurrentUser, path, "1", ValueType::String, "one");
  SetRegValue(kCurrentUser, path, "2", ValueType::String, "two");
  DeleteRegValue(kCurrentUser, path, "1");
  EXPECT_EQ(GetRegValue(kCurrentUser, path, "1"), "Not Found");
  EXPECT_EQ(GetRegValue(kCurrentUser, path, "2"), "two");
  DeleteRegValue(kCurrentUser, path, "1");  // already gone
  EXPECT_EQ(GetRegValue(kCurrentUser, path, "2"), "two");
  DeleteRegValue(kCurrentUser, "Software\\VantorTest\\NoKeyToDeleteFrom\\", "1");
  EXPECT_FALSE(KeyExists("Software\\VantorTest\\NoKeyToDeleteFrom"));
}

// The calls each procedure makes, with the paths and names exactly as the registry gets
// them: each opens its key (only the writer creates one), makes its one call and closes the
// key; the writer flushes between its write and its close.
TEST(RegMod, EachProcedureMakesItsCallsInOrder) {
  SetRegValue(kCurrentUser, "SOFTWARE\\yahoo\\pager\\", "yahoo! user ID", ValueType::String, "jdoe");
  RecordingRegistry recorder(RegistryUnderTest());
  registry::UseRegistry(recorder);
  const struct {
    std::function<void()> call;
    std::vector<std::string> calls;
  } cases[] = {
      {[] { SetRegValue(kCurrentUser, kTestKey, "w", ValueType::String, "abc"); },
       {"create Software\\VantorTest\\RegMod\\", "set w=abc", "flush", "close"}},
      {[] { Read("w"); }, {"open Software\\VantorTest\\RegMod\\", "get w", "close"}},
      {[] { GetRegValue(kCurrentUser, "Software\\VantorTest\\NoSuchKey\\", "1"); },
       {"open Software\\VantorTest\\NoSuchKey\\", "get 1"}},
      {[] { DeleteRegValue(kCurrentUser, kTestKey, "w"); },
       {"open Software\\VantorTest\\RegMod\\", "delete w", "close"}},
      {[] { registry::GetLastUser(); }, {"open SOFTWARE\\yahoo\\pager\\", "get yahoo! user ID", "close"}},
  };
  for (const auto& c : cases) {
    recorder.Start();
    c.call();
    EXPECT_EQ(recorder.Take(), c.calls);
  }
  registry::UseRegistry(RegistryUnderTest());
  DeleteRegValue(kCurrentUser, "SOFTWARE\\yahoo\\pager\\", "yahoo! user ID");
}

// The last user's ID as recorded, or "Not Found" when none is, names the profile whose
// messages are edited; an empty ID is inserted as it is. Each names a key that can be used.
TEST(LastUser, NamesTheProfileWhoseMessagesAreEdited) {
  const struct {
    std::optional<std::string> id;
    std::string key;
  } cases[] = {
      {"first", "SOFTWARE\\Yahoo\\Pager\\profiles\\first\\Custom Msgs\\"},
      {std::nullopt, "SOFTWARE\\Yahoo\\Pager\\profiles\\Not Found\\Custom Msgs\\"},
      {"", "SOFTWARE\\Yahoo\\Pager\\profiles\\\\Custom Msgs\\"},
  };
  for (const auto& c : cases) {
    if (c.id)
      SetRegValue(kCurrentUser, "Software\\Yahoo\\Pager", "YAHOO! USER ID", ValueType::String, *c.id);
    else
      DeleteRegValue(kCurrentUser, "SOFTWARE\\yahoo\\pager\\", "yahoo! user ID");
    EXPECT_EQ(registry::GetLastUser(), c.id.value_or("Not Found"));
    EXPECT_EQ(registry::CustomMessageKey(), c.key);
    SetRegValue(kCurrentUser, registry::CustomMessageKey(), "2", ValueType::String, c.key);
    EXPECT_EQ(GetRegValue(kCurrentUser, c.key, "2"), c.key);
  }
  DeleteRegValue(kCurrentUser, "SOFTWARE\\yahoo\\pager\\", "yahoo! user ID");
}

// --- The wide calls --------------------------------------------------------------------

TEST(WideCalls, SeeTheValuesTheAnsiCallsSee) {
  // A string stored in the code page reads in UTF-16, and the other way round.
  Set(kTestKey, "ansi", kRegSz, "caf\xE9 \x80\0"s);
  EXPECT_EQ(ReadRaw(RegistryUnderTest(), kTestKey, "ansi", Through::Wide), WideSz("café €"));
  ASSERT_TRUE(WriteRaw(RegistryUnderTest(), kTestKey, "wide", WideSz("café €"), Through::Wide));
  EXPECT_EQ(RawGet("wide"), Sz("caf\xE9 \x80"));
  // Other types' data are the same bytes either way.
  for (const RawValue& value : {RawValue{kRegDword, "\x2A\0\0\0"s}, RawValue{kRegBinary, "\xE9\0\x01"s}}) {
    ASSERT_TRUE(WriteRaw(RegistryUnderTest(), kTestKey, "other", value, Through::Wide));
    EXPECT_EQ(RawGet("other"), value);
    EXPECT_EQ(ReadRaw(RegistryUnderTest(), kTestKey, "other", Through::Wide), value);
  }
}

// --- EnumKey, EnumValue and DeleteKey ---------------------------------------------------

const std::string kBase = "Software\\VantorTest\\Walk";

Key Create(const std::string& path) {
  Key key(RegistryUnderTest());
  EXPECT_EQ(RegistryUnderTest().CreateKey(kCurrentUser, path, key.Receive()), kSuccess) << path;
  return key;
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
    Key key(RegistryUnderTest());
    if (RegistryUnderTest().OpenKey(parent, path, key.Receive()) != kSuccess) return;
    for (const std::string& name : SubkeyNames(key.get())) Clear(key.get(), name);
    key.Close();
    ASSERT_EQ(RegistryUnderTest().DeleteKey(parent, path), kSuccess) << path;
  }
};

TEST_F(RegistryWalk, EnumeratesSubkeysAndValuesByUpperCasedName) {
  // Names on which Windows, Wine and the hive agree: none with a character between 'Z' and
  // 'a'. Values go in in their order, which Windows keeps.
  const Key opened = Create(kBase);
  const RegKey key = opened.get();
  for (const char* name : {"beta", "\xE9t\xE9", "Alpha", "GAMMA"}) Create(kBase + "\\" + name);
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
}

TEST_F(RegistryWalk, DeleteKeyRefusesParentsAndTakesValuesAlong) {
  const Key key = Create(kBase + "\\Parent");
  Create(kBase + "\\Parent\\Child");
  Set(kBase + "\\Parent", "kept", kRegSz, "x\0"s);
  EXPECT_EQ(RegistryUnderTest().DeleteKey(kCurrentUser, kBase + "\\Parent"), kAccessDenied);
  EXPECT_EQ(RegistryUnderTest().DeleteKey(kCurrentUser, kBase + "\\Parent\\Missing"), kFileNotFound);
  EXPECT_EQ(RegistryUnderTest().DeleteKey(kCurrentUser, kBase + "\\PARENT\\child"), kSuccess);
  EXPECT_EQ(RegistryUnderTest().DeleteKey(kCurrentUser, kBase + "\\Parent"), kSuccess);

  // A key made again under the same name starts empty.
  EXPECT_EQ(RegistryUnderTest().QueryValue(Create(kBase + "\\Parent").get(), "kept", nullptr, nullptr, nullptr),
            kFileNotFound);
}

TEST_F(RegistryWalk, HandlesToADeletedKeyAnswerKeyDeleted) {
  Key doomed = Create(kBase + "\\Doomed");
  const RegKey key = doomed.get();
  Set(kBase + "\\Doomed", "v", kRegSz, "x\0"s);
  ASSERT_EQ(RegistryUnderTest().DeleteKey(kCurrentUser, kBase + "\\Doomed"), kSuccess);
  // A new key may get the deleted one's place in the store: the old handle must not see it.
  Create(kBase + "\\Newcomer");

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
  doomed.Close();
  // A closed handle is no handle at all.
  EXPECT_EQ(RegistryUnderTest().QueryValue(key, "v", nullptr, nullptr, &size), kInvalidHandle);
  EXPECT_EQ(RegistryUnderTest().CloseKey(key), kInvalidHandle);
}

// Only the hive has transactions; the other registries make each change at once, and a
// rollback leaves it.
TEST_F(RegistryWalk, ARolledBackTransactionLeavesNothingWhereTheRegistryHasTransactions) {
  {
    Transaction transaction(RegistryUnderTest());
    ASSERT_EQ(transaction.begun(), kSuccess);
    Set(kBase + "\\Undone", "v", kRegSz, "x\0"s);
  }
  EXPECT_EQ(KeyExists(kBase + "\\Undone"), RegistryIsWines());
  Transaction transaction(RegistryUnderTest());
  Set(kBase + "\\Done", "v", kRegSz, "x\0"s);
  ASSERT_EQ(transaction.Commit(), kSuccess);
  EXPECT_EQ(ReadRaw(RegistryUnderTest(), kBase + "\\Done", "v"), Sz("x"));
}

}  // namespace
