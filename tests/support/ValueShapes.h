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
  static const std::vector<ValueShape> shapes = [] {
    using namespace std::string_literals;
    using platform::kRegSz;
    std::string bytes;
    for (int byte = 1; byte <= 0xFF; ++byte) bytes += static_cast<char>(byte);
    const std::string pattern = "Out to lunch, back at 3 – Привет 中文 😀!. ";  // 40 characters
    std::string longText;
    for (int i = 0; i < 2500; ++i) longText += pattern;
    return std::vector<ValueShape>{
        {"100,000 characters", WideSz(longText), Through::Wide, {}},
        {"100,000 characters, a zero inside", WideSz(longText + '\0' + pattern), Through::Wide, {}},
        {"Cyrillic, CJK and emoji", WideSz("Привет 中文 😀"), Through::Wide, {}},
        {"bytes 01 to FF", {kRegSz, bytes + '\0'}, Through::Ansi, {}},
        {"CR LF and TAB", WideSz("one\r\ntwo\tthree\r"), Through::Wide, {}},
        {"zeros inside", WideSz("ab\0cd\0"s), Through::Wide, {}},
        {"two zeros at the end", WideSz("ab\0"s), Through::Wide, {}},
        {"no terminator", {kRegSz, base::Utf8ToUtf16Le("abc")}, Through::Wide, WideSz("abc")},
        // A high surrogate alone, a low one alone, and a pair the wrong way round.
        {"lone surrogates",
         {kRegSz,
          "\x3D\xD8"
          "a\0"
          "\x00\xDC"
          "b\0"
          "\x00\xDC\x3D\xD8"
          "\0\0"s},
         Through::Wide,
         {}},
        {"REG_MULTI_SZ", {platform::kRegMultiSz, base::Utf8ToUtf16Le("a\0b\0\0"s)}, Through::Wide, {}},
        {"REG_EXPAND_SZ", {platform::kRegExpandSz, base::Utf8ToUtf16Le("%TEMP%\\x\0"s)}, Through::Wide, {}},
        {"REG_NONE", {platform::kRegNone, "a\0b\0c\0"s}, Through::Ansi, {}},
        {"REG_QWORD",
         {platform::kRegQword, "\x08\x07\x06\x05\x04\x03\x02\x01"s},
         Through::Ansi,
         Sz("\x08\x07\x06\x05\x04\x03\x02\x01")},
        {"REG_DWORD", {platform::kRegDword, "\x2A\0\0\0"s}, Through::Ansi, Sz("042")},
        {"REG_BINARY", {platform::kRegBinary, "\x0A\x1B\x00\xFF"s}, Through::Ansi, Sz("0A1B00FF")},
    };
  }();
  return shapes;
}

// The shapes fill the five slots three times over: for each five, seeds them into slots 1
// to 5 of the key, runs `reloadAndSubmit`, and checks what each slot holds then.
template <typename Act>
void ExpectEveryShapeKept(platform::Registry& registry, const std::string& key, Act reloadAndSubmit) {
  for (std::size_t first = 0; first < ValueShapes().size(); first += 5) {
    std::vector<RawValue> expected;
    for (std::size_t k = 1; k <= 5; ++k) {
      const ValueShape& shape = ValueShapes()[first + k - 1];
      EXPECT_TRUE(WriteRaw(registry, key, std::to_string(k), shape.seeded, shape.through)) << shape.name;
      const std::optional<RawValue> held = ReadRaw(registry, key, std::to_string(k), shape.through);
      expected.push_back(shape.stored.value_or(RawValue{platform::kRegSz, held ? held->bytes : "(none)"}));
    }
    reloadAndSubmit();
    for (std::size_t k = 1; k <= 5; ++k) {
      const ValueShape& shape = ValueShapes()[first + k - 1];
      EXPECT_EQ(ReadRaw(registry, key, std::to_string(k), shape.through), expected[k - 1]) << shape.name;
    }
  }
}
