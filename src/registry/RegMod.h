// RegMod: the program's registry procedures and the messenger's registry layout.
// Every procedure opens its key, does its one operation and closes the key again; none
// reports a failure. Texts are UTF-8 here. Key paths and value names cross to the registry
// in the ANSI code page; string data cross in UTF-16 through the wide calls, so that where
// the registry keeps UTF-16 (Windows, Wine) a text is read and stored back whole.
#pragma once

#include <string>

#include "platform/Registry.h"

namespace registry {

using platform::RegKey;

// The text GetRegValue returns for any value it can't read.
inline constexpr const char* kNotFound = "Not Found";

// Where the messenger keeps things under HKEY_CURRENT_USER. The first path is spelt in
// lower case as the messenger spells it; key names compare without regard to case.
inline constexpr const char* kPagerKey = "SOFTWARE\\yahoo\\pager\\";
inline constexpr const char* kLastUserValue = "yahoo! user ID";
inline constexpr const char* kProfilesKey = "SOFTWARE\\Yahoo\\Pager\\profiles\\";
inline constexpr const char* kAlertValue = "VantorAlert";
inline constexpr const char* kCustomMsgsSubkey = "\\Custom Msgs\\";

// The registry the procedures below work on: the platform's default until another is
// chosen (the Linux program's Wine prefix, a test's recorder). It must outlive its use.
void UseRegistry(platform::Registry& chosen);
platform::Registry& CurrentRegistry();

// How SetRegValue stores its text: as a string, or converted to a 32-bit number.
enum class ValueType { String = 1, Dword = 4 };

// The value's data, read whole, as text: for REG_DWORD its first four bytes (missing ones
// count as zeros) as a number of at least three digits, for REG_BINARY upper-case hex, for
// every other type the data less a terminating zero (a UTF-16 unit for the string types, a
// byte for the others), which a reload stores back unchanged; kNotFound when it can't be read.
std::string GetRegValue(RegKey root, const std::string& keyPath, const std::string& valueName);

// Stores a REG_SZ with its terminator (or a REG_DWORD), creating missing keys, and flushes.
void SetRegValue(RegKey root, const std::string& keyPath, const std::string& valueName, ValueType type,
                 const std::string& value);

// Removes one value of an existing key; never creates a key.
void DeleteRegValue(RegKey root, const std::string& keyPath, const std::string& valueName);

// The ID of the messenger user who logged in last, read afresh on every call.
std::string GetLastUser();

// The key of the last user's custom messages, built from a fresh GetLastUser().
std::string CustomMessageKey();

}  // namespace registry
