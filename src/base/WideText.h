// Texts between bytes in a code page (UTF-8 unless told) and the UTF-16 of the Windows API.
// The Windows headers come in through here, with the UTF-16 forms of the API throughout and
// no min and max macros.
#pragma once

#ifndef UNICODE
#define UNICODE
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <string>
#include <string_view>

namespace base {

// By explicit lengths, so zero characters inside the text survive. Into a code page other
// than UTF-8, a character it lacks becomes '?', never a best-fit look-alike. From UTF-8 (the
// default), and back in Utf8, the text goes through the program's own codec (Utf8.h), which
// keeps a lone surrogate both ways where Windows' makes it U+FFFD.
std::wstring Wide(std::string_view text, UINT codePage = CP_UTF8);
std::string Narrow(std::wstring_view wide, UINT codePage);
std::string Utf8(std::wstring_view wide);

}  // namespace base
