#include "base/WideText.h"

#include <cstring>

#include "base/Utf8.h"

namespace base {

static_assert(sizeof(wchar_t) == 2, "UTF-16 units");

std::wstring Wide(std::string_view text, UINT codePage) {
  if (codePage == CP_UTF8) {
    const std::string utf16 = Utf8ToUtf16Le(text);
    std::wstring wide(utf16.size() / 2, L'\0');
    std::memcpy(wide.data(), utf16.data(), utf16.size());
    return wide;
  }
  if (text.empty()) return {};
  const int inLength = static_cast<int>(text.size());
  const int length = MultiByteToWideChar(codePage, 0, text.data(), inLength, nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(codePage, 0, text.data(), inLength, wide.data(), length);
  return wide;
}

std::string Utf8(std::wstring_view wide) {
  return Utf16LeToUtf8({reinterpret_cast<const char*>(wide.data()), 2 * wide.size()});
}

std::string Narrow(std::wstring_view wide, UINT codePage) {
  if (wide.empty()) return {};
  // UTF-8 takes neither flags nor a default character.
  const bool utf8 = codePage == CP_UTF8;
  const DWORD flags = utf8 ? 0 : WC_NO_BEST_FIT_CHARS;
  const char* defaultChar = utf8 ? nullptr : "?";
  const int inLength = static_cast<int>(wide.size());
  const int length = WideCharToMultiByte(codePage, flags, wide.data(), inLength, nullptr, 0, defaultChar, nullptr);
  std::string text(static_cast<std::size_t>(length), '\0');
  WideCharToMultiByte(codePage, flags, wide.data(), inLength, text.data(), length, defaultChar, nullptr);
  return text;
}

}  // namespace base
