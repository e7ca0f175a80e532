// The commands: their command lines as reg.exe reads them (switches with '/' or '-', in
// any case and order), and their output as reg.exe prints it.
#include "regtool/RegCommands.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>

#include "platform/Utf8.h"
#include "regtool/AnsiText.h"
#include "regtool/RegFile.h"
#include "regtool/RegistryWalk.h"

namespace regtool {
namespace {

using platform::kCurrentUser;
using platform::kSuccess;

constexpr const char* kSucceeded = "The operation completed successfully.";
constexpr const char* kNotFound = "ERROR: The system was unable to find the specified registry key or value.";
constexpr const char* kCanceled = "The operation was canceled by the user.";

constexpr const char* kUsage =
    "vantor-reg QUERY KEY [/v NAME | /ve] [/s]\n"
    "vantor-reg ADD KEY [/v NAME | /ve] [/t TYPE] [/d DATA] [/f]\n"
    "vantor-reg DELETE KEY [/v NAME | /ve | /va] [/f]\n"
    "vantor-reg EXPORT KEY FILE [/y]\n"
    "vantor-reg IMPORT FILE\n"
    "vantor-reg --version\n"
    "\n"
    "KEY is HKCU\\PATH or HKEY_CURRENT_USER\\PATH. TYPE is one of REG_SZ, REG_EXPAND_SZ,\n"
    "REG_MULTI_SZ (DATA with \\0 between the strings), REG_DWORD, REG_QWORD (DATA in decimal\n"
    "or 0x hex), REG_BINARY (DATA in hex digits) and REG_NONE.\n";

const std::map<std::uint32_t, std::string>& TypeNames() {
  static const std::map<std::uint32_t, std::string> names = {{0, "REG_NONE"},
                                                             {1, "REG_SZ"},
                                                             {2, "REG_EXPAND_SZ"},
                                                             {3, "REG_BINARY"},
                                                             {4, "REG_DWORD"},
                                                             {5, "REG_DWORD_BIG_ENDIAN"},
                                                             {6, "REG_LINK"},
                                                             {7, "REG_MULTI_SZ"},
                                                             {8, "REG_RESOURCE_LIST"},
                                                             {9, "REG_FULL_RESOURCE_DESCRIPTOR"},
                                                             {10, "REG_RESOURCE_REQUIREMENTS_LIST"},
                                                             {11, "REG_QWORD"}};
  return names;
}

// The types ADD takes, as reg.exe does.
std::optional<std::uint32_t> AddableType(const std::string& name) {
  std::string upper = name;
  std::transform(upper.begin(), upper.end(), upper.begin(), [](unsigned char c) { return std::toupper(c); });
  for (const std::uint32_t type :
       {platform::kRegSz, platform::kRegExpandSz, platform::kRegMultiSz, platform::kRegDword,
        platform::kRegQword, platform::kRegBinary, platform::kRegNone}) {
    if (TypeNames().at(type) == upper) return type;
  }
  return std::nullopt;
}

// A command's failure: what to print on stderr before exiting with 1.
struct Failure {
  std::string message;
};

std::string UsageHint(const std::string& command) {
  std::string upper = command;
  std::transform(upper.begin(), upper.end(), upper.begin(), [](unsigned char c) { return std::toupper(c); });
  return "Type \"vantor-reg " + upper + " /?\" for usage.";
}

std::string SyntaxError(const std::string& command) {
  return "ERROR: Invalid syntax.\n" + UsageHint(command);
}

// The characters of a command-line argument, which must be UTF-8.
std::u32string Characters(std::string_view utf8) {
  std::u32string text;
  for (std::size_t i = 0; i < utf8.size();) {
    const std::optional<char32_t> code = platform::NextUtf8(utf8, i);
    if (!code) throw Failure{"ERROR: An argument holds bytes that are not valid UTF-8."};
    text += *code;
  }
  return text;
}

// UTF-8 from the command line in the registry's ANSI bytes.
std::string Ansi(std::string_view utf8) {
  std::string ansi;
  for (const char32_t code : Characters(utf8)) {
    const std::optional<char> byte = ToAnsiByte(code);
    if (!byte) throw Failure{"ERROR: " + MissingFromCodePage(code) + "."};
    ansi += *byte;
  }
  return ansi;
}

// The whole of a file, or false with errno telling why it can't be read.
bool ReadWholeFile(const std::string& path, std::string* bytes) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  // A file's size, where it has one, is room enough: its bytes are then held once.
  struct stat info {};
  if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) bytes->reserve(static_cast<std::size_t>(info.st_size));
  char chunk[1 << 16];
  ssize_t count = 0;
  while ((count = read(fd, chunk, sizeof chunk)) > 0 || (count < 0 && errno == EINTR))
    if (count > 0) bytes->append(chunk, static_cast<std::size_t>(count));
  const int error = errno;
  close(fd);
  errno = error;
  return count == 0;
}

