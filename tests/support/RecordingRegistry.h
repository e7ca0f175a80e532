// The hive's registry functions with a log in front of them: tests read which registry
// operations the program made, in order, as the platform layer saw them.
#pragma once

#include <string>
#include <vector>

namespace recording {

// Starts a fresh log. Entries: "get NAME", "set NAME=TEXT" (REG_SZ data less the
// terminator; other types as "set NAME:TYPE"), "delete NAME".
void Start();
std::vector<std::string> Take();

}  // namespace recording
