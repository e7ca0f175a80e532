// The registry functions the program stands on, in the shape of advapi32's ANSI calls
// and with its result codes. Key paths, value names and string data are byte strings in
// the ANSI code page. On Windows they forward to advapi32; elsewhere they run on the hive,
// an SQLite database per user (RegistryHive.cpp).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace platform {

// A key handle; kNoKey is the empty handle, on which every operation fails.
using RegKey = std::uintptr_t;
inline constexpr RegKey kNoKey = 0;
extern const RegKey kCurrentUser;  // HKEY_CURRENT_USER

// Value types, as the registry numbers them.
inline constexpr std::uint32_t kRegNone = 0;
inline constexpr std::uint32_t kRegSz = 1;
inline constexpr std::uint32_t kRegExpandSz = 2;
inline constexpr std::uint32_t kRegBinary = 3;
inline constexpr std::uint32_t kRegDword = 4;
inline constexpr std::uint32_t kRegMultiSz = 7;
inline constexpr std::uint32_t kRegQword = 11;

// Result codes (Windows' system error codes).
inline constexpr long kSuccess = 0;
inline constexpr long kFileNotFound = 2;
inline constexpr long kAccessDenied = 5;
inline constexpr long kInvalidHandle = 6;
inline constexpr long kInvalidParameter = 87;
inline constexpr long kBadPathname = 161;
inline constexpr long kMoreData = 234;
inline constexpr long kNoMoreItems = 259;
inline constexpr long kBadDb = 1009;
inline constexpr long kCantOpen = 1011;
inline constexpr long kCantRead = 1012;
inline constexpr long kCantWrite = 1013;
inline constexpr long kKeyDeleted = 1018;

// RegOpenKeyA: opens an existing key; *key stays kNoKey on failure.
long OpenKey(RegKey parent, const std::string& path, RegKey* key);
// RegCreateKeyA: opens the key, creating it and every missing key on its path.
long CreateKey(RegKey parent, const std::string& path, RegKey* key);
// RegQueryValueExA: *size is the buffer's size on entry and the data's size on return;
// kMoreData (with the needed size) when the buffer is too small.
long QueryValue(RegKey key, const std::string& name, std::uint32_t* type, std::uint8_t* data,
                std::uint32_t* size);
// RegSetValueExA: creates or replaces the value with exactly this type and these bytes.
long SetValue(RegKey key, const std::string& name, std::uint32_t type, const std::uint8_t* data,
              std::uint32_t size);
// RegDeleteValueA.
long DeleteValue(RegKey key, const std::string& name);
// RegEnumKeyExA: the name of the key's index-th subkey, counting from 0 in the order of the
// upper-cased names, as Windows sorts them (Wine compares lower-cased names, which puts
// the characters between 'Z' and 'a', such as '_', before the letters); kNoMoreItems past
// the last one.
long EnumKey(RegKey key, std::uint32_t index, std::string* name);
// RegEnumValueA: the name of the key's index-th value and, as QueryValue gives them, its
// type and data; kNoMoreItems past the last one. The hive orders values as it orders
// subkeys; Windows keeps them in the order they were first written.
long EnumValue(RegKey key, std::uint32_t index, std::string* name, std::uint32_t* type,
               std::uint8_t* data, std::uint32_t* size);
// RegDeleteKeyA: deletes the key at path under parent (parent itself when path is empty)
// with its values. A key that has subkeys is kept (kAccessDenied): callers delete a tree
// from its leaves up. Handles still open on a deleted key then fail with kKeyDeleted.
long DeleteKey(RegKey parent, const std::string& path);
// RegFlushKey: the key's changes are on permanent storage when it returns.
long FlushKey(RegKey key);
// RegCloseKey.
long CloseKey(RegKey key);

// Text conversion at the registry boundary: UTF-8 to the ANSI code page (a character the
// code page lacks becomes '?') and back, one byte a character.
std::string ToAnsi(std::string_view utf8);
std::string FromAnsi(std::string_view ansi);

}  // namespace platform
