// Text as vantor-reg meets it: UTF-8 on the command line and the terminal, UTF-16LE in
// version 5 .reg files, Windows-1252 (ANSI) bytes in the registry. Conversions go
// through code points; the code page itself is the platform's (platform::Windows1252ToUtf8).
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace regtool {

// The code points of UTF-8 text; a malformed sequence becomes U+FFFD.
std::u32string DecodeUtf8(std::string_view utf8);
std::string EncodeUtf8(std::u32string_view text);

// The code points of UTF-16LE bytes; a lone surrogate becomes U+FFFD. An odd last byte is
// not a character: the caller decides what it means.
std::u32string DecodeUtf16(std::string_view bytes);
std::string EncodeUtf16(std::u32string_view text);

// All of the text in ANSI bytes, or the first character that Windows-1252 lacks.
struct AnsiResult {
  std::string bytes;
  std::optional<char32_t> missing;
};
AnsiResult ToAnsiBytes(std::u32string_view text);
std::u32string FromAnsiBytes(std::string_view bytes);

// "U+0416" for messages.
std::string CodePointName(char32_t code);

}  // namespace regtool
