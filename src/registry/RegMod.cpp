#include "registry/RegMod.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "base/LittleEndian.h"
#include "base/UpperHex.h"
#include "base/Utf8.h"

namespace registry {
namespace {

platform::Registry* g_registry = nullptr;

// A DWORD's text: decimal, padded with zeros to at least three digits ("042", "1234"). A
// slot that another program stored as a DWORD is listed, and saved back, in this form.
constexpr const char* kDwordFormat = "%03lu";

std::string DwordText(std::string_view data) {
  char text[16];
  std::snprintf(text, sizeof text, kDwordFormat, static_cast<unsigned long>(base::ReadLittleEndian(data.substr(0, 4))));
  return text;
}

// The data less their terminator: the last unit (a UTF-16 unit of a string type's data, a
// byte of any other type's), only when it is zero. Data that end without one, as another
// program may store them, keep every character.
std::string_view LessTerminator(std::string_view data, std::size_t unit) {
  if (data.size() < unit || data.find_first_not_of('\0', data.size() - unit) != std::string_view::npos) return data;
  return data.substr(0, data.size() - unit);
}

// An odd last byte is no UTF-16 unit: the conversion leaves it out.
std::string WideStringText(std::string_view data) {
  return base::Utf16LeToUtf8(LessTerminator(data.substr(0, data.size() & ~std::size_t{1}), 2));
}

// The data of any other type, in the ANSI code page, one character a byte.
std::string StringText(platform::Registry& current, std::string_view data) {
  return current.FromAnsi(LessTerminator(data, 1));
}

// The text of a number as a signed 32-bit integer, rounded half to even; false when the
// text is no number or the number doesn't fit.
bool ToInt32(const std::string& text, std::int32_t* number) {
  const char* begin = text.c_str();
  char* end = nullptr;
  const double value = std::strtod(begin, &end);
  if (end == begin) return false;
  while (*end == ' ') ++end;
  if (*end != '\0' || !std::isfinite(value)) return false;
  const double rounded = std::nearbyint(value);
  if (rounded < INT32_MIN || rounded > INT32_MAX) return false;
  *number = static_cast<std::int32_t>(rounded);
  return true;
}

}  // namespace

void UseRegistry(platform::Registry& chosen) { g_registry = &chosen; }

platform::Registry& CurrentRegistry() { return g_registry ? *g_registry : platform::Registry::Default(); }

std::string GetRegValue(RegKey root, const std::string& keyPath, const std::string& valueName) {
  platform::Registry& current = CurrentRegistry();
  platform::Key key(current);
  current.OpenKey(root, current.ToAnsi(keyPath), key.Receive());
  const std::string name = current.ToAnsi(valueName);
  std::uint32_t type = 0;
  std::string data;
  const long result = platform::ReadWholeValue(
      [&](std::uint32_t* typeOut, std::uint8_t* bytes, std::uint32_t* size) {
        return current.QueryValueWide(key.get(), name, typeOut, bytes, size);
      },
      &type, &data);
  key.Close();

  if (result != platform::kSuccess) return kNotFound;
  switch (type) {
    case platform::kRegDword:
      return DwordText(data);
    case platform::kRegBinary:
      return base::UpperHex(data);
    default:
      return platform::IsStringType(type) ? WideStringText(data) : StringText(current, data);
  }
}

void SetRegValue(RegKey root, const std::string& keyPath, const std::string& valueName, ValueType type,
                 const std::string& value) {
  platform::Registry& current = CurrentRegistry();
  platform::Key key(current);
  current.CreateKey(root, current.ToAnsi(keyPath), key.Receive());
  const std::string name = current.ToAnsi(valueName);
  if (type == ValueType::Dword) {
    std::int32_t number = 0;
    if (ToInt32(value, &number)) {
      std::string bytes;
      base::AppendLittleEndian(&bytes, static_cast<std::uint32_t>(number), 4);
      current.SetValue(key.get(), name, platform::kRegDword, reinterpret_cast<const std::uint8_t*>(bytes.data()), 4);
    }
  } else {
    std::string data = base::Utf8ToUtf16Le(value);
    data.append(2, '\0');
    current.SetValueWide(key.get(), name, platform::kRegSz, reinterpret_cast<const std::uint8_t*>(data.data()),
                         static_cast<std::uint32_t>(data.size()));
  }
  current.FlushKey(key.get());
}

void DeleteRegValue(RegKey root, const std::string& keyPath, const std::string& valueName) {
  platform::Registry& current = CurrentRegistry();
  platform::Key key(current);
  current.OpenKey(root, current.ToAnsi(keyPath), key.Receive());
  current.DeleteValue(key.get(), current.ToAnsi(valueName));
}

std::string GetLastUser() { return GetRegValue(platform::kCurrentUser, kPagerKey, kLastUserValue); }

std::string CustomMessageKey() { return kProfilesKey + GetLastUser() + kCustomMsgsSubkey; }

}  // namespace registry
