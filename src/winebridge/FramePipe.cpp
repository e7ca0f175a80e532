#include "winebridge/FramePipe.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "winebridge/Protocol.h"

namespace winebridge {
namespace {

// Waits until fd is ready for the events, or has failed; false when the deadline passes first.
bool AwaitReady(const base::Fd& fd, short events, Clock::time_point deadline) {
  for (;;) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) return false;
    pollfd watched{fd.get(), events, 0};
    const int ready = poll(&watched, 1, static_cast<int>(left));
    if (ready > 0) return true;
    if (ready == 0 || errno != EINTR) return false;
  }
}

// Appends count bytes to *to as they arrive: room is made for the bytes that came, not for
// the bytes a frame's length promised.
Transfer ReadAppending(const base::Fd& fd, std::string* to, std::size_t count, Clock::time_point deadline) {
  char piece[kReadPiece];
  while (count > 0) {
    const ssize_t n = read(fd.get(), piece, std::min(count, sizeof piece));
    if (n > 0) {
      to->append(piece, static_cast<std::size_t>(n));
      count -= static_cast<std::size_t>(n);
    } else if (n < 0 && errno == EAGAIN) {
      if (!AwaitReady(fd, POLLIN, deadline)) return Transfer::kLate;
    } else if (n == 0 || errno != EINTR) {
      return Transfer::kEnded;
    }
  }
  return Transfer::kDone;
}

}  // namespace

Transfer WriteAll(const base::Fd& fd, std::string_view bytes, Clock::time_point deadline) {
  while (!bytes.empty()) {
    const ssize_t n = write(fd.get(), bytes.data(), bytes.size());
    if (n > 0) {
      bytes.remove_prefix(static_cast<std::size_t>(n));
    } else if (n < 0 && errno == EAGAIN) {
      if (!AwaitReady(fd, POLLOUT, deadline)) return Transfer::kLate;
    } else if (n == 0 || errno != EINTR) {
      return Transfer::kEnded;
    }
  }
  return Transfer::kDone;
}

Transfer ReadFrame(const base::Fd& fd, std::string* payload, std::size_t longest, Clock::time_point deadline) {
  std::string header;
  const Transfer transfer = ReadAppending(fd, &header, kFrameHeaderBytes, deadline);
  if (transfer != Transfer::kDone) return transfer;
  const std::uint32_t length = FrameLength(header.data());
  if (length > longest) return Transfer::kEnded;
  payload->clear();
  return ReadAppending(fd, payload, length, deadline);
}

}  // namespace winebridge
