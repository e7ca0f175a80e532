// Windows-1252, the ANSI code page of the hive: what a western Windows would store.
#pragma once

#include <string>
#include <string_view>

namespace base {

// A character the code page lacks becomes '?', and so does each malformed UTF-8 sequence
// (Utf8.h); every byte converts back.
std::string Utf8ToWindows1252(std::string_view utf8);
std::string Windows1252ToUtf8(std::string_view ansi);

// Whether the code page has the character.
bool InWindows1252(char32_t code);

}  // namespace base
