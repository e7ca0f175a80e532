// Characters as vantor-reg meets them: UTF-8 from the command line and the terminal in the
// registry's Windows-1252 (ANSI) bytes and back, one character at a time, through code
// points, and characters named for messages. The code page is the platform's
// (base::Windows1252ToUtf8), and so are UTF-8 and UTF-16 (base/Utf8.h).
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace regtool {

// The characters of a command-line argument; throws a Failure unless it is UTF-8.
std::u32string Characters(std::string_view utf8);
// UTF-8 from the command line in the registry's ANSI bytes; throws a Failure for a
// character the code page lacks.
std::string Ansi(std::string_view utf8);

// The byte of a character in Windows-1252, or nothing when the code page lacks it; and the
// character of a byte, which every byte has.
std::optional<char> ToAnsiByte(char32_t code);
char32_t FromAnsiByte(char byte);

// A C0 or C1 control character, U+007F among them.
bool IsControl(char32_t code);

// "U+0416 (Ж)" for messages; a control character by its number alone.
std::string CharacterName(char32_t code);
// Why a character can't go into the registry: "U+0416 (Ж) is not in Windows-1252, ...".
std::string MissingFromCodePage(char32_t code);

}  // namespace regtool
