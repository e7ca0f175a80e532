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
};

// Reads the arguments after the program's name, all of them before anything starts: any
// argument but these options is refused, the toolkit's own among them. WINEPREFIX and HOME
// are read only for --wine without a folder.
CommandLine ReadCommandLine(const std::vector<std::string>& args);

// The folder of the Wine bridges: once installed, the one the build places them in relative
// to the program's own folder (libexec/vantor beside bin), else the program's own folder (the
// build tree).
std::string WineBridgeFolder();

}  // namespace app
