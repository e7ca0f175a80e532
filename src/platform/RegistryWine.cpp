// The Wine prefix's registry through the bridge: each call is one request on the bridge's
// standard input and one answer on its standard output (WineBridgeProtocol.h).
#include "RegistryWine.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
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
    struct stat info {};
    if (stat(candidate.c_str(), &info) == 0 && S_ISREG(info.st_mode) && access(candidate.c_str(), X_OK) == 0)
      return candidate;
    begin = end + 1;
  }
  return {};
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
  Bridge(std::string prefix, std::string bridgeProgram, std::string wine)
      : prefix_(std::move(prefix)), program_(std::move(bridgeProgram)), wine_(std::move(wine)) {}
  ~Bridge() override { Stop(/*kill=*/false); }

  bool Launch(std::string* error) {
    if (std::string problem = PrefixProblem(prefix_); !problem.empty()) {
      *error = std::move(problem);
      return false;
    }
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
    if (!std::getenv("WINEDEBUG")) variables.emplace_back("WINEDEBUG=-all");
    std::vector<char*> envp;
    for (std::string& variable : variables) envp.push_back(variable.data());
    envp.push_back(nullptr);
    char* argv[] = {wine_.data(), program_.data(), nullptr};

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, toBridge[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, fromBridge[1], STDOUT_FILENO);
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
      return Failed(error, "could not start " + wine_);
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
    if (ReadFrame(&hello) && hello == expected) return ready_ = true;
    const int status = Stop(/*kill=*/true);
    *error = "the Wine bridge did not start in " + prefix_;
    if (status >= 0) *error += " (wine ended with exit code " + std::to_string(status) + ")";
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

  std::string prefix_, program_, wine_;
  pid_t pid_ = -1;
  int toBridge_ = -1, fromBridge_ = -1;
  bool ready_ = false;
  // The keys open in the running bridge: handles of an earlier one mean nothing to it.
  std::unordered_set<RegKey> keys_;
  // Closes sent with the next request, and answers to closes not read yet.
  std::string closes_;
  int unanswered_ = 0;
};

}  // namespace

std::unique_ptr<WineRegistry> WineRegistry::Start(const std::string& prefix, const std::string& bridgeProgram,
                                                  std::string* error) {
  std::string wine = FindOnPath("wine");
  if (wine.empty()) {
    *error = "wine is not on the PATH";
    return nullptr;
  }
  struct stat info {};
  if (stat(bridgeProgram.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
    *error = "the Wine bridge " + bridgeProgram + " is missing";
    return nullptr;
  }
  auto bridge = std::make_unique<Bridge>(prefix, bridgeProgram, std::move(wine));
  if (!bridge->Launch(error)) return nullptr;
  return bridge;
}

}  // namespace platform
