#include "app/CommandLine.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string_view>

namespace app {
namespace {

constexpr const char* kHelp =
    "Usage: vantor [--wine[=DIR]]\n"
    "Edits the custom status messages that the messenger keeps for the user who logged in last.\n"
    "\n"
    "Without an option it edits the hive, the registry kept for users without Wine in\n"
    "${XDG_DATA_HOME:-~/.local/share}/vantor/hive.sqlite. With --wine it edits, live, the\n"
    "registry of the Wine prefix in which the messenger runs: the one that WINEPREFIX names,\n"
    "or ~/.wine.\n"
    "\n"
    "  --wine        edit the registry of the Wine prefix in WINEPREFIX, or of ~/.wine\n"
    "  --wine=DIR    edit the registry of the Wine prefix in DIR\n"
    "  --help        print this and exit\n"
    "  --version     print the version and exit\n"
    "\n"
    "With --wine, WINE names the Wine loader to start (default: wine on the PATH) and\n"
    "WINESERVER its server, as winetricks reads them: when the messenger runs under a Wine\n"
    "of its own, set WINE to that Wine's loader. A 32-bit prefix gets the 32-bit bridge.\n"
    "Qt's command-line options are not taken; its environment variables (QT_QPA_PLATFORM,\n"
    "QT_SCALE_FACTOR, ...) are.\n"
    "\n"
    "Exit codes: 0 when the window was closed, 2 when the command line, the display or the\n"
    "registry was at fault.\n";

constexpr std::string_view kWineWithFolder = "--wine=";

CommandLine Fail(std::string text) { return {CommandLine::Action::kFail, {}, std::move(text)}; }

std::string Absolute(const std::string& folder) {
  std::error_code error;
  const std::filesystem::path path = std::filesystem::absolute(folder, error);
  return error ? folder : path.lexically_normal().string();
}

std::optional<std::string> DefaultPrefix() {
  if (const char* prefix = std::getenv("WINEPREFIX"); prefix && *prefix) return Absolute(prefix);
  if (const char* home = std::getenv("HOME"); home && *home) return Absolute(std::string(home) + "/.wine");
  return std::nullopt;
}

std::string WineBridgeFolder() {
  std::error_code error;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) return ".";
  const std::filesystem::path installed = (self.parent_path() / VANTOR_WINE_BRIDGES_FROM_BIN).lexically_normal();
  return (std::filesystem::is_directory(installed, error) ? installed : self.parent_path()).string();
}

}  // namespace

CommandLine ReadCommandLine(const std::vector<std::string>& args) {
  CommandLine command;
  for (const std::string& arg : args) {
    if (arg == "--help" || arg == "-h") return {CommandLine::Action::kPrint, {}, kHelp};
    if (arg == "--version") return {CommandLine::Action::kPrint, {}, std::string("vantor ") + VANTOR_VERSION + "\n"};
    if (arg == "--wine" || arg.starts_with(kWineWithFolder)) {
      std::optional<std::string>& prefix = command.registry.winePrefix;
      if (prefix) return Fail("--wine is given twice");
      if (arg == "--wine") {
        prefix = DefaultPrefix();
        if (!prefix) return Fail("--wine needs WINEPREFIX or HOME to find the Wine prefix");
      } else if (arg.size() == kWineWithFolder.size()) {
        return Fail("--wine= needs the folder of a Wine prefix");
      } else {
        prefix = Absolute(arg.substr(kWineWithFolder.size()));
      }
      command.registry.wineBridgeFolder = WineBridgeFolder();
      continue;
    }
    // Qt's options (-platform, -style, ...) would be read only once the bridge has started,
    // and its environment variables say the same; so `--wine DIR` stops here, before a
    // prefix is touched.
    return Fail("unknown argument " + arg);
  }
  return command;
}

}  // namespace app
