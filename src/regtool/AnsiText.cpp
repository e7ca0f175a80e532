// Encodings at vantor-reg's edges, with the code page taken from the platform layer so
// that the tool and the registry functions can never disagree about a byte.
#include "regtool/AnsiText.h"

#include <array>
#include <cstdio>
#include <unordered_map>

#include "base/CodePage1252.h"
#include "base/Utf8.h"
#include "regtool/Failure.h"

namespace regtool {
namespace {

struct CodePage {
  std::array<char32_t, 256> characters{};
  std::unordered_map<char32_t, char> bytes;
};

const CodePage& Table() {
  static const CodePage table = [] {
    CodePage page;
    for (int byte = 0; byte < 256; ++byte) {
      const std::string utf8 = base::Windows1252ToUtf8(std::string(1, static_cast<char>(byte)));
      std::size_t i = 0;
      page.characters[byte] = base::NextUtf8(utf8, i).value_or(U'\uFFFD');
      page.bytes.emplace(page.characters[byte], static_cast<char>(byte));
    }
    return page;
  }();
  return table;
}

}  // namespace

std::optional<char> ToAnsiByte(char32_t code) {
  const auto& bytes = Table().bytes;
  const auto it = bytes.find(code);
  if (it == bytes.end()) return std::nullopt;
  return it->second;
}

char32_t FromAnsiByte(char byte) { return Table().characters[static_cast<unsigned char>(byte)]; }

bool IsControl(char32_t code) { return code < 0x20 || (code >= 0x7F && code < 0xA0); }

std::string CharacterName(char32_t code) {
  char name[16];
  std::snprintf(name, sizeof name, "U+%04X", static_cast<unsigned>(code));
  if (IsControl(code)) return name;
  std::string shown = std::string(name) + " (";
  base::AppendUtf8(shown, code);
  return shown + ")";
}

std::string MissingFromCodePage(char32_t code) {
  return CharacterName(code) + " is not in Windows-1252, the registry's code page here";
}

std::u32string Characters(std::string_view utf8) {
  std::u32string text;
  for (std::size_t i = 0; i < utf8.size();) {
    const std::optional<char32_t> code = base::NextUtf8(utf8, i);
    if (!code) throw Failure{"ERROR: An argument holds bytes that are not valid UTF-8."};
    text += *code;
  }
  return text;
}

std::string Ansi(std::string_view utf8) {
  std::string ansi;
  for (const char32_t code : Characters(utf8)) {
    const std::optional<char> byte = ToAnsiByte(code);
    if (!byte) throw Failure{"ERROR: " + MissingFromCodePage(code) + "."};
    ansi += *byte;
  }
  return ansi;
}

}  // namespace regtool
