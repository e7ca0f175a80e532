#include "winebridge/BridgeServer.h"

#include <algorithm>
#include <string>
#include <vector>

namespace winebridge {
namespace {

// A request's fields after its op; which of them it carries depends on the op.
struct Request {
  Request(Op call, Reader fields) : op(call), in(fields) {}
  Op op;
  Reader in;
  std::uint64_t key = 0;
  std::uint32_t index = 0, type = 0, size = 0;
  std::uint8_t given = 0;
  std::string text;
};

Writer& Result(Writer* answer, long code) { return answer->U32(static_cast<std::uint32_t>(code)); }

bool OpenOrCreate(Registry& registry, Request& request, Writer* answer) {
  if (!request.in.U64(&request.key) || !request.in.Bytes(&request.text) || !request.in.Done()) return false;
  RegKey opened = kNoKey;
  const long code = request.op == Op::kOpenKey ? registry.OpenKey(request.key, request.text, &opened)
                                               : registry.CreateKey(request.key, request.text, &opened);
  Result(answer, code).U64(opened);
  return true;
}

// QueryValue, QueryValueWide and EnumValue, with the optional arguments the caller gave.
bool ReadValue(Registry& registry, Request& request, Writer* answer) {
  Reader& in = request.in;
  const bool query = request.op != Op::kEnumValue;
  if (!in.U64(&request.key) || !(query ? in.Bytes(&request.text) : in.U32(&request.index)) || !in.U8(&request.given) ||
      !in.U32(&request.type) || !in.U32(&request.size) || !in.Done() || request.size > kMaxFrame)
    return false;
  const bool givenData = request.given & kGivenData;
  // A buffer of no bytes is still a buffer, not a null pointer.
  std::vector<std::uint8_t> data(givenData ? std::max<std::uint32_t>(request.size, 1) : 0);
  std::uint32_t* type = (request.given & kGivenType) ? &request.type : nullptr;
  std::uint8_t* bytes = givenData ? data.data() : nullptr;
  std::uint32_t* size = (request.given & kGivenSize) ? &request.size : nullptr;
  const std::string& name = request.text;
  const long code = request.op == Op::kQueryValue       ? registry.QueryValue(request.key, name, type, bytes, size)
                    : request.op == Op::kQueryValueWide ? registry.QueryValueWide(request.key, name, type, bytes, size)
                                                        : registry.EnumValue(request.key, request.index, &request.text,
                                                                             type, bytes, size);
  const bool filled = code == kSuccess && bytes && size;
  Writer& out = Result(answer, code);
  if (!query) out.Bytes(request.text);
  const std::string_view returned(reinterpret_cast<const char*>(data.data()), filled ? request.size : 0);
  out.U32(request.type).U32(request.size).Bytes(returned);
  return true;
}

bool WriteValue(Registry& registry, Request& request, Writer* answer) {
  Reader& in = request.in;
  std::string data;
  if (!in.U64(&request.key) || !in.Bytes(&request.text) || !in.U32(&request.type) || !in.U8(&request.given) ||
      !in.U32(&request.size) || !in.Bytes(&data) || !in.Done())
    return false;
  const bool givenData = request.given & kGivenData;
  if (givenData && data.size() != request.size) return false;
  const auto* bytes = givenData ? reinterpret_cast<const std::uint8_t*>(data.data()) : nullptr;
  Result(answer, request.op == Op::kSetValue
                     ? registry.SetValue(request.key, request.text, request.type, bytes, request.size)
                     : registry.SetValueWide(request.key, request.text, request.type, bytes, request.size));
  return true;
}

bool EnumKey(Registry& registry, Request& request, Writer* answer) {
  if (!request.in.U64(&request.key) || !request.in.U32(&request.index) || !request.in.Done()) return false;
  const long code = registry.EnumKey(request.key, request.index, &request.text);
  Result(answer, code).Bytes(code == kSuccess ? request.text : std::string());
  return true;
}

bool DeleteValueOrKey(Registry& registry, Request& request, Writer* answer) {
  if (!request.in.U64(&request.key) || !request.in.Bytes(&request.text) || !request.in.Done()) return false;
  Result(answer, request.op == Op::kDeleteValue ? registry.DeleteValue(request.key, request.text)
                                                : registry.DeleteKey(request.key, request.text));
  return true;
}

bool FlushOrClose(Registry& registry, Request& request, Writer* answer) {
  if (!request.in.U64(&request.key) || !request.in.Done()) return false;
  Result(answer, request.op == Op::kFlushKey ? registry.FlushKey(request.key) : registry.CloseKey(request.key));
  return true;
}

bool Convert(Registry& registry, Request& request, Writer* answer) {
  if (!request.in.Bytes(&request.text) || !request.in.Done()) return false;
  Result(answer, kSuccess)
      .Bytes(request.op == Op::kToAnsi ? registry.ToAnsi(request.text) : registry.FromAnsi(request.text));
  return true;
}

}  // namespace

bool Serve(Registry& registry, std::string_view payload, Writer* answer) {
  Reader in(payload);
  std::uint8_t op = 0;
  if (!in.U8(&op)) return false;
  Request request(static_cast<Op>(op), in);
  switch (request.op) {
    case Op::kOpenKey:
    case Op::kCreateKey:
      return OpenOrCreate(registry, request, answer);
    case Op::kQueryValue:
    case Op::kQueryValueWide:
    case Op::kEnumValue:
      return ReadValue(registry, request, answer);
    case Op::kSetValue:
    case Op::kSetValueWide:
      return WriteValue(registry, request, answer);
    case Op::kEnumKey:
      return EnumKey(registry, request, answer);
    case Op::kDeleteValue:
    case Op::kDeleteKey:
      return DeleteValueOrKey(registry, request, answer);
    case Op::kFlushKey:
    case Op::kCloseKey:
      return FlushOrClose(registry, request, answer);
    case Op::kToAnsi:
    case Op::kFromAnsi:
      return Convert(registry, request, answer);
  }
  return false;
}

}  // namespace winebridge
