// Bytes as upper-case hex digits, two a byte and nothing between them: how binary data are
// shown, by the program's slots and by vantor-reg alike.
#pragma once

#include <string>
#include <string_view>

namespace base {

inline std::string UpperHex(std::string_view bytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text;
  text.reserve(2 * bytes.size());
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    text += kDigits[byte >> 4];
    text += kDigits[byte & 0xF];
  }
  return text;
}

}  // namespace base
