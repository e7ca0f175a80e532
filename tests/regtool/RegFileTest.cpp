// The .reg reader and the command runner called directly, in this process, on
// the test's hive: what a subprocess would show more slowly, and what only a registry
// handed in can show, a change the registry refuses halfway.
#include <gtest/gtest.h>

#include <sstream>

#include "platform/Registry.h"
#include "regtool/AnsiText.h"
#include "regtool/Commands.h"
#include "regtool/RegFile.h"
#include "tests/regtool/ToolRun.h"
#include "tests/support/RawRegistry.h"

namespace {

using namespace std::string_literals;
using namespace platform;

const std::string kPath = "Software\\VantorTest\\RegFile";

// The changes and notes of a file, and its fault.
struct Reading {
  std::vector<regtool::RegChange> changes;
  std::vector<regtool::RegFileNote> notes;
  regtool::RegFileFault fault;
};

Reading Read(const std::string& file) {
  Reading reading;
  try {
    regtool::ReadRegFile(
        file, [&](const regtool::RegChange& change) { reading.changes.push_back(change); },
        [&](const regtool::RegFileNote& note) { reading.notes.push_back(note); });
  } catch (const regtool::RegFileFault& fault) {
    reading.fault = fault;
  }
  return reading;
}

TEST(RegFile, EveryCharacterOfTheCodePageCrossesBothWays) {
  for (int byte = 0; byte < 256; ++byte)
    EXPECT_EQ(regtool::ToAnsiByte(regtool::FromAnsiByte(static_cast<char>(byte))), static_cast<char>(byte)) << byte;
  EXPECT_EQ(regtool::ToAnsiByte(U'\u0416'), std::nullopt);
}

// Lines reg.exe passes over: each is noted with its line, and none sets a value.
TEST(RegFile, PassesOverWhatRegExePassesOverAndSaysSo) {
  const std::string v4 = "REGEDIT4\r\n[HKEY_CURRENT_USER\\" + kPath + "]\r\n\"new\"=\"1\"\r\n\"keep\"=-\r\n";
  const std::string v5 =
      "\xFF\xFE" + Utf16("Windows Registry Editor Version 5.00\r\n[HKCU\\" + kPath + "]\r\n\r\n\r\n");
  const std::string deep = Below(kPath, 510);  // 513 levels below HKEY_CURRENT_USER
  const std::pair<std::string, std::string> passed[] = {
      {v4 + "\"b\"=dword:123456789", "5: dword: must be followed by 1 to 8 hex digits, line skipped"},
      {v4 + "[-HKCU\\" + kPath + "\\Gone]\r\n\"a\"=\"1\"",
       "6: a value after a key's deletion, with no key to go in, line skipped"},
      {v4 + "[HKEY_LOCAL_MACHINE\\Software]",
       "5: only keys under HKEY_CURRENT_USER can be imported, not HKEY_LOCAL_MACHINE\\Softw..., line skipped"},
      {v4 + "\"h\"=hex:01,\\\r\n 02,,03", "6: not a byte in hex: ,03, the value of line 5 skipped"},
      {v4 + "\"h\"=hex:01,zz", "5: not a byte in hex: zz, line skipped"},
      {v4 + "\"s\"=\"open", "5: a string without its closing '\"', line skipped"},
      {v4 + "\"s\"=\"a\" b", "5: text after the data: b, line skipped"},
      {v4 + "\"s\"=str:\"a\"", "5: unknown kind of data: str:\"a\", line skipped"},
      {v4 + "[HKCU\\" + kPath + "\\" + std::string(256, 'k') + "]",
       "5: a key's name can be at most 255 characters, line skipped"},
      {v4 + "\"" + std::string(16384, 'n') + "\"=\"x\"",
       "5: a value's name can be at most 16383 characters, line skipped"},
      {v5 + Utf16("\"s\"=\"") + "\x16\x04" + Utf16("\""),
       "5: U+0416 (\xD0\x96) is not in Windows-1252, the registry's code page here, line skipped"},
      {v5 + Utf16("\"s\"=\"") + "\x00\xD8"s + Utf16("\""),
       "5: U+FFFD (\xEF\xBF\xBD) is not in Windows-1252, the registry's code page here, line skipped"},
      {v4 + "[HKCU\\" + deep + "]", "5: a key can be at most 512 levels deep, line skipped"},
      {v4 + "[HKCU\\" + kPath + "\\a\tb]", "5: a key's name can't hold U+0009, a control character, line skipped"},
      {v5 + Utf16("\"t\"=hex(1):61"),
       "5: text data in a UTF-16 file must be UTF-16, an even number of bytes, line skipped"}};
  for (const auto& [file, note] : passed) {
    const Reading reading = Read(file);
    EXPECT_EQ(reading.fault.line, 0) << note;
    ASSERT_EQ(reading.notes.size(), 1u) << note;
    EXPECT_EQ(std::to_string(reading.notes[0].line) + ": " + reading.notes[0].message, note);
    for (const regtool::RegChange& change : reading.changes)
      EXPECT_FALSE(change.line >= 5 && change.kind == regtool::RegChange::Kind::kSetValue) << note;
  }
}

// Refuses every value it is asked to set, as a full disk or a locked hive would.
class RefusingSets : public RegistryWrapper {
 public:
  using RegistryWrapper::RegistryWrapper;
  long SetValue(RegKey, const std::string&, std::uint32_t, const std::uint8_t*, std::uint32_t) override {
    return kCantWrite;
  }
};

// The key made for a value the registry refuses goes with the rolled-back transaction, and
// an import stops at the refused line, naming it, with nothing of the file kept.
TEST(RegFile, ChangeRefusedHalfwayLeavesTheRegistryAsItWas) {
  RefusingSets refusing(Registry::Default());
  std::istringstream in;
  std::ostringstream out, err;
  EXPECT_EQ(
      regtool::RunCommand(refusing, {"add", "HKCU\\" + kPath + "\\New", "/v", "v", "/d", "x", "/f"}, in, out, err), 1);
  EXPECT_EQ(err.str(), "ERROR: The configuration registry key could not be written.\n");

  const std::string file = std::string(std::getenv("XDG_DATA_HOME")) + "/refused.reg";
  WriteFile(file, "REGEDIT4\r\n[HKEY_CURRENT_USER\\" + kPath + "\\Imported]\r\n\"v\"=\"x\"\r\n");
  err.str("");
  EXPECT_EQ(regtool::RunCommand(refusing, {"import", file}, in, out, err), 1);
  EXPECT_EQ(err.str(), "vantor-reg: " + file +
                           ":3: cannot set the value v: "
                           "The configuration registry key could not be written.\n");
  EXPECT_EQ(ReadHive(kPath), Tree());
}

}  // namespace
