// Reading and writing .reg files. The reader goes through the file's own bytes (its UTF-16
// units for a UTF-16 file) a line at a time and keeps nothing but the change at hand, so
// that reading takes little more memory than the file itself, whatever the file holds.
#include "RegFile.h"

#include <algorithm>
#include <cstdio>

#include "AnsiText.h"
#include "Registry.h"
#include "Utf8.h"

namespace regtool {
namespace {

using Take = std::function<bool(const RegChange&)>;

// regedit breaks a line of hex data once it has this many characters.
constexpr std::size_t kHexLineLimit = 77;
constexpr std::size_t kExcerptLength = 24;

// The encodings a file may come in: what its text is made of, and the character at
// text[i], moving i past it. The syntax of a file is ASCII, which is one unit in each.
struct Windows1252 {
  using Text = std::string_view;
  static char32_t Next(Text text, std::size_t& i) { return FromAnsiByte(text[i++]); }
};
struct Utf8 {
  using Text = std::string_view;
  // Only bytes that are valid UTF-8 throughout are read as UTF-8.
  static char32_t Next(Text text, std::size_t& i) { return platform::NextUtf8(text, i).value_or(U'\uFFFD'); }
};
struct Utf16 {
  using Text = std::u16string_view;
  static char32_t Next(Text text, std::size_t& i) { return NextUtf16(text, i); }
};

// The first fault found in a file; reading stops there.
struct Fault {
  int line;
  std::string message;
};

template <typename Text>
Text TrimLeft(Text text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  return text;
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

// The number in 1 to 8 hex digits at the start of text, and how many digits it took.
template <typename Text>
std::optional<std::uint32_t> HexNumber(Text text, std::size_t* length) {
  std::uint32_t number = 0;
  std::size_t i = 0;
  for (; i < text.size() && HexDigit(text[i]) >= 0; ++i) {
    if (i == 8) return std::nullopt;
    number = number << 4 | static_cast<std::uint32_t>(HexDigit(text[i]));
  }
  *length = i;
  if (i == 0) return std::nullopt;
  return number;
}

// Text-typed data: UTF-16LE in a version 5 file, code-page bytes in the ANSI registry.
bool IsTextType(std::uint32_t type) {
  return type == platform::kRegSz || type == platform::kRegExpandSz || type == platform::kRegMultiSz;
}

char AnsiChar(char32_t code, int number) {
  if (const std::optional<char> byte = ToAnsiByte(code)) return *byte;
  throw Fault{number, MissingFromCodePage(code)};
}

template <typename Encoding>
std::string Ansi(typename Encoding::Text text, int number) {
  std::string ansi;
  ansi.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) ansi += AnsiChar(Encoding::Next(text, i), number);
  return ansi;
}

template <typename Encoding>
std::string Excerpt(typename Encoding::Text text) {
  std::string utf8;
  std::size_t i = 0;
  for (std::size_t n = 0; n < kExcerptLength && i < text.size(); ++n) platform::AppendUtf8(utf8, Encoding::Next(text, i));
  return i < text.size() ? utf8 + "..." : utf8;
}

template <typename Encoding>
class Reader {
 public:
  using Text = typename Encoding::Text;

  Reader(Text text, const Take& take) : text_(text), rest_(text), take_(take) {}

  // Reads the header and then every line, up to the first fault, which it throws. A UTF-16
  // file whose last byte is half a unit is refused once its header is known to be right.
  void Run(bool oddByte) {
    Text header;
    NextLine(&header);
    header = Trim(header);
    version5_ = Is(header, "Windows Registry Editor Version 5.00");
    if (!version5_ && !Is(header, "REGEDIT4")) {
      throw Fault{1,
                  "not a .reg file: the first line must be \"Windows Registry Editor Version 5.00\" or "
                  "\"REGEDIT4\""};
    }
    if (oddByte) {
      throw Fault{static_cast<int>(std::count(text_.begin(), text_.end(), '\n')) + 1,
                  "the file ends inside a UTF-16 character"};
    }
    for (Text line; !stopped_ && NextLine(&line);) {
      line = TrimLeft(line);
      if (line.empty() || line.front() == ';') continue;
      if (line.front() == '[')
        KeyLine(line);
      else if (line.front() == '@' || line.front() == '"')
        ValueLine(line);
      else
        throw Fault{number_, "neither a key, a value nor a comment: " + Excerpt<Encoding>(line)};
    }
  }

 private:
  // The next line without its line end, numbered in number_; false past the last one.
  bool NextLine(Text* line) {
    if (ended_) return false;
    const std::size_t end = rest_.find('\n');
    ended_ = end == Text::npos;
    *line = rest_.substr(0, end);
    rest_.remove_prefix(ended_ ? rest_.size() : end + 1);
    if (!line->empty() && line->back() == '\r') line->remove_suffix(1);
    ++number_;
    return true;
  }

  void Give(const RegChange& change) { stopped_ = !take_(change); }

