// The Wine prefix's registry through the bridge: each call is one request on the bridge's
// standard input and one answer on its standard output (WineBridgeProtocol.h).
#include "RegistryWine.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <initializer_list>
#include <unordered_set>
#include <vector>

#include "WineBridgeProtocol.h"

extern char** environ;

namespace platform {
namespace {

using wire::Op;
using wire::Reader;
using wire::Writer;

bool IsProgram(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && access(path.c_str(), X_OK) == 0;
}

// The program of that name in the first folder of the PATH that has it, or empty.
std::string FindOnPath(const std::string& program) {
  const char* path = std::getenv("PATH");
  if (!path) return {};
  const std::string folders = path;
  for (std::size_t begin = 0; begin <= folders.size();) {
    std::size_t end = folders.find(':', begin);
    if (end == std::string::npos) end = folders.size();
    const std::string folder = end > begin ? folders.substr(begin, end - begin) : ".";
    const std::string candidate = folder + "/" + program;
    if (IsProgram(candidate)) return candidate;
    begin = end + 1;
  }
  return {};
}

// The Wine loader to start, found as winetricks finds it: the program that WINE names
// (looked up on the PATH when the name holds no slash), else wine on the PATH. Empty, with
// *error, when it can't be run.
std::string FindWine(std::string* error) {
  const char* named = std::getenv("WINE");
  const bool chosen = named && *named;
  const std::string wine = chosen ? named : "wine";
  const bool onPath = wine.find('/') == std::string::npos;
  std::string program = onPath ? FindOnPath(wine) : IsProgram(wine) ? wine : "";
  if (!program.empty()) return program;
  if (!chosen) *error = "wine is not on the PATH (WINE may name the Wine loader to start)";
  else *error = "WINE names " + wine + ", which is " + (onPath ? "not on the PATH" : "no program that can be run");
  return program;
}

// Wine starts the prefix's server itself, from WINESERVER when no wineserver lies beside its
// loader. A server the user named that can't be run is refused, not silently passed over
// for another of perhaps another version.
std::string WineServerProblem() {
  const char* server = std::getenv("WINESERVER");
  if (!server || !*server || IsProgram(server)) return {};
  return std::string("WINESERVER names ") + server + ", which is no program that can be run";
}

// Empty when prefix is a Wine prefix of the user's own, else what is wrong with it. Wine
// would create a missing prefix and refuses one that belongs to someone else.
std::string PrefixProblem(const std::string& prefix) {
  struct stat info {};
  if (prefix.empty()) return "no Wine prefix was named";
  if (stat(prefix.c_str(), &info) != 0) return "there is no Wine prefix at " + prefix + ": the folder does not exist";
  if (!S_ISDIR(info.st_mode)) return prefix + " is no Wine prefix: it is not a folder";
  if (info.st_uid != getuid()) return prefix + " is not your Wine prefix: it belongs to another user";
  for (const char* file : {"system.reg", "user.reg"}) {
    const std::string path = prefix + "/" + file;
    if (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
      return prefix + " is no Wine prefix: it has no " + file;
  }
  return {};
}

// The prefix's architecture, "win32" or "win64", read as Wine's server reads it: from the
// "#arch=" line among the options above system.reg's first key. A system.reg without one is
// a 32-bit prefix's: Wine wrote none before it had 64-bit prefixes, and its server still
// takes such a prefix for 32-bit. Empty, with *error, when system.reg says something else.
std::string PrefixArchitecture(const std::string& prefix, std::string* error) {
  const std::string path = prefix + "/system.reg";
  std::ifstream file(path);
  if (!file) {
    *error = "cannot read " + path + ": " + std::strerror(errno);
    return {};
  }
  std::string line;
  if (!std::getline(file, line) || line != "WINE REGISTRY Version 2") {
    *error = prefix + " is no Wine prefix: its system.reg is no Wine registry file";
    return {};
  }
  while (std::getline(file, line) && !line.starts_with('[')) {
    if (!line.starts_with("#arch=")) continue;
    if (line == "#arch=win32" || line == "#arch=win64") return line.substr(6);
    *error = prefix + " is a Wine prefix of an architecture Wine doesn't know: its system.reg says " + line;
    return {};
  }
  return "win32";
}

// What Wine wrote to the file of its standard error (its first 64 KiB), which is then closed.
std::string TakeWineOutput(int* file) {
  if (*file < 0) return {};
  std::string text(64 * 1024, '\0');
  const ssize_t size = pread(*file, text.data(), text.size(), 0);
  close(*file);
  *file = -1;
  text.resize(size > 0 ? static_cast<std::size_t>(size) : 0);
  return text;
}

std::string LastLine(std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  return text.substr(text.find_last_of('\n') + 1);
}

bool WriteAll(int fd, const std::string& bytes) {
  for (std::size_t sent = 0; sent < bytes.size();) {
    const ssize_t n = write(fd, bytes.data() + sent, bytes.size() - sent);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    sent += static_cast<std::size_t>(n);
  }
  return true;
}

bool ReadAll(int fd, char* to, std::size_t count) {
  while (count > 0) {
    const ssize_t n = read(fd, to, count);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    to += n;
    count -= static_cast<std::size_t>(n);
  }
  return true;
}

bool IsAscii(std::string_view text) {
  for (const char c : text)
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  return true;
}

// ASCII stays itself in every ANSI code page; only other text needs the bridge.
std::string AsciiOnly(std::string_view text) {
  std::string ascii;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (byte < 0x80) ascii += text[i];
    else if ((byte & 0xC0) != 0x80) ascii += '?';
  }
  return ascii;
}

class Bridge final : public WineRegistry {
 public:
  Bridge(std::string prefix, std::string bridgeFolder, std::string wine)
      : prefix_(std::move(prefix)), folder_(std::move(bridgeFolder)), wine_(std::move(wine)) {}
  ~Bridge() override {
    Stop(/*kill=*/false);
    if (wineOutput_ >= 0) close(wineOutput_);
  }

