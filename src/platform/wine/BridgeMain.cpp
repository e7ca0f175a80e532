// vantor-wine-bridge.exe: runs under wine in a prefix and makes the registry calls that the
// Linux program sends on standard input, answering on standard output
// (wine/Protocol.h). Its registry is the prefix's live one, held by the prefix's
// wineserver beside a running messenger. It ends when its input ends.
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/Registry.h"
#include "platform/wine/Protocol.h"

namespace {

using platform::RegKey;
using platform::wire::Op;
using platform::wire::Reader;
using platform::wire::Writer;

// Whole frames over the two standard handles.
class Channel {
 public:
  bool Receive(std::string* payload) {
    char header[4];
    if (!Take(header, 4)) return false;
    const std::uint32_t length = platform::wire::FrameLength(header);
    if (length > platform::wire::kMaxFrame) return false;
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
  // Reads in large pieces: a request usually comes in one.
  bool Take(char* to, std::size_t count) {
    while (count > 0) {
      if (next_ == buffer_.size()) {
        DWORD got = 0;
        buffer_.resize(64 * 1024);
        if (!ReadFile(in_, buffer_.data(), static_cast<DWORD>(buffer_.size()), &got, nullptr) || got == 0)
          return false;
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

std::string_view Text(const std::vector<std::uint8_t>& bytes, std::uint32_t size) {
  return {reinterpret_cast<const char*>(bytes.data()), size};
}

// Carries out one request; false when it makes no sense, which ends the bridge.
bool Serve(platform::Registry& registry, std::string_view request, Writer* answer) {
  Reader in(request);
  std::uint8_t op = 0;
  std::uint64_t key = 0;
  std::uint32_t index = 0, type = 0, size = 0;
  std::uint8_t given = 0;
  std::string text;
  if (!in.U8(&op)) return false;
  const auto result = [answer](long code) -> Writer& { return answer->U32(static_cast<std::uint32_t>(code)); };
  switch (static_cast<Op>(op)) {
    case Op::kPing:
      if (!in.Done()) return false;
      result(platform::kSuccess);
      return true;
    case Op::kOpenKey:
    case Op::kCreateKey: {
      if (!in.U64(&key) || !in.Bytes(&text) || !in.Done()) return false;
      RegKey opened = platform::kNoKey;
      const long code = static_cast<Op>(op) == Op::kOpenKey ? registry.OpenKey(key, text, &opened)
                                                            : registry.CreateKey(key, text, &opened);
      result(code).U64(opened);
      return true;
    }
    case Op::kQueryValue:
    case Op::kQueryValueWide:
    case Op::kEnumValue: {
      const bool query = static_cast<Op>(op) != Op::kEnumValue;
      if (!in.U64(&key) || !(query ? in.Bytes(&text) : in.U32(&index)) || !in.U8(&given) || !in.U32(&type) ||
          !in.U32(&size) || !in.Done() || size > platform::wire::kMaxFrame)
        return false;
      // A buffer of no bytes is still a buffer, not a null pointer.
      std::vector<std::uint8_t> data((given & platform::wire::kGivenData) ? std::max<std::uint32_t>(size, 1) : 0);
      std::uint32_t* typeOut = (given & platform::wire::kGivenType) ? &type : nullptr;
      std::uint8_t* dataOut = (given & platform::wire::kGivenData) ? data.data() : nullptr;
      std::uint32_t* sizeOut = (given & platform::wire::kGivenSize) ? &size : nullptr;
      const Op call = static_cast<Op>(op);
      const long code = call == Op::kQueryValue       ? registry.QueryValue(key, text, typeOut, dataOut, sizeOut)
                        : call == Op::kQueryValueWide ? registry.QueryValueWide(key, text, typeOut, dataOut, sizeOut)
                                                      : registry.EnumValue(key, index, &text, typeOut, dataOut, sizeOut);
      const bool filled = code == platform::kSuccess && dataOut && sizeOut;
      Writer& out = result(code);
      if (!query) out.Bytes(text);
      out.U32(type).U32(size).Bytes(filled ? Text(data, size) : std::string_view());
      return true;
    }
    case Op::kSetValue:
    case Op::kSetValueWide: {
      std::string data;
      if (!in.U64(&key) || !in.Bytes(&text) || !in.U32(&type) || !in.U8(&given) || !in.U32(&size) ||
          !in.Bytes(&data) || !in.Done() || ((given & platform::wire::kGivenData) && data.size() != size))
        return false;
      const auto* bytes = (given & platform::wire::kGivenData) ? reinterpret_cast<const std::uint8_t*>(data.data()) : nullptr;
      result(static_cast<Op>(op) == Op::kSetValue ? registry.SetValue(key, text, type, bytes, size)
                                                  : registry.SetValueWide(key, text, type, bytes, size));
      return true;
    }
    case Op::kEnumKey: {
      if (!in.U64(&key) || !in.U32(&index) || !in.Done()) return false;
      const long code = registry.EnumKey(key, index, &text);
      result(code).Bytes(code == platform::kSuccess ? text : std::string());
      return true;
    }
    case Op::kDeleteValue:
    case Op::kDeleteKey:
      if (!in.U64(&key) || !in.Bytes(&text) || !in.Done()) return false;
      result(static_cast<Op>(op) == Op::kDeleteValue ? registry.DeleteValue(key, text) : registry.DeleteKey(key, text));
      return true;
    case Op::kFlushKey:
    case Op::kCloseKey:
      if (!in.U64(&key) || !in.Done()) return false;
      result(static_cast<Op>(op) == Op::kFlushKey ? registry.FlushKey(key) : registry.CloseKey(key));
      return true;
    case Op::kToAnsi:
    case Op::kFromAnsi:
      if (!in.Bytes(&text) || !in.Done()) return false;
      result(platform::kSuccess).Bytes(static_cast<Op>(op) == Op::kToAnsi ? registry.ToAnsi(text) : registry.FromAnsi(text));
      return true;
  }
  return false;
}

}  // namespace

int main() {
  Channel channel;
  platform::Registry& registry = platform::Registry::Default();
  if (!channel.Send(Writer().U32(platform::wire::kHello).Frame())) return 1;
  std::string request;
  while (channel.Receive(&request)) {
    Writer answer;
    if (!Serve(registry, request, &answer)) return 1;
    // An answer too long for a frame (a value's data beyond the limit) says so instead.
    if (answer.Frame().size() - 4 > platform::wire::kMaxFrame)
      answer = std::move(Writer().U32(static_cast<std::uint32_t>(platform::kNotEnoughMemory)));
    if (!channel.Send(answer.Frame())) return 1;
  }
  return 0;
}
