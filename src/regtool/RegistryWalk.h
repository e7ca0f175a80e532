// Reading a key's values and subkeys, and walking or deleting a key with everything below
// it, through the registry vantor-reg was handed. Trees are walked with a stack of their
// own, not by recursion, so that no depth of keys can overflow the program's stack.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/Registry.h"
#include "regtool/RegFile.h"

namespace regtool {

long ReadValue(platform::Registry& registry, platform::RegKey key, const std::string& name, RegValue* value);
// Every value of the key, in the registry's order.
long ReadValues(platform::Registry& registry, platform::RegKey key, std::vector<RegValue>* values);
long ReadSubkeyNames(platform::Registry& registry, platform::RegKey key, std::vector<std::string>* names);

// Calls visit for the key and every key below it, each before its subkeys, subkeys in the
// registry's order, with the key's handle and its path from the key: "" for the key itself,
// "\A\B" for its subkey A's subkey B (ANSI). The first result other than kSuccess ends the
// walk and is returned. While the caller holds a handle on the key, the hive answers every
// read from one view of it (its snapshot while handles are open), which holds up no writer.
using Visit = std::function<long(platform::RegKey key, const std::string& below)>;
long WalkTree(platform::Registry& registry, platform::RegKey key, const Visit& visit);

// Deletes the key at path under parent with all its subkeys and values.
long DeleteTree(platform::Registry& registry, platform::RegKey parent, const std::string& path);

}  // namespace regtool
