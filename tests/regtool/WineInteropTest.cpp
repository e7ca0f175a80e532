// .reg files between vantor-reg and Wine's own regedit and reg, in the fresh Wine prefix that
// `scripts/wine-prefix with` runs the suite in: Wine's export imports into the hive value for
// value, and vantor-reg's export imports into Wine, which then shows and exports the same.
#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>

#include "platform/Registry.h"
#include "tests/regtool/ToolRun.h"
#include "tests/support/WinePath.h"

namespace {

using namespace std::string_literals;
using namespace platform;

const std::string kPath = "Software\\VantorInterop";
const std::string kKey = "HKCU\\" + kPath;

// What reg query shows, less what Wine 8 gets wrong: it prints REG_QWORD data as "(null)".
std::string Shown(const std::string& output) {
  std::istringstream lines(output);
  std::string shown;
  for (std::string line; std::getline(lines, line);) {
    std::erase(line, '\r');
    if (line.find("REG_QWORD") == std::string::npos) shown += line + '\n';
  }
  return shown;
}

class WineInterop : public testing::Test {
 protected:
  void SetUp() override {
    RunReg({"delete", kKey, "/f"});
    RunInWine({"reg", "delete", kKey, "/f"});
  }

  const std::string folder_ = std::getenv("XDG_DATA_HOME");
};

TEST_F(WineInterop, WineRegeditExportImportsIntoTheHive) {
  std::string bytes, hex;  // 100 bytes, and as reg add takes them
  for (int i = 0; i < 100; ++i) bytes += static_cast<char>((i * 7 % 16) << 4 | i % 16);
  for (const unsigned char byte : bytes) hex += {"0123456789abcdef"[byte >> 4], "0123456789abcdef"[byte & 15]};
  const struct {
    std::string subkey, name, type, data;
    std::uint32_t storedType;
    std::string stored;
  } seeds[] = {{"", "", "REG_SZ", "default value", kRegSz, "default value\0"s},
               {"", "q\"uo\\te", "REG_SZ", "a\"b\\c", kRegSz, "a\"b\\c\0"s},
               {"", "café", "REG_SZ", "déjà €", kRegSz, "d\xE9j\xE0 \x80\0"s},
               {"", "multi", "REG_MULTI_SZ", "one\\0two", kRegMultiSz, "one\0two\0\0"s},
               {"", "expand", "REG_EXPAND_SZ", "%PATH%;x", kRegExpandSz, "%PATH%;x\0"s},
               {"", "bin", "REG_BINARY", hex, kRegBinary, bytes},
               {"", "dword", "REG_DWORD", "0x12345678", kRegDword, "\x78\x56\x34\x12"s},
               {"", "qword", "REG_QWORD", "0x123456789abcdef0", kRegQword, "\xF0\xDE\xBC\x9A\x78\x56\x34\x12"s},
               {"", "none", "REG_NONE", "zz", kRegNone, "z\0z\0\0\0"s},
               {"\\Sub\\Deeper", "x", "REG_SZ", "deep", kRegSz, "deep\0"s}};
  Tree expected{{kPath + "\\Sub", {}}};
  for (const auto& seed : seeds) {
    std::vector<std::string> add = {"reg", "add", kKey + seed.subkey, "/ve"};
    if (!seed.name.empty()) add.back() = "/v", add.push_back(seed.name);
    add.insert(add.end(), {"/t", seed.type, "/d", seed.data, "/f"});
    ASSERT_EQ(RunInWine(add).exitCode, 0) << seed.name;
    expected[kPath + seed.subkey][seed.name == "café" ? "caf\xE9" : seed.name] = {seed.storedType, seed.stored};
  }
  const std::string file = folder_ + "/from-wine.reg";
  ASSERT_EQ(RunInWine({"regedit", "/e", WinePath(file), "HKEY_CURRENT_USER\\" + kPath}).exitCode, 0);
  const ToolRun run = RunReg({"import", file});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(ReadHive(kPath), expected);
}

TEST_F(WineInterop, VantorRegExportImportsIntoWine) {
  Tree seeded;
  const std::string plain = kPath + "\\Plain", odd = kPath + "\\Odd";
  // Plain: what Wine's reg query shows and regedit exports as vantor-reg does.
  SetRaw(plain, "", kRegSz, "default\0"s, &seeded);
  SetRaw(plain, "q\"uo\\te", kRegSz, "a\"b\\c\0"s, &seeded);
  SetRaw(plain, "expand", kRegExpandSz, "%PATH%;x\0"s, &seeded);
  SetRaw(plain, "multi", kRegMultiSz, "one\0two\0\0"s, &seeded);
  SetRaw(plain, "dword", kRegDword, "\x01\x02\x03\x04"s, &seeded);
  SetRaw(plain, "qword", kRegQword, "\x01\x02\x03\x04\x05\x06\x07\x08"s, &seeded);
  SetRaw(plain, "binary", kRegBinary, Counting(150), &seeded);
  SetRaw(plain, "empty", kRegBinary, "", &seeded);
  SetRaw(plain, "none", kRegNone, "\x00\x01"s, &seeded);
  SetRaw(plain + "\\Sub", "x", kRegSz, "deep\0"s, &seeded);
  // Odd: what Wine shows in another code page or in its own way, or exports otherwise
  // (a line break in a string as \n, which Windows' regedit can't read back).
  SetRaw(odd, "lines", kRegSz, "one\r\ntwo\0"s, &seeded);
  SetRaw(odd, "caf\xE9", kRegSz, "\x80\x9F\xFF\0"s, &seeded);
  SetRaw(odd, "multi \xE9", kRegMultiSz, "\xE9\0\x80\0\0"s, &seeded);
  SetRaw(odd, "big endian", 5, "\x00\x00\x01\x00"s, &seeded);
  SetRaw(odd, "own type", 0x12345, "xyz", &seeded);
  seeded[kPath];

  const std::string file = folder_ + "/to-wine.reg", back = folder_ + "/back-from-wine.reg";
  ASSERT_EQ(RunReg({"export", kKey, file, "/y"}).exitCode, 0);
  ASSERT_EQ(RunInWine({"regedit", WinePath(file)}).exitCode, 0);
  const ToolRun wineQuery = RunInWine({"reg", "query", kKey + "\\Plain", "/s"});
  EXPECT_EQ(wineQuery.exitCode, 0);
  EXPECT_EQ(Shown(wineQuery.out), Shown(RunReg({"query", kKey + "\\Plain", "/s"}).out));

  const std::string plainFile = folder_ + "/plain.reg";
  RunReg({"export", kKey + "\\Plain", plainFile, "/y"});
  ASSERT_EQ(RunInWine({"regedit", "/e", WinePath(back), "HKEY_CURRENT_USER\\" + plain}).exitCode, 0);
  EXPECT_EQ(ReadFile(back), ReadFile(plainFile));

  // What Wine now holds comes back byte for byte through its own export.
  ASSERT_EQ(RunInWine({"regedit", "/e", WinePath(back), "HKEY_CURRENT_USER\\" + kPath}).exitCode, 0);
  RunReg({"delete", kKey, "/f"});
  const ToolRun run = RunReg({"import", back});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(ReadHive(kPath), seeded);
}

}  // namespace
