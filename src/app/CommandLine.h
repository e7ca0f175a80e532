// The Linux program's command line: by default the window edits the hive; --wine makes it
// edit a Wine prefix's registry instead, the platform's own way to name the registry where
// the messenger (running under Wine) keeps its messages.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace app {

struct CommandLine {
  enum class Action { kRun, kPrint, kFail };
  Action action = Action::kRun;
  std::optional<std::string> winePrefix;  // kRun: the prefix whose registry to edit
  std::string text;                       // kPrint: for standard output; kFail: what is wrong
  std::vector<std::string> rest;          // kRun: the arguments left for the toolkit
};

// Reads the arguments after the program's name. WINEPREFIX and HOME are read only for
// --wine without a folder.
CommandLine ReadCommandLine(const std::vector<std::string>& args);

// Where the Wine bridge lies: beside the program in the build tree, in lib/vantor once
// installed.
std::string WineBridgeProgram();

}  // namespace app