  bool Launch(std::string* error) {
    if (std::string problem = PrefixProblem(prefix_); !problem.empty()) {
      *error = std::move(problem);
      return false;
    }
    // A 64-bit program doesn't run in a 32-bit prefix ("Bad EXE format"), and a 32-bit one
    // runs in a 64-bit prefix only where Wine's 32-bit half is installed.
    const std::string architecture = PrefixArchitecture(prefix_, error);
    if (architecture.empty()) return false;
    std::string program = folder_ + "/vantor-wine-bridge-" + architecture + ".exe";
    struct stat info {};
    if (stat(program.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
      return Failed(error, "the Wine bridge " + program + " is missing");
    int toBridge[2], fromBridge[2];
    if (pipe2(toBridge, O_CLOEXEC) != 0) return Failed(error, "no pipe to the Wine bridge");
    if (pipe2(fromBridge, O_CLOEXEC) != 0) {
      close(toBridge[0]);
      close(toBridge[1]);
      return Failed(error, "no pipe from the Wine bridge");
    }
    // The prefix is the one chosen here, whatever the environment said; Wine's debugging
    // chatter stays off unless the user asked for it.
    std::vector<std::string> variables;
    for (char** variable = environ; *variable; ++variable)
      if (std::string_view(*variable).substr(0, 11) != "WINEPREFIX=") variables.emplace_back(*variable);
    variables.push_back("WINEPREFIX=" + prefix_);
    // With its chatter off, what Wine still says is why it could not start (a wineserver of
    // another version, a prefix it refuses): it goes to a file of ours, read back when the
    // bridge's hello doesn't come. A user who set WINEDEBUG reads it all on the terminal.
    if (wineOutput_ >= 0) close(wineOutput_);
    wineOutput_ = -1;
    if (!std::getenv("WINEDEBUG")) {
      variables.emplace_back("WINEDEBUG=-all");
      wineOutput_ = memfd_create("wine-stderr", MFD_CLOEXEC);
    }
    std::vector<char*> envp;
    for (std::string& variable : variables) envp.push_back(variable.data());
    envp.push_back(nullptr);
    char* argv[] = {wine_.data(), program.data(), nullptr};

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, toBridge[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, fromBridge[1], STDOUT_FILENO);
    if (wineOutput_ >= 0) posix_spawn_file_actions_adddup2(&actions, wineOutput_, STDERR_FILENO);
    // This process ignores SIGPIPE (below); wine gets the default back.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t pipeSignal;
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    posix_spawnattr_setsigdefault(&attributes, &pipeSignal);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);
    const int spawned = posix_spawn(&pid_, wine_.c_str(), &actions, &attributes, argv, envp.data());
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    close(toBridge[0]);
    close(fromBridge[1]);
    if (spawned != 0) {
      close(toBridge[1]);
      close(fromBridge[0]);
      pid_ = -1;
      return Failed(error, "could not start " + wine_ + ": " + std::strerror(spawned));
    }
    // A bridge that has gone away must fail the write, not end this process.
    signal(SIGPIPE, SIG_IGN);
    toBridge_ = toBridge[1];
    fromBridge_ = fromBridge[0];
    return true;
  }

  bool WaitUntilReady(std::string* error) override {
    if (ready_) return true;
    if (pid_ < 0 && !Launch(error)) return false;
    std::string hello;
    const std::string expected = Writer().U32(wire::kHello).Frame().substr(4);  // less its length
    if (ReadFrame(&hello) && hello == expected) {
      if (wineOutput_ >= 0) close(wineOutput_);  // the running bridge keeps its own copy
      wineOutput_ = -1;
      return ready_ = true;
    }
    const int status = Stop(/*kill=*/true);
    const std::string said = TakeWineOutput(&wineOutput_);
    if (said.find("version mismatch") != std::string::npos) {
      *error = "the wineserver running for " + prefix_ + " is of another Wine version than " + wine_ +
               " (Wine says \"version mismatch\"): set WINE to the Wine loader that the messenger runs under";
      return false;
    }
    *error = "the Wine bridge did not start in " + prefix_;
    if (status >= 0) *error += " (" + wine_ + " ended with exit code " + std::to_string(status) + ")";
    if (const std::string reason = LastLine(said); !reason.empty()) *error += ": " + reason;
    return false;
  }

  long Ping() override {
    std::string answer;
    return Call(Writer(Op::kPing), {}, &answer);
  }

  long OpenKey(RegKey parent, const std::string& path, RegKey* key) override {
    return Open(Op::kOpenKey, parent, path, key);
  }
  long CreateKey(RegKey parent, const std::string& path, RegKey* key) override {
    return Open(Op::kCreateKey, parent, path, key);
  }

  long QueryValue(RegKey key, const std::string& name, std::uint32_t* type, std::uint8_t* data,
                  std::uint32_t* size) override {
    Writer request(Op::kQueryValue);
    request.U64(key).Bytes(name);
    return ReadValue(request, key, nullptr, type, data, size);
  }

  long SetValue(RegKey key, const std::string& name, std::uint32_t type, const std::uint8_t* data,
                std::uint32_t size) override {
    Writer request(Op::kSetValue);
    request.U64(key).Bytes(name).U32(type).U8(data ? wire::kGivenData : 0).U32(size);
    request.Bytes(data ? std::string_view(reinterpret_cast<const char*>(data), size) : std::string_view());
    std::string answer;
    return Call(std::move(request), {key}, &answer);
  }

  long QueryValueWide(RegKey key, const std::string& name, std::uint32_t* type, std::uint8_t* data,
                      std::uint32_t* size) override {
    Writer request(Op::kQueryValueWide);
    request.U64(key).Bytes(name);
    return ReadValue(request, key, nullptr, type, data, size);
  }

  long SetValueWide(RegKey key, const std::string& name, std::uint32_t type, const std::uint8_t* data,
                    std::uint32_t size) override {
    Writer request(Op::kSetValueWide);
    request.U64(key).Bytes(name).U32(type).U8(data ? wire::kGivenData : 0).U32(size);
    request.Bytes(data ? std::string_view(reinterpret_cast<const char*>(data), size) : std::string_view());
    std::string answer;
    return Call(std::move(request), {key}, &answer);
  }

  long DeleteValue(RegKey key, const std::string& name) override {
    std::string answer;
    return Call(Writer(Op::kDeleteValue).U64(key).Bytes(name), {key}, &answer);
  }

  long EnumKey(RegKey key, std::uint32_t index, std::string* name) override {
    if (!name) return kInvalidParameter;
    std::string answer;
    const long result = Call(Writer(Op::kEnumKey).U64(key).U32(index), {key}, &answer);
    if (result != kSuccess) return result;
    Reader reader(answer);
    return reader.Bytes(name) && reader.Done() ? kSuccess : Broken();
  }

  long EnumValue(RegKey key, std::uint32_t index, std::string* name, std::uint32_t* type,
                 std::uint8_t* data, std::uint32_t* size) override {
    if (!name) return kInvalidParameter;
    Writer request(Op::kEnumValue);
    request.U64(key).U32(index);
    return ReadValue(request, key, name, type, data, size);
  }

  long DeleteKey(RegKey parent, const std::string& path) override {
    std::string answer;
    return Call(Writer(Op::kDeleteKey).U64(parent).Bytes(path), {parent}, &answer);
  }

  long FlushKey(RegKey key) override {
    std::string answer;
    return Call(Writer(Op::kFlushKey).U64(key), {key}, &answer);
  }

  // Closing a key this bridge opened can't fail, so its answer isn't waited for: the
  // request goes out with the next one, and its answer is read before that one's.
  long CloseKey(RegKey key) override {
    if (key == kCurrentUser || !Known(key)) {
      std::string answer;
      return Call(Writer(Op::kCloseKey).U64(key), {key}, &answer);
    }
    keys_.erase(key);
    closes_ += Writer(Op::kCloseKey).U64(key).Frame();
    ++unanswered_;
    return kSuccess;
  }

  std::string ToAnsi(std::string_view utf8) override { return Convert(Op::kToAnsi, utf8); }
  std::string FromAnsi(std::string_view ansi) override { return Convert(Op::kFromAnsi, ansi); }

 private:
  static bool Failed(std::string* error, std::string what) {
    *error = std::move(what);
    return false;
  }

  long Open(Op op, RegKey parent, const std::string& path, RegKey* key) {
    if (!key) return kInvalidParameter;
    *key = kNoKey;
    std::string answer;
    const long result = Call(Writer(op).U64(parent).Bytes(path), {parent}, &answer);
    if (answer.empty()) return result;  // the call never reached the bridge
    std::uint64_t opened = 0;
    Reader reader(answer);
    if (!reader.U64(&opened) || !reader.Done()) return Broken();
    if (result == kSuccess) {
      *key = static_cast<RegKey>(opened);
      keys_.insert(*key);
    }
    return result;
  }

  // QueryValue and EnumValue: the request up to its optional arguments, which this adds.
  long ReadValue(Writer& request, RegKey key, std::string* name, std::uint32_t* type, std::uint8_t* data,
                 std::uint32_t* size) {
    const std::uint8_t given = (type ? wire::kGivenType : 0) | (data ? wire::kGivenData : 0) |
                               (size ? wire::kGivenSize : 0);
    const std::uint32_t room = size ? *size : 0;
    if (data && size && room > wire::kMaxFrame) return kNotEnoughMemory;
    request.U8(given).U32(type ? *type : 0).U32(room);
    std::string answer;
    const long result = Call(std::move(request), {key}, &answer);
    if (answer.empty()) return result;
    Reader reader(answer);
    std::uint32_t typeOut = 0, sizeOut = 0;
    std::string bytes, nameOut;
    if ((name && !reader.Bytes(&nameOut)) || !reader.U32(&typeOut) || !reader.U32(&sizeOut) ||
        !reader.Bytes(&bytes) || !reader.Done() || bytes.size() > room)
      return Broken();
    if (name && (result == kSuccess || result == kMoreData)) *name = std::move(nameOut);
    if (type) *type = typeOut;
    if (size) *size = sizeOut;
    if (data && !bytes.empty()) std::copy(bytes.begin(), bytes.end(), data);
    return result;
  }

  std::string Convert(Op op, std::string_view text) {
    if (IsAscii(text)) return std::string(text);
    std::string answer, converted;
    if (Call(Writer(op).Bytes(text), {}, &answer) == kSuccess) {
      Reader reader(answer);
      if (reader.Bytes(&converted) && reader.Done()) return converted;
    }
    return AsciiOnly(text);
  }

  // Sends the request and reads its answer: the result code, and in *answer the rest of it
  // (empty when the call never reached a bridge). A bridge that has gone away (its
  // wineserver was killed, the prefix shut down) is started again once for the call; keys
  // opened in the old one are gone with it.
  long Call(Writer request, std::initializer_list<RegKey> keys, std::string* answer) {
    answer->clear();
    const auto allKnown = [&] {
      return std::all_of(keys.begin(), keys.end(), [this](RegKey key) { return Known(key); });
    };
    if (!allKnown()) return kInvalidHandle;
    const std::string& frame = request.Frame();
    if (frame.size() - 4 > wire::kMaxFrame) return kNotEnoughMemory;
    const bool wasReady = ready_;
    std::string error;
    bool answered = WaitUntilReady(&error) && Exchange(frame, answer);
    if (!answered && wasReady) {
      Broken();
      if (!allKnown()) return kInvalidHandle;
      answered = WaitUntilReady(&error) && Exchange(frame, answer);
      if (!answered)
        std::fprintf(stderr, "vantor: the Wine registry is out of reach: %s\n",
                     error.empty() ? "its bridge stopped" : error.c_str());
    }
    std::uint32_t result = 0;
    Reader reader(*answer);
    if (!answered || !reader.U32(&result)) {
      answer->clear();
      return Broken();
    }
    answer->erase(0, 4);
    return static_cast<long>(static_cast<std::int32_t>(result));
  }

  bool Exchange(const std::string& frame, std::string* answer) {
    const bool sent = WriteAll(toBridge_, closes_.empty() ? frame : closes_ + frame);
    closes_.clear();
    for (; sent && unanswered_ > 0; --unanswered_)
      if (!ReadFrame(answer)) return false;
    return sent && ReadFrame(answer);
  }

  bool ReadFrame(std::string* payload) {
    char header[4];
    if (!ReadAll(fromBridge_, header, 4)) return false;
    const std::uint32_t length = wire::FrameLength(header);
    if (length > wire::kMaxFrame) return false;
    payload->resize(length);
    return ReadAll(fromBridge_, payload->data(), length);
  }

  // A bridge that has gone away or answered nonsense is not trusted with another call.
  long Broken() {
    Stop(/*kill=*/true);
    keys_.clear();
    closes_.clear();
    unanswered_ = 0;
    return kBrokenPipe;
  }

  bool Known(RegKey key) const { return key == kCurrentUser || keys_.count(key) > 0; }

  // Ends the bridge and returns its exit code, or -1. Closing its input ends it after the
  // call in hand; every call has been answered by then, so killing it loses nothing either.
  int Stop(bool kill) {
    if (toBridge_ >= 0) close(toBridge_);
    if (fromBridge_ >= 0) close(fromBridge_);
    toBridge_ = fromBridge_ = -1;
    ready_ = false;
    int status = 0;
    int code = -1;
    if (pid_ > 0) {
      if (kill) ::kill(pid_, SIGKILL);
      while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
      }
      if (WIFEXITED(status)) code = WEXITSTATUS(status);
    }
    pid_ = -1;
    return code;
  }

  std::string prefix_, folder_, wine_;
  pid_t pid_ = -1;
  int wineOutput_ = -1;  // the file of Wine's standard error until the hello, or -1
  int toBridge_ = -1, fromBridge_ = -1;
  bool ready_ = false;
  // The keys open in the running bridge: handles of an earlier one mean nothing to it.
  std::unordered_set<RegKey> keys_;
  // Closes sent with the next request, and answers to closes not read yet.
  std::string closes_;
  int unanswered_ = 0;
};

}  // namespace

std::unique_ptr<WineRegistry> WineRegistry::Start(const std::string& prefix, const std::string& bridgeFolder,
                                                  std::string* error) {
  std::string wine = FindWine(error);
  if (wine.empty()) return nullptr;
  if (std::string problem = WineServerProblem(); !problem.empty()) {
    *error = std::move(problem);
    return nullptr;
  }
  auto bridge = std::make_unique<Bridge>(prefix, bridgeFolder, std::move(wine));
  if (!bridge->Launch(error)) return nullptr;
  return bridge;
}

}  // namespace platform
