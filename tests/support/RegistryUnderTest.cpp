#include "tests/support/RegistryUnderTest.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "backends/Backends.h"
#include "registry/RegMod.h"

namespace {

// VANTOR_TEST_REGISTRY=wine chooses the Wine prefix in WINEPREFIX, through the bridges of the
// build.
bool WineIsChosen() {
  const char* chosen = std::getenv("VANTOR_TEST_REGISTRY");
  return chosen && std::string_view(chosen) == "wine";
}

std::shared_ptr<platform::Registry> Choose() {
  backends::RegistryChoice choice;
  if (WineIsChosen()) {
    const char* prefix = std::getenv("WINEPREFIX");
    choice = {prefix ? prefix : "", VANTOR_WINE_BRIDGE_FOLDER};
  }
  std::string why;
  // A fault beyond a call's code shows in what the suites check; it is printed too.
  std::shared_ptr<platform::Registry> registry = backends::OpenRegistry(
      choice, [](const std::string& fault) { std::fprintf(stderr, "registry under test: %s\n", fault.c_str()); }, &why);
  if (!registry || registry->WaitUntilReady(&why) != platform::kSuccess) {
    std::fprintf(stderr, "no registry to test: %s\n", why.c_str());
    std::exit(2);
  }
  return registry;
}

class UseRegistryUnderTest : public testing::Environment {
  void SetUp() override { registry::UseRegistry(RegistryUnderTest()); }
};
[[maybe_unused]] testing::Environment* const kEnvironment = testing::AddGlobalTestEnvironment(new UseRegistryUnderTest);

}  // namespace

platform::Registry& RegistryUnderTest() {
  static const std::shared_ptr<platform::Registry> registry = Choose();
  return *registry;
}

bool RegistryIsWines() {
#ifdef _WIN32
  return true;
#else
  return WineIsChosen();
#endif
}
