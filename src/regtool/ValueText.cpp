// Value types and data between the registry's bytes and the command line's text.
#include "regtool/ValueText.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <map>

#include "base/LittleEndian.h"
#include "base/UpperHex.h"
#include "base/Utf8.h"
#include "regtool/AnsiText.h"
#include "regtool/Arguments.h"

namespace regtool {
namespace {

// Two zeros end a string list: the last string's and the list's.
constexpr std::size_t kMultiStringEnd = 2;

const std::map<std::uint32_t, std::string>& TypeNames() {
  static const std::map<std::uint32_t, std::string> names = {
      {platform::kRegNone, "REG_NONE"},
      {platform::kRegSz, "REG_SZ"},
      {platform::kRegExpandSz, "REG_EXPAND_SZ"},
      {platform::kRegBinary, "REG_BINARY"},
      {platform::kRegDword, "REG_DWORD"},
      {platform::kRegDwordBigEndian, "REG_DWORD_BIG_ENDIAN"},
      {platform::kRegLink, "REG_LINK"},
      {platform::kRegMultiSz, "REG_MULTI_SZ"},
      {platform::kRegResourceList, "REG_RESOURCE_LIST"},
      {platform::kRegFullResourceDescriptor, "REG_FULL_RESOURCE_DESCRIPTOR"},
      {platform::kRegResourceRequirementsList, "REG_RESOURCE_REQUIREMENTS_LIST"},
      {platform::kRegQword, "REG_QWORD"}};
  return names;
}

std::size_t NumberSize(std::uint32_t type) { return type == platform::kRegDword ? kDwordSize : kQwordSize; }

std::string MultiStringText(platform::Registry& registry, const std::string& data) {
  std::string shown;
  const std::size_t length = data.size() > kMultiStringEnd ? data.size() - kMultiStringEnd : 0;
  for (const char c : registry.FromAnsi(data.substr(0, length)))
    shown += c == '\0' ? std::string("\\0") : std::string(1, c);
  return shown;
}

// "A\0B" as the strings A and B, each ending in a zero, and the zero that ends the list.
std::string MultiStringBytes(const std::string& text) {
  std::string bytes;
  for (std::size_t begin = 0; begin < text.size();) {
    std::size_t end = text.find("\\0", begin);
    if (end == std::string::npos) end = text.size();
    // An empty string would end the list early; only the last may be empty.
    if (end == begin) throw Failure{"ERROR: Invalid syntax. REG_MULTI_SZ data can't hold an empty string."};
    bytes += Ansi(text.substr(begin, end - begin)) + '\0';
    begin = end + 2;
  }
  return bytes + '\0';
}

// A number in decimal or 0x hex that fits the type.
std::string NumberBytes(std::uint32_t type, const std::string& text) {
  const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
  const std::string digits = hex ? text.substr(2) : text;
  const unsigned long long limit = type == platform::kRegDword ? 0xFFFFFFFFull : ~0ull;
  errno = 0;
  char* end = nullptr;
  const unsigned long long number = std::strtoull(digits.c_str(), &end, hex ? 16 : 10);
  if (digits.empty() || !std::isxdigit(static_cast<unsigned char>(digits[0])) || *end != '\0' || errno == ERANGE ||
      number > limit) {
    throw Failure{"ERROR: Invalid syntax. Specify a valid numeric value for /d."};
  }
  std::string bytes;
  base::AppendLittleEndian(&bytes, number, NumberSize(type));
  return bytes;
}

// Hex digits, two a byte; an odd count starts with a byte of one digit, as reg.exe reads it.
std::string BinaryBytes(const std::string& text) {
  std::string bytes;
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t length = (text.size() - i) % 2 == 1 ? 1 : 2;
    const std::string digits = text.substr(i, length);
    if (!std::all_of(digits.begin(), digits.end(), [](unsigned char c) { return std::isxdigit(c); }))
      throw Failure{"ERROR: Invalid syntax. Specify a valid hexadecimal value for /d."};
    bytes += static_cast<char>(std::stoi(digits, nullptr, 16));
    i += length;
  }
  return bytes;
}

// reg.exe stores REG_NONE's text in UTF-16, as Windows keeps strings.
std::string Utf16Bytes(const std::string& text) {
  std::string bytes;
  for (const char32_t code : Characters(text) + U'\0') base::AppendUtf16Le(bytes, code);
  return bytes;
}

}  // namespace

std::string TypeName(std::uint32_t type) {
  const auto name = TypeNames().find(type);
  if (name != TypeNames().end()) return name->second;
  char number[16];
  std::snprintf(number, sizeof number, "0x%x", static_cast<unsigned>(type));
  return number;
}

std::optional<std::uint32_t> AddableType(const std::string& name) {
  const std::string upper = AsciiUpper(name);
  for (const std::uint32_t type : {platform::kRegSz, platform::kRegExpandSz, platform::kRegMultiSz, platform::kRegDword,
                                   platform::kRegQword, platform::kRegBinary, platform::kRegNone}) {
    if (TypeNames().at(type) == upper) return type;
  }
  return std::nullopt;
}

std::string DataText(platform::Registry& registry, const RegValue& value) {
  const std::string& data = value.data;
  switch (value.type) {
    case platform::kRegSz:
    case platform::kRegExpandSz:
      return registry.FromAnsi(data.substr(0, data.find('\0')));
    case platform::kRegMultiSz:
      return MultiStringText(registry, data);
    case platform::kRegDword:
    case platform::kRegQword:
      if (data.size() == NumberSize(value.type)) {
        char number[24];
        std::snprintf(number, sizeof number, "0x%llx", static_cast<unsigned long long>(base::ReadLittleEndian(data)));
        return number;
      }
      break;
  }
  return base::UpperHex(data);
}

std::string DataBytes(std::uint32_t type, const std::optional<std::string>& data) {
  const std::string text = data.value_or("");
  switch (type) {
    case platform::kRegSz:
    case platform::kRegExpandSz:
      return Ansi(text) + '\0';
    case platform::kRegMultiSz:
      return MultiStringBytes(text);
    case platform::kRegDword:
    case platform::kRegQword:
      return NumberBytes(type, text);
    case platform::kRegBinary:
      return BinaryBytes(text);
    default:
      return Utf16Bytes(text);
  }
}

}  // namespace regtool
