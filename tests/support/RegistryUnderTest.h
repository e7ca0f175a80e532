// The registry the contract suites run against: the platform's default, or, when
// VANTOR_TEST_REGISTRY=wine, the live registry of the Wine prefix in WINEPREFIX through the
// bridge. RegMod's procedures work on the same one.
#pragma once

#include "platform/Registry.h"

platform::Registry& RegistryUnderTest();

// Whether Wine's advapi32 answers: the Windows build under Wine, or the bridge.
bool RegistryIsWines();
