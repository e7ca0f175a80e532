// The live registry of a Wine prefix, for the Linux program beside a messenger that runs
// under Wine: a bridge program (vantor-wine-bridge.exe) runs under wine in the prefix and
// makes advapi32's calls there for this process, over a pipe. Results are advapi32's, as
// Wine gives them to the Windows program.
#pragma once

#include <memory>
#include <string>

#include "Registry.h"

namespace platform {

class WineRegistry : public Registry {
 public:
  // Checks that prefix is a Wine prefix of the user's own (a folder with system.reg and
  // user.reg) and that wine is on the PATH, then starts the bridge program under wine in
  // it, without waiting for it. Nothing is started, and no prefix created, when a check
  // fails: then the result is empty and *error says what is missing.
  static std::unique_ptr<WineRegistry> Start(const std::string& prefix, const std::string& bridgeProgram,
                                             std::string* error);

  // Waits until the bridge answers; false, with *error, when it could not start.
  virtual bool WaitUntilReady(std::string* error) = 0;

  // One round trip that does nothing else.
  virtual long Ping() = 0;
};

}  // namespace platform
