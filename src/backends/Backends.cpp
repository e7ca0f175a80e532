#include "backends/Backends.h"

#ifndef _WIN32
#include "winebridge/WineRegistry.h"
#endif

namespace backends {

std::shared_ptr<platform::Registry> OpenRegistry(const RegistryChoice& choice, platform::Registry::Listener faults,
                                                 std::string* why) {
  std::shared_ptr<platform::Registry> registry;
  if (!choice.winePrefix) {
    registry = std::shared_ptr<platform::Registry>(&platform::Registry::Default(), [](platform::Registry*) {});
  } else {
#ifdef _WIN32
    *why = "Windows has no Wine prefix to reach: its own registry is the messenger's";
#else
    registry = winebridge::WineRegistry::Start(*choice.winePrefix, choice.wineBridgeFolder, why);
#endif
  }
  if (registry) registry->SendFaultsTo(std::move(faults));
  return registry;
}

}  // namespace backends
