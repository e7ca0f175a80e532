// The one place that chooses the registry: the platform's own (advapi32 on Windows, the hive
// elsewhere) or, off Windows, a Wine prefix's live registry through the Wine bridge. vantor,
// vantor-reg, the test support and the benchmarks all take theirs from here. Another back end
// is a folder and a target of its own, and one more line in OpenRegistry.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "platform/Registry.h"

namespace backends {

struct RegistryChoice {
  // The Wine prefix whose live registry to use instead of the platform's own.
  std::optional<std::string> winePrefix;
  // Where the Wine bridges are, for winePrefix.
  std::string wineBridgeFolder;
};

// The chosen registry, its faults sent to faults (Registry::SendFaultsTo). One that starts
// in the background is started, not waited for (WaitUntilReady). Null, with *why, when it
// can't be had. The platform's own registry outlives the result: it lives as long as the
// process.
std::shared_ptr<platform::Registry> OpenRegistry(const RegistryChoice& choice, platform::Registry::Listener faults,
                                                 std::string* why);

}  // namespace backends
