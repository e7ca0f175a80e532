// vantor-reg's commands with reg.exe's syntax, messages and exit codes: query, add,
// delete, export and import, on HKEY_CURRENT_USER of the registry they are given.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "platform/Registry.h"

namespace regtool {

// Runs the command line args (without the program's name: "query", "HKCU\..."), asking
// its confirmations on out and reading the answers from in. Returns the exit code: 0
// when the command did what it was asked or the user declined, 1 when it failed.
int RunCommand(platform::Registry& registry, const std::vector<std::string>& args, std::istream& in, std::ostream& out,
               std::ostream& err);

}  // namespace regtool
