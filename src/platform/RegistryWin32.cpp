// The registry functions on Windows: each one hands its arguments to advapi32's ANSI call
// of the same purpose (the wide ones to its UTF-16 call) and returns that call's result
// code unchanged.
#include <string>
#include <string_view>
#include <utility>

#include "base/WideText.h"
#include "platform/Registry.h"

namespace platform {

namespace {

HKEY ToHkey(RegKey key) { return reinterpret_cast<HKEY>(key); }

RegKey FromHkey(HKEY key) { return reinterpret_cast<RegKey>(key); }

// RegOpenKeyA and RegCreateKeyA share their shape: the new handle lands in *key on success,
// kNoKey otherwise. Without a place for the handle advapi32 has nothing to do; Wine's
// RegCreateKeyA even writes through the null pointer, so refuse it here.
template <typename Call>
long OpenWith(Call call, RegKey parent, const std::string& path, RegKey* key) {
  if (key == nullptr) return ERROR_INVALID_PARAMETER;
  HKEY handle = nullptr;
  const LSTATUS result = call(ToHkey(parent), path.c_str(), &handle);
  *key = result == ERROR_SUCCESS ? FromHkey(handle) : kNoKey;
  return result;
}

// A character beyond U+FFFF is two UTF-16 units, which an ANSI code page would turn into
// two '?'. No ANSI code page but UTF-8 has such characters, so each becomes one U+FFFD,
// which then turns into one '?'.
std::wstring OneUnitPerCharacter(std::wstring wide) {
  std::size_t out = 0;
  for (std::size_t in = 0; in < wide.size(); ++in, ++out) {
    if (IS_HIGH_SURROGATE(wide[in]) && in + 1 < wide.size() && IS_LOW_SURROGATE(wide[in + 1])) {
      wide[out] = L'\xFFFD';
      ++in;
    } else {
      wide[out] = wide[in];
    }
  }
  wide.resize(out);
  return wide;
}

// RegQueryValueExA and RegQueryValueExW share their shape but for the name's characters.
// DWORD is unsigned long here, not std::uint32_t: copy in and out rather than alias, so
// that whatever advapi32 leaves alone stays as the caller had it.
template <typename Call, typename Char>
long QueryWith(Call call, const Char* name, RegKey key, std::uint32_t* type, std::uint8_t* data, std::uint32_t* size) {
  DWORD typeWord = type != nullptr ? *type : 0;
  DWORD sizeWord = size != nullptr ? *size : 0;
  const LSTATUS result = call(ToHkey(key), name, nullptr, type != nullptr ? &typeWord : nullptr, data,
                              size != nullptr ? &sizeWord : nullptr);
  if (type != nullptr) *type = typeWord;
  if (size != nullptr) *size = sizeWord;
  return result;
}

// A value name for the wide calls, read in the ANSI code page as the ANSI calls read it, up
// to its first zero as they do.
std::wstring WideName(const std::string& name) { return base::Wide(name.c_str(), CP_ACP); }

class Advapi32Registry final : public Registry {
 public:
  long OpenKey(RegKey parent, const std::string& path, RegKey* key) override {
    return OpenWith(RegOpenKeyA, parent, path, key);
  }

  long CreateKey(RegKey parent, const std::string& path, RegKey* key) override {
    return OpenWith(RegCreateKeyA, parent, path, key);
  }

  long QueryValue(RegKey key, const std::string& name, std::uint32_t* type, std::uint8_t* data,
                  std::uint32_t* size) override {
    return QueryWith(RegQueryValueExA, name.c_str(), key, type, data, size);
  }

  long SetValue(RegKey key, const std::string& name, std::uint32_t type, const std::uint8_t* data,
                std::uint32_t size) override {
    return RegSetValueExA(ToHkey(key), name.c_str(), 0, type, data, size);
  }

  long QueryValueWide(RegKey key, const std::string& name, std::uint32_t* type, std::uint8_t* data,
                      std::uint32_t* size) override {
    return QueryWith(RegQueryValueExW, WideName(name).c_str(), key, type, data, size);
  }

  long SetValueWide(RegKey key, const std::string& name, std::uint32_t type, const std::uint8_t* data,
                    std::uint32_t size) override {
    return RegSetValueExW(ToHkey(key), WideName(name).c_str(), 0, type, data, size);
  }

  long DeleteValue(RegKey key, const std::string& name) override { return RegDeleteValueA(ToHkey(key), name.c_str()); }

  long EnumKey(RegKey key, std::uint32_t index, std::string* name) override {
    if (name == nullptr) return ERROR_INVALID_PARAMETER;
    char buffer[256];  // a key name has at most 255 characters
    DWORD length = sizeof buffer;
    const LSTATUS result = RegEnumKeyExA(ToHkey(key), index, buffer, &length, nullptr, nullptr, nullptr, nullptr);
    if (result == ERROR_SUCCESS) name->assign(buffer, length);
    return result;
  }

  long EnumValue(RegKey key, std::uint32_t index, std::string* name, std::uint32_t* type, std::uint8_t* data,
                 std::uint32_t* size) override {
    if (name == nullptr) return ERROR_INVALID_PARAMETER;
    std::string buffer(16384, '\0');  // a value name has at most 16,383 characters
    DWORD length = static_cast<DWORD>(buffer.size());
    // As in QueryValue: copy the DWORDs in and out rather than alias them.
    DWORD typeWord = type != nullptr ? *type : 0;
    DWORD sizeWord = size != nullptr ? *size : 0;
    const LSTATUS result =
        RegEnumValueA(ToHkey(key), index, buffer.data(), &length, nullptr, type != nullptr ? &typeWord : nullptr, data,
                      size != nullptr ? &sizeWord : nullptr);
    if (result == ERROR_SUCCESS || result == ERROR_MORE_DATA) name->assign(buffer.data(), length);
    if (type != nullptr) *type = typeWord;
    if (size != nullptr) *size = sizeWord;
    return result;
  }

  long DeleteKey(RegKey parent, const std::string& path) override {
    return RegDeleteKeyA(ToHkey(parent), path.c_str());
  }

  long FlushKey(RegKey key) override { return RegFlushKey(ToHkey(key)); }

  long CloseKey(RegKey key) override { return RegCloseKey(ToHkey(key)); }

  // advapi32 makes each change as its call returns.
  long BeginTransaction() override { return kSuccess; }
  long CommitTransaction() override { return kSuccess; }
  long RollbackTransaction() override { return kSuccess; }

  // GetACP() rather than CP_ACP: a system whose ANSI code page is UTF-8 must get UTF-8's
  // flags, which CP_ACP would hide.
  std::string ToAnsi(std::string_view utf8) override {
    const UINT ansi = GetACP();
    std::wstring wide = base::Wide(utf8);
    if (ansi != CP_UTF8) wide = OneUnitPerCharacter(std::move(wide));
    return base::Narrow(wide, ansi);
  }

  std::string FromAnsi(std::string_view ansi) override { return base::Utf8(base::Wide(ansi, GetACP())); }
};

}  // namespace

Registry& Registry::Default() {
  static Advapi32Registry registry;
  return registry;
}

}  // namespace platform
