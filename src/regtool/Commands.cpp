// The five commands, their confirmations and their output as reg.exe prints them.
#include "regtool/Commands.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>

#include "base/Fd.h"
#include "regtool/AnsiText.h"
#include "regtool/Arguments.h"
#include "regtool/Failure.h"
#include "regtool/RegFile.h"
#include "regtool/RegistryWalk.h"
#include "regtool/ValueText.h"

namespace regtool {
namespace {

using platform::kCurrentUser;
using platform::kSuccess;

constexpr const char* kSucceeded = "The operation completed successfully.";
constexpr const char* kNotFound = "ERROR: The system was unable to find the specified registry key or value.";
constexpr const char* kCanceled = "The operation was canceled by the user.";
constexpr const char* kInvalidSyntax = "ERROR: Invalid syntax.\nType \"vantor-reg /?\" for usage.";

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

constexpr std::size_t kReadChunkSize = 1 << 16;

// The whole of a file; throws a Failure when it can't be read.
std::string ReadWholeFile(const std::string& path) {
  base::Fd fd(open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd.valid()) throw FileFailure(path);
  std::string bytes;
  // A file's size, where it has one, is room enough: its bytes are then held once.
  struct stat info {};
  if (fstat(fd.get(), &info) == 0 && S_ISREG(info.st_mode)) bytes.reserve(static_cast<std::size_t>(info.st_size));
  char chunk[kReadChunkSize];
  ssize_t count = 0;
  while ((count = read(fd.get(), chunk, sizeof chunk)) > 0 || (count < 0 && errno == EINTR))
    if (count > 0) bytes.append(chunk, static_cast<std::size_t>(count));
  if (count < 0) throw FileFailure(path);
  return bytes;
}

long SetValue(platform::Registry& registry, platform::RegKey key, const RegValue& value) {
  return registry.SetValue(key, value.name, value.type, reinterpret_cast<const std::uint8_t*>(value.data.data()),
                           static_cast<std::uint32_t>(value.data.size()));
}

// Runs change() in one transaction of the registry: committed when it returns kSuccess,
// else rolled back, leaving the registry as it was.
template <typename Change>
long InTransaction(platform::Registry& registry, Change change) {
  platform::Transaction transaction(registry);
  if (transaction.begun() != kSuccess) return transaction.begun();
  const long result = change();
  return result == kSuccess ? transaction.Commit() : result;
}

void Check(long result) {
  if (result == platform::kFileNotFound) throw Failure{kNotFound};
  if (result != kSuccess) throw Failure{"ERROR: " + ErrorText(result)};
}

class Session {
 public:
  Session(platform::Registry& registry, std::istream& in, std::ostream& out, std::ostream& err)
      : registry_(registry), in_(in), out_(out), err_(err) {}

  // Reads from one view of the hive, without the write lock: the handle held on the key
  // keeps the hive's snapshot while the walk goes on.
  int Query(const CommandLine& line) {
    const KeyName key = ParseKey(line);
    platform::Key handle(registry_);
    Check(registry_.OpenKey(kCurrentUser, key.path, handle.Receive()));
    const bool namesValue = line.valueName || line.defaultValue;
    const std::string name = line.valueName ? Ansi(*line.valueName) : std::string();
    if (!namesValue && line.recurse) {
      ListTree(handle.get(), key.shown);
    } else if (!namesValue) {
      ListKey(handle.get(), key.shown);
    } else if (line.recurse) {
      FindValue(handle.get(), key.shown, name);
    } else {
      ShowValue(handle.get(), key.shown, name, line.defaultValue);
    }
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
    if (setsValue && !line.force && ValueExists(key.path, value.name) &&
        !Confirm("Value " + Shown(value.name) + " exists, overwrite(Yes/No)? ")) {
      return Canceled();
    }
    Check(InTransaction(registry_, [&] {
      platform::Key handle(registry_);
      long result = registry_.CreateKey(kCurrentUser, key.path, handle.Receive());
      if (result == kSuccess && setsValue) result = SetValue(registry_, handle.get(), value);
      return result;
    }));
    return Succeeded();
  }

