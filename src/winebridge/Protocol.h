// What the Linux program and the Wine bridge say to each other over the bridge's standard
// input and output. Every message is a frame: its length as a 32-bit number, then that many
// bytes. Numbers are little-endian; a byte string is its length (32 bits) and its bytes.
// The bridge speaks first (its hello); then each request gets exactly one answer, which
// starts with the call's result code.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <tuple>

#include "base/LittleEndian.h"

namespace winebridge {

// The bridge's first frame: these four bytes, "VNTB", then kProtocolVersion as a 32-bit
// number. Whatever follows the version is a later version's to say.
inline constexpr std::uint32_t kHello = 0x42544E56;
// Counted up at every change to the requests or answers (the table below); the client
// refuses a bridge that speaks another version. The bridges before this number said only
// "VNTB".
inline constexpr std::uint32_t kProtocolVersion = 2;

// The request's first byte. The numbers are the protocol's: new ops go at the end. Each has
// its fields in Wire below and its handling in BridgeServer.cpp; the build fails while
// either is missing.
enum class Op : std::uint8_t {
  kOpenKey,
  kCreateKey,
  kQueryValue,
  kSetValue,
  kDeleteValue,
  kEnumKey,
  kEnumValue,
  kDeleteKey,
  kFlushKey,
  kCloseKey,
  kToAnsi,
  kFromAnsi,
  kQueryValueWide,
  kSetValueWide,
  kCount  // not an op: how many there are
};

// A key's handle, 64 bits on the wire whatever the bridge's own width. In a request, the
// client sends its caller's handle as the bridge's.
struct Handle {
  std::uint64_t value = 0;
};

// The fields of a message, in order: numbers of their width, Handle, byte strings as
// std::string, and groups of fields (a tuple inside) as their fields one after another.
template <typename... Field>
using Fields = std::tuple<Field...>;

// Which of the optional arguments (pointers in the registry call) the caller gave.
inline constexpr std::uint8_t kGivenType = 1;
inline constexpr std::uint8_t kGivenData = 2;
inline constexpr std::uint8_t kGivenSize = 4;

// A read of a value: what the caller gave (kGiven*), the type on entry, the room for the data.
using Asked = Fields<std::uint8_t, std::uint32_t, std::uint32_t>;
// A value read: its type, its size, the data returned (none unless filled).
using ValueRead = Fields<std::uint32_t, std::uint32_t, std::string>;

// Every op's request after the op, and its answer after the result code: the one
// description by which the client builds the requests and reads the answers, and the
// bridge reads the requests and builds the answers. An answer too long for a frame is
// the result code kNotEnoughMemory alone.
template <typename RequestFields, typename AnswerFields>
struct Shape {
  using Request = RequestFields;
  using Answer = AnswerFields;
};
template <Op>
struct Wire;
// parent, path -> the key opened
template <>
struct Wire<Op::kOpenKey> : Shape<Fields<Handle, std::string>, Fields<Handle>> {};
template <>
struct Wire<Op::kCreateKey> : Wire<Op::kOpenKey> {};
// key, name, what is asked -> the value
template <>
struct Wire<Op::kQueryValue> : Shape<Fields<Handle, std::string, Asked>, Fields<ValueRead>> {};
// key, index, what is asked -> the value's name, the value
template <>
struct Wire<Op::kEnumValue> : Shape<Fields<Handle, std::uint32_t, Asked>, Fields<std::string, ValueRead>> {};
// key, name, type, kGivenData or 0, size, data (none unless given)
template <>
struct Wire<Op::kSetValue>
    : Shape<Fields<Handle, std::string, std::uint32_t, std::uint8_t, std::uint32_t, std::string>, Fields<>> {};
// The same two with string data in UTF-16.
template <>
struct Wire<Op::kQueryValueWide> : Wire<Op::kQueryValue> {};
template <>
struct Wire<Op::kSetValueWide> : Wire<Op::kSetValue> {};
// key, name; parent, path
template <>
struct Wire<Op::kDeleteValue> : Shape<Fields<Handle, std::string>, Fields<>> {};
template <>
struct Wire<Op::kDeleteKey> : Wire<Op::kDeleteValue> {};
// key, index -> the subkey's name
template <>
struct Wire<Op::kEnumKey> : Shape<Fields<Handle, std::uint32_t>, Fields<std::string>> {};
template <>
struct Wire<Op::kFlushKey> : Shape<Fields<Handle>, Fields<>> {};
template <>
struct Wire<Op::kCloseKey> : Wire<Op::kFlushKey> {};
// UTF-8 text -> ANSI text, and back
template <>
struct Wire<Op::kToAnsi> : Shape<Fields<std::string>, Fields<std::string>> {};
template <>
struct Wire<Op::kFromAnsi> : Wire<Op::kToAnsi> {};

template <Op op>
using Request = typename Wire<op>::Request;
template <Op op>
using Answer = typename Wire<op>::Answer;

// The length in front of every frame.
inline constexpr std::size_t kFrameHeaderBytes = 4;
// No frame is longer: value data and texts beyond it fail with kNotEnoughMemory.
inline constexpr std::uint32_t kMaxFrame = 64u << 20;

// Builds one frame.
class Writer {
 public:
  Writer() : frame_(kFrameHeaderBytes, '\0') {}
  explicit Writer(Op op) : Writer() { U8(static_cast<std::uint8_t>(op)); }

