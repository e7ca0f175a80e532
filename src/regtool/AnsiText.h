// Text as vantor-reg meets it: UTF-8 on the command line and the terminal, UTF-16LE in
// version 5 .reg files, Windows-1252 (ANSI) bytes in the registry. Conversions go one
// character at a time, through code points; the code page is the platform's
// (base::Windows1252ToUtf8), and so are UTF-8 and UTF-16 (base/Utf8.h).
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace regtool {

// The byte of a character in Windows-1252, or nothing when the code page lacks it; and the
// character of a byte, which every byte has.
std::optional<char> ToAnsiByte(char32_t code);
char32_t FromAnsiByte(char byte);

// A C0 or C1 control character, U+007F among them.
bool IsControl(char32_t code);

// Text with its ASCII letters in one case, every other byte as it is.
std::string AsciiUpper(std::string text);
std::string AsciiLower(std::string text);

// "U+0416 (Ж)" for messages; a control character by its number alone.
std::string CharacterName(char32_t code);
// Why a character can't go into the registry: "U+0416 (Ж) is not in Windows-1252, ...".
std::string MissingFromCodePage(char32_t code);

}  // namespace regtool
