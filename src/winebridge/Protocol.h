// What the Linux program and the Wine bridge say to each other over the bridge's standard
// input and output. Every message is a frame: its length as a 32-bit number, then that many
// bytes. Numbers are little-endian; a byte string is its length (32 bits) and its bytes.
// The bridge speaks first (kHello); then each request gets exactly one answer, which starts
// with the call's result code.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "base/LittleEndian.h"

namespace winebridge {

enum class Op : std::uint8_t {
  kOpenKey,      // u64 parent, path              -> u64 key
  kCreateKey,    // u64 parent, path              -> u64 key
  kQueryValue,   // u64 key, name, u8 given, u32 type, u32 size -> u32 type, u32 size, data
  kSetValue,     // u64 key, name, u32 type, u8 given, u32 size, data
  kDeleteValue,  // u64 key, name
  kEnumKey,      // u64 key, u32 index            -> name
  kEnumValue,    // u64 key, u32 index, u8 given, u32 type, u32 size -> name, u32 type, u32 size, data
  kDeleteKey,    // u64 parent, path
  kFlushKey,     // u64 key
  kCloseKey,     // u64 key
  kToAnsi,       // UTF-8 text                    -> ANSI text
  kFromAnsi,     // ANSI text                     -> UTF-8 text
  kQueryValueWide,  // as kQueryValue, string data in UTF-16
  kSetValueWide,    // as kSetValue, string data in UTF-16
};

// Which of the optional arguments (pointers in the registry call) the caller gave.
inline constexpr std::uint8_t kGivenType = 1;
inline constexpr std::uint8_t kGivenData = 2;
inline constexpr std::uint8_t kGivenSize = 4;

// The length in front of every frame.
inline constexpr std::size_t kFrameHeaderBytes = 4;

// The bridge's first frame: these four bytes, "VNTB".
inline constexpr std::uint32_t kHello = 0x42544E56;
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

}  // namespace winebridge
