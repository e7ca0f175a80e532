// Starting the Wine bridge: finding the Wine to run it under, checking the prefix it runs in,
// and starting it with its standard input and output on pipes of ours.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>

#include "base/Fd.h"
#include "platform/Registry.h"

namespace winebridge {

// Each of these returns kSuccess, or a registry code with what is wrong in *why.

// The Wine loader to start, found as winetricks finds it: the program that WINE names
// (looked up on the PATH when the name holds no slash), else wine on the PATH.
long FindWine(std::string* loader, std::string* why);

// Whether the WINESERVER the user may have named can be run.
long CheckWineServer(std::string* why);

// Whether prefix is a Wine prefix of the user's own.
long CheckPrefix(const std::string& prefix, std::string* why);

// The prefix's architecture, "win32" or "win64", as its system.reg says.
long PrefixArchitecture(const std::string& prefix, std::string* architecture, std::string* why);

// A bridge process just started: the process group it leads, the write end of its input, the
// read end of its output (both non-blocking), and the file its Wine writes its standard error
// to (invalid when the user set WINEDEBUG and reads it on the terminal). Where Wine's loader
// hands the program to its other loader, the bridge runs as a new process that is no child
// of ours, and the process started here ends; the bridge stays in the group.
struct BridgeProcess {
  pid_t group = -1;
  base::Fd toBridge, fromBridge;
  base::Fd wineOutput;
};

// Starts program under wine in prefix, in a process group of its own.
long SpawnBridge(const std::string& wine, const std::string& program, const std::string& prefix, BridgeProcess* process,
                 std::string* why);

// Ends the bridge and returns the exit code of the process started, or -1. Closing its input
// ends it once the call in hand is done, and every call has been answered by then, so killing
// it loses nothing: a group still running after the grace given is killed, whoever started
// its processes. The wineserver and Wine's services leave the group (they start sessions of
// their own), so they are never signalled. A group that doesn't end even then is left behind
// rather than waited for. The file of Wine's output stays open.
int StopBridge(BridgeProcess* process, std::chrono::steady_clock::duration grace);

// What Wine wrote to the file of its standard error (its first 64 KiB); the file is closed.
std::string TakeWineOutput(base::Fd* file);

}  // namespace winebridge
