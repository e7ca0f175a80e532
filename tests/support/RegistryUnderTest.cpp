#include "tests/support/RegistryUnderTest.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "registry/RegMod.h"
#ifndef _WIN32
#include "winebridge/WineRegistry.h"
#endif

namespace {

platform::Registry* Choose() {
#ifndef _WIN32
  if (RegistryIsWines()) {
    const char* prefix = std::getenv("WINEPREFIX");
    std::string error;
    std::unique_ptr<winebridge::WineRegistry> wine =
        winebridge::WineRegistry::Start(prefix ? prefix : "", VANTOR_WINE_BRIDGE_FOLDER, &error);
    if (!wine || !wine->WaitUntilReady(&error)) {
      std::fprintf(stderr, "no registry to test: %s\n", error.c_str());
      std::exit(2);
    }
    return wine.release();
  }
#endif
  return &platform::Registry::Default();
}

class UseRegistryUnderTest : public testing::Environment {
  void SetUp() override { registry::UseRegistry(RegistryUnderTest()); }
};
[[maybe_unused]] testing::Environment* const kEnvironment =
    testing::AddGlobalTestEnvironment(new UseRegistryUnderTest);

}  // namespace

platform::Registry& RegistryUnderTest() {
  static platform::Registry* const registry = Choose();
  return *registry;
}

bool RegistryIsWines() {
#ifdef _WIN32
  return true;
#else
  const char* chosen = std::getenv("VANTOR_TEST_REGISTRY");
  return chosen && std::string_view(chosen) == "wine";
#endif
}
