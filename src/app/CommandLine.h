// The Linux program's command line: by default the window edits the hive; --wine makes it
// edit a Wine prefix's registry instead, the platform's own way to name the registry where
// the messenger (running under Wine) keeps its messages.
#pragma once

#include <string>
#include <vector>

#include "backends/Backends.h"

namespace app {

struct CommandLine {
  enum class Action { kRun, kPrint, kFail };
  Action action = Action::kRun;
  backends::RegistryChoice registry;  // kRun: the registry to edit
  std::string text;                   // kPrint: for standard output; kFail: what is wrong
};

// Reads the arguments after the program's name, all of them before anything starts: any
// argument but these options is refused, the toolkit's own among them. WINEPREFIX and HOME
// are read only for --wine without a folder. With --wine, the Wine bridges are looked for
// where the build installs them relative to the program's own folder (libexec/vantor beside
// bin), else in the program's own folder (the build tree).
CommandLine ReadCommandLine(const std::vector<std::string>& args);

}  // namespace app
