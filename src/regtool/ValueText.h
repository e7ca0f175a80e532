// Values as vantor-reg's commands show and take them, as reg.exe does: type names, data
// as text, and /d's text as a value's bytes.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/Registry.h"
#include "regtool/RegFile.h"

namespace regtool {

// "REG_SZ" and the like; "0x1f" for a type without a name.
std::string TypeName(std::uint32_t type);
// The types ADD takes, as reg.exe does, by name in any case.
std::optional<std::uint32_t> AddableType(const std::string& name);

// Data as reg.exe shows it: text up to its end, string lists with \0 between the strings,
// numbers in hex, anything else as hex bytes. Text goes from the registry's ANSI to UTF-8.
std::string DataText(platform::Registry& registry, const RegValue& value);
// /d as the bytes of a value of the type, as reg.exe makes them; throws a Failure for data
// the type can't take.
std::string DataBytes(std::uint32_t type, const std::optional<std::string>& data);

}  // namespace regtool