// A command line taken apart. Each switch may be given once.
struct CommandLine {
  std::string command;                 // lower case
  std::vector<std::string> arguments;  // KEY, FILE
  std::optional<std::string> valueName, type, data;
  bool defaultValue = false;  // /ve
  bool allValues = false;     // /va
  bool recurse = false;       // /s
  bool force = false;         // /f, and /y of EXPORT
};

CommandLine Parse(const std::vector<std::string>& args) {
  CommandLine line;
  line.command = args.front();
  std::transform(line.command.begin(), line.command.end(), line.command.begin(),
                 [](unsigned char c) { return std::tolower(c); });
  // The switches each command takes; those marked with '=' take an argument.
  static const std::map<std::string, std::vector<std::string>> kSwitches = {
      {"query", {"v=", "ve", "s"}},
      {"add", {"v=", "ve", "t=", "d=", "f"}},
      {"delete", {"v=", "ve", "va", "f"}},
      {"export", {"y"}},
      {"import", {}}};
  static const std::map<std::string, std::size_t> kArguments = {
      {"query", 1}, {"add", 1}, {"delete", 1}, {"export", 2}, {"import", 1}};
  const std::vector<std::string>& allowed = kSwitches.at(line.command);
  for (std::size_t i = 1; i < args.size(); ++i) {
    const std::string& arg = args[i];
    std::string name = arg.substr(arg.empty() ? 0 : 1);
    std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::tolower(c); });
    const bool takesValue = std::find(allowed.begin(), allowed.end(), name + "=") != allowed.end();
    // Anything but a switch of the command is an argument: a file's path here may start
    // with '/'. An unknown switch then makes one argument too many.
    if ((arg[0] != '/' && arg[0] != '-') ||
        (!takesValue && std::find(allowed.begin(), allowed.end(), name) == allowed.end())) {
      line.arguments.push_back(arg);
      continue;
    }
    if (takesValue) {
      std::optional<std::string>& slot = name == "v" ? line.valueName : name == "t" ? line.type : line.data;
      if (slot || ++i == args.size()) throw Failure{SyntaxError(line.command)};
      slot = args[i];
      continue;
    }
    bool& flag = name == "ve"   ? line.defaultValue
                 : name == "va" ? line.allValues
                 : name == "s"  ? line.recurse
                                : line.force;
    if (flag) throw Failure{SyntaxError(line.command)};
    flag = true;
  }
  const int valueChoices = line.valueName.has_value() + line.defaultValue + line.allValues;
  if (line.arguments.size() != kArguments.at(line.command) || valueChoices > 1)
    throw Failure{SyntaxError(line.command)};
  return line;
}

// A KEY argument: how the commands print it, and its path below HKEY_CURRENT_USER.
struct KeyName {
  std::string shown;  // UTF-8, from the long name of the root
  std::string path;   // ANSI
};

KeyName ParseKey(const CommandLine& line) {
  const std::string& key = line.arguments.front();
  const std::optional<std::string_view> below = PathBelowCurrentUser(key);
  // As reg.exe: a backslash after the root must have a path after it; one at the end goes.
  if (!below || (below->empty() && key.back() == '\\'))
    throw Failure{"ERROR: Invalid key name.\n" + UsageHint(line.command)};
  std::string path(*below);
  if (!path.empty() && path.back() == '\\') path.pop_back();
  std::string ansi = Ansi(path);
  return {path.empty() ? "HKEY_CURRENT_USER" : "HKEY_CURRENT_USER\\" + path, std::move(ansi)};
}

class Session {
 public:
  Session(std::istream& in, std::ostream& out, std::ostream& err) : in_(in), out_(out), err_(err) {}

