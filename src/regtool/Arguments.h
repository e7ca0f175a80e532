// vantor-reg's command lines as reg.exe reads them: switches with '/' or '-', in any case
// and order, each at most once, and the words typed on them folded to one case.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "regtool/Failure.h"

namespace regtool {

// A command line taken apart. Each switch may be given once.
struct CommandLine {
  std::string command;                 // lower case
  std::vector<std::string> arguments;  // KEY, FILE
  std::optional<std::string> valueName, type, data;
  bool defaultValue = false;  // /ve
  bool allValues = false;     // /va
  bool recurse = false;       // /s
  bool force = false;         // /f, and /y of EXPORT
};

// A KEY argument: how the commands print it, and its path below HKEY_CURRENT_USER.
struct KeyName {
  std::string shown;  // UTF-8, from the long name of the root
  std::string path;   // ANSI
};

// Takes apart args (args[0] one of the commands, any case); throws a Failure for a switch
// given twice or without its argument, a wrong count of arguments, or more than one of
// /v, /ve and /va.
CommandLine Parse(const std::vector<std::string>& args);
// The first argument as a key under HKEY_CURRENT_USER; throws a Failure for any other.
KeyName ParseKey(const CommandLine& line);

// Text with its ASCII letters in one case, every other byte as it is.
std::string AsciiUpper(std::string text);
std::string AsciiLower(std::string text);

}  // namespace regtool
