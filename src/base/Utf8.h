// UTF-8 as Unicode defines it, the one codec of the program's UTF-8 text: a byte sequence
// either is one character's shortest form or is refused, so that no other spelling of a
// zero or a backslash slips past a check made on the bytes. And UTF-16, for the registry's
// wide functions.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace base {

// The character of the UTF-8 sequence at text[i], moving i past the sequence. A malformed
// sequence gives nothing: a byte that starts none (one byte), or a lead byte with the
// continuation bytes that follow it when they are too few, spell a character in more bytes
// than it needs (C0 80 for U+0000), or spell a surrogate or a number above U+10FFFF.
std::optional<char32_t> NextUtf8(std::string_view text, std::size_t& i);

// Appends a character, at most U+10FFFF. A surrogate, which no UTF-8 text holds, gets the
// three bytes its number would take (ED A0 80 to ED BF BF), as Utf16LeToUtf8 keeps a lone one.
void AppendUtf8(std::string& text, char32_t code);

bool IsUtf8(std::string_view text);

// Plain ASCII reads the same in UTF-8 and in every ANSI code page.
bool IsAscii(std::string_view text);

// UTF-16 units from UTF-16LE bytes; an odd last byte is no unit and is left out.
std::u16string Utf16Units(std::string_view bytes);

// The character at text[i] in UTF-16, a surrogate pair taken whole, moving i past it; a
// lone surrogate is itself (see AppendUtf8).
char32_t NextUtf16(std::u16string_view text, std::size_t& i);

// Appends a character in UTF-16LE: one unit, or a surrogate pair above U+FFFF.
void AppendUtf16Le(std::string& bytes, char32_t code);

// UTF-16 as the registry's wide functions hold string data: little-endian units, as bytes.
// The registry takes any sequence of units, so a text read from it must go back unchanged:
// a lone surrogate crosses as its three bytes (see AppendUtf8) and back, the one form
// beyond UTF-8 these two take (NextUtf8 and IsUtf8 still refuse it). Any other malformed
// UTF-8 sequence becomes U+FFFD; an odd last byte is no unit and is left out.
std::string Utf8ToUtf16Le(std::string_view utf8);
std::string Utf16LeToUtf8(std::string_view utf16);

}  // namespace base