  // Reads from one view of the hive, without the write lock: the handle held on the key
  // keeps the hive's snapshot while the walk goes on.
  int Query(const CommandLine& line) {
    const KeyName key = ParseKey(line);
    KeyHandle handle;
    Check(Hive().OpenKey(kCurrentUser, key.path, handle.Receive()));
    if (!line.valueName && !line.defaultValue) {
      out_ << '\n';
      if (line.recurse) {
        Check(WalkTree(handle.get(), [&](platform::RegKey subkey, const std::string& below) {
          ListValues(subkey, key.shown + Hive().FromAnsi(below), !below.empty());
          return kSuccess;
        }));
        return 0;
      }
      ListValues(handle.get(), key.shown, false);
      std::vector<std::string> names;
      Check(ReadSubkeyNames(handle.get(), &names));
      for (const std::string& name : names) out_ << key.shown << '\\' << Hive().FromAnsi(name) << '\n';
      return 0;
    }
    const std::string name = line.valueName ? Ansi(*line.valueName) : std::string();
    if (line.recurse) {
      out_ << '\n';
      int matches = 0;
      Check(WalkTree(handle.get(), [&](platform::RegKey subkey, const std::string& below) {
        RegValue value;
        if (ReadValue(subkey, name, &value) == kSuccess) {
          out_ << key.shown << Hive().FromAnsi(below) << '\n';
          PrintValue(value);
          out_ << '\n';
          ++matches;
        }
        return kSuccess;
      }));
      out_ << "End of search: " << matches << " match(es) found.\n";
      return 0;
    }
    RegValue value;
    const long result = ReadValue(handle.get(), name, &value);
    if (result == platform::kFileNotFound && line.defaultValue) {
      out_ << '\n' << key.shown << "\n    (Default)    REG_SZ    (value not set)\n\n";
      return 0;
    }
    Check(result);
    out_ << '\n' << key.shown << '\n';
    PrintValue(value);
    out_ << '\n';
    return 0;
  }

  // Asks before it overwrites, then creates the key and sets the value in one transaction,
  // so that a value the hive refuses leaves no new key behind.
  int Add(const CommandLine& line) {
    const KeyName key = ParseKey(line);
    if (const std::optional<std::string> fault = KeyPathFault(key.path))
      throw Failure{"ERROR: Invalid key name: " + *fault + "."};
    const bool setsValue = line.valueName || line.defaultValue || line.type || line.data;
    RegValue value;
    if (setsValue) {
      const std::optional<std::uint32_t> type = AddableType(line.type.value_or("REG_SZ"));
      if (!type) throw Failure{"ERROR: Invalid type \"" + *line.type + "\"; see \"vantor-reg ADD /?\"."};
      value = {line.valueName ? Ansi(*line.valueName) : std::string(), *type, DataBytes(*type, line.data)};
    }
    if (setsValue && !line.force) {
      KeyHandle existing;
      if (Hive().OpenKey(kCurrentUser, key.path, existing.Receive()) == kSuccess &&
          Hive().QueryValue(existing.get(), value.name, nullptr, nullptr, nullptr) == kSuccess &&
          !Confirm("Value " + Shown(value.name) + " exists, overwrite(Yes/No)? ")) {
        return Canceled();
      }
    }
    Check(InHiveTransaction([&] {
      KeyHandle handle;
      long result = Hive().CreateKey(kCurrentUser, key.path, handle.Receive());
      if (result == kSuccess && setsValue) {
        result = Hive().SetValue(handle.get(), value.name, value.type,
                                 reinterpret_cast<const std::uint8_t*>(value.data.data()),
                                 static_cast<std::uint32_t>(value.data.size()));
      }
      return result;
    }));
    return Succeeded();
  }

