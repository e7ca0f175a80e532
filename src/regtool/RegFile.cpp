// Reading and writing .reg files. A file is read whole into changes before any of them is
// applied, so a fault anywhere in it changes nothing.
#include "RegFile.h"

#include <cstdio>

#include "AnsiText.h"
#include "Registry.h"

namespace regtool {
namespace {

constexpr std::u32string_view kVersion5Header = U"Windows Registry Editor Version 5.00";
constexpr std::u32string_view kVersion4Header = U"REGEDIT4";
constexpr std::u32string_view kCurrentUserName = U"HKEY_CURRENT_USER";
constexpr std::u32string_view kCurrentUserShortName = U"HKCU";
// regedit breaks a line of hex data once it has this many characters.
constexpr std::size_t kHexLineLimit = 77;
constexpr std::size_t kExcerptLength = 24;

// The first fault found in a file; reading stops there.
struct Fault {
  int line;
  std::string message;
};

bool IsBlank(char32_t c) { return c == ' ' || c == '\t'; }

std::u32string_view TrimLeft(std::u32string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  return text;
}

std::u32string_view Trim(std::u32string_view text) {
  text = TrimLeft(text);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

bool StartsWithNoCase(std::u32string_view text, std::u32string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    const auto upper = [](char32_t c) { return c >= 'a' && c <= 'z' ? c - 0x20 : c; };
    if (upper(text[i]) != upper(prefix[i])) return false;
  }
  return true;
}

int HexDigit(char32_t c) {
  if (c >= '0' && c <= '9') return static_cast<int>(c - '0');
  if (c >= 'a' && c <= 'f') return static_cast<int>(c - 'a' + 10);
  if (c >= 'A' && c <= 'F') return static_cast<int>(c - 'A' + 10);
  return -1;
}

// The number in 1 to 8 hex digits at the start of text, and how many digits it took.
std::optional<std::uint32_t> HexNumber(std::u32string_view text, std::size_t* length) {
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

std::string Excerpt(std::u32string_view text) {
  if (text.size() <= kExcerptLength) return EncodeUtf8(text);
  return EncodeUtf8(text.substr(0, kExcerptLength)) + "...";
}

class Reader {
 public:
  Reader(std::vector<std::u32string_view> lines, bool version5)
      : lines_(std::move(lines)), version5_(version5) {}

  std::vector<RegChange> Run() {
    for (next_ = 1; next_ < lines_.size();) {
      const int number = LineNumber(next_);
      const std::u32string_view line = TrimLeft(lines_[next_++]);
      if (line.empty() || line.front() == ';') continue;
      if (line.front() == '[')
        KeyLine(line, number);
      else if (line.front() == '@' || line.front() == '"')
        ValueLine(line, number);
      else
        throw Fault{number, "neither a key, a value nor a comment: " + Excerpt(line)};
    }
    return std::move(changes_);
  }

 private:
  static int LineNumber(std::size_t index) { return static_cast<int>(index) + 1; }

  void KeyLine(std::u32string_view line, int number) {
    const std::size_t close = line.rfind(']');
    if (close == std::u32string_view::npos) throw Fault{number, "a key's line must end with ']'"};
    if (!Trim(line.substr(close + 1)).empty())
      throw Fault{number, "text after the key's ']': " + Excerpt(line.substr(close + 1))};
    std::u32string_view name = line.substr(1, close - 1);
    const bool deletion = !name.empty() && name.front() == '-';
    if (deletion) name.remove_prefix(1);
    const std::optional<std::u32string_view> path = PathBelowCurrentUser(name);
    if (!path) throw Fault{number, "only keys under HKEY_CURRENT_USER can be imported, not " + Excerpt(name)};
    RegChange change;
    change.kind = deletion ? RegChange::Kind::kDeleteKey : RegChange::Kind::kCreateKey;
    change.line = number;
    change.key = Name(*path, number);
    if (deletion && change.key.empty()) throw Fault{number, "HKEY_CURRENT_USER itself can't be deleted"};
    changes_.push_back(std::move(change));
    inKey_ = !deletion;
  }

  void ValueLine(std::u32string_view line, int number) {
    if (!inKey_) throw Fault{number, "a value outside of any key"};
    std::size_t at = 1;
    RegChange change;
    change.line = number;
    if (line.front() == '"') {
      at = 0;
      change.value.name = Name(Quoted(line, &at, number), number);
    }
    line = TrimLeft(line.substr(at));
    if (line.empty() || line.front() != '=') throw Fault{number, "'=' must follow the value's name"};
    const std::u32string_view data = TrimLeft(line.substr(1));
    change.kind = RegChange::Kind::kSetValue;
    if (!data.empty() && data.front() == '-') {
      change.kind = RegChange::Kind::kDeleteValue;
      EndOfData(data.substr(1), number);
    } else if (!data.empty() && data.front() == '"') {
      at = 0;
      const std::u32string text = Quoted(data, &at, number);
      EndOfData(data.substr(at), number);
      change.value.type = platform::kRegSz;
      change.value.data = Ansi(text, number) + '\0';
    } else if (StartsWithNoCase(data, U"dword:")) {
      std::size_t length = 0;
      const std::optional<std::uint32_t> number32 = HexNumber(data.substr(6), &length);
      if (!number32) throw Fault{number, "dword: must be followed by 1 to 8 hex digits"};
      EndOfData(data.substr(6 + length), number);
      change.value.type = platform::kRegDword;
      for (int shift = 0; shift < 32; shift += 8) change.value.data += static_cast<char>(*number32 >> shift);
    } else if (StartsWithNoCase(data, U"hex")) {
      std::size_t start = 0;
      change.value.type = HexType(data, number, &start);
      change.value.data = HexData(data.substr(start), number);
      if (IsTextType(change.value.type) && version5_)
        change.value.data = FromUtf16(change.value.data, number);
    } else {
      throw Fault{number, "unknown kind of data: " + Excerpt(data)};
    }
    changes_.push_back(std::move(change));
  }

  // A quoted string at text[*at], with regedit's escapes; *at ends past its closing quote.
  static std::u32string Quoted(std::u32string_view text, std::size_t* at, int number) {
    std::u32string unquoted;
    for (std::size_t i = *at + 1; i < text.size(); ++i) {
      if (text[i] == '"') {
        *at = i + 1;
        return unquoted;
      }
      if (text[i] != '\\') {
        unquoted += text[i];
        continue;
      }
      if (++i == text.size()) break;
      switch (text[i]) {
        case '\\':
          unquoted += '\\';
          break;
        case '"':
          unquoted += '"';
          break;
        // Wine's regedit writes line breaks in strings this way.
        case 'n':
          unquoted += '\n';
          break;
        case 'r':
          unquoted += '\r';
          break;
        default:
          throw Fault{number, "unknown escape \\" + EncodeUtf8(text.substr(i, 1))};
      }
    }
    throw Fault{number, "a string without its closing '\"'"};
  }

  // "hex:" is REG_BINARY; "hex(N):" is the type N, in hex. *start is where the bytes begin.
  static std::uint32_t HexType(std::u32string_view data, int number, std::size_t* start) {
    if (data.size() > 3 && data[3] == ':') {
      *start = 4;
      return platform::kRegBinary;
    }
    std::size_t length = 0;
    const std::optional<std::uint32_t> type =
        data.size() > 4 && data[3] == '(' ? HexNumber(data.substr(4), &length) : std::nullopt;
    if (!type || data.substr(4 + length, 2) != U"):")
      throw Fault{number, "hex data starts with hex: or hex(N): where N is the type in hex"};
    *start = 4 + length + 2;
    return *type;
  }

  // The bytes of hex data whose first line holds text, across its continuation lines: a
  // line that ends with '\' goes on in the next line that is neither blank nor a comment.
  std::string HexData(std::u32string_view text, int number) {
    std::string bytes;
    for (;;) {
      text = Trim(text.substr(0, text.find(';')));
      const bool continues = !text.empty() && text.back() == '\\';
      if (continues) text.remove_suffix(1);
      HexBytes(text, continues, number, &bytes);
      if (!continues) return bytes;
      while (next_ < lines_.size() &&
             (TrimLeft(lines_[next_]).empty() || TrimLeft(lines_[next_]).front() == ';'))
        ++next_;
      if (next_ == lines_.size()) throw Fault{number, "hex data continues past the end of the file"};
      number = LineNumber(next_);
      text = TrimLeft(lines_[next_++]);
    }
  }

  // Bytes as two-digit hex numbers between commas; a line that continues may end with one.
  static void HexBytes(std::u32string_view text, bool continues, int number, std::string* bytes) {
    text = Trim(text);
    if (text.empty()) return;
    for (std::size_t begin = 0;;) {
      const std::size_t comma = text.find(',', begin);
      const bool last = comma == std::u32string_view::npos;
      const std::u32string_view digits =
          Trim(text.substr(begin, last ? std::u32string_view::npos : comma - begin));
      if (digits.empty()) {
        if (last && continues) return;
        throw Fault{number, "a ',' in hex data without a byte beside it"};
      }
      if (digits.size() > 2 || HexDigit(digits.front()) < 0 || HexDigit(digits.back()) < 0)
        throw Fault{number, "not a byte in hex: " + Excerpt(digits)};
      int byte = 0;
      for (const char32_t digit : digits) byte = byte << 4 | HexDigit(digit);
      *bytes += static_cast<char>(byte);
      if (last) return;
      begin = comma + 1;
    }
  }

  static std::string FromUtf16(const std::string& bytes, int number) {
    if (bytes.size() % 2 != 0)
      throw Fault{number, "text data in a version 5 file must be UTF-16, an even number of bytes"};
    return Ansi(DecodeUtf16(bytes), number);
  }

  static void EndOfData(std::u32string_view rest, int number) {
    rest = TrimLeft(rest);
    if (!rest.empty() && rest.front() != ';') throw Fault{number, "text after the data: " + Excerpt(rest)};
  }

  // Names end at a zero character in the registry, so one inside a name would cut it.
  static std::string Name(std::u32string_view text, int number) {
    if (text.find(U'\0') != std::u32string_view::npos) throw Fault{number, "a name with a zero character"};
    return Ansi(text, number);
  }

  static std::string Ansi(std::u32string_view text, int number) {
    AnsiResult ansi = ToAnsiBytes(text);
    if (ansi.missing) {
      throw Fault{number, CodePointName(*ansi.missing) + " (" + EncodeUtf8(std::u32string(1, *ansi.missing)) +
                              ") is not in Windows-1252, the registry's code page here"};
    }
    return std::move(ansi.bytes);
  }

  std::vector<std::u32string_view> lines_;
  bool version5_;
  std::size_t next_ = 1;
  bool inKey_ = false;
  std::vector<RegChange> changes_;
};

std::u32string Escaped(std::u32string_view text) {
  std::u32string escaped;
  for (const char32_t c : text) {
    if (c == '\\' || c == '"') escaped += '\\';
    if (c == '\n')
      escaped += U"\\n";
    else if (c == '\r')
      escaped += U"\\r";
    else
      escaped += c;
  }
  return escaped;
}

// A REG_SZ that regedit can write between quotes and read back to the same bytes: one
// terminating zero, no other, and no line break, which Windows' regedit would not escape.
bool IsPlainString(std::string_view data) {
  return !data.empty() && data.find('\0') == data.size() - 1 &&
         data.find_first_of("\r\n") == std::string_view::npos;
}

void AppendHex(std::u32string* line, const RegValue& value) {
  char text[24];
  if (value.type == platform::kRegBinary)
    std::snprintf(text, sizeof text, "hex:");
  else
    std::snprintf(text, sizeof text, "hex(%x):", static_cast<unsigned>(value.type));
  *line += DecodeUtf8(text);
  const std::string bytes = IsTextType(value.type) ? EncodeUtf16(FromAnsiBytes(value.data)) : value.data;
  std::size_t column = line->size();
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    std::snprintf(text, sizeof text, "%02x", static_cast<unsigned char>(bytes[i]));
    *line += DecodeUtf8(text);
    if (i + 1 == bytes.size()) break;
    *line += ',';
    column += 3;
    if (column >= kHexLineLimit) {
      *line += U"\\\r\n  ";
      column = 2;
    }
  }
}

}  // namespace

RegFileReading ReadRegFile(std::string_view bytes) {
  const bool utf16 = bytes.size() >= 2 && bytes[0] == '\xFF' && bytes[1] == '\xFE';
  const std::u32string text = utf16 ? DecodeUtf16(bytes.substr(2)) : FromAnsiBytes(bytes);
  std::vector<std::u32string_view> lines;
  for (std::size_t begin = 0; begin <= text.size();) {
    std::size_t end = text.find('\n', begin);
    if (end == std::u32string::npos) end = text.size();
    std::u32string_view line(text.data() + begin, end - begin);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.push_back(line);
    begin = end + 1;
  }
  RegFileReading reading;
  try {
    const std::u32string_view header = Trim(lines.front());
    if (header != kVersion5Header && header != kVersion4Header) {
      throw Fault{1,
                  "not a .reg file: the first line must be \"Windows Registry Editor Version 5.00\" or "
                  "\"REGEDIT4\""};
    }
    if (utf16 && bytes.size() % 2 != 0)
      throw Fault{static_cast<int>(lines.size()), "the file ends inside a UTF-16 character"};
    reading.changes = Reader(std::move(lines), header == kVersion5Header).Run();
  } catch (const Fault& fault) {
    reading.changes.clear();
    reading.errorLine = fault.line;
    reading.error = fault.message;
  }
  return reading;
}

std::string WriteRegFile(const std::vector<RegKeyContents>& keys) {
  std::u32string text(kVersion5Header);
  text += U"\r\n\r\n";
  for (const RegKeyContents& key : keys) {
    text += U"[";
    text += kCurrentUserName;
    if (!key.path.empty()) text += U"\\" + FromAnsiBytes(key.path);
    text += U"]\r\n";
    for (const RegValue& value : key.values) {
      std::u32string line = value.name.empty() ? U"@" : U"\"" + Escaped(FromAnsiBytes(value.name)) + U"\"";
      line += '=';
      if (value.type == platform::kRegSz && IsPlainString(value.data)) {
        line += U"\"" + Escaped(FromAnsiBytes(value.data.substr(0, value.data.size() - 1))) + U"\"";
      } else if (value.type == platform::kRegDword && value.data.size() == 4) {
        std::uint32_t number = 0;
        for (int i = 3; i >= 0; --i) number = number << 8 | static_cast<unsigned char>(value.data[i]);
        char digits[16];
        std::snprintf(digits, sizeof digits, "dword:%08x", static_cast<unsigned>(number));
        line += DecodeUtf8(digits);
      } else {
        AppendHex(&line, value);
      }
      text += line + U"\r\n";
    }
    text += U"\r\n";
  }
  return "\xFF\xFE" + EncodeUtf16(text);
}

std::optional<std::u32string_view> PathBelowCurrentUser(std::u32string_view key) {
  for (const std::u32string_view root : {kCurrentUserName, kCurrentUserShortName}) {
    if (StartsWithNoCase(key, root) && (key.size() == root.size() || key[root.size()] == '\\'))
      return key.substr(std::min(root.size() + 1, key.size()));
  }
  return std::nullopt;
}

}  // namespace regtool
