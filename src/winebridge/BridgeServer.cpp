#include "winebridge/BridgeServer.h"

#include <algorithm>
#include <array>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace winebridge {
namespace {

template <Op>
constexpr bool kUnhandled = false;

// Carries out one request on registry: the call's result code, with *answer filled in, or
// none when the request makes no sense.
template <Op op>
std::optional<long> Carry(Registry& registry, Request<op>& request, Answer<op>* answer) {
  if constexpr (op == Op::kOpenKey || op == Op::kCreateKey) {
    auto& [parent, path] = request;
    RegKey opened = kNoKey;
    const long code = op == Op::kOpenKey ? registry.OpenKey(parent.value, path, &opened)
                                         : registry.CreateKey(parent.value, path, &opened);
    std::get<Handle>(*answer).value = opened;
    return code;
  } else if constexpr (op == Op::kQueryValue || op == Op::kQueryValueWide || op == Op::kEnumValue) {
    // With the optional arguments the caller gave.
    auto& [key, nameOrIndex, asked] = request;
    auto& [given, type, size] = asked;
    if (size > kMaxFrame) return std::nullopt;
    const bool givenData = given & kGivenData;
    // A buffer of no bytes is still a buffer, not a null pointer.
    std::vector<std::uint8_t> data(givenData ? std::max<std::uint32_t>(size, 1) : 0);
    std::uint32_t* typeOut = (given & kGivenType) ? &type : nullptr;
    std::uint8_t* bytes = givenData ? data.data() : nullptr;
    std::uint32_t* sizeOut = (given & kGivenSize) ? &size : nullptr;
    long code = 0;
    if constexpr (op == Op::kEnumValue)
      code = registry.EnumValue(key.value, nameOrIndex, &std::get<std::string>(*answer), typeOut, bytes, sizeOut);
    else if constexpr (op == Op::kQueryValue)
      code = registry.QueryValue(key.value, nameOrIndex, typeOut, bytes, sizeOut);
    else
      code = registry.QueryValueWide(key.value, nameOrIndex, typeOut, bytes, sizeOut);
    const bool filled = code == kSuccess && bytes && sizeOut;
    const char* returned = reinterpret_cast<const char*>(data.data());
    std::get<ValueRead>(*answer) = {type, size, std::string(returned, filled ? size : 0)};
    return code;
  } else if constexpr (op == Op::kSetValue || op == Op::kSetValueWide) {
    auto& [key, name, type, given, size, data] = request;
    const bool givenData = given & kGivenData;
    if (givenData && data.size() != size) return std::nullopt;
    const auto* bytes = givenData ? reinterpret_cast<const std::uint8_t*>(data.data()) : nullptr;
    return op == Op::kSetValue ? registry.SetValue(key.value, name, type, bytes, size)
                               : registry.SetValueWide(key.value, name, type, bytes, size);
  } else if constexpr (op == Op::kDeleteValue || op == Op::kDeleteKey) {
    auto& [key, name] = request;
    return op == Op::kDeleteValue ? registry.DeleteValue(key.value, name) : registry.DeleteKey(key.value, name);
  } else if constexpr (op == Op::kEnumKey) {
    auto& [key, index] = request;
    std::string name;
    const long code = registry.EnumKey(key.value, index, &name);
    if (code == kSuccess) std::get<std::string>(*answer) = std::move(name);
    return code;
  } else if constexpr (op == Op::kFlushKey || op == Op::kCloseKey) {
    const RegKey key = std::get<Handle>(request).value;
    return op == Op::kFlushKey ? registry.FlushKey(key) : registry.CloseKey(key);
  } else if constexpr (op == Op::kToAnsi || op == Op::kFromAnsi) {
    const std::string& text = std::get<std::string>(request);
    std::get<std::string>(*answer) = op == Op::kToAnsi ? registry.ToAnsi(text) : registry.FromAnsi(text);
    return kSuccess;
  } else {
    static_assert(kUnhandled<op>, "every op is carried out here");
  }
}

// Reads op's request from the rest of the payload, carries it out, and writes its answer.
template <Op op>
bool Run(Registry& registry, Reader& in, Writer* answer) {
  Request<op> request;
  if (!in.Get(&request) || !in.Done()) return false;
  Answer<op> fields;
  const std::optional<long> code = Carry<op>(registry, request, &fields);
  if (!code) return false;
  answer->U32(static_cast<std::uint32_t>(*code)).Put(fields);
  return true;
}

// Run of every op, by its number.
using Handler = bool (*)(Registry&, Reader&, Writer*);
template <std::size_t... op>
constexpr std::array<Handler, sizeof...(op)> Handlers(std::index_sequence<op...>) {
  return {&Run<static_cast<Op>(op)>...};
}
constexpr auto kHandlers = Handlers(std::make_index_sequence<static_cast<std::size_t>(Op::kCount)>());

}  // namespace

bool Serve(Registry& registry, std::string_view payload, Writer* answer) {
  Reader in(payload);
  std::uint8_t op = 0;
  if (!in.U8(&op) || op >= kHandlers.size()) return false;
  return kHandlers[op](registry, in, answer);
}

}  // namespace winebridge
