// vantor-reg run as a user runs it, on a hive of the test's own: reg.exe's output, prompts
// and exit codes, .reg files out and back in, files that must change nothing, and the hive
// read beside another process's transaction.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "platform/Registry.h"
#include "tests/regtool/ToolRun.h"
#include "tests/support/RawRegistry.h"

namespace {

using namespace std::string_literals;
using namespace platform;

const std::string kPath = "Software\\VantorTest\\Tool";
const std::string kKey = "HKCU\\" + kPath;
const std::string kShown = "HKEY_CURRENT_USER\\" + kPath;
const std::string kDone = "The operation completed successfully.\n";
const std::string kMissing = "ERROR: The system was unable to find the specified registry key or value.\n";

// The key kPath (3 levels) made deeper, down to levels below HKEY_CURRENT_USER.
std::string Deep(int levels) { return Below(kPath, levels - 3); }

// vantor-reg with these arguments fails: exit code 1, nothing on standard output, and the
// error on standard error.
void ExpectFails(const std::vector<std::string>& args, const std::string& error) {
  const ToolRun run = RunReg(args);
  EXPECT_EQ(run.exitCode, 1) << testing::PrintToString(args);
  EXPECT_EQ(run.out, "") << testing::PrintToString(args);
  EXPECT_EQ(run.err, error) << testing::PrintToString(args);
}

class RegTool : public testing::Test {
 protected:
  void SetUp() override { RunReg({"delete", kKey, "/f"}); }
  const std::string file_ = std::string(std::getenv("XDG_DATA_HOME")) + "/test.reg";
};

TEST_F(RegTool, QueryPrintsKeysAndValuesAsRegExe) {
  SetRaw(kPath, "_last", kRegDword, "\x78\x56\x34\x12"s);  // '_' sorts after the letters
  SetRaw(kPath, "", kRegSz, "d\xE9j\xE0\0"s);
  SetRaw(kPath, "Multi", kRegMultiSz, "one\0two\0\0"s);
  SetRaw(kPath, "bin", kRegBinary, "\x01\xAB"s);
  SetRaw(kPath, "q", kRegQword, "\xF0\xDE\xBC\x9A\x78\x56\x34\x12"s);
  SetRaw(kPath, "exp", kRegExpandSz, "%TEMP%\0"s);
  SetRaw(kPath, "none", kRegNone, ""s);
  SetRaw(kPath + "\\Sub", "s", kRegSz, "x\0"s);
  SetRaw(kPath + "\\Alpha", "", kRegSz, "\0"s);
  const std::string values =
      kShown +
      "\n    (Default)    REG_SZ    déjà\n    bin    REG_BINARY    01AB\n"
      "    exp    REG_EXPAND_SZ    %TEMP%\n    Multi    REG_MULTI_SZ    one\\0two\n    none    REG_NONE    \n"
      "    q    REG_QWORD    0x123456789abcdef0\n    _last    REG_DWORD    0x12345678\n\n";

  ToolRun run = RunReg({"query", kKey});
  EXPECT_EQ(run.out, "\n" + values + kShown + "\\Alpha\n" + kShown + "\\Sub\n");
  EXPECT_EQ(run.exitCode, 0);
  run = RunReg({"QUERY", "hkey_current_user\\" + kPath + "\\", "-S"});
  EXPECT_EQ(run.out, "\n" + values + kShown + "\\Alpha\n    (Default)    REG_SZ    \n\n" + kShown +
                         "\\Sub\n    s    REG_SZ    x\n\n");
  // The name as asked for, as reg.exe prints it.
  EXPECT_EQ(RunReg({"query", kKey, "/v", "Q"}).out, "\n" + kShown + "\n    Q    REG_QWORD    0x123456789abcdef0\n\n");
  EXPECT_EQ(RunReg({"query", kKey, "/ve", "/s"}).out, "\n" + kShown + "\n    (Default)    REG_SZ    déjà\n\n" + kShown +
                                                          "\\Alpha\n    (Default)    REG_SZ    \n\n"
                                                          "End of search: 2 match(es) found.\n");
  EXPECT_EQ(RunReg({"query", kKey + "\\Sub", "/ve"}).out,
            "\n" + kShown + "\\Sub\n    (Default)    REG_SZ    (value not set)\n\n");
  ExpectFails({"query", kKey, "/v", "nope"}, kMissing);
  ExpectFails({"query", kKey + "\\Nope"}, kMissing);
}

TEST_F(RegTool, AddStoresDataAsRegExeDoesAndRefusesBadData) {
  const struct {
    std::string type, data, bytes;
  } added[] = {{"REG_SZ", "déjà €", "d\xE9j\xE0 \x80\0"s},
               {"reg_expand_sz", "%P%", "%P%\0"s},
               {"REG_MULTI_SZ", "a\\0b", "a\0b\0\0"s},
               {"REG_MULTI_SZ", "", "\0"s},
               {"REG_DWORD", "0x10", "\x10\0\0\0"s},
               {"REG_DWORD", "4294967295", "\xFF\xFF\xFF\xFF"s},
               {"REG_QWORD", "0x1122334455667788", "\x88\x77\x66\x55\x44\x33\x22\x11"s},
               {"REG_BINARY", "abc", "\x0A\xBC"s},
               {"REG_NONE", "zz", "z\0z\0\0\0"s}};
  for (const auto& value : added) {
    const ToolRun run = RunReg({"add", kKey, "/v", "v", "/t", value.type, "/d", value.data, "/f"});
    EXPECT_EQ(run.out, kDone);
    EXPECT_EQ(ReadHive(kPath)[kPath]["v"].bytes, value.bytes) << value.type << " " << value.data;
  }
  EXPECT_EQ(RunReg({"add", kKey + "\\Bare"}).out, kDone);
  EXPECT_EQ(ReadHive(kPath)[kPath + "\\Bare"], Values());

  const Tree before = ReadHive(kPath);
  const std::vector<std::string> refused[] = {
      {"add", kKey, "/v", "v", "/t", "REG_DWORD", "/d", "4294967296", "/f"},
      {"add", kKey, "/v", "v", "/t", "REG_DWORD", "/d", "-1", "/f"},
      {"add", kKey, "/v", "v", "/t", "REG_BINARY", "/d", "0g", "/f"},
      {"add", kKey, "/v", "v", "/t", "REG_MULTI_SZ", "/d", "a\\0\\0b", "/f"},
      {"add", kKey, "/v", "v", "/t", "REG_FOO", "/f"},
      {"add", kKey, "/v", "v", "/ve", "/f"},
      {"add", kKey + "\\BrandNew\\Sub", "/v", std::string(16384, 'n'), "/d", "x", "/f"},  // name too long
      {"add", "HKCU\\" + Deep(513), "/f"},
      {"add", kKey, "/v"},
      {"add", "HKLM\\Software", "/v", "v", "/f"},
      {"delete", "HKCU", "/f"},
      {"query", kKey, "/x"},
      {"nonsense"}};
  for (const std::vector<std::string>& args : refused) {
    const ToolRun run = RunReg(args);
    EXPECT_EQ(run.exitCode, 1) << testing::PrintToString(args);
    EXPECT_EQ(run.err.substr(0, 7), "ERROR: ") << run.err;
  }
  ExpectFails({"add", kKey, "/v", "v", "/d", "\xD0\x96", "/f"},
              "ERROR: U+0416 (\xD0\x96) is not in Windows-1252, the registry's code page here.\n");
  ExpectFails({"add", kKey + "\\line\nbreak", "/f"},
              "ERROR: Invalid key name: a key's name can't hold U+000A, a control character.\n");
  EXPECT_EQ(ReadHive(kPath), before);
}

// Overlong forms (a zero or a backslash in two bytes), surrogates and numbers above
// U+10FFFF are malformed like a stray byte: the registry functions make one '?' of each
// malformed sequence, and vantor-reg refuses them wherever they stand.
TEST_F(RegTool, MalformedUtf8IsNeverReadAsACharacter) {
  EXPECT_EQ(Registry::Default().ToAnsi("caf\xC3\xA9 \xE2\x82\xAC"), "caf\xE9 \x80");
  const struct {
    std::string utf8, ansi;
  } malformed[] = {{"ab\xC0\x80"
                    "cd",
                    "ab?cd"},
                   {"a\xC1\x9C"
                    "b",
                    "a?b"},
                   {"\xF0\x80\x80\xAF", "?"},
                   {"\xED\xA0\x80!", "?!"},
                   {"\xF4\x90\x80\x80", "?"},
                   {"\xE2\x82x\xFF", "?x?"}};
  for (const auto& text : malformed) {
    EXPECT_EQ(Registry::Default().ToAnsi(text.utf8), text.ansi);
    for (const std::vector<std::string>& args : {std::vector<std::string>{"add", kKey, "/v", text.utf8, "/f"},
                                                 {"add", kKey + "\\" + text.utf8, "/f"},
                                                 {"add", kKey, "/v", "v", "/t", "REG_NONE", "/d", text.utf8, "/f"}})
      ExpectFails(args, "ERROR: An argument holds bytes that are not valid UTF-8.\n");
  }
  EXPECT_EQ(ReadHive(kPath), Tree());
}

TEST_F(RegTool, AsksBeforeOverwritingOrDeletingUnlessForced) {
  SetRaw(kPath, "a", kRegSz, "old\0"s);
  SetRaw(kPath, "b", kRegSz, "b\0"s);
  SetRaw(kPath + "\\Sub\\Deeper", "c", kRegSz, "c\0"s);
  const std::string overwrite = "Value a exists, overwrite(Yes/No)? ";
  ToolRun run = RunReg({"add", kKey, "/v", "a", "/d", "new"}, "n\n");
  EXPECT_EQ(run.out, overwrite + "The operation was canceled by the user.\n");
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(ReadHive(kPath)[kPath]["a"].bytes, "old\0"s);
  EXPECT_EQ(RunReg({"add", kKey, "/v", "a", "/d", "new"}, "what?\nyes\n").out, overwrite + overwrite + kDone);
  EXPECT_EQ(ReadHive(kPath)[kPath]["a"].bytes, "new\0"s);

  // No answer at all is No.
  EXPECT_EQ(RunReg({"delete", kKey, "/v", "a"}).out,
            "Delete the registry value a (Yes/No)? \nThe operation was canceled by the user.\n");
  EXPECT_EQ(RunReg({"delete", kKey, "/v", "a"}, "Y\n").out, "Delete the registry value a (Yes/No)? " + kDone);
  ExpectFails({"delete", kKey, "/v", "a", "/f"}, kMissing);

  EXPECT_EQ(RunReg({"delete", kKey, "/va", "/f"}).out, kDone);
  EXPECT_EQ(ReadHive(kPath)[kPath], Values());
  EXPECT_EQ(ReadHive(kPath).size(), 3u);  // the subkeys stay
  EXPECT_EQ(RunReg({"delete", kKey}, "y\n").out,
            "Permanently delete the registry key " + kShown + " (Yes/No)? " + kDone);
  EXPECT_EQ(ReadHive(kPath), Tree());
}

TEST_F(RegTool, ExportThenImportGivesBackEveryTypeAndByte) {
  Tree seeded;
  SetRaw(kPath, "", kRegSz, "root default\0"s, &seeded);
  SetRaw(kPath, "quote\"back\\slash", kRegSz, "a\"b\\c\0"s, &seeded);
  SetRaw(kPath, "line\nbreak", kRegSz, "one\r\ntwo\0"s, &seeded);
  SetRaw(kPath, "inner zero", kRegSz, "a\0b\0"s, &seeded);
  SetRaw(kPath, "empty", kRegSz, "", &seeded);
  SetRaw(kPath, "ansi \xE9\x80", kRegSz, "\x80\x81\x9F\xFF\0"s, &seeded);
  SetRaw(kPath, "expand", kRegExpandSz, "%PATH%;\xE9\0"s, &seeded);
  SetRaw(kPath, "multi", kRegMultiSz, "a\0\xE9\0\0"s, &seeded);
  SetRaw(kPath, "dword", kRegDword, "\x01\x02\x03\x04"s, &seeded);
  SetRaw(kPath, "short dword", kRegDword, "\x01\x02"s, &seeded);
  SetRaw(kPath, "qword", kRegQword, "\x01\x02\x03\x04\x05\x06\x07\x08"s, &seeded);
  SetRaw(kPath, "binary", kRegBinary, Counting(200), &seeded);
  SetRaw(kPath, "empty binary", kRegBinary, "", &seeded);
  SetRaw(kPath, "none", kRegNone, "\x00\x01"s, &seeded);
  SetRaw(kPath, "big endian", 5, "\x00\x00\x01\x00"s, &seeded);
  SetRaw(kPath, "odd type", 0x12345, "xyz", &seeded);
  SetRaw(kPath + "\\Sub\\Deeper", "v", kRegSz, "deep\0"s, &seeded);
  seeded[kPath + "\\Sub"];
  ASSERT_EQ(ReadHive(kPath), seeded);

  EXPECT_EQ(RunReg({"export", kKey, file_}).out, kDone);
  const std::string exported = ReadFile(file_);
  EXPECT_EQ(exported.substr(0, 6), "\xFF\xFEW\0i\0"s);
  EXPECT_EQ(RunReg({"export", kKey, file_}, "n\n").out,
            "File " + file_ + " already exists. Overwrite (Yes/No)? The operation was canceled by the user.\n");
  RunReg({"delete", kKey, "/f"});
  ASSERT_EQ(ReadHive(kPath), Tree());
  EXPECT_EQ(RunReg({"import", file_}).out, kDone);
  EXPECT_EQ(ReadHive(kPath), seeded);
  RunReg({"export", kKey, file_, "/y"});
  EXPECT_EQ(ReadFile(file_), exported);
}

TEST_F(RegTool, ImportReadsRegedit4AndVersion5Files) {
  SetRaw(kPath + "\\Doomed\\Child", "x", kRegSz, "x\0"s);
  WriteFile(file_, "REGEDIT4\r\n\r\n; ANSI text\r\n[HKEY_CURRENT_USER\\" + kPath +
                       "\\Old]\r\n@=\"caf\xE9\"\r\n"
                       "\"hex2\"=hex(2):41,42,\\\r\n  ; a comment inside\r\n    43,00\r\n\"dw\" = dword:2A ; "
                       "the answer\r\n"
                       "\"gone\"=\"x\"\r\n\"gone\"=-\r\n\r\n[-HKEY_CURRENT_USER\\" +
                       kPath + "\\Doomed]\r\n");
  EXPECT_EQ(RunReg({"import", file_}).out, kDone);
  WriteFile(file_, "\xFF\xFE" + Utf16("Windows Registry Editor Version 5.00\r\n\r\n[HKCU\\" + kPath +
                                      "\\New]\r\n"
                                      "\"s\"=\"a\\nb\\\\\"\r\n\"m\"=hex(7):e9,00,ac,20,00,00,00,00\r\n"
                                      "\"u\"=hex(1):61,00,62,00\r\n"));
  EXPECT_EQ(RunReg({"import", file_}).out, kDone);
  EXPECT_EQ(
      ReadHive(kPath),
      (Tree{{kPath, {}},
            // Text in hex data gains its terminating zero, as reg.exe stores it.
            {kPath + "\\New", {{"s", {kRegSz, "a\nb\\\0"s}}, {"m", {kRegMultiSz, "\xE9\x80\0\0"s}}, {"u", Sz("ab")}}},
            {kPath + "\\Old",
             {{"", {kRegSz, "caf\xE9\0"s}}, {"hex2", {kRegExpandSz, "ABC\0"s}}, {"dw", {kRegDword, "\x2A\0\0\0"s}}}}}));
}

// Which lines the reader passes over is RegFileTest's; here how the command tells them
// and applies the rest.
TEST_F(RegTool, ImportPassesOverWhatRegExePassesOverAndSaysSo) {
  // Every file changes the hive in its lines 2 to 4, and then has a line to pass over.
  const std::string changes = "[HKEY_CURRENT_USER\\" + kPath + "]\r\n\"new\"=\"1\"\r\n\"keep\"=-\r\n";
  const std::string v4 = "REGEDIT4\r\n" + changes;
  const std::string v5 = "\xFF\xFE" + Utf16("Windows Registry Editor Version 5.00\r\n" + changes);
  const struct {
    std::string text, note;  // of line 5
  } passed[] = {{v4 + "\"b\"=dword:123456789", "dword: must be followed by 1 to 8 hex digits, line skipped"},
                {v5 + Utf16("\"s\"=\"a\\qb\""), "unknown escape \\q, read as q"}};
  for (const auto& file : passed) {
    RunReg({"delete", kKey, "/f"});
    SetRaw(kPath, "keep", kRegSz, "kept\0"s);
    WriteFile(file_, file.text);
    const ToolRun run = RunReg({"import", file_});
    EXPECT_EQ(run.exitCode, 0) << file.note;
    EXPECT_EQ(run.out, kDone);
    EXPECT_EQ(run.err, "vantor-reg: " + file_ + ":" + "5: " + file.note + "\n");
    Tree imported{{kPath, {{"new", Sz("1")}}}};
    if (file.note.starts_with("unknown escape")) imported[kPath]["s"] = Sz("aqb");
    EXPECT_EQ(ReadHive(kPath), imported) << file.note;
  }

  // A header that reg.exe takes without reading on, and files it refuses whole: the hive
  // stays as it was.
  SetRaw(kPath, "keep", kRegSz, "kept\0"s);
  const Tree before = ReadHive(kPath);
  WriteFile(file_, "REGEDIT5\r\n" + changes);
  ToolRun run = RunReg({"import", file_});
  EXPECT_EQ(run.out, kDone);
  EXPECT_EQ(run.err,
            "vantor-reg: " + file_ + ":1: \"REGEDIT5\" is no header reg.exe reads further, nothing imported\n");
  EXPECT_EQ(ReadHive(kPath), before);
  const std::pair<std::string, std::string> refused[] = {
      {"Windows Registry Editor Version 5.0\r\n" + changes,
       "1: not a .reg file: the first line must be \"Windows Registry Editor Version 5.00\" or \"REGEDIT4\""},
      {v5 + "x", "5: the file ends inside a UTF-16 character"}};
  for (const auto& [text, error] : refused) {
    WriteFile(file_, text);
    ExpectFails({"import", file_}, "vantor-reg: " + file_ + ":" + error + "\n");
    EXPECT_EQ(ReadHive(kPath), before) << error;
  }
  // Paths that open but can't be read as files.
  const std::pair<std::string, int> unreadable[] = {{std::getenv("XDG_DATA_HOME"), EISDIR}, {"/proc/self/mem", EIO}};
  for (const auto& [path, error] : unreadable)
    ExpectFails({"import", path}, "vantor-reg: " + path + ": " + std::strerror(error) + "\n");
}

// A hive that can't be used: vantor-reg says why under its own name, once, and the command
// then fails as reg.exe's does on a registry it can't open.
TEST_F(RegTool, SaysUnderItsOwnNameWhyTheHiveIsNotUsed) {
  const std::string home = std::getenv("XDG_DATA_HOME"), linked = home + "/linked";
  std::filesystem::create_directories(linked + "/vantor");
  std::filesystem::create_symlink(file_, linked + "/vantor/hive.sqlite");
  const std::pair<const char*, std::string> refusals[] = {
      {linked.c_str(), "vantor-reg: the hive is not used: " + linked +
                           "/vantor/hive.sqlite is a symbolic link\nERROR: Access is denied.\n"},
      {"relative",
       "vantor-reg: the hive is not used: neither XDG_DATA_HOME nor HOME names a folder\n"
       "ERROR: The configuration registry key could not be opened.\n"}};
  const std::string userHome = std::getenv("HOME") ? std::getenv("HOME") : "";
  unsetenv("HOME");
  for (const auto& [dataHome, error] : refusals) {
    setenv("XDG_DATA_HOME", dataHome, 1);
    ExpectFails({"add", kKey, "/v", "v", "/d", "x", "/f"}, error);
  }
  setenv("XDG_DATA_HOME", home.c_str(), 1);
  if (!userHome.empty()) setenv("HOME", userHome.c_str(), 1);
}

// As reg.exe: /?, /h and -h in any case, alone or after a command.
TEST_F(RegTool, PrintsItsHelpForEveryFormOfTheSwitch) {
  for (const std::string help : {"/?", "-?", "/h", "/H", "-h", "-H"}) {
    for (const std::vector<std::string>& args : {std::vector<std::string>{help}, {"import", help}}) {
      const ToolRun run = RunReg(args);
      EXPECT_EQ(run.exitCode, 0) << help;
      EXPECT_TRUE(run.out.starts_with("vantor-reg QUERY KEY")) << help;
    }
  }
}

// Keys that another program made through the registry functions and vantor-reg refuses to
// make: 30,000 levels deep, or with a line break in a name. vantor-reg walks and deletes
// them, and refuses to export them, naming the key, before it writes anything.
TEST_F(RegTool, KeysNoFileCanHoldAreWalkedAndDeletedButNotExported) {
  EXPECT_EQ(RunReg({"add", "HKCU\\" + Deep(512), "/f"}).out, kDone);
  const std::string deepest = Deep(30000);
  SetRaw(deepest, "v", kRegSz, "bottom\0"s);
  EXPECT_EQ(RunReg({"query", kKey, "/v", "v", "/s"}).out,
            "\nHKEY_CURRENT_USER\\" + deepest + "\n    v    REG_SZ    bottom\n\nEnd of search: 1 match(es) found.\n");
  WriteFile(file_, "kept");
  ExpectFails({"export", kKey, file_, "/y"},
              "ERROR: HKEY_CURRENT_USER\\" + Deep(513) + " can't be exported: a key can be at most 512 levels deep.\n");
  EXPECT_EQ(RunReg({"delete", kKey, "/f"}).out, kDone);
  EXPECT_EQ(RunReg({"query", kKey}).exitCode, 1);

  SetRaw(kPath + "\\line\nbreak", "", kRegSz, "\0"s);
  ExpectFails({"export", kKey, file_, "/y"}, "ERROR: " + kShown +
                                                 "\\line\nbreak can't be exported: "
                                                 "a key's name can't hold U+000A, a control character.\n");
  EXPECT_EQ(ReadFile(file_), "kept");
}

// A transaction of this process, rolled back and then committed with the same changes: a new
// key three levels deep with a value, a value replaced, and a key deleted with its values.
// Meanwhile vantor-reg reads the hive as it was, without waiting for the transaction's lock.
TEST_F(RegTool, ReadsBesideATransactionThatLandsWholeAtCommitAndNotAtAllAtRollback) {
  SetRaw(kPath, "old", kRegDword, "\1\0\0\0"s);
  SetRaw(kPath + "\\Doomed", "x", kRegSz, "x\0"s);
  const Tree before = ReadHive(kPath);
  ASSERT_EQ(RunReg({"export", kKey, file_, "/y"}).out, kDone);
  const std::string exported = ReadFile(file_);
  for (const bool commit : {false, true}) {
    ASSERT_EQ(ReadHive(kPath), before);  // as it was, the second time after the rollback
    ASSERT_EQ(Registry::Default().BeginTransaction(), kSuccess);
    EXPECT_TRUE(WriteRaw(Registry::Default(), kPath + "\\New\\Deeper\\Deepest", "v", Sz("new")));
    EXPECT_TRUE(WriteRaw(Registry::Default(), kPath, "old", {kRegDword, "\2\0\0\0"s}));
    EXPECT_EQ(Registry::Default().DeleteKey(kCurrentUser, kPath + "\\Doomed"), kSuccess);
    EXPECT_EQ(RunReg({"query", kKey + "\\New"}).exitCode, 1);
    EXPECT_EQ(RunReg({"export", kKey, file_, "/y"}).out, kDone);
    EXPECT_EQ(ReadFile(file_), exported);
    ASSERT_EQ(commit ? Registry::Default().CommitTransaction() : Registry::Default().RollbackTransaction(), kSuccess);
  }
  EXPECT_EQ(ReadHive(kPath), (Tree{{kPath, {{"old", {kRegDword, "\2\0\0\0"s}}}},
                                   {kPath + "\\New", {}},
                                   {kPath + "\\New\\Deeper", {}},
                                   {kPath + "\\New\\Deeper\\Deepest", {{"v", {kRegSz, "new\0"s}}}}}));
  EXPECT_EQ(RunReg({"query", kKey + "\\New\\Deeper\\Deepest", "/v", "v"}).out,
            "\n" + kShown + "\\New\\Deeper\\Deepest\n    v    REG_SZ    new\n\n");
}

}  // namespace
