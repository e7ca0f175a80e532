// Command lines taken apart as reg.exe takes them apart.
#include "regtool/Arguments.h"

#include <algorithm>
#include <map>

#include "regtool/AnsiText.h"
#include "regtool/RegFile.h"

namespace regtool {
namespace {

std::string UsageHint(const std::string& command) {
  return "Type \"vantor-reg " + AsciiUpper(command) + " /?\" for usage.";
}

Failure SyntaxError(const std::string& command) { return {"ERROR: Invalid syntax.\n" + UsageHint(command)}; }

// The switches each command takes; those marked with '=' take an argument.
const std::vector<std::string>& Switches(const std::string& command) {
  static const std::map<std::string, std::vector<std::string>> kSwitches = {{"query", {"v=", "ve", "s"}},
                                                                            {"add", {"v=", "ve", "t=", "d=", "f"}},
                                                                            {"delete", {"v=", "ve", "va", "f"}},
                                                                            {"export", {"y"}},
                                                                            {"import", {}}};
  return kSwitches.at(command);
}

std::size_t ArgumentCount(const std::string& command) {
  static const std::map<std::string, std::size_t> kArguments = {
      {"query", 1}, {"add", 1}, {"delete", 1}, {"export", 2}, {"import", 1}};
  return kArguments.at(command);
}

bool Allows(const std::vector<std::string>& allowed, const std::string& name) {
  return std::find(allowed.begin(), allowed.end(), name) != allowed.end();
}

// Sets the flag of a switch without an argument.
void SetFlag(const std::string& name, CommandLine* line) {
  bool& flag = name == "ve"   ? line->defaultValue
               : name == "va" ? line->allValues
               : name == "s"  ? line->recurse
                              : line->force;
  if (flag) throw SyntaxError(line->command);
  flag = true;
}

}  // namespace

CommandLine Parse(const std::vector<std::string>& args) {
  CommandLine line;
  line.command = AsciiLower(args.front());
  const std::vector<std::string>& allowed = Switches(line.command);
  for (std::size_t i = 1; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const std::string name = AsciiLower(arg.substr(arg.empty() ? 0 : 1));
    const bool takesValue = Allows(allowed, name + "=");
    // Anything but a switch of the command is an argument: a file's path here may start
    // with '/'. An unknown switch then makes one argument too many.
    if ((arg[0] != '/' && arg[0] != '-') || (!takesValue && !Allows(allowed, name))) {
      line.arguments.push_back(arg);
    } else if (takesValue) {
      std::optional<std::string>& slot = name == "v" ? line.valueName : name == "t" ? line.type : line.data;
      if (slot || ++i == args.size()) throw SyntaxError(line.command);
      slot = args[i];
    } else {
      SetFlag(name, &line);
    }
  }
  const int valueChoices = line.valueName.has_value() + line.defaultValue + line.allValues;
  if (line.arguments.size() != ArgumentCount(line.command) || valueChoices > 1) throw SyntaxError(line.command);
  return line;
}

KeyName ParseKey(const CommandLine& line) {
  const std::string& key = line.arguments.front();
  const std::optional<std::string_view> below = PathBelowCurrentUser(key);
  // As reg.exe: a backslash after the root must have a path after it; one at the end goes.
  if (!below || (below->empty() && key.back() == '\\'))
    throw Failure{"ERROR: Invalid key name.\n" + UsageHint(line.command)};
  std::string path(*below);
  if (!path.empty() && path.back() == '\\') path.pop_back();
  std::string ansi = Ansi(path);
  return {path.empty() ? "HKEY_CURRENT_USER" : "HKEY_CURRENT_USER\\" + path, std::move(ansi)};
}

std::string AsciiUpper(std::string text) {
  for (char& c : text) c = c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
  return text;
}

std::string AsciiLower(std::string text) {
  for (char& c : text) c = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
  return text;
}

}  // namespace regtool