  int Delete(const CommandLine& line) {
    const KeyName key = ParseKey(line);
    KeyHandle handle;
    Check(Hive().OpenKey(kCurrentUser, key.path, handle.Receive()));
    if (line.valueName || line.defaultValue) {
      const std::string name = line.valueName ? Ansi(*line.valueName) : std::string();
      RegValue value;
      Check(ReadValue(handle.get(), name, &value));
      if (!line.force && !Confirm("Delete the registry value " + Shown(name) + " (Yes/No)? "))
        return Canceled();
      Check(Hive().DeleteValue(handle.get(), name));
    } else if (line.allValues) {
      if (!line.force && !Confirm("Delete all values under the registry key " + key.shown + " (Yes/No)? "))
        return Canceled();
      Check(InHiveTransaction([&] {
        std::vector<RegValue> values;
        long result = ReadValues(handle.get(), &values);
        for (auto value = values.begin(); result == kSuccess && value != values.end(); ++value)
          result = Hive().DeleteValue(handle.get(), value->name);
        return result;
      }));
    } else {
      if (key.path.empty()) throw Failure{"ERROR: HKEY_CURRENT_USER itself can't be deleted."};
      if (!line.force && !Confirm("Permanently delete the registry key " + key.shown + " (Yes/No)? "))
        return Canceled();
      handle.Close();
      Check(InHiveTransaction([&] { return DeleteTree(kCurrentUser, key.path); }));
    }
    return Succeeded();
  }

  // Streams the keys out as it walks them, in one view of the hive held by the handle on
  // the key, after a first walk has made sure that the file can hold every key's name.
  int Export(const CommandLine& line) {
    const KeyName key = ParseKey(line);
    const std::string& file = line.arguments[1];
    KeyHandle handle;
    Check(Hive().OpenKey(kCurrentUser, key.path, handle.Receive()));
    const auto pathOf = [&](const std::string& below) {
      return key.path.empty() ? below.substr(below.empty() ? 0 : 1) : key.path + below;
    };
    Check(WalkTree(handle.get(), [&](platform::RegKey, const std::string& below) {
      if (const std::optional<std::string> fault = KeyPathFault(pathOf(below))) {
        throw Failure{"ERROR: " + key.shown + Hive().FromAnsi(below) + " can't be exported: " + *fault + "."};
      }
      return kSuccess;
    }));
    std::error_code error;
    if (!line.force && std::filesystem::exists(file, error) &&
        !Confirm("File " + file + " already exists. Overwrite (Yes/No)? ")) {
      return Canceled();
    }
    std::ofstream stream(file, std::ios::binary | std::ios::trunc);
    const auto write = [&](const std::string& bytes) {
      stream.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
      if (!stream) throw Failure{"vantor-reg: " + file + ": " + std::strerror(errno)};
    };
    write(RegFileStart());
    Check(WalkTree(handle.get(), [&](platform::RegKey subkey, const std::string& below) {
      std::vector<RegValue> values;
      const long result = ReadValues(subkey, &values);
      if (result == kSuccess) write(RegFileKey(pathOf(below), values));
      return result;
    }));
    stream.close();
    if (!stream) throw Failure{"vantor-reg: " + file + ": " + std::strerror(errno)};
    return Succeeded();
  }

  // Reads the whole file twice: once to check all of it and say which lines it passes
  // over, then again to apply the rest, change by change, in one hive transaction.
  int Import(const CommandLine& line) {
    const std::string& file = line.arguments[0];
    std::string bytes;
    if (!ReadWholeFile(file, &bytes)) throw Failure{"vantor-reg: " + file + ": " + std::strerror(errno)};
    const auto where = [&](int number) { return "vantor-reg: " + file + ":" + std::to_string(number) + ": "; };
    const RegFileFault fault = ReadRegFile(
        bytes, [](const RegChange&) { return true; },
        [&](const RegFileNote& note) { err_ << where(note.line) << note.message << '\n'; });
    if (fault.line > 0) throw Failure{where(fault.line) + fault.message};
    std::string failed;
    const long result = InHiveTransaction([&] {
      KeyHandle key;
      long applied = kSuccess;
      // The file was checked whole above: this reading ends at its end or at a failed change.
      ReadRegFile(
          bytes,
          [&](const RegChange& change) {
            applied = Apply(change, &key, &failed);
            return applied == kSuccess;
          },
          [](const RegFileNote&) {});
      return applied;
    });
    if (result != kSuccess) {
      throw Failure{"vantor-reg: " + file + (failed.empty() ? "" : ":" + failed) + ": " + ErrorText(result)};
    }
    return Succeeded();
  }