  void KeyLine(Text line) {
    const std::size_t close = line.rfind(']');
    if (close == Text::npos) throw Fault{number_, "a key's line must end with ']'"};
    if (!Trim(line.substr(close + 1)).empty())
      throw Fault{number_, "text after the key's ']': " + Excerpt<Encoding>(line.substr(close + 1))};
    Text name = line.substr(1, close - 1);
    const bool deletion = !name.empty() && name.front() == '-';
    if (deletion) name.remove_prefix(1);
    const std::optional<Text> path = PathBelow(name);
    if (!path)
      throw Fault{number_, "only keys under HKEY_CURRENT_USER can be imported, not " + Excerpt<Encoding>(name)};
    RegChange change;
    change.kind = deletion ? RegChange::Kind::kDeleteKey : RegChange::Kind::kCreateKey;
    change.line = number_;
    change.key = Ansi<Encoding>(*path, number_);
    if (deletion && change.key.empty()) throw Fault{number_, "HKEY_CURRENT_USER itself can't be deleted"};
    if (const std::optional<std::string> fault = KeyPathFault(change.key)) throw Fault{number_, *fault};
    inKey_ = !deletion;
    Give(change);
  }

  void ValueLine(Text line) {
    if (!inKey_) throw Fault{number_, "a value outside of any key"};
    std::size_t at = 1;
    RegChange change;
    change.line = number_;
    if (line.front() == '"') {
      at = 0;
      change.value.name = Quoted(line, &at);
      // Names end at a zero character in the registry, so one inside a name would cut it.
      if (change.value.name.find('\0') != std::string::npos) throw Fault{number_, "a name with a zero character"};
    }
    line = TrimLeft(line.substr(at));
    if (line.empty() || line.front() != '=') throw Fault{number_, "'=' must follow the value's name"};
    const Text data = TrimLeft(line.substr(1));
    change.kind = RegChange::Kind::kSetValue;
    if (!data.empty() && data.front() == '-') {
      change.kind = RegChange::Kind::kDeleteValue;
      EndOfData(data.substr(1));
    } else if (!data.empty() && data.front() == '"') {
      at = 0;
      change.value.data = Quoted(data, &at);
      EndOfData(data.substr(at));
      change.value.type = platform::kRegSz;
      change.value.data += '\0';
    } else if (StartsWith(data, "dword:", true)) {
      std::size_t length = 0;
      const std::optional<std::uint32_t> number32 = HexNumber(data.substr(6), &length);
      if (!number32) throw Fault{number_, "dword: must be followed by 1 to 8 hex digits"};
      EndOfData(data.substr(6 + length));
      change.value.type = platform::kRegDword;
      for (int shift = 0; shift < 32; shift += 8) change.value.data += static_cast<char>(*number32 >> shift);
    } else if (StartsWith(data, "hex", true)) {
      std::size_t start = 0;
      change.value.type = HexType(data, &start);
      change.value.data = HexData(data.substr(start));
      if (IsTextType(change.value.type) && version5_) change.value.data = FromUtf16(change.value.data);
    } else {
      throw Fault{number_, "unknown kind of data: " + Excerpt<Encoding>(data)};
    }
    Give(change);
  }

