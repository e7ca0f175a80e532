// The live registry of a Wine prefix, for the Linux program beside a messenger that runs
// under Wine: a bridge program (vantor-wine-bridge-win32.exe, or -win64.exe in a 64-bit
// prefix whose Wine runs no 32-bit program) runs under wine in the prefix and makes
// advapi32's calls there for this process, over a pipe. Results are advapi32's, as Wine gives
// them to the Windows program.
#pragma once

#include <sys/types.h>

#include <memory>
#include <string>

#include "platform/Registry.h"

namespace winebridge {

using namespace platform;

class WineRegistry : public Registry {
 public:
  // Checks that prefix is a Wine prefix of the user's own (a folder with system.reg and
  // user.reg) and that its Wine can be run (the loader that WINE names, else wine on the
  // PATH, and the WINESERVER it may name), then starts the bridge of bridgeFolder that the
  // prefix's architecture runs under that Wine in it, without waiting for it. Nothing is
  // started, and no prefix created, when a check fails: then the result is empty and
  // *error says what is missing.
  static std::unique_ptr<WineRegistry> Start(const std::string& prefix, const std::string& bridgeFolder,
                                             std::string* error);

  // WaitUntilReady (Registry.h) waits until the bridge answers; when it could not start,
  // *why gives Wine's reason where it gave one, such as a wineserver of another Wine version.
  // A bridge that speaks another protocol version (Protocol.h) is refused; *why names both.

  // The process group that the running bridge is in, or -1 when none runs: every process of
  // it is the bridge's own, and none of Wine's shared ones (the wineserver, its services).
  virtual pid_t BridgeGroup() const = 0;
  // The bridge program running, or empty.
  virtual std::string BridgeProgram() const = 0;
};

}  // namespace winebridge