 private:
  // Applies one change of a file to *key, the key of the file's last key line; on failure
  // *failed tells the line and what it asked for.
  static long Apply(const RegChange& change, KeyHandle* key, std::string* failed) {
    long result = kSuccess;
    std::string what;
    switch (change.kind) {
      case RegChange::Kind::kCreateKey:
        result = Hive().CreateKey(kCurrentUser, change.key, key->Receive());
        what = "cannot create the key " + Hive().FromAnsi(change.key);
        break;
      case RegChange::Kind::kDeleteKey:
        key->Close();
        result = DeleteTree(kCurrentUser, change.key);
        if (result == platform::kFileNotFound) result = kSuccess;
        what = "cannot delete the key " + Hive().FromAnsi(change.key);
        break;
      case RegChange::Kind::kSetValue:
        result = Hive().SetValue(key->get(), change.value.name, change.value.type,
                                 reinterpret_cast<const std::uint8_t*>(change.value.data.data()),
                                 static_cast<std::uint32_t>(change.value.data.size()));
        what = "cannot set the value " + Shown(change.value.name);
        break;
      case RegChange::Kind::kDeleteValue:
        result = Hive().DeleteValue(key->get(), change.value.name);
        if (result == platform::kFileNotFound) result = kSuccess;
        what = "cannot delete the value " + Shown(change.value.name);
        break;
    }
    if (result != kSuccess) *failed = std::to_string(change.line) + ": " + what;
    return result;
  }

  static std::string Shown(const std::string& ansiName) {
    return ansiName.empty() ? "(Default)" : Hive().FromAnsi(ansiName);
  }

  static void Check(long result) {
    if (result == platform::kFileNotFound) throw Failure{kNotFound};
    if (result != kSuccess) throw Failure{"ERROR: " + ErrorText(result)};
  }

  // Asks until the answer starts with Y or N; no answer at all is No.
  bool Confirm(const std::string& question) {
    for (;;) {
      out_ << question << std::flush;
      std::string answer;
      if (!std::getline(in_, answer)) {
        out_ << '\n';
        return false;
      }
      const std::size_t first = answer.find_first_not_of(" \t\r");
      const char letter = first == std::string::npos
                              ? '\0'
                              : static_cast<char>(std::toupper(static_cast<unsigned char>(answer[first])));
      if (letter == 'Y' || letter == 'N') return letter == 'Y';
    }
  }

  int Succeeded() {
    out_ << kSucceeded << '\n';
    return 0;
  }

  int Canceled() {
    out_ << kCanceled << '\n';
    return 0;
  }

  // A key's name, its values and a blank line; a key without values only when always.
  void ListValues(platform::RegKey key, const std::string& shown, bool always) {
    std::vector<RegValue> values;
    Check(ReadValues(key, &values));
    if (values.empty() && !always) return;
    out_ << shown << '\n';
    for (const RegValue& value : values) PrintValue(value);
    out_ << '\n';
  }

  void PrintValue(const RegValue& value) {
    const auto type = TypeNames().find(value.type);
    char number[24];
    std::snprintf(number, sizeof number, "0x%x", static_cast<unsigned>(value.type));
    out_ << "    " << Shown(value.name) << "    " << (type != TypeNames().end() ? type->second : number)
         << "    " << DataText(value) << '\n';
  }

  // Data as reg.exe shows it: text up to its end, string lists with \0 between the
  // strings, numbers in hex, anything else as hex bytes.
  static std::string DataText(const RegValue& value) {
    const std::string& data = value.data;
    char number[24];
    switch (value.type) {
      case platform::kRegSz:
      case platform::kRegExpandSz:
        return Hive().FromAnsi(data.substr(0, data.find('\0')));
      case platform::kRegMultiSz: {
        // Without the zeros that end the last string and the list.
        std::string shown;
        for (const char c : Hive().FromAnsi(data.size() > 2 ? data.substr(0, data.size() - 2) : ""))
          shown += c == '\0' ? std::string("\\0") : std::string(1, c);
        return shown;
      }
      case platform::kRegDword:
      case platform::kRegQword:
        if (data.size() == (value.type == platform::kRegDword ? 4u : 8u)) {
          unsigned long long n = 0;
          for (std::size_t i = data.size(); i-- > 0;) n = n << 8 | static_cast<unsigned char>(data[i]);
          std::snprintf(number, sizeof number, "0x%llx", n);
          return number;
        }
        break;
    }
    std::string hex;
    for (const char byte : data) {
      std::snprintf(number, sizeof number, "%02X", static_cast<unsigned char>(byte));
      hex += number;
    }
    return hex;
  }

