// Every shape of data a slot's value may hold, as other programs, .reg files or a damaged
// registry leave it, and what a reload and a Submit with no edit leave of it: the bytes the
// registry held, as a REG_SZ where the type was another (each slot is stored as a string),
// or the text form the reader gives a number or raw bytes. For the suites that drive the
// window over each registry: the slots (Qt) and vantor.exe (Win32).
#pragma once

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "tests/support/RawRegistry.h"

struct ValueShape {
  const char* name;
  RawValue seeded;
  Through through;                 // the calls that seed it and read it back
  std::optional<RawValue> stored;  // what the slot holds then; nothing: what it held, as a REG_SZ
};

inline const std::vector<ValueShape>& ValueShapes() {
  using namespace std::string_literals;
  using platform::kRegSz;
  std::string bytes;
  for (int byte = 1; byte <= 0xFF; ++byte) bytes += static_cast<char>(byte);
  std::string longText;  // 100,000 characters, 40 at a time
  for (int i = 0; i < 2500; ++i) longText += "Out to lunch, back at 3 – Привет 中文 😀!. ";
  static const std::vector<ValueShape> shapes = {
      {"100,000 characters", WideSz(longText), Through::Wide, {}},
      {"100,000 characters, a zero inside", WideSz(longText + '\0' + longText.substr(0, 100)), Through::Wide, {}},
      {"Cyrillic, CJK and emoji", WideSz("Привет 中文 😀"), Through::Wide, {}},
      {"bytes 01 to FF", {kRegSz, bytes + '\0'}, Through::Ansi, {}},
      {"CR LF and TAB", WideSz("one\r\ntwo\tthree\r"), Through::Wide, {}},
      {"zeros inside", WideSz("ab\0cd\0"s), Through::Wide, {}},
      {"no terminator", {kRegSz, platform::Utf8ToUtf16Le("abc")}, Through::Wide, WideSz("abc")},
      // A high surrogate alone, a low one alone, and a pair the wrong way round.
      {"lone surrogates", {kRegSz, "\x3D\xD8" "a\0" "\x00\xDC" "b\0" "\x00\xDC\x3D\xD8" "\0\0"s}, Through::Wide, {}},
      {"REG_MULTI_SZ", {platform::kRegMultiSz, platform::Utf8ToUtf16Le("a\0b\0\0"s)}, Through::Wide, {}},
      {"REG_EXPAND_SZ", {platform::kRegExpandSz, platform::Utf8ToUtf16Le("%TEMP%\\x\0"s)}, Through::Wide, {}},
      {"REG_NONE", {platform::kRegNone, "a\0b\0c\0"s}, Through::Ansi, {}},
      {"REG_QWORD", {platform::kRegQword, "\x08\x07\x06\x05\x04\x03\x02\x01"s}, Through::Ansi,
       Sz("\x08\x07\x06\x05\x04\x03\x02\x01")},
      {"REG_DWORD", {platform::kRegDword, "\x2A\0\0\0"s}, Through::Ansi, Sz("042")},
      {"REG_BINARY", {platform::kRegBinary, "\x0A\x1B\x00\xFF"s}, Through::Ansi, Sz("0A1B00FF")},
  };
  return shapes;
}

// The shapes are seeded five at a time, one a slot, from the shape `first` on.
inline constexpr std::size_t kShapesAtATime = 5;

// Seeds slots 1 to 5 of the key with the shapes from `first` on, deleting a slot past the
// last shape, and gives what each seeded slot must hold after the reload and the Submit.
inline std::vector<RawValue> SeedShapes(platform::Registry& registry, const std::string& key, std::size_t first) {
  std::vector<RawValue> expected;
  for (std::size_t k = 1; k <= kShapesAtATime; ++k) {
    const std::string slot = std::to_string(k);
    if (first + k > ValueShapes().size()) {
      platform::Key opened(registry);
      registry.OpenKey(platform::kCurrentUser, key, opened.Receive());
      registry.DeleteValue(opened.get(), slot);
      continue;
    }
    const ValueShape& shape = ValueShapes()[first + k - 1];
    EXPECT_TRUE(WriteRaw(registry, key, slot, shape.seeded, shape.through)) << shape.name;
    const std::optional<RawValue> held = ReadRaw(registry, key, slot, shape.through);
    EXPECT_TRUE(held) << shape.name;
    expected.push_back(shape.stored.value_or(RawValue{platform::kRegSz, held ? held->bytes : ""}));
  }
  return expected;
}

inline void ExpectShapesKept(platform::Registry& registry, const std::string& key, std::size_t first,
                             const std::vector<RawValue>& expected) {
  for (std::size_t k = 1; k <= expected.size(); ++k) {
    const ValueShape& shape = ValueShapes()[first + k - 1];
    EXPECT_EQ(ReadRaw(registry, key, std::to_string(k), shape.through), expected[k - 1]) << shape.name;
  }
}