  Writer& U8(std::uint8_t n) { return Number(n); }
  Writer& U32(std::uint32_t n) { return Number(n); }
  Writer& U64(std::uint64_t n) { return Number(n); }
  Writer& Bytes(std::string_view bytes) {
    U32(static_cast<std::uint32_t>(bytes.size()));
    frame_.append(bytes);
    return *this;
  }
  // One field of a message, as its type says.
  Writer& Put(std::uint8_t n) { return U8(n); }
  Writer& Put(std::uint32_t n) { return U32(n); }
  Writer& Put(Handle key) { return U64(key.value); }
  Writer& Put(const std::string& bytes) { return Bytes(bytes); }
  template <typename... Field>
  Writer& Put(const std::tuple<Field...>& fields) {
    std::apply([this](const Field&... field) { (Put(field), ...); }, fields);
    return *this;
  }
  // The frame with its length in front.
  const std::string& Frame() {
    std::string length;
    base::AppendLittleEndian(&length, PayloadSize(), kFrameHeaderBytes);
    frame_.replace(0, kFrameHeaderBytes, length);
    return frame_;
  }
  // The bytes after the length.
  std::size_t PayloadSize() const { return frame_.size() - kFrameHeaderBytes; }

 private:
  template <typename Number_>
  Writer& Number(Number_ n) {
    base::AppendLittleEndian(&frame_, n, sizeof n);
    return *this;
  }
  std::string frame_;
};

// Reads the fields of one frame's bytes (without the length) in order. A read past the
// end fails, and so does every read after it.
class Reader {
 public:
  explicit Reader(std::string_view payload) : rest_(payload) {}

  bool U8(std::uint8_t* n) { return Number(n); }
  bool U32(std::uint32_t* n) { return Number(n); }
  bool U64(std::uint64_t* n) { return Number(n); }
  bool Bytes(std::string* bytes) {
    std::uint32_t length = 0;
    if (!U32(&length) || length > rest_.size()) return ok_ = false;
    bytes->assign(rest_.substr(0, length));
    rest_.remove_prefix(length);
    return true;
  }
  // One field of a message, as its type says.
  bool Get(std::uint8_t* n) { return U8(n); }
  bool Get(std::uint32_t* n) { return U32(n); }
  bool Get(Handle* key) { return U64(&key->value); }
  bool Get(std::string* bytes) { return Bytes(bytes); }
  template <typename... Field>
  bool Get(std::tuple<Field...>* fields) {
    return std::apply([this](Field&... field) { return (Get(&field) && ...); }, *fields);
  }
  // True when every read succeeded and nothing is left over.
  bool Done() const { return ok_ && rest_.empty(); }

 private:
  template <typename Number_>
  bool Number(Number_* n) {
    if (!ok_ || rest_.size() < sizeof(Number_)) return ok_ = false;
    *n = static_cast<Number_>(base::ReadLittleEndian(rest_.substr(0, sizeof(Number_))));
    rest_.remove_prefix(sizeof(Number_));
    return true;
  }
  std::string_view rest_;
  bool ok_ = true;
};

// The length in front of a frame.
inline std::uint32_t FrameLength(const char* header) {
  return static_cast<std::uint32_t>(base::ReadLittleEndian(std::string_view(header, kFrameHeaderBytes)));
}

// The most read from a pipe at once: a request or a small answer comes in one piece.
inline constexpr std::size_t kReadPiece = 64 * 1024;

}  // namespace winebridge
