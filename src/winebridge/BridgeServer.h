// The bridge's side of the protocol (Protocol.h): one request carried out on the
// registry, and its answer.
#pragma once

#include <string_view>

#include "platform/Registry.h"
#include "winebridge/Protocol.h"

namespace winebridge {

using namespace platform;

// Carries out one request's payload on registry and builds its answer; false when the
// request makes no sense, which ends the bridge.
bool Serve(Registry& registry, std::string_view request, Writer* answer);

}  // namespace winebridge
