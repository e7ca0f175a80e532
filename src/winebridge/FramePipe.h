// Frames over the non-blocking pipes to and from the bridge: every wait is a poll with a
// deadline, so a bridge that falls silent can't hold the caller.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>
#include <string_view>

#include "base/Fd.h"

namespace winebridge {

using Clock = std::chrono::steady_clock;

enum class Transfer { kDone, kEnded, kLate };

// Writes all the bytes: kEnded when the pipe broke, kLate when the deadline passed first.
Transfer WriteAll(const base::Fd& fd, std::string_view bytes, Clock::time_point deadline);

// Reads one frame's bytes, less its length, into *payload. A frame longer than longest is
// no frame of ours: the other end is not to be trusted, and that ends the transfer.
Transfer ReadFrame(const base::Fd& fd, std::string* payload, std::size_t longest, Clock::time_point deadline);

}  // namespace winebridge