  // /d as the bytes of a value of the type, as reg.exe makes them.
  static std::string DataBytes(std::uint32_t type, const std::optional<std::string>& data) {
    const std::string text = data.value_or("");
    switch (type) {
      case platform::kRegSz:
      case platform::kRegExpandSz:
        return Ansi(text) + '\0';
      case platform::kRegMultiSz: {
        std::string bytes;
        for (std::size_t begin = 0; begin < text.size();) {
          std::size_t end = text.find("\\0", begin);
          if (end == std::string::npos) end = text.size();
          // An empty string would end the list early; only the last may be empty.
          if (end == begin)
            throw Failure{"ERROR: Invalid syntax. REG_MULTI_SZ data can't hold an empty string."};
          bytes += Ansi(text.substr(begin, end - begin)) + '\0';
          begin = end + 2;
        }
        return bytes + '\0';
      }
      case platform::kRegDword:
      case platform::kRegQword: {
        const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
        const std::string digits = hex ? text.substr(2) : text;
        const unsigned long long limit = type == platform::kRegDword ? 0xFFFFFFFFull : ~0ull;
        errno = 0;
        char* end = nullptr;
        const unsigned long long n = std::strtoull(digits.c_str(), &end, hex ? 16 : 10);
        if (digits.empty() || !std::isxdigit(static_cast<unsigned char>(digits[0])) || *end != '\0' ||
            errno == ERANGE || n > limit) {
          throw Failure{"ERROR: Invalid syntax. Specify a valid numeric value for /d."};
        }
        std::string bytes;
        for (unsigned i = 0; i < (type == platform::kRegDword ? 4u : 8u); ++i)
          bytes += static_cast<char>(n >> (8 * i));
        return bytes;
      }
      case platform::kRegBinary: {
        // An odd count of digits starts with a byte of one digit, as reg.exe reads it.
        std::string bytes;
        for (std::size_t i = 0; i < text.size();) {
          const std::size_t length = (text.size() - i) % 2 == 1 ? 1 : 2;
          const std::string digits = text.substr(i, length);
          if (!std::all_of(digits.begin(), digits.end(), [](unsigned char c) { return std::isxdigit(c); }))
            throw Failure{"ERROR: Invalid syntax. Specify a valid hexadecimal value for /d."};
          bytes += static_cast<char>(std::stoi(digits, nullptr, 16));
          i += length;
        }
        return bytes;
      }
      default: {  // REG_NONE: reg.exe stores the text in UTF-16, as Windows keeps strings.
        std::string bytes;
        for (const char32_t code : Characters(text) + U'\0') AppendUtf16Le(bytes, code);
        return bytes;
      }
    }
  }

  std::istream& in_;
  std::ostream& out_;
  std::ostream& err_;
};

}  // namespace

int RunCommand(const std::vector<std::string>& args, std::istream& in, std::ostream& out, std::ostream& err) {
  static const std::map<std::string, int (Session::*)(const CommandLine&)> kCommands = {
      {"query", &Session::Query},
      {"add", &Session::Add},
      {"delete", &Session::Delete},
      {"export", &Session::Export},
      {"import", &Session::Import}};
  // As reg.exe: /?, /h or -h, in any case.
  const auto isHelp = [](const std::string& arg) {
    return arg.size() == 2 && (arg[0] == '/' || arg[0] == '-') && (arg[1] == '?' || arg[1] == 'h' || arg[1] == 'H');
  };
  if (args.empty()) {
    err << "ERROR: Invalid syntax.\nType \"vantor-reg /?\" for usage.\n";
    return 1;
  }
  if (isHelp(args.front()) || (args.size() == 2 && isHelp(args[1]))) {
    out << kUsage;
    return 0;
  }
  std::string command = args.front();
  std::transform(command.begin(), command.end(), command.begin(),
                 [](unsigned char c) { return std::tolower(c); });
  const auto run = kCommands.find(command);
  if (run == kCommands.end()) {
    err << "ERROR: Invalid argument/option - '" << args.front() << "'.\nType \"vantor-reg /?\" for usage.\n";
    return 1;
  }
  Session session(in, out, err);
  try {
    return (session.*run->second)(Parse(args));
  } catch (const Failure& failure) {
    err << failure.message << '\n';
    return 1;
  }
}

}  // namespace regtool
