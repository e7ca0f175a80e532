// The Wine bridge, vantor-wine-bridge-win32.exe or -win64.exe: runs under wine in a prefix
// and makes the registry calls that the Linux program sends on standard input, answering on
// standard output (Protocol.h). Its registry is the prefix's live one, held by the prefix's
// wineserver beside a running messenger. It ends when its input ends.
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/Registry.h"
#include "winebridge/BridgeServer.h"
#include "winebridge/Protocol.h"

namespace {

using winebridge::Writer;

// Whole frames over the two standard handles.
class Channel {
 public:
  bool Receive(std::string* payload) {
    char header[winebridge::kFrameHeaderBytes];
    if (!Take(header, sizeof header)) return false;
    const std::uint32_t length = winebridge::FrameLength(header);
    if (length > winebridge::kMaxFrame) return false;
    payload->resize(length);
    return Take(payload->data(), length);
  }

  bool Send(const std::string& frame) {
    for (std::size_t sent = 0; sent < frame.size();) {
      DWORD written = 0;
      if (!WriteFile(out_, frame.data() + sent, static_cast<DWORD>(frame.size() - sent), &written, nullptr) ||
          written == 0)
        return false;
      sent += written;
    }
    return true;
  }

 private:
  bool Take(char* to, std::size_t count) {
    while (count > 0) {
      if (next_ == buffer_.size()) {
        DWORD got = 0;
        buffer_.resize(winebridge::kReadPiece);
        if (!ReadFile(in_, buffer_.data(), static_cast<DWORD>(buffer_.size()), &got, nullptr) || got == 0) return false;
        buffer_.resize(got);
        next_ = 0;
      }
      const std::size_t piece = std::min(count, buffer_.size() - next_);
      std::copy_n(buffer_.data() + next_, piece, to);
      next_ += piece;
      to += piece;
      count -= piece;
    }
    return true;
  }

  HANDLE in_ = GetStdHandle(STD_INPUT_HANDLE);
  HANDLE out_ = GetStdHandle(STD_OUTPUT_HANDLE);
  std::vector<char> buffer_;
  std::size_t next_ = 0;
};

}  // namespace

int main() {
  Channel channel;
  platform::Registry& registry = platform::Registry::Default();
  if (!channel.Send(Writer().U32(winebridge::kHello).U32(winebridge::kProtocolVersion).Frame())) return 1;
  std::string request;
  while (channel.Receive(&request)) {
    Writer answer;
    if (!winebridge::Serve(registry, request, &answer)) return 1;
    // An answer too long for a frame (a value's data beyond the limit) says so instead.
    if (answer.PayloadSize() > winebridge::kMaxFrame)
      answer = std::move(Writer().U32(static_cast<std::uint32_t>(platform::kNotEnoughMemory)));
    if (!channel.Send(answer.Frame())) return 1;
  }
  return 0;
}
