// vantor-reg import beside Wine's reg.exe, whose import agrees with Windows' on these
// files: each file is imported by reg.exe into the fresh prefix that `scripts/wine-prefix
// with` runs the suite in and by vantor-reg into the test's hive, and then both registries
// are read back value by value through the registry functions (the Wine bridge for the
// prefix) and compared, with the exit codes. Where vantor-reg differs from reg.exe on
// purpose, the file says how, and the rest of it must still agree.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <optional>
#include <sstream>

#include "base/Utf8.h"
#include "tests/regtool/ToolRun.h"
#include "tests/support/WinePath.h"
#include "winebridge/WineRegistry.h"

namespace {

using namespace std::string_literals;
using namespace platform;

const std::string kRoot = "Software\\VantorDiff";
const std::string kVersion5 = "Windows Registry Editor Version 5.00";
const std::string kDone = "The operation completed successfully.\n";

struct Case {
  std::string name;
  std::string text;  // '$' stands for the case's own key below HKEY_CURRENT_USER
  // How many lines vantor-reg names on standard error as passed over or read otherwise.
  int notes = 0;
  // Where vantor-reg differs on purpose: values of the case's key that it stores otherwise
  // (nothing: not at all), and keys below the case's key that it doesn't make.
  std::map<std::string, std::optional<RawValue>> ownValues = {};
  std::vector<std::string> keysNotMade = {};
};

std::string Lines(const std::vector<std::string>& lines, const std::string& end = "\r\n") {
  std::string text;
  for (const std::string& line : lines) text += line + end;
  return text;
}

// A version 5.00 file of the case's key whose lines sit between two values that must
// always come in, "before" and "after".
std::string Between(const std::vector<std::string>& lines, const std::string& header = kVersion5) {
  return Lines({header, "", "[HKEY_CURRENT_USER\\$]", "\"before\"=\"1\""}) + Lines(lines) + "\"after\"=\"2\"\r\n";
}

// UTF-8 text to be written as regedit writes files: UTF-16LE after a byte order mark. The
// text is marked with the mark's bytes and converted once its '$' is replaced.
std::string Utf16File(const std::string& utf8) { return "\xFF\xFE" + utf8; }

std::string FileBytes(std::string text, const std::string& path) {
  for (std::size_t at; (at = text.find('$')) != std::string::npos;) text.replace(at, 1, path);
  if (!text.starts_with("\xFF\xFE")) return text;
  std::string bytes = "\xFF\xFE";
  for (std::size_t i = 2; i < text.size();) {
    const char32_t code = base::NextUtf8(text, i).value();
    bytes += {static_cast<char>(code & 0xFF), static_cast<char>(code >> 8)};
  }
  return bytes;
}

// A value of count bytes counting up, wrapped after every 25 as regedit wraps long hex data.
std::string Wrapped(int count) {
  std::string hex = "\"long\"=hex:";
  for (int i = 0; i < count; ++i) {
    const char digits[] = {"0123456789abcdef"[i >> 4 & 15], "0123456789abcdef"[i & 15], 0};
    hex += digits;
    if (i + 1 < count) hex += i % 25 == 24 ? ",\\\r\n  " : ",";
  }
  return hex;
}

std::vector<Case> Cases() {
  return {
      // Hex data: bytes split over lines, '\' where it can't continue, a trailing ',', blanks.
      {"hex_split", Between({"\"v\"=hex:11,2\\", "  2,33"}), 2},
      {"hex_backslash",
       Between(
           {"\"a\"=hex:11,22\\", "  33", "\"b\"=hex:11,\\", "\\", "  22", "\"c\"=hex:11,\\22", "\"d\"=hex:\\", "  44"}),
       5},
      {"hex_trailing_comma", Between({"\"e\"=hex(2):41,00,00,00,", "\"b\"=hex:41,", "\"c\"=hex:11, ;c"})},
      {"hex_continued",
       Between({"\"a\"=hex:11,\\", "; between", "", "\t\t22,\t33,\\  ", "  44", "\"b\"=hex:11, \\", "  22",
                "\"c\"=hex:11,\\ ;c", "  22", "\"d\"=hex:11,\\", "# between", "  22", "\"e\"=hex:11,\\", "\"w\"=\"x\"",
                "\"f\"=hex:1g,\\", "\"g\"=\"y\"", "\"h\"=hex: 11 , 22"}),
       5},
      {"hex_to_the_end", Lines({kVersion5, "", "[HKEY_CURRENT_USER\\$]", "\"v\"=hex:11,22,\\"})},
      {"hex_to_the_end_blank", Lines({kVersion5, "", "[HKEY_CURRENT_USER\\$]", "\"v\"=hex:11,\\", "  22,\\", ""})},
      {"hex_to_the_end_unfinished", Lines({kVersion5, "", "[HKEY_CURRENT_USER\\$]"}) + "\"v\"=hex:11,22,\\"},
      {"hex_types",
       // Wine fails a hex(-1) after a type too big, as if still in the overflow: the big one
       // comes last.
       Between({"\"a\"=hex(A):11",  "\"b\"=hex(ffffffff):11", "\"d\"=hex( 2):41",   "\"e\"=hex(+2):41",
                "\"f\"=hex(-1):41", "\"g\"=hex():41",         "\"h\"=hex(0x2):41",  "\"i\"=hex(2 ):41",
                "\"j\"=hex (2):41", "\"k\"=HEX:11",           "\"l\"=Hex(2):41,00", "\"m\"=hex(0):",
                "\"n\"=hex:",       "\"o\"=hex:AB,cD,1,2",    "\"p\"=hex:111",      "\"q\"=hex:,",
                "\"r\"=hex:11,,22", "\"s\"=hex(+):11",        "\"t\"=hex( ):11",    "\"c\"=hex(100000000):11"}),
       11},
      // Text in hex data gains its terminating zero; in a file that isn't UTF-16 it is ANSI.
      {"text_terminator",
       Between({"\"e\"=hex(2):41,00", "\"o\"=hex(2):41,00,42", "\"m\"=hex(7):41,00,00,00", "\"n\"=hex(7):41,00",
                "\"z\"=hex(7):", "\"s\"=hex(1):41", "\"t\"=hex(1):", "\"x\"=hex(2):41,00,\\", "  42,00"})},
      {"text_utf16",
       Utf16File(Between({"\"e\"=hex(2):41,00", "\"m\"=hex(7):41,00,42,00,00,00", "\"s\"=hex(1):e9,00,ac,20",
                          "\"q\"=\"caf\xC3\xA9 \xE2\x82\xAC\"", "\"b\"=hex:e9"}))},
      {"regedit4_utf16", Utf16File(Between({"\"h\"=hex(2):41,00,42,00", "\"q\"=\"caf\xC3\xA9\""}, "REGEDIT4"))},
      {"ansi_version5", Between({"\"e\"=\"caf\xE9\"", "\"h\"=hex(2):e9,00", "@=\"\x80\""})},
      {"ansi_regedit4", Between({"\"e\"=\"caf\xE9\"", "\"h\"=hex(2):e9,41", "@=\"\x80\""}, "REGEDIT4")},
      // dword: blanks after the colon; at most 8 digits, no sign, no 0x, lower case only.
      {"dword",
       Between({"\"a\"=dword:  00000008", "\"b\"=dword:\t8", "\"c\"=dword:8  ", "\"d\"=dword:0000ABcd;c",
                "\"e\"=dword:123456789", "\"f\"=dword:", "\"g\"=dword:-1", "\"h\"=dword:0x1", "\"i\"=dword:1 2",
                "\"j\"=DWORD:1"}),
       6},
      // ';' and '#' comment lines; after a value, ';' begins a comment and '#' does not.
      {"comments",
       Between({"# a comment", "   # indented", "; semicolon", "\t; indented", "\"a\"=\"x\" ;c", "\"b\"=\"x\";c",
                "\"c\"=\"x\" #c", "\"d\"=dword:1 #c", "\"e\"=hex:11 #c", "\"f\"=hex:11,22 ;c", "\"g\"=dword:2;c",
                "\"h\"=-;c", "\"before\"=- #c"}),
       4},
      // Line ends: LF, CR alone, and a mixture.
      {"line_ends_lf", Lines({kVersion5, "", "[HKEY_CURRENT_USER\\$]", "\"v\"=hex:11,\\", "  22", "@=\"x\""}, "\n")},
      {"line_ends_cr", Lines({"REGEDIT4", "[HKEY_CURRENT_USER\\$]", "\"v\"=\"x\""}, "\r")},
      {"line_ends_mixed", kVersion5 + "\n[HKEY_CURRENT_USER\\$]\r\n\"v\"=\"x\"\r\r\n\"w\"=\"y\"\n"},
      // Headers: leading blanks are fine; other headers that start with REGEDIT are taken and
      // nothing after them read; anything else refuses the file.
      {"header_leading_blanks", Lines({" \tREGEDIT4", "[HKEY_CURRENT_USER\\$]", "\"v\"=\"x\""})},
      {"header_leading_blanks5", Lines({"  " + kVersion5, "[HKEY_CURRENT_USER\\$]", "\"v\"=\"x\""})},
      {"header_regedit3",
       Lines(
           {"REGEDIT3", "[HKEY_CURRENT_USER\\$]", "\"v\"=\"x\"", "REGEDIT4", "[HKEY_CURRENT_USER\\$]", "\"w\"=\"y\""}),
       1},
      {"header_regedit_space_4", Between({}, "REGEDIT 4"), 1},
      {"header_regedit4_foo", Between({}, "REGEDIT4 FOO"), 1},
      {"header_regedit4_blank_after", Between({}, "REGEDIT4 "), 1},
      {"header_regedit3_utf16", Utf16File(Between({}, "REGEDIT3")), 1},
      {"header_lower_case", Between({}, "regedit4")},
      {"header_version5_blank_after", Between({}, kVersion5 + " ")},
      {"header_version4_00", Between({}, "Windows Registry Editor Version 4.00")},
      {"header_after_a_blank_line", "\r\n" + Between({})},
      {"header_after_a_comment", "; exported\r\n" + Between({})},
      // The first zero character ends the file, even inside a line.
      {"zero_character", Between({"\"a\"=\"x\"\0 and more"s, "\"b\"=\"y\""}), 1},
      {"zero_character_in_hex",
       Between({"\"a\"=hex:01,\0"
                "02"s,
                "\"b\"=\"y\""}),
       1},
      {"zero_character_utf16", Utf16File(Between({"; x\0y"s, "\"b\"=\"y\""})), 1},
      // Key lines: the name runs to the last ']'; a key that can't be read takes its values
      // with it.
      {"keys",
       Lines({kVersion5,
              "",
              "[HKEY_CURRENT_USER\\$\\a] x",
              "\"v\"=\"1\"",
              "[HKEY_CURRENT_USER\\$\\b]]",
              "\"v\"=\"2\"",
              "[HKCU\\$\\c\\]",
              "\"v\"=\"3\"",
              "[hkey_current_user\\$\\\\d]",
              "\"v\"=\"4\"",
              "  [HKEY_CURRENT_USER\\$\\e] ;c",
              "@=\"5\"",
              "[HKEY_CURRENT_USER\\$\\f",
              "\"in e\"=\"6\"",
              "[ HKEY_CURRENT_USER\\$\\g]",
              "\"in e too\"=\"7\"",
              "[",
              "\"in e as well\"=\"8\"",
              "[HKEY_FOO\\x]",
              "\"lost\"=\"9\"",
              "[]",
              "\"lost\"=\"10\"",
              "[HKEY_LOCAL_MACHINE\\$]",
              "\"lost\"=\"11\"",
              "[HKEY_CURRENT_USER\\$] #c",
              "\"after\"=\"2\""}),
       11},
      {"value_before_any_key", Lines({kVersion5, "\"lost\"=\"1\"", "[HKEY_CURRENT_USER\\$]", "\"v\"=\"x\""}), 1},
      {"deletions",
       Lines({kVersion5, "", "[HKEY_CURRENT_USER\\$\\a\\b]", "\"v\"=\"1\"", "[HKEY_CURRENT_USER\\$\\c]", "\"v\"=\"1\"",
              "[-HKEY_CURRENT_USER\\$\\a]", "\"lost\"=\"x\"", "[-HKEY_CURRENT_USER\\$\\missing\\deeper]",
              "[- HKEY_CURRENT_USER\\$\\c]", "[HKEY_CURRENT_USER\\$]", "\"v\"=\"1\"", "\"w\"=\"2\"", "\"v\"=-",
              "\"missing\"=-", "\"w\"= - ", "@=\"d\"", "\"x\"=\"3\"", "\"x\"=- x"}),
       3},
      {"default_values", Lines({kVersion5, "", "[HKEY_CURRENT_USER\\$\\a]", "@=\"d\"", "[HKEY_CURRENT_USER\\$\\b]",
                                "\"\"=\"e\"", "[HKEY_CURRENT_USER\\$\\c]", "@=\"x\"", "@=-",
                                "[HKEY_CURRENT_USER\\$\\d]", "@ = dword:5", "\"@\"=\"a value named @\""})},
      {"names_and_strings",
       Between({"\"v\" = \"x\"", "\"w\"= dword:1", "\"y\" =hex:11", "\"q\\\"uote\\\\\"=\"a\\\"b\\\\c\"",
                "\"esc\"=\"a\\qb\"", "\"n\"=\"a\\nb\"", "\"r\"=\"a\\rb\"", "\"z\"=\"a\\0b\"", "\"open\"=\"abc",
                "\"bs\"=\"abc\\\"", "\"a\"b\"=\"x\"", "\"v\"\"x\"", "@x=\"1\"", "\"t\"=\"a\tb\"", "\"s\"=str(2):\"x\"",
                "\"u\"=foo", "garbage"}),
       10},
      // As regedit and reg export write: UTF-16, long hex data wrapped, every kind of data.
      {"regedit_export",
       Utf16File(Lines({kVersion5, "", "[HKEY_CURRENT_USER\\$]", "@=\"default\"", "\"q\\\"uo\\\\te\"=\"a\\\"b\\\\c\"",
                        "\"dword\"=dword:12345678", "\"qword\"=hex(b):f0,de,bc,9a,78,56,34,12",
                        "\"multi\"=hex(7):6f,00,6e,00,65,00,00,00,74,00,77,00,6f,00,00,00,00,00",
                        "\"expand\"=hex(2):25,00,50,00,41,00,54,00,48,00,25,00,00,00", "\"none\"=hex(0):", Wrapped(100),
                        "", "[HKEY_CURRENT_USER\\$\\Sub]", "\"x\"=\"deep\"", ""}))},
      // Where vantor-reg differs on purpose: version 5.00 without a byte order mark is UTF-8
      // when it can be, text outside Windows-1252 or half a UTF-16 unit is passed over and
      // named, and keys the registry functions would refuse (too deep, a name too long, a
      // control character) are passed over with their values.
      {"utf8_version5", Between({"\"e\"=\"caf\xC3\xA9\""}), 0, {{"e", Sz("caf\xE9")}}},
      {"outside_the_code_page",
       Utf16File(Between({"\"c\"=\"\xD0\x96\"", "\"i\"=hex(1):16,04", "\"h\"=hex(2):41,00,42"})),
       3,
       {{"c", std::nullopt}, {"i", std::nullopt}, {"h", std::nullopt}}},
      {"keys_the_registry_refuses",
       Between({"[HKEY_CURRENT_USER\\" + Below("$", 513) + "]", "\"v\"=\"x\"",
                "[HKEY_CURRENT_USER\\$\\" + std::string(256, 'n') + "]", "\"v\"=\"x\"",
                "[HKEY_CURRENT_USER\\$\\a\x01z]", "\"v\"=\"x\"", "[HKEY_CURRENT_USER\\$]"}),
       6,
       {},
       {"\\k", "\\" + std::string(256, 'n'), "\\a\x01z"}},
  };
}

class RegImportDiff : public testing::Test {
 protected:
  const std::string folder_ = std::getenv("XDG_DATA_HOME");
};

TEST_F(RegImportDiff, ImportsEveryFileAsRegExeDoes) {
  struct Outcome {
    ToolRun wine, vantor;
  };
  const std::vector<Case> cases = Cases();
  std::vector<Outcome> outcomes;
  for (const Case& c : cases) {
    const std::string file = folder_ + "/" + c.name + ".reg";
    WriteFile(file, FileBytes(c.text, kRoot + "\\" + c.name));
    outcomes.push_back({RunInWine({"reg", "import", WinePath(file)}), RunReg({"import", file})});
  }

  std::string error;
  const std::unique_ptr<winebridge::WineRegistry> wine =
      winebridge::WineRegistry::Start(std::getenv("WINEPREFIX"), VANTOR_WINE_BRIDGE_FOLDER, &error);
  ASSERT_TRUE(wine && wine->WaitUntilReady(&error) == platform::kSuccess) << error;
  for (std::size_t i = 0; i < cases.size(); ++i) {
    const Case& c = cases[i];
    const Outcome& outcome = outcomes[i];
    const std::string path = kRoot + "\\" + c.name;
    SCOPED_TRACE(c.name + "\n" + outcome.vantor.err);
    EXPECT_EQ(outcome.vantor.exitCode, outcome.wine.exitCode);
    EXPECT_EQ(outcome.vantor.out, outcome.vantor.exitCode == 0 ? kDone : "");
    // One line for each line passed over, naming the file and the line.
    std::istringstream lines(outcome.vantor.err);
    int notes = 0;
    for (std::string line; std::getline(lines, line); ++notes)
      EXPECT_TRUE(line.starts_with("vantor-reg: " + folder_ + "/" + c.name + ".reg:")) << line;
    EXPECT_EQ(notes, c.notes + (outcome.vantor.exitCode == 0 ? 0 : 1));

    Tree expected = ReadRegistry(*wine, path);
    for (const auto& [name, value] : c.ownValues) {
      if (value)
        expected[path][name] = *value;
      else
        expected[path].erase(name);
    }
    for (const std::string& below : c.keysNotMade)
      std::erase_if(expected, [&](const auto& key) { return key.first.starts_with(path + below); });
    EXPECT_EQ(ReadHive(path), expected);
  }
}

}  // namespace