  // The quoted string at text[*at], with regedit's escapes, in ANSI bytes with room for a
  // terminating zero; *at ends past its closing quote.
  std::string Quoted(Text text, std::size_t* at) const {
    // The closing quote first: the string may be most of a big file, so its room is
    // taken once.
    std::size_t end = *at + 1;
    while (end < text.size() && text[end] != '"') end += text[end] == '\\' ? 2 : 1;
    if (end >= text.size()) throw Fault{number_, "a string without its closing '\"'"};
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
          default:
            throw Fault{number_, "unknown escape \\" + Excerpt<Encoding>(text.substr(escape, i - escape))};
        }
      }
      ansi += AnsiChar(c, number_);
    }
    *at = end + 1;
    return ansi;
  }

  // "hex:" is REG_BINARY; "hex(N):" is the type N, in hex. *start is where the bytes begin.
  std::uint32_t HexType(Text data, std::size_t* start) const {
    if (data.size() > 3 && data[3] == ':') {
      *start = 4;
      return platform::kRegBinary;
    }
    std::size_t length = 0;
    const std::optional<std::uint32_t> type =
        data.size() > 4 && data[3] == '(' ? HexNumber(data.substr(4), &length) : std::nullopt;
    if (!type || !Is(data.substr(4 + length, 2), "):"))
      throw Fault{number_, "hex data starts with hex: or hex(N): where N is the type in hex"};
    *start = 4 + length + 2;
    return *type;
  }

  // The bytes of hex data whose first line holds text, across its continuation lines: a
  // line that ends with '\' goes on in the next line that is neither blank nor a comment.
  std::string HexData(Text text) {
    std::string bytes;
    for (int number = number_;; number = number_) {
      text = Trim(text.substr(0, text.find(';')));
      const bool continues = !text.empty() && text.back() == '\\';
      if (continues) text.remove_suffix(1);
      HexBytes(text, continues, number, &bytes);
      if (!continues) return bytes;
      do {
        if (!NextLine(&text)) throw Fault{number, "hex data continues past the end of the file"};
        text = TrimLeft(text);
      } while (text.empty() || text.front() == ';');
    }
  }

  // Bytes as two-digit hex numbers between commas; a line that continues may end with one.
  static void HexBytes(Text text, bool continues, int number, std::string* bytes) {
    text = Trim(text);
    if (text.empty()) return;
    for (std::size_t begin = 0;;) {
      const std::size_t comma = text.find(',', begin);
      const bool last = comma == Text::npos;
      const Text digits = Trim(text.substr(begin, last ? Text::npos : comma - begin));
      if (digits.empty()) {
        if (last && continues) return;
        throw Fault{number, "a ',' in hex data without a byte beside it"};
      }
      if (digits.size() > 2 || HexDigit(digits.front()) < 0 || HexDigit(digits.back()) < 0)
        throw Fault{number, "not a byte in hex: " + Excerpt<Encoding>(digits)};
      int byte = 0;
      for (const auto digit : digits) byte = byte << 4 | HexDigit(digit);
      *bytes += static_cast<char>(byte);
      if (last) return;
      begin = comma + 1;
    }
  }

  std::string FromUtf16(const std::string& bytes) const {
    if (bytes.size() % 2 != 0)
      throw Fault{number_, "text data in a version 5 file must be UTF-16, an even number of bytes"};
    return Ansi<Utf16>(Utf16Units(bytes), number_);
  }

  void EndOfData(Text rest) const {
    rest = TrimLeft(rest);
    if (!rest.empty() && rest.front() != ';') throw Fault{number_, "text after the data: " + Excerpt<Encoding>(rest)};
  }

  const Text text_;
  Text rest_;
  const Take& take_;
  int number_ = 0;
  bool ended_ = false;
  bool stopped_ = false;
  bool version5_ = false;
  bool inKey_ = false;
};

// A file without a byte order mark that starts "REGEDIT4" is in the ANSI code page, whatever
// its bytes look like.
bool StartsRegedit4(std::string_view bytes) {
  std::string_view header = bytes.substr(0, bytes.find('\n'));
  if (!header.empty() && header.back() == '\r') header.remove_suffix(1);
  return Is(Trim(header), "REGEDIT4");
}

// Version 5.00 text as it is written, in UTF-16LE, with the column its line has reached.
class Utf16Text {
 public:
  // ANSI bytes, ASCII among them, as the characters they stand for.
  Utf16Text& Add(std::string_view ansi) {
    for (const char byte : ansi) {
      AppendUtf16Le(bytes_, FromAnsiByte(byte));
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
  return !data.empty() && data.find('\0') == data.size() - 1 &&
         data.find_first_of("\r\n") == std::string_view::npos;
}

void AddHex(Utf16Text& text, const RegValue& value) {
  char number[24];
  if (value.type == platform::kRegBinary)
    std::snprintf(number, sizeof number, "hex:");
  else
    std::snprintf(number, sizeof number, "hex(%x):", static_cast<unsigned>(value.type));
  text.Add(number);
  const std::string bytes = IsTextType(value.type) ? Utf16Text().Add(value.data).bytes() : value.data;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    std::snprintf(number, sizeof number, "%02x", static_cast<unsigned char>(bytes[i]));
    text.Add(number);
    if (i + 1 == bytes.size()) break;
    text.Add(",");
    if (text.column() >= kHexLineLimit) text.Add("\\\r\n  ");
  }
}

}  // namespace

RegFileFault ReadRegFile(std::string_view bytes, const Take& take) {
  try {
    if (bytes.starts_with("\xFF\xFE")) {
      const std::u16string units = Utf16Units(bytes.substr(2));
      Reader<Utf16>(units, take).Run(bytes.size() % 2 != 0);
    } else if (StartsRegedit4(bytes) || !platform::IsUtf8(bytes)) {
      Reader<Windows1252>(bytes, take).Run(false);
    } else {
      Reader<Utf8>(bytes, take).Run(false);
    }
  } catch (const Fault& fault) {
    return {fault.line, fault.message};
  }
  return {};
}

std::optional<std::string> KeyPathFault(std::string_view path) {
  std::size_t depth = 0;
  for (std::size_t i = 0; i < path.size(); ++i) {
    if (IsControl(FromAnsiByte(path[i])))
      return "a key's name can't hold " + CharacterName(FromAnsiByte(path[i])) + ", a control character";
    // A name starts here; empty names between backslashes don't count.
    if (path[i] != '\\' && (i == 0 || path[i - 1] == '\\') && ++depth > kMaxKeyDepth)
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
    } else if (value.type == platform::kRegDword && value.data.size() == 4) {
      std::uint32_t number = 0;
      for (int i = 3; i >= 0; --i) number = number << 8 | static_cast<unsigned char>(value.data[i]);
      char digits[16];
      std::snprintf(digits, sizeof digits, "dword:%08x", static_cast<unsigned>(number));
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
