// Numbers as little-endian bytes: the byte order of the registry's DWORD and QWORD data and
// of the Wine bridge's frames.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace base {

// Appends the number's low width bytes, lowest first.
inline void AppendLittleEndian(std::string* bytes, std::uint64_t number, std::size_t width) {
  for (std::size_t i = 0; i < width; ++i) *bytes += static_cast<char>(number >> (8 * i));
}

// The number that bytes spell, lowest byte first; at most its first 8 bytes count.
inline std::uint64_t ReadLittleEndian(std::string_view bytes) {
  std::uint64_t number = 0;
  for (std::size_t i = 0; i < bytes.size() && i < 8; ++i)
    number |= std::uint64_t{static_cast<unsigned char>(bytes[i])} << (8 * i);
  return number;
}

}  // namespace base
