// .reg files, the text form of registry keys that regedit and reg.exe exchange: reading
// both versions ("Windows Registry Editor Version 5.00" in UTF-16LE, "REGEDIT4" in ANSI)
// into a list of changes, and writing version 5.00 as regedit writes it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace regtool {

// A value as the ANSI registry functions hold it.
struct RegValue {
  std::string name;  // ANSI bytes; empty for the key's default value
  std::uint32_t type = 0;
  std::string data;  // the bytes as stored
};

// One change a .reg file asks for, in the file's order. Value changes are to the key of
// the kCreateKey before them.
struct RegChange {
  enum class Kind { kCreateKey, kDeleteKey, kSetValue, kDeleteValue };
  Kind kind = Kind::kCreateKey;
  int line = 0;     // where the change stands in the file, from 1
  std::string key;  // kCreateKey, kDeleteKey: the path below HKEY_CURRENT_USER, ANSI
  RegValue value;   // kSetValue: all of it; kDeleteValue: the name
};

// A whole file read: its changes, or where and why it is not a .reg file vantor-reg can
// apply (errorLine is then above 0 and changes holds nothing to apply).
struct RegFileReading {
  std::vector<RegChange> changes;
  int errorLine = 0;
  std::string error;  // UTF-8
};

RegFileReading ReadRegFile(std::string_view bytes);

// A key's values for writing; path is below HKEY_CURRENT_USER, ANSI, empty for the root.
struct RegKeyContents {
  std::string path;
  std::vector<RegValue> values;
};

// Version 5.00 bytes for the keys in the order given: UTF-16LE with its byte order mark,
// CRLF line ends, long hex data wrapped as regedit wraps it.
std::string WriteRegFile(const std::vector<RegKeyContents>& keys);

// The path below the root of a key named from its root, "HKEY_CURRENT_USER\A\B" or
// "HKCU\A\B" in any case: "A\B". Nothing for a key under another root.
std::optional<std::u32string_view> PathBelowCurrentUser(std::u32string_view key);

}  // namespace regtool
