// Reading and writing .reg files. The reader goes through the file's own bytes (its UTF-16
// units for a UTF-16 file) a line at a time and keeps nothing but the change at hand, so
// that reading takes little more memory than the file itself, whatever the file holds.
#include "regtool/RegFile.h"

#include <algorithm>
#include <cstdio>

#include "base/LittleEndian.h"
#include "base/Utf8.h"
#include "platform/Registry.h"
#include "regtool/AnsiText.h"

namespace regtool {
namespace {

using Take = std::function<void(const RegChange&)>;
using Note = std::function<void(const RegFileNote&)>;

// regedit breaks a line of hex data once it has this many characters.
constexpr std::size_t kHexLineLimit = 77;
constexpr std::size_t kExcerptLength = 24;

constexpr std::string_view kVersion5Header = "Windows Registry Editor Version 5.00";
constexpr std::string_view kVersion4Header = "REGEDIT4";

// The encodings a file may come in: what its text is made of, and the character at
// text[i], moving i past it. The syntax of a file is ASCII, which is one unit in each.
struct Windows1252 {
  using Text = std::string_view;
  static constexpr bool kWide = false;
  static char32_t Next(Text text, std::size_t& i) { return FromAnsiByte(text[i++]); }
};
struct Utf8 {
  using Text = std::string_view;
  static constexpr bool kWide = false;
  // Only bytes that are valid UTF-8 throughout are read as UTF-8.
  static char32_t Next(Text text, std::size_t& i) { return base::NextUtf8(text, i).value_or(U'\uFFFD'); }
};
struct Utf16 {
  using Text = std::u16string_view;
  static constexpr bool kWide = true;
  // A lone surrogate, which no code page holds, reads as U+FFFD.
  static char32_t Next(Text text, std::size_t& i) {
    const char32_t code = base::NextUtf16(text, i);
    return code >= 0xD800 && code < 0xE000 ? U'\uFFFD' : code;
  }
};

// What makes the line at hand (or the value it is part of) one to pass over.
struct Skip {
  std::string message;
};

template <typename Text>
bool IsBlank(Text text, std::size_t i) {
  return i < text.size() && (text[i] == ' ' || text[i] == '\t');
}

template <typename Text>
std::size_t SkipBlanks(Text text, std::size_t i) {
  while (IsBlank(text, i)) ++i;
  return i;
}

template <typename Text>
Text TrimLeft(Text text) {
  return text.substr(SkipBlanks(text, 0));
}

template <typename Text>
Text Trim(Text text) {
  text = TrimLeft(text);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

// Whether text starts with the ASCII prefix, exactly or with letters in any case.
template <typename Text>
bool StartsWith(Text text, std::string_view prefix, bool anyCase) {
  if (text.size() < prefix.size()) return false;
  const auto upper = [&](int c) { return anyCase && c >= 'a' && c <= 'z' ? c - 0x20 : c; };
  for (std::size_t i = 0; i < prefix.size(); ++i)
    if (upper(text[i]) != upper(prefix[i])) return false;
  return true;
}

template <typename Text>
bool Is(Text text, std::string_view ascii) {
  return text.size() == ascii.size() && StartsWith(text, ascii, false);
}

template <typename Text>
std::optional<Text> PathBelow(Text key) {
  for (const std::string_view root : {"HKEY_CURRENT_USER", "HKCU"}) {
    if (StartsWith(key, root, true) && (key.size() == root.size() || key[root.size()] == '\\'))
      return key.substr(std::min(root.size() + 1, key.size()));
  }
  return std::nullopt;
}

int HexDigit(int c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The hex digits at text[*i], at most limit of them, moving *i past them; nothing when
// there are none or more than limit.
template <typename Text>
std::optional<std::uint32_t> HexNumber(Text text, std::size_t* i, std::size_t limit) {
  std::uint32_t number = 0;
  const std::size_t begin = *i;
  for (; *i < text.size() && HexDigit(text[*i]) >= 0; ++*i) {
    if (*i - begin == limit) return std::nullopt;
    number = number << 4 | static_cast<std::uint32_t>(HexDigit(text[*i]));
  }
  if (*i == begin) return std::nullopt;
  return number;
}

char AnsiChar(char32_t code) {
  if (const std::optional<char> byte = ToAnsiByte(code)) return *byte;
  throw Skip{MissingFromCodePage(code)};
}

template <typename Encoding>
std::string Ansi(typename Encoding::Text text) {
  std::string ansi;
  ansi.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) ansi += AnsiChar(Encoding::Next(text, i));
  return ansi;
}

template <typename Encoding>
std::string Excerpt(typename Encoding::Text text) {
  std::string utf8;
  std::size_t i = 0;
  for (std::size_t n = 0; n < kExcerptLength && i < text.size(); ++n) base::AppendUtf8(utf8, Encoding::Next(text, i));
  return i < text.size() ? utf8 + "..." : utf8;
}

template <typename Encoding>
class Reader {
 public:
  using Text = typename Encoding::Text;

  // reg.exe reads the file as a C string, so that its first zero character ends it.
  Reader(Text text, const Take& take, const Note& note)
      : rest_(text.substr(0, text.find(typename Text::value_type{0}))),
        cut_(rest_.size() < text.size()),
        take_(take),
        note_(note) {}

  // Reads the header and then every line. A file without a header reg.exe knows is refused
  // whole, as is a UTF-16 file whose last byte is half a unit, once its header is right.
  void Run(bool oddByte) {
    Text header;
    NextLine(&header);
    header = TrimLeft(header);
    if (!Is(header, kVersion5Header) && !Is(header, kVersion4Header)) {
      // reg.exe takes any other header that starts so (REGEDIT3, "REGEDIT4 "), and then
      // nothing after it.
      if (StartsWith(header, "REGEDIT", false)) {
        note_({1, "\"" + Excerpt<Encoding>(header) + "\" is no header reg.exe reads further, nothing imported"});
        return;
      }
      throw RegFileFault{1, "not a .reg file: the first line must be \"" + std::string(kVersion5Header) + "\" or \"" +
                                std::string(kVersion4Header) + "\""};
    }
    if (oddByte) {
      Text line;
      while (NextLine(&line)) continue;
      throw RegFileFault{number_, "the file ends inside a UTF-16 character"};
    }
    for (Text line; NextLine(&line);) {
      const int first = number_;
      try {
        Line(TrimLeft(line));
      } catch (const Skip& skip) {
        note_(
            {number_, skip.message + (number_ == first ? std::string(", line skipped")
                                                       : ", the value of line " + std::to_string(first) + " skipped")});
      }
    }
    if (cut_) note_({number_, "a zero character, where reg.exe stops reading: nothing after it imported"});
  }

 private:
  // Where a value line puts its value.
  enum class Target { kNoKeyYet, kKey, kSkippedKey, kDeletedKey };

  // The next line without its line end (CR LF, LF or CR alone), numbered in number_; false
  // past the last one.
  bool NextLine(Text* line) {
    if (ended_) return false;
    std::size_t end = 0;
    while (end < rest_.size() && rest_[end] != '\n' && rest_[end] != '\r') ++end;
    ended_ = end == rest_.size();
    *line = rest_.substr(0, end);
    const bool crlf = end + 1 < rest_.size() && rest_[end] == '\r' && rest_[end + 1] == '\n';
    rest_.remove_prefix(std::min(rest_.size(), end + (crlf ? 2 : 1)));
    ++number_;
    return true;
  }

  void Line(Text line) {
    if (line.empty() || line.front() == ';' || line.front() == '#') return;
    if (line.front() == '[')
      KeyLine(line);
    else if (line.front() == '@' || line.front() == '"')
      ValueLine(line);
    else
      throw Skip{"neither a key, a value nor a comment: " + Excerpt<Encoding>(line)};
  }

  // The name runs to the line's last ']'; reg.exe reads nothing after it. A line that
  // reg.exe doesn't take for a key at all leaves the values after it to the key before it.
  void KeyLine(Text line) {
    const std::size_t close = line.rfind(']');
    if (close == Text::npos) throw Skip{"a key's line must end with ']'"};
    if (IsBlank(line, 1)) throw Skip{"a key's name must follow its '[' at once"};
    target_ = Target::kSkippedKey;
    Text name = line.substr(1, close - 1);
    const bool deletion = !name.empty() && name.front() == '-';
    if (deletion) name.remove_prefix(1);
    const std::optional<Text> path = PathBelow(name);
    if (!path) throw Skip{"only keys under HKEY_CURRENT_USER can be imported, not " + Excerpt<Encoding>(name)};
    RegChange change;
    change.kind = deletion ? RegChange::Kind::kDeleteKey : RegChange::Kind::kCreateKey;
    change.line = number_;
    change.key = Ansi<Encoding>(*path);
    if (deletion && change.key.find_first_not_of('\\') == std::string::npos)
      throw Skip{"HKEY_CURRENT_USER itself can't be deleted"};
    if (const std::optional<std::string> fault = KeyPathFault(change.key)) throw Skip{*fault};
    const Text after = Trim(line.substr(close + 1));
    if (!after.empty() && after.front() != ';')
      note_({number_, "text after the key's ']' ignored: " + Excerpt<Encoding>(after)});
    target_ = deletion ? Target::kDeletedKey : Target::kKey;
    take_(change);
  }

  void ValueLine(Text line) {
    RegChange change;
    change.line = number_;
    std::size_t at = 1;
    if (line.front() == '"') {
      at = 0;
      change.value.name = Quoted(line, &at);
      if (change.value.name.size() > platform::kMaxValueNameLength)
        throw Skip{"a value's name can be at most " + std::to_string(platform::kMaxValueNameLength) + " characters"};
    }
    at = SkipBlanks(line, at);
    if (at == line.size() || line[at] != '=') throw Skip{"'=' must follow the value's name"};
    const Text data = TrimLeft(line.substr(at + 1));
    change.kind = RegChange::Kind::kSetValue;
    if (!data.empty() && data.front() == '-') {
      change.kind = RegChange::Kind::kDeleteValue;
      EndOfData(data, 1);
    } else if (!data.empty() && data.front() == '"') {
      at = 0;
      change.value.data = Quoted(data, &at) + '\0';
      EndOfData(data, at);
      change.value.type = platform::kRegSz;
    } else if (StartsWith(data, "dword:", false)) {
      at = SkipBlanks(data, 6);
      const std::optional<std::uint32_t> number = HexNumber(data, &at, 8);
      if (!number) throw Skip{"dword: must be followed by 1 to 8 hex digits"};
      EndOfData(data, at);
      change.value.type = platform::kRegDword;
      base::AppendLittleEndian(&change.value.data, *number, kDwordSize);
    } else if (StartsWith(data, "hex", false)) {
      at = 0;
      change.value.type = HexType(data, &at);
      change.value.data = HexData(data.substr(at));
      if (platform::IsStringType(change.value.type)) change.value.data = TerminatedText(std::move(change.value.data));
    } else {
      throw Skip{"unknown kind of data: " + Excerpt<Encoding>(data)};
    }
    // After the data, so that a value's continuation lines go with it.
    switch (target_) {
      case Target::kKey:
        break;
      case Target::kNoKeyYet:
        throw Skip{"a value before any key"};
      case Target::kSkippedKey:
        throw Skip{"a value of a key that was skipped"};
      case Target::kDeletedKey:
        throw Skip{"a value after a key's deletion, with no key to go in"};
    }
    take_(change);
  }

  // The quoted string at text[*at], with regedit's escapes, in ANSI bytes with room for a
  // terminating zero; *at ends past its closing quote.
  std::string Quoted(Text text, std::size_t* at) const {
    // The closing quote first: the string may be most of a big file, so its room is
    // taken once.
    std::size_t end = *at + 1;
    while (end < text.size() && text[end] != '"') end += text[end] == '\\' ? 2 : 1;
    if (end >= text.size()) throw Skip{"a string without its closing '\"'"};
    std::string ansi;
    ansi.reserve(end - *at);
    for (std::size_t i = *at + 1; i < end;) {
      char32_t c = Encoding::Next(text, i);
      if (c == '\\') {
        const std::size_t escape = i;
        switch (c = Encoding::Next(text, i)) {
          case '\\':
          case '"':
            break;
          // Wine's regedit writes line breaks in strings this way.
          case 'n':
            c = '\n';
            break;
          case 'r':
            c = '\r';
            break;
          // A zero would end a name or a string early in the registry.
          case '0':
            throw Skip{"a zero character (\\0) in a string"};
          default:
            // reg.exe keeps the character and drops the backslash.
            note_({number_, "unknown escape \\" + Excerpt<Encoding>(text.substr(escape, i - escape)) + ", read as " +
                                Excerpt<Encoding>(text.substr(escape, i - escape))});
        }
      }
      ansi += AnsiChar(c);
    }
    *at = end + 1;
    return ansi;
  }

  // "hex:" is REG_BINARY; "hex(N):" is the type N in hex, as C's strtoul reads it: blanks
  // and a sign may come before the digits, and "hex():" is type 0. *at ends where the bytes
  // begin.
  std::uint32_t HexType(Text data, std::size_t* at) const {
    if (StartsWith(data, "hex:", false)) {
      *at = 4;
      return platform::kRegBinary;
    }
    const Skip badType{"hex data starts with hex: or hex(N): where N is the type in hex"};
    if (!StartsWith(data, "hex(", false)) throw badType;
    std::size_t i = SkipBlanks(data, 4);
    const bool negative = i < data.size() && data[i] == '-';
    if (i < data.size() && (data[i] == '-' || data[i] == '+')) ++i;
    std::uint32_t type = 0;
    if (i < data.size() && HexDigit(data[i]) >= 0) {
      const std::optional<std::uint32_t> number = HexNumber(data, &i, 8);
      if (!number) throw badType;
      type = negative ? 0u - *number : *number;
    } else {
      i = 4;  // no number: what came before the ')' counts for none
    }
    if (!Is(data.substr(i, 2), "):")) throw badType;
    *at = i + 2;
    return type;
  }

  // The bytes of hex data whose first line holds text, across its continuation lines: one
  // or two hex digits a byte, after blanks, with a ',' after each but the last, which may
  // have one too. A line that ends in ",\" (or is "\" alone after the type) goes on in the
  // next line that is neither blank nor a ';' comment, or ends with the file.
  std::string HexData(Text text) {
    std::string bytes;
    // Where a '\' may continue the data: after "hex:" and after a ','.
    bool mayContinue = true;
    for (std::size_t i = 0;;) {
      i = SkipBlanks(text, i);
      if (i == text.size() || text[i] == ';') return bytes;
      if (text[i] == '\\') {
        if (!mayContinue) throw Skip{"a '\\' in hex data must follow a ','"};
        i = SkipBlanks(text, i + 1);
        if (i < text.size() && text[i] != ';')
          throw Skip{"text after the '\\' that continues hex data: " + Excerpt<Encoding>(text.substr(i))};
        do {
          if (!NextLine(&text)) return bytes;
          text = TrimLeft(text);
        } while (text.empty() || text.front() == ';');
        i = 0;
        mayContinue = false;
        continue;
      }
      const std::size_t begin = i;
      const std::optional<std::uint32_t> byte = HexNumber(text, &i, 2);
      if (!byte) throw Skip{"not a byte in hex: " + Excerpt<Encoding>(text.substr(begin))};
      bytes += static_cast<char>(*byte);
      if (i < text.size() && text[i] == ',') {
        ++i;
        mayContinue = true;
        continue;
      }
      const std::size_t after = SkipBlanks(text, i);
      if (after < text.size() && text[after] != ';')
        throw Skip{"a ',' must follow each byte in hex data: " + Excerpt<Encoding>(text.substr(begin))};
      return bytes;
    }
  }

  // Text in hex data, in the registry's code page and, as reg.exe stores it, with a
  // terminating zero if it has none.
  std::string TerminatedText(std::string bytes) const {
    if constexpr (Encoding::kWide) {
      if (bytes.size() % 2 != 0) throw Skip{"text data in a UTF-16 file must be UTF-16, an even number of bytes"};
      bytes = Ansi<Utf16>(base::Utf16Units(bytes));
    }
    if (!bytes.empty() && bytes.back() != '\0') bytes += '\0';
    return bytes;
  }

  // Blanks and a ';' comment may follow the data at text[at]; nothing else.
  static void EndOfData(Text text, std::size_t at) {
    at = SkipBlanks(text, at);
    if (at < text.size() && text[at] != ';') throw Skip{"text after the data: " + Excerpt<Encoding>(text.substr(at))};
  }

  Text rest_;
  const bool cut_;
  const Take& take_;
  const Note& note_;
  int number_ = 0;
  bool ended_ = false;
  Target target_ = Target::kNoKeyYet;
};

// A file without a byte order mark that starts "REGEDIT4" is in the ANSI code page, whatever
// its bytes look like.
bool StartsRegedit4(std::string_view bytes) {
  std::size_t end = 0;
  while (end < bytes.size() && bytes[end] != '\n' && bytes[end] != '\r') ++end;
  return Is(TrimLeft(bytes.substr(0, end)), kVersion4Header);
}

// Version 5.00 text as it is written, in UTF-16LE, with the column its line has reached.
class Utf16Text {
 public:
  // ANSI bytes, ASCII among them, as the characters they stand for.
  Utf16Text& Add(std::string_view ansi) {
    for (const char byte : ansi) {
      base::AppendUtf16Le(bytes_, FromAnsiByte(byte));
      column_ = byte == '\n' ? 0 : column_ + 1;
    }
    return *this;
  }
  // Between quotes, with regedit's escapes.
  Utf16Text& AddQuoted(std::string_view ansi) {
    Add("\"");
    for (const char& byte : ansi) {
      if (byte == '\\' || byte == '"') Add("\\");
      Add(byte == '\n' ? "\\n" : byte == '\r' ? "\\r" : std::string_view(&byte, 1));
    }
    return Add("\"");
  }
  std::size_t column() const { return column_; }
  const std::string& bytes() const { return bytes_; }

 private:
  std::string bytes_;
  std::size_t column_ = 0;
};

// A REG_SZ that regedit can write between quotes and read back to the same bytes: one
// terminating zero, no other, and no line break, which Windows' regedit would not escape.
bool IsPlainString(std::string_view data) {
  return !data.empty() && data.find('\0') == data.size() - 1 && data.find_first_of("\r\n") == std::string_view::npos;
}

void AddHex(Utf16Text& text, const RegValue& value) {
  char number[24];
  if (value.type == platform::kRegBinary)
    std::snprintf(number, sizeof number, "hex:");
  else
    std::snprintf(number, sizeof number, "hex(%x):", static_cast<unsigned>(value.type));
  text.Add(number);
  const std::string bytes = platform::IsStringType(value.type) ? Utf16Text().Add(value.data).bytes() : value.data;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    std::snprintf(number, sizeof number, "%02x", static_cast<unsigned char>(bytes[i]));
    text.Add(number);
    if (i + 1 == bytes.size()) break;
    text.Add(",");
    if (text.column() >= kHexLineLimit) text.Add("\\\r\n  ");
  }
}

}  // namespace

void ReadRegFile(std::string_view bytes, const Take& take, const Note& note) {
  if (bytes.starts_with("\xFF\xFE")) {
    const std::u16string units = base::Utf16Units(bytes.substr(2));
    Reader<Utf16>(units, take, note).Run(bytes.size() % 2 != 0);
  } else if (StartsRegedit4(bytes) || !base::IsUtf8(bytes)) {
    Reader<Windows1252>(bytes, take, note).Run(false);
  } else {
    Reader<Utf8>(bytes, take, note).Run(false);
  }
}

std::optional<std::string> KeyPathFault(std::string_view path) {
  std::size_t depth = 0, length = 0;
  for (std::size_t i = 0; i < path.size(); ++i) {
    if (IsControl(FromAnsiByte(path[i])))
      return "a key's name can't hold " + CharacterName(FromAnsiByte(path[i])) + ", a control character";
    length = path[i] == '\\' ? 0 : length + 1;
    if (length > platform::kMaxKeyNameLength)
      return "a key's name can be at most " + std::to_string(platform::kMaxKeyNameLength) + " characters";
    // A name starts here; empty names between backslashes don't count.
    if (length == 1 && ++depth > kMaxKeyDepth)
      return "a key can be at most " + std::to_string(kMaxKeyDepth) + " levels deep";
  }
  return std::nullopt;
}

std::string RegFileStart() {
  return "\xFF\xFE" + Utf16Text().Add("Windows Registry Editor Version 5.00\r\n\r\n").bytes();
}

std::string RegFileKey(std::string_view path, const std::vector<RegValue>& values) {
  Utf16Text text;
  text.Add("[HKEY_CURRENT_USER");
  if (!path.empty()) text.Add("\\").Add(path);
  text.Add("]\r\n");
  for (const RegValue& value : values) {
    if (value.name.empty())
      text.Add("@");
    else
      text.AddQuoted(value.name);
    text.Add("=");
    if (value.type == platform::kRegSz && IsPlainString(value.data)) {
      text.AddQuoted(std::string_view(value.data).substr(0, value.data.size() - 1));
    } else if (value.type == platform::kRegDword && value.data.size() == kDwordSize) {
      char digits[16];
      std::snprintf(digits, sizeof digits, "dword:%08x", static_cast<unsigned>(base::ReadLittleEndian(value.data)));
      text.Add(digits);
    } else {
      AddHex(text, value);
    }
    text.Add("\r\n");
  }
  return text.Add("\r\n").bytes();
}

std::optional<std::string_view> PathBelowCurrentUser(std::string_view key) { return PathBelow(key); }

}  // namespace regtool
