#include <array>
#include <cstdint>

#include "base/CodePage1252.h"
#include "base/Utf8.h"

namespace base {
namespace {

// Code points of the bytes 0x80..0x9F. The five bytes 1252 leaves undefined map to the
// C1 controls of the same number, as Windows maps them, so every byte survives a round trip.
constexpr std::array<char32_t, 32> kHighControls = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                                    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                                    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                                    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

char ToByte(char32_t code) {
  if (code < 0x80 || (code >= 0xA0 && code <= 0xFF)) return static_cast<char>(code);
  for (std::size_t i = 0; i < kHighControls.size(); ++i)
    if (kHighControls[i] == code) return static_cast<char>(0x80 + i);
  return '?';
}

char32_t FromByte(unsigned char byte) {
  return byte >= 0x80 && byte < 0xA0 ? kHighControls[byte - 0x80] : char32_t{byte};
}

}  // namespace

bool InWindows1252(char32_t code) { return code == U'?' || ToByte(code) != '?'; }

std::string Utf8ToWindows1252(std::string_view utf8) {
  // Plain ASCII, as most key paths and names are, needs no conversion.
  if (IsAscii(utf8)) return std::string(utf8);
  std::string ansi;
  ansi.reserve(utf8.size());
  // A malformed sequence is a character the code page lacks, like any other.
  for (std::size_t i = 0; i < utf8.size();) ansi += ToByte(NextUtf8(utf8, i).value_or(U'\uFFFD'));
  return ansi;
}

std::string Windows1252ToUtf8(std::string_view ansi) {
  if (IsAscii(ansi)) return std::string(ansi);
  std::string utf8;
  utf8.reserve(ansi.size());
  for (const char byte : ansi) AppendUtf8(utf8, FromByte(static_cast<unsigned char>(byte)));
  return utf8;
}

}  // namespace base
