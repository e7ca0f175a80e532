// .reg files, the text form of registry keys that regedit and reg.exe exchange: reading
// both versions ("Windows Registry Editor Version 5.00" and "REGEDIT4") as a sequence of
// changes, and writing version 5.00 as regedit writes it, one key at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace regtool {

// How many levels of keys Windows allows below a root: deeper keys are refused, so that a
// file can neither make nor name one.
inline constexpr std::size_t kMaxKeyDepth = 512;

// The sizes of REG_DWORD and REG_QWORD data.
inline constexpr std::size_t kDwordSize = 4;
inline constexpr std::size_t kQwordSize = 8;

// A value as the ANSI registry functions hold it.
struct RegValue {
  std::string name;  // ANSI bytes; empty for the key's default value
  std::uint32_t type = 0;
  std::string data;  // the bytes as stored
};

// One change a .reg file asks for. Value changes are to the key of the kCreateKey before
// them.
struct RegChange {
  enum class Kind { kCreateKey, kDeleteKey, kSetValue, kDeleteValue };
  Kind kind = Kind::kCreateKey;
  int line = 0;     // where the change stands in the file, from 1
  std::string key;  // kCreateKey, kDeleteKey: the path below HKEY_CURRENT_USER, ANSI
  RegValue value;   // kSetValue: all of it; kDeleteValue: the name
};

// Where and why a file is not one vantor-reg can read at all; thrown by ReadRegFile.
struct RegFileFault {
  int line = 0;
  std::string message;  // UTF-8
};

// A line that reading passed over, or read otherwise than it stands, and why: the message
// says which ("..., line skipped").
struct RegFileNote {
  int line = 0;
  std::string message;  // UTF-8
};

// Reads a whole file as reg.exe reads it, handing its changes to take in the file's order;
// whatever take throws ends the reading. A line reg.exe passes over (a value it can't read,
// a key it can't name, and the values under such a key) is passed over here too, and told
// to note. A file that reg.exe refuses whole (no header it knows) throws a RegFileFault
// before any change; a header it takes without reading the rest ("REGEDIT3") gives one note
// and no change.
//
// A file is UTF-16LE after a byte order mark; without one, a REGEDIT4 file is Windows-1252,
// and a version 5.00 file UTF-8 when its bytes are valid UTF-8 and Windows-1252 otherwise.
// Text in hex data is UTF-16 in a UTF-16 file and Windows-1252 in any other. Reading keeps
// nothing of the file: to apply a file only once all of it is read, read it once to check
// it and again to apply it.
void ReadRegFile(std::string_view bytes, const std::function<void(const RegChange&)>& take,
                 const std::function<void(const RegFileNote&)>& note);

// Why a .reg file can't name the key at path (below HKEY_CURRENT_USER, ANSI): more than
// kMaxKeyDepth levels, a name longer than the registry takes, or a control character in a
// name, which regedit has no way to write. Nothing when it can.
std::optional<std::string> KeyPathFault(std::string_view path);

// Version 5.00 in UTF-16LE, CRLF line ends and long hex data wrapped as regedit wraps it: a
// file is its start (byte order mark and header) followed by its keys, each with its values.
std::string RegFileStart();
std::string RegFileKey(std::string_view path, const std::vector<RegValue>& values);

// The path below the root of a key named from its root, "HKEY_CURRENT_USER\A\B" or
// "HKCU\A\B" in any case: "A\B". Nothing for a key under another root.
std::optional<std::string_view> PathBelowCurrentUser(std::string_view key);

}  // namespace regtool
