#include "base/Utf8.h"

#include <cstdint>
#include <cstring>

#include "base/LittleEndian.h"

namespace base {

std::optional<char32_t> NextUtf8(std::string_view text, std::size_t& i) {
  const auto lead = static_cast<unsigned char>(text[i++]);
  if (lead < 0x80) return lead;
  const int extra = lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC0 ? 1 : 0;
  if (extra == 0 || lead > 0xF4) return std::nullopt;
  char32_t code = lead & (0x3F >> extra);
  for (int k = 0; k < extra; ++k) {
    if (i >= text.size() || (static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) return std::nullopt;
    code = code << 6 | (static_cast<unsigned char>(text[i++]) & 0x3F);
  }
  // The least character that needs as many continuation bytes.
  constexpr char32_t kLeast[] = {0, 0x80, 0x800, 0x10000};
  if (code < kLeast[extra] || (code >= 0xD800 && code < 0xE000) || code > 0x10FFFF) return std::nullopt;
  return code;
}

void AppendUtf8(std::string& text, char32_t code) {
  if (code < 0x80) {
    text += static_cast<char>(code);
  } else if (code < 0x800) {
    text += static_cast<char>(0xC0 | (code >> 6));
    text += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    text += static_cast<char>(0xE0 | (code >> 12));
    text += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    text += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    text += static_cast<char>(0xF0 | (code >> 18));
    text += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    text += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    text += static_cast<char>(0x80 | (code & 0x3F));
  }
}

bool IsAscii(std::string_view text) {
  // Eight bytes at a time: a byte beyond ASCII has its top bit set.
  constexpr std::uint64_t kTopBits = 0x8080808080808080;
  std::size_t i = 0;
  for (; i + 8 <= text.size(); i += 8) {
    std::uint64_t word;
    std::memcpy(&word, text.data() + i, 8);
    if (word & kTopBits) return false;
  }
  for (; i < text.size(); ++i)
    if (static_cast<unsigned char>(text[i]) >= 0x80) return false;
  return true;
}

bool IsUtf8(std::string_view text) {
  for (std::size_t i = 0; i < text.size();)
    if (!NextUtf8(text, i)) return false;
  return true;
}

namespace {

// The surrogate that AppendUtf8 spelt at text[i] (ED A0..BF 80..BF), moving i past it.
std::optional<char32_t> NextSurrogate(std::string_view text, std::size_t& i) {
  if (text.size() - i < 3 || static_cast<unsigned char>(text[i]) != 0xED) return std::nullopt;
  const auto second = static_cast<unsigned char>(text[i + 1]);
  const auto third = static_cast<unsigned char>(text[i + 2]);
  if (second < 0xA0 || second > 0xBF || (third & 0xC0) != 0x80) return std::nullopt;
  i += 3;
  return 0xD000 | char32_t{second & 0x3Fu} << 6 | (third & 0x3Fu);
}

}  // namespace

std::u16string Utf16Units(std::string_view bytes) {
  std::u16string units(bytes.size() / 2, u'\0');
  for (std::size_t i = 0; i < units.size(); ++i)
    units[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                     static_cast<unsigned char>(bytes[2 * i + 1]) << 8);
  return units;
}

char32_t NextUtf16(std::u16string_view text, std::size_t& i) {
  const char32_t first = text[i++];
  if (first >= 0xD800 && first < 0xDC00 && i < text.size() && text[i] >= 0xDC00 && text[i] < 0xE000)
    return 0x10000 + ((first - 0xD800) << 10) + (text[i++] - 0xDC00);
  return first;
}

void AppendUtf16Le(std::string& bytes, char32_t code) {
  const auto put = [&](char32_t unit) { AppendLittleEndian(&bytes, unit, sizeof(char16_t)); };
  if (code < 0x10000) {
    put(code);
  } else {
    put(0xD800 + ((code - 0x10000) >> 10));
    put(0xDC00 + ((code - 0x10000) & 0x3FF));
  }
}

std::string Utf8ToUtf16Le(std::string_view utf8) {
  std::string utf16;
  utf16.reserve(2 * utf8.size());
  for (std::size_t i = 0; i < utf8.size();) {
    if (static_cast<unsigned char>(utf8[i]) < 0x80) {  // most texts are mostly ASCII
      utf16 += utf8[i++];
      utf16 += '\0';
      continue;
    }
    std::optional<char32_t> code = NextSurrogate(utf8, i);
    if (!code) code = NextUtf8(utf8, i).value_or(U'\uFFFD');
    AppendUtf16Le(utf16, *code);
  }
  return utf16;
}

std::string Utf16LeToUtf8(std::string_view utf16) {
  std::string utf8;
  utf8.reserve(utf16.size() / 2);
  // Most texts are ASCII: their units cross a byte each, up to the first unit that is not.
  std::size_t i = 0;
  for (; i + 1 < utf16.size() && utf16[i + 1] == '\0' && static_cast<unsigned char>(utf16[i]) < 0x80; i += 2)
    utf8 += utf16[i];
  const std::u16string units = Utf16Units(utf16.substr(i));
  for (std::size_t k = 0; k < units.size();) AppendUtf8(utf8, NextUtf16(units, k));
  return utf8;
}

}  // namespace base
