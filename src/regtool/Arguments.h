// vantor-reg's command lines as reg.exe reads them: switches with '/' or '-', in any case
// and order, each at most once; and the texts on them turned into the registry's bytes.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "regtool/ErrorText.h"

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

// The characters of a command-line argument; throws a Failure unless it is UTF-8.
std::u32string Characters(std::string_view utf8);
// UTF-8 from the command line in the registry's ANSI bytes; throws a Failure for a
// character the code page lacks.
std::string Ansi(std::string_view utf8);

}  // namespace regtool
