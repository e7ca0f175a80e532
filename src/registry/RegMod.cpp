#include "registry/RegMod.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "platform/Utf8.h"

namespace regmod {
namespace {

platform::Registry* g_registry = nullptr;

// The buffer of the first query; a larger value is read again with its own size.
constexpr std::uint32_t kFirstBufferSize = 2048;

std::string DwordText(const std::vector<std::uint8_t>& data, std::uint32_t length) {
  std::uint32_t number = 0;
  for (std::uint32_t i = 0; i < 4 && i < length; ++i) number |= std::uint32_t{data[i]} << (8 * i);
  char text[16];
  std::snprintf(text, sizeof text, "%03lu", static_cast<unsigned long>(number));
  return text;
}

std::string BinaryText(const std::vector<std::uint8_t>& data, std::uint32_t length) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text;
  text.reserve(2 * length);
  for (std::uint32_t i = 0; i < length; ++i) {
    text += kDigits[data[i] >> 4];
    text += kDigits[data[i] & 0xF];
  }
  return text;
}

// The data of a string type in UTF-16, less the unit taken for its terminator; an odd last
// byte is that unit.
std::string WideStringText(const std::vector<std::uint8_t>& data, std::uint32_t length) {
  const std::uint32_t units = length == 0 ? 0 : (length + 1) / 2 - 1;
  return platform::Utf16LeToUtf8(std::string_view(reinterpret_cast<const char*>(data.data()), 2 * units));
}

// The data of any other type, in the ANSI code page, less the byte taken for a terminator.
std::string StringText(platform::Registry& registry, const std::vector<std::uint8_t>& data,
                       std::uint32_t length) {
  if (length == 0) return {};
  return registry.FromAnsi(
      std::string_view(reinterpret_cast<const char*>(data.data()), length - 1));
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

void UseRegistry(platform::Registry& registry) { g_registry = &registry; }

platform::Registry& CurrentRegistry() { return g_registry ? *g_registry : platform::Registry::Default(); }

std::string GetRegValue(RegKey root, const std::string& keyPath, const std::string& valueName) {
  platform::Registry& registry = CurrentRegistry();
  RegKey key = platform::kNoKey;
  registry.OpenKey(root, registry.ToAnsi(keyPath), &key);
  const std::string name = registry.ToAnsi(valueName);

  std::vector<std::uint8_t> data(kFirstBufferSize);
  std::uint32_t type = 0;
  std::uint32_t length = kFirstBufferSize;
  long result = registry.QueryValueWide(key, name, &type, data.data(), &length);
  // The value may grow between two queries: ask again until it fits.
  while (result == platform::kMoreData) {
    data.resize(length);
    result = registry.QueryValueWide(key, name, &type, data.data(), &length);
  }
  registry.CloseKey(key);

  if (result != platform::kSuccess) return kNotFound;
  switch (type) {
    case platform::kRegDword: return DwordText(data, length);
    case platform::kRegBinary: return BinaryText(data, length);
    default:
      return platform::IsStringType(type) ? WideStringText(data, length) : StringText(registry, data, length);
  }
}

void SetRegValue(RegKey root, const std::string& keyPath, const std::string& valueName,
                 ValueType type, const std::string& value) {
  platform::Registry& registry = CurrentRegistry();
  RegKey key = platform::kNoKey;
  registry.CreateKey(root, registry.ToAnsi(keyPath), &key);
  const std::string name = registry.ToAnsi(valueName);
  if (type == ValueType::Dword) {
    std::int32_t number = 0;
    if (ToInt32(value, &number)) {
      const auto bits = static_cast<std::uint32_t>(number);
      const std::uint8_t bytes[4] = {static_cast<std::uint8_t>(bits), static_cast<std::uint8_t>(bits >> 8),
                                     static_cast<std::uint8_t>(bits >> 16),
                                     static_cast<std::uint8_t>(bits >> 24)};
      registry.SetValue(key, name, platform::kRegDword, bytes, 4);
    }
  } else {
    const std::string data = platform::Utf8ToUtf16Le(value) + std::string(2, '\0');
    registry.SetValueWide(key, name, platform::kRegSz, reinterpret_cast<const std::uint8_t*>(data.data()),
                          static_cast<std::uint32_t>(data.size()));
  }
  registry.FlushKey(key);
  registry.CloseKey(key);
}

void DeleteRegValue(RegKey root, const std::string& keyPath, const std::string& valueName) {
  platform::Registry& registry = CurrentRegistry();
  RegKey key = platform::kNoKey;
  registry.OpenKey(root, registry.ToAnsi(keyPath), &key);
  registry.DeleteValue(key, registry.ToAnsi(valueName));
  registry.CloseKey(key);
}

std::string GetLastUser() { return GetRegValue(platform::kCurrentUser, kPagerKey, kLastUserValue); }

std::string CustomMessageKey() { return kProfilesKey + GetLastUser() + kCustomMsgsSubkey; }

}  // namespace regmod
