// Values under HKEY_CURRENT_USER as the registry functions store them, type and bytes,
// written and read past RegMod: for the tests that seed the registry or check what the
// program left in it.
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>

#include "base/Utf8.h"
#include "platform/Registry.h"

struct RawValue {
  std::uint32_t type = 0;
  std::string bytes;
  bool operator==(const RawValue&) const = default;
};

inline std::ostream& operator<<(std::ostream& out, const RawValue& value) {
  return out << "type " << value.type << " \"" << value.bytes << '"';
}

// A REG_SZ value as stored: the text and its terminating zero, in the ANSI code page or,
// as the wide calls give it, in UTF-16.
inline RawValue Sz(const std::string& text) { return {platform::kRegSz, text + '\0'}; }
inline RawValue WideSz(const std::string& utf8) {
  return {platform::kRegSz, base::Utf8ToUtf16Le(utf8) + std::string(2, '\0')};
}

// Which calls carry the data: the ANSI ones, or the wide ones (string data in UTF-16).
enum class Through { Ansi, Wide };

// Nothing when the key or the value can't be read.
inline std::optional<RawValue> ReadRaw(platform::Registry& registry, const std::string& path, const std::string& name,
                                       Through through = Through::Ansi) {
  platform::Key key(registry);
  if (registry.OpenKey(platform::kCurrentUser, path, key.Receive()) != platform::kSuccess) return std::nullopt;
  RawValue value;
  const long result = platform::ReadWholeValue(
      [&](std::uint32_t* type, std::uint8_t* data, std::uint32_t* size) {
        return through == Through::Wide ? registry.QueryValueWide(key.get(), name, type, data, size)
                                        : registry.QueryValue(key.get(), name, type, data, size);
      },
      &value.type, &value.bytes);
  if (result != platform::kSuccess) return std::nullopt;
  return value;
}

// Creates the key as needed; false when the registry refused the value.
inline bool WriteRaw(platform::Registry& registry, const std::string& path, const std::string& name,
                     const RawValue& value, Through through = Through::Ansi) {
  platform::Key key(registry);
  if (registry.CreateKey(platform::kCurrentUser, path, key.Receive()) != platform::kSuccess) return false;
  const auto* data = reinterpret_cast<const std::uint8_t*>(value.bytes.data());
  const auto size = static_cast<std::uint32_t>(value.bytes.size());
  return (through == Through::Wide ? registry.SetValueWide(key.get(), name, value.type, data, size)
                                   : registry.SetValue(key.get(), name, value.type, data, size)) == platform::kSuccess;
}
