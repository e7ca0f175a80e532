// Encodings at vantor-reg's edges, with the code page taken from the platform layer so
// that the tool and the registry functions can never disagree about a byte.
#include "AnsiText.h"

#include <array>
#include <cstdio>
#include <unordered_map>

#include "CodePage1252.h"

namespace regtool {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

struct CodePage {
  std::array<char32_t, 256> characters{};
  std::unordered_map<char32_t, char> bytes;
};

const CodePage& Table() {
  static const CodePage table = [] {
    CodePage page;
    for (int byte = 0; byte < 256; ++byte) {
      const std::u32string character =
          DecodeUtf8(platform::Windows1252ToUtf8(std::string(1, static_cast<char>(byte))));
      page.characters[byte] = character.size() == 1 ? character[0] : kReplacement;
      page.bytes.emplace(page.characters[byte], static_cast<char>(byte));
    }
    return page;
  }();
  return table;
}

char32_t FromAnsiByte(unsigned char byte) { return Table().characters[byte]; }

std::optional<char> ToAnsiByte(char32_t code) {
  const auto& bytes = Table().bytes;
  const auto it = bytes.find(code);
  if (it == bytes.end()) return std::nullopt;
  return it->second;
}

}  // namespace

std::u32string DecodeUtf8(std::string_view utf8) {
  std::u32string text;
  for (std::size_t i = 0; i < utf8.size();) {
    const auto lead = static_cast<unsigned char>(utf8[i++]);
    const int extra = lead < 0x80 ? 0 : lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC0 ? 1 : -1;
    if (extra < 0 || lead > 0xF4) {
      text += kReplacement;
      continue;
    }
    char32_t code = extra == 0 ? lead : lead & (0x3F >> extra);
    bool complete = true;
    for (int k = 0; k < extra; ++k, ++i) {
      if (i >= utf8.size() || (static_cast<unsigned char>(utf8[i]) & 0xC0) != 0x80) {
        complete = false;
        break;
      }
      code = (code << 6) | (static_cast<unsigned char>(utf8[i]) & 0x3F);
    }
    const bool surrogate = code >= 0xD800 && code < 0xE000;
    text += complete && !surrogate && code <= 0x10FFFF ? code : kReplacement;
  }
  return text;
}

std::string EncodeUtf8(std::u32string_view text) {
  std::string utf8;
  for (const char32_t code : text) {
    if (code < 0x80) {
      utf8 += static_cast<char>(code);
    } else if (code < 0x800) {
      utf8 += static_cast<char>(0xC0 | (code >> 6));
      utf8 += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
      utf8 += static_cast<char>(0xE0 | (code >> 12));
      utf8 += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      utf8 += static_cast<char>(0x80 | (code & 0x3F));
    } else {
      utf8 += static_cast<char>(0xF0 | (code >> 18));
      utf8 += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
      utf8 += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      utf8 += static_cast<char>(0x80 | (code & 0x3F));
    }
  }
  return utf8;
}

std::u32string DecodeUtf16(std::string_view bytes) {
  std::u32string text;
  const auto unit = [&](std::size_t i) {
    return static_cast<char32_t>(static_cast<unsigned char>(bytes[i]) |
                                 static_cast<unsigned char>(bytes[i + 1]) << 8);
  };
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    const char32_t first = unit(i);
    if (first >= 0xD800 && first < 0xDC00 && i + 3 < bytes.size()) {
      const char32_t second = unit(i + 2);
      if (second >= 0xDC00 && second < 0xE000) {
        text += 0x10000 + ((first - 0xD800) << 10) + (second - 0xDC00);
        i += 2;
        continue;
      }
    }
    text += first >= 0xD800 && first < 0xE000 ? kReplacement : first;
  }
  return text;
}

std::string EncodeUtf16(std::u32string_view text) {
  std::string bytes;
  const auto put = [&](char32_t unit) {
    bytes += static_cast<char>(unit & 0xFF);
    bytes += static_cast<char>(unit >> 8);
  };
  for (const char32_t code : text) {
    if (code < 0x10000) {
      put(code);
    } else {
      put(0xD800 + ((code - 0x10000) >> 10));
      put(0xDC00 + ((code - 0x10000) & 0x3FF));
    }
  }
  return bytes;
}

AnsiResult ToAnsiBytes(std::u32string_view text) {
  AnsiResult result;
  result.bytes.reserve(text.size());
  for (const char32_t code : text) {
    const std::optional<char> byte = ToAnsiByte(code);
    if (!byte) {
      result.missing = code;
      break;
    }
    result.bytes += *byte;
  }
  return result;
}

std::u32string FromAnsiBytes(std::string_view bytes) {
  std::u32string text;
  text.reserve(bytes.size());
  for (const char byte : bytes) text += FromAnsiByte(static_cast<unsigned char>(byte));
  return text;
}

std::string CodePointName(char32_t code) {
  char name[16];
  std::snprintf(name, sizeof name, "U+%04X", static_cast<unsigned>(code));
  return name;
}

}  // namespace regtool