  int Delete(const CommandLine& line) {
    const KeyName key = ParseKey(line);
    platform::Key handle(registry_);
    Check(registry_.OpenKey(kCurrentUser, key.path, handle.Receive()));
    if (line.valueName || line.defaultValue) {
      const std::string name = line.valueName ? Ansi(*line.valueName) : std::string();
      RegValue value;
      Check(ReadValue(registry_, handle.get(), name, &value));
      if (!line.force && !Confirm("Delete the registry value " + Shown(name) + " (Yes/No)? ")) return Canceled();
      Check(registry_.DeleteValue(handle.get(), name));
    } else if (line.allValues) {
      if (!line.force && !Confirm("Delete all values under the registry key " + key.shown + " (Yes/No)? "))
        return Canceled();
      Check(InTransaction(registry_, [&] { return DeleteValues(handle.get()); }));
    } else {
      if (key.path.empty()) throw Failure{"ERROR: HKEY_CURRENT_USER itself can't be deleted."};
      if (!line.force && !Confirm("Permanently delete the registry key " + key.shown + " (Yes/No)? "))
        return Canceled();
      handle.Close();
      Check(InTransaction(registry_, [&] { return DeleteTree(registry_, kCurrentUser, key.path); }));
    }
    return Succeeded();
  }

  // Streams the keys out as it walks them, in one view of the hive held by the handle on
  // the key, after a first walk has made sure that the file can hold every key's name.
  int Export(const CommandLine& line) {
    const KeyName key = ParseKey(line);
    const std::string& file = line.arguments[1];
    platform::Key handle(registry_);
    Check(registry_.OpenKey(kCurrentUser, key.path, handle.Receive()));
    const auto pathOf = [&](const std::string& below) {
      return key.path.empty() ? below.substr(below.empty() ? 0 : 1) : key.path + below;
    };
    Check(WalkTree(registry_, handle.get(), [&](platform::RegKey, const std::string& below) {
      if (const std::optional<std::string> fault = KeyPathFault(pathOf(below)))
        throw Failure{"ERROR: " + key.shown + registry_.FromAnsi(below) + " can't be exported: " + *fault + "."};
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
      if (!stream) throw FileFailure(file);
    };
    write(RegFileStart());
    Check(WalkTree(registry_, handle.get(), [&](platform::RegKey subkey, const std::string& below) {
      std::vector<RegValue> values;
      const long result = ReadValues(registry_, subkey, &values);
      if (result == kSuccess) write(RegFileKey(pathOf(below), values));
      return result;
    }));
    stream.close();
    if (!stream) throw FileFailure(file);
    return Succeeded();
  }

  // Reads the whole file twice: once to check all of it and say which lines it passes
  // over, then again to apply the rest, change by change, in one transaction, which a
  // change that fails leaves uncommitted.
  int Import(const CommandLine& line) {
    const std::string& file = line.arguments[0];
    const std::string bytes = ReadWholeFile(file);
    try {
      ReadRegFile(
          bytes, [](const RegChange&) {},
          [&](const RegFileNote& note) { err_ << AboutFile(file, note.line) << note.message << '\n'; });
    } catch (const RegFileFault& fault) {
      throw Failure{AboutFile(file, fault.line) + fault.message};
    }
    const long result = InTransaction(registry_, [&] {
      platform::Key key(registry_);
      ReadRegFile(
          bytes, [&](const RegChange& change) { Apply(file, change, &key); }, [](const RegFileNote&) {});
      return kSuccess;
    });
    if (result != kSuccess) throw Failure{AboutFile(file) + ErrorText(result)};
    return Succeeded();
  }

 private:
  bool ValueExists(const std::string& path, const std::string& name) {
    platform::Key existing(registry_);
    return registry_.OpenKey(kCurrentUser, path, existing.Receive()) == kSuccess &&
           registry_.QueryValue(existing.get(), name, nullptr, nullptr, nullptr) == kSuccess;
  }

  long DeleteValues(platform::RegKey key) {
    std::vector<RegValue> values;
    long result = ReadValues(registry_, key, &values);
    for (auto value = values.begin(); result == kSuccess && value != values.end(); ++value)
      result = registry_.DeleteValue(key, value->name);
    return result;
  }

  // Applies one change of the file to *key, the key of the file's last key line; throws a
  // Failure that tells the line and what it asked for when the registry refuses it.
  void Apply(const std::string& file, const RegChange& change, platform::Key* key) {
    long result = kSuccess;
    std::string what;
    switch (change.kind) {
      case RegChange::Kind::kCreateKey:
        result = registry_.CreateKey(kCurrentUser, change.key, key->Receive());
        what = "cannot create the key " + registry_.FromAnsi(change.key);
        break;
      case RegChange::Kind::kDeleteKey:
        key->Close();
        result = DeleteTree(registry_, kCurrentUser, change.key);
        if (result == platform::kFileNotFound) result = kSuccess;
        what = "cannot delete the key " + registry_.FromAnsi(change.key);
        break;
      case RegChange::Kind::kSetValue:
        result = SetValue(registry_, key->get(), change.value);
        what = "cannot set the value " + Shown(change.value.name);
        break;
      case RegChange::Kind::kDeleteValue:
        result = registry_.DeleteValue(key->get(), change.value.name);
        if (result == platform::kFileNotFound) result = kSuccess;
        what = "cannot delete the value " + Shown(change.value.name);
        break;
    }
    if (result != kSuccess) throw Failure{AboutFile(file, change.line) + what + ": " + ErrorText(result)};
  }

  // The key's values, then the names of its subkeys.
  void ListKey(platform::RegKey key, const std::string& shown) {
    out_ << '\n';
    ListValues(key, shown, false);
    std::vector<std::string> names;
    Check(ReadSubkeyNames(registry_, key, &names));
    for (const std::string& name : names) out_ << shown << '\\' << registry_.FromAnsi(name) << '\n';
  }

  void ListTree(platform::RegKey key, const std::string& shown) {
    out_ << '\n';
    Check(WalkTree(registry_, key, [&](platform::RegKey subkey, const std::string& below) {
      ListValues(subkey, shown + registry_.FromAnsi(below), !below.empty());
      return kSuccess;
    }));
  }

  // The value of that name in the key and every key below it.
  void FindValue(platform::RegKey key, const std::string& shown, const std::string& name) {
    out_ << '\n';
    int matches = 0;
    Check(WalkTree(registry_, key, [&](platform::RegKey subkey, const std::string& below) {
      RegValue value;
      if (ReadValue(registry_, subkey, name, &value) == kSuccess) {
        out_ << shown << registry_.FromAnsi(below) << '\n';
        PrintValue(value);
        out_ << '\n';
        ++matches;
      }
      return kSuccess;
    }));
    out_ << "End of search: " << matches << " match(es) found.\n";
  }

  // As reg.exe, a default value that was never set shows as an empty REG_SZ.
  void ShowValue(platform::RegKey key, const std::string& shown, const std::string& name, bool defaultValue) {
    RegValue value;
    const long result = ReadValue(registry_, key, name, &value);
    if (result == platform::kFileNotFound && defaultValue) {
      out_ << '\n' << shown << "\n    (Default)    REG_SZ    (value not set)\n\n";
      return;
    }
    Check(result);
    out_ << '\n' << shown << '\n';
    PrintValue(value);
    out_ << '\n';
  }

  // A key's name, its values and a blank line; a key without values only when always.
  void ListValues(platform::RegKey key, const std::string& shown, bool always) {
    std::vector<RegValue> values;
    Check(ReadValues(registry_, key, &values));
    if (values.empty() && !always) return;
    out_ << shown << '\n';
    for (const RegValue& value : values) PrintValue(value);
    out_ << '\n';
  }

  void PrintValue(const RegValue& value) {
    out_ << "    " << Shown(value.name) << "    " << TypeName(value.type) << "    " << DataText(registry_, value)
         << '\n';
  }

  std::string Shown(const std::string& ansiName) {
    return ansiName.empty() ? "(Default)" : registry_.FromAnsi(ansiName);
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
      const std::string letter = AsciiUpper(first == std::string::npos ? "" : answer.substr(first, 1));
      if (letter == "Y" || letter == "N") return letter == "Y";
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

  platform::Registry& registry_;
  std::istream& in_;
  std::ostream& out_;
  std::ostream& err_;
};

// As reg.exe: /?, /h or -h, in any case.
bool IsHelp(const std::string& arg) {
  return arg.size() == 2 && (arg[0] == '/' || arg[0] == '-') && (arg[1] == '?' || arg[1] == 'h' || arg[1] == 'H');
}

}  // namespace

int RunCommand(platform::Registry& registry, const std::vector<std::string>& args, std::istream& in, std::ostream& out,
               std::ostream& err) {
  static const std::map<std::string, int (Session::*)(const CommandLine&)> kCommands = {{"query", &Session::Query},
                                                                                        {"add", &Session::Add},
                                                                                        {"delete", &Session::Delete},
                                                                                        {"export", &Session::Export},
                                                                                        {"import", &Session::Import}};
  try {
    if (args.empty()) throw Failure{kInvalidSyntax};
    if (IsHelp(args.front()) || (args.size() == 2 && IsHelp(args[1]))) {
      out << kUsage;
      return 0;
    }
    const auto run = kCommands.find(AsciiLower(args.front()));
    if (run == kCommands.end())
      throw Failure{"ERROR: Invalid argument/option - '" + args.front() + "'.\nType \"vantor-reg /?\" for usage."};
    Session session(registry, in, out, err);
    return (session.*run->second)(Parse(args));
  } catch (const Failure& failure) {
    err << failure.message << '\n';
    return 1;
  }
}

}  // namespace regtool
