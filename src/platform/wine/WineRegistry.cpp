// The Wine prefix's registry through the bridge: each call is one request on the bridge's
// standard input and one answer on its standard output (wine/Protocol.h).
#include "platform/wine/WineRegistry.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <thread>
#include <vector>

#include "platform/wine/Protocol.h"

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

using Clock = std::chrono::steady_clock;

// How long a call waits for its answer. A call takes about 0.2 ms and the largest frame
// crosses in well under a second, so a bridge silent for this long is stuck (stopped, or
// its wineserver is), and is taken for dead.
constexpr auto kAnswerBound = std::chrono::seconds(3);
// How long a bridge just started may take to say hello. Started cold (a new wineserver, wine
// loading), it took 2.3 to 3 s here on a busy machine, 0.7 s of it the wineserver's start.
constexpr auto kHelloBound = std::chrono::seconds(10);
// How long the bridge may take to end once its input is closed, before it is killed.
constexpr auto kGrace = std::chrono::milliseconds(500);
// After a call found the registry out of reach, calls fail at once for this long. The calls
// that follow it in the same edit (the value after its key, the write after the read of the
// last user) then don't wait once more each, and none of them reaches a profile that the
// failed read could not name.
constexpr auto kRestAfterFailure = std::chrono::seconds(2);

enum class Transfer { kDone, kEnded, kLate };

// Waits until fd is ready for the events, or has failed; false when the deadline passes first.
bool AwaitReady(int fd, short events, Clock::time_point deadline) {
  for (;;) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) return false;
    pollfd watched{fd, events, 0};
    const int ready = poll(&watched, 1, static_cast<int>(left));
    if (ready > 0) return true;
    if (ready == 0 || errno != EINTR) return false;
  }
}

// Both ends on this side of the bridge's pipes are non-blocking: every wait is a poll.
Transfer WriteAll(int fd, std::string_view bytes, Clock::time_point deadline) {
  while (!bytes.empty()) {
    const ssize_t n = write(fd, bytes.data(), bytes.size());
    if (n > 0) {
      bytes.remove_prefix(static_cast<std::size_t>(n));
    } else if (n < 0 && errno == EAGAIN) {
      if (!AwaitReady(fd, POLLOUT, deadline)) return Transfer::kLate;
    } else if (n == 0 || errno != EINTR) {
      return Transfer::kEnded;
    }
  }
  return Transfer::kDone;
}

// Appends count bytes to *to as they arrive: room is made for the bytes that came, not for
// the bytes a frame's length promised.
Transfer ReadAppending(int fd, std::string* to, std::size_t count, Clock::time_point deadline) {
  char piece[64 * 1024];
  while (count > 0) {
    const ssize_t n = read(fd, piece, std::min(count, sizeof piece));
    if (n > 0) {
      to->append(piece, static_cast<std::size_t>(n));
      count -= static_cast<std::size_t>(n);
    } else if (n < 0 && errno == EAGAIN) {
      if (!AwaitReady(fd, POLLIN, deadline)) return Transfer::kLate;
    } else if (n == 0 || errno != EINTR) {
      return Transfer::kEnded;
    }
  }
  return Transfer::kDone;
}

// Reaps the process within the time given; false when it is still running then. One that
// can't be waited for (no child of ours) has nothing to reap, and *status stays as it was.
bool Reaped(pid_t pid, int* status, Clock::duration within) {
  const Clock::time_point deadline = Clock::now() + within;
  for (;;) {
    const pid_t reaped = waitpid(pid, status, WNOHANG);
    if (reaped == pid || (reaped < 0 && errno != EINTR)) return true;
    if (Clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

void MakeNonBlocking(int fd) { fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK); }

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
    Stop(kGrace);
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
    MakeNonBlocking(toBridge_);
    MakeNonBlocking(fromBridge_);
    helloDeadline_ = Clock::now() + kHelloBound;
    return true;
  }

  bool WaitUntilReady(std::string* error) override {
    if (live_) return true;
    if (pid_ < 0 && !Launch(error)) return false;
    const std::string expected = Writer().U32(wire::kHello).Frame().substr(4);  // less its length
    std::string hello;
    const Transfer greeted = ReadFrame(&hello, expected.size(), helloDeadline_);
    if (greeted == Transfer::kDone && hello == expected) {
      if (wineOutput_ >= 0) close(wineOutput_);  // the running bridge keeps its own copy
      wineOutput_ = -1;
      return Reopen(error);
    }
    // One that ended gets the time to say with what exit code; one that hangs is killed.
    const int status = Stop(greeted == Transfer::kLate ? Clock::duration::zero() : kGrace);
    const std::string said = TakeWineOutput(&wineOutput_);
    if (said.find("version mismatch") != std::string::npos) {
      *error = "the wineserver running for " + prefix_ + " is of another Wine version than " + wine_ +
               " (Wine says \"version mismatch\"): set WINE to the Wine loader that the messenger runs under";
      return false;
    }
    *error = "the Wine bridge did not start in " + prefix_;
    if (greeted == Transfer::kLate)
      *error += ": no answer within " + std::to_string(kHelloBound.count()) + " seconds";
    if (status >= 0) *error += " (" + wine_ + " ended with exit code " + std::to_string(status) + ")";
    if (const std::string reason = LastLine(said); !reason.empty()) *error += ": " + reason;
    return false;
  }

  long Ping() override {
    std::string answer;
    return Call(Op::kPing, std::nullopt, &answer);
  }

  long OpenKey(RegKey parent, const std::string& path, RegKey* key) override {
    return Open(Op::kOpenKey, parent, path, key);
  }
  long CreateKey(RegKey parent, const std::string& path, RegKey* key) override {
    return Open(Op::kCreateKey, parent, path, key);
  }

  long QueryValue(RegKey key, const std::string& name, std::uint32_t* type, std::uint8_t* data,
                  std::uint32_t* size) override {
    return ReadValue(Op::kQueryValue, key, [&](Writer& request) { request.Bytes(name); }, nullptr, type, data, size);
  }

  long SetValue(RegKey key, const std::string& name, std::uint32_t type, const std::uint8_t* data,
                std::uint32_t size) override {
    return WriteValue(Op::kSetValue, key, name, type, data, size);
  }

  long QueryValueWide(RegKey key, const std::string& name, std::uint32_t* type, std::uint8_t* data,
                      std::uint32_t* size) override {
    return ReadValue(Op::kQueryValueWide, key, [&](Writer& request) { request.Bytes(name); }, nullptr, type, data,
                     size);
  }

  long SetValueWide(RegKey key, const std::string& name, std::uint32_t type, const std::uint8_t* data,
                    std::uint32_t size) override {
    return WriteValue(Op::kSetValueWide, key, name, type, data, size);
  }

  long DeleteValue(RegKey key, const std::string& name) override {
    std::string answer;
    return Call(Op::kDeleteValue, key, &answer, [&](Writer& request) { request.Bytes(name); });
  }

  long EnumKey(RegKey key, std::uint32_t index, std::string* name) override {
    if (!name) return kInvalidParameter;
    std::string answer;
    const long result = Call(Op::kEnumKey, key, &answer, [&](Writer& request) { request.U32(index); });
    if (result != kSuccess) return result;
    Reader reader(answer);
    return reader.Bytes(name) && reader.Done() ? kSuccess : Broken();
  }

  long EnumValue(RegKey key, std::uint32_t index, std::string* name, std::uint32_t* type,
                 std::uint8_t* data, std::uint32_t* size) override {
    if (!name) return kInvalidParameter;
    return ReadValue(Op::kEnumValue, key, [&](Writer& request) { request.U32(index); }, name, type, data, size);
  }

  long DeleteKey(RegKey parent, const std::string& path) override {
    std::string answer;
    return Call(Op::kDeleteKey, parent, &answer, [&](Writer& request) { request.Bytes(path); });
  }

  long FlushKey(RegKey key) override {
    std::string answer;
    return Call(Op::kFlushKey, key, &answer);
  }

  // Closing a key this bridge opened can't fail, so its answer isn't waited for: the
  // request goes out with the next one, and its answer is read before that one's.
  long CloseKey(RegKey key) override {
    if (key == kCurrentUser) {
      std::string answer;
      return Call(Op::kCloseKey, key, &answer);
    }
    const auto opened = keys_.find(key);
    if (opened == keys_.end() || opened->second.closed) return kInvalidHandle;
    if (live_ && opened->second.bridgeKey != kNoKey) DeferClose(opened->second.bridgeKey);
    opened->second.closed = true;
    Forget(key);
    return kSuccess;
  }

  // The bridge makes each change as its call returns.
  long BeginTransaction() override { return kSuccess; }
  long CommitTransaction() override { return kSuccess; }
  long RollbackTransaction() override { return kSuccess; }

  std::string ToAnsi(std::string_view utf8) override { return Convert(Op::kToAnsi, utf8); }
  std::string FromAnsi(std::string_view ansi) override { return Convert(Op::kFromAnsi, ansi); }

 private:
  // The arguments of a request after its key.
  using Arguments = std::function<void(Writer&)>;

  // A key handed out to the caller, who keeps its handle across restarts of the bridge: how
  // it was opened, to open it again in a new bridge, and its handle in the running one
  // (kNoKey when it could not be opened again: someone deleted it meanwhile).
  struct OpenedKey {
    Op op;
    RegKey parent;
    std::string path;
    RegKey bridgeKey;
    // Closed by the caller, but kept while keys opened under it are open: they are opened
    // again through it.
    bool closed = false;
  };

  static bool Failed(std::string* error, std::string what) {
    *error = std::move(what);
    return false;
  }

  long Open(Op op, RegKey parent, const std::string& path, RegKey* key) {
    if (!key) return kInvalidParameter;
    *key = kNoKey;
    std::string answer;
    const long result = Call(op, parent, &answer, [&](Writer& request) { request.Bytes(path); });
    if (answer.empty() && result != kSuccess) return result;  // no bridge answered, or the call never reached one
    std::uint64_t opened = 0;
    Reader reader(answer);
    if (!reader.U64(&opened) || !reader.Done()) return Broken();
    if (result == kSuccess) {
      *key = nextKey_++;
      keys_.emplace(*key, OpenedKey{op, parent, path, static_cast<RegKey>(opened)});
    }
    return result;
  }

  // SetValue and SetValueWide.
  long WriteValue(Op op, RegKey key, const std::string& name, std::uint32_t type, const std::uint8_t* data,
                  std::uint32_t size) {
    std::string answer;
    return Call(op, key, &answer, [&](Writer& request) {
      request.Bytes(name).U32(type).U8(data ? wire::kGivenData : 0).U32(size);
      request.Bytes(data ? std::string_view(reinterpret_cast<const char*>(data), size) : std::string_view());
    });
  }

  // QueryValue, QueryValueWide and EnumValue: the request's arguments up to its optional
  // ones, which this adds.
  long ReadValue(Op op, RegKey key, const Arguments& arguments, std::string* name, std::uint32_t* type,
                 std::uint8_t* data, std::uint32_t* size) {
    const std::uint8_t given = (type ? wire::kGivenType : 0) | (data ? wire::kGivenData : 0) |
                               (size ? wire::kGivenSize : 0);
    const std::uint32_t room = size ? *size : 0;
    if (data && size && room > wire::kMaxFrame) return kNotEnoughMemory;
    const std::uint32_t typeIn = type ? *type : 0;
    std::string answer;
    const long result = Call(op, key, &answer, [&](Writer& request) {
      arguments(request);
      request.U8(given).U32(typeIn).U32(room);
    });
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
    if (Call(op, std::nullopt, &answer, [&](Writer& request) { request.Bytes(text); }) == kSuccess) {
      Reader reader(answer);
      if (reader.Bytes(&converted) && reader.Done()) return converted;
    }
    return AsciiOnly(text);
  }

  // Sends the request (op, the bridge's handle for the caller's key, the arguments) and reads
  // its answer: the result code, and in *answer the rest of it (empty when no bridge
  // answered). A bridge that goes away or falls silent during the call is killed and started
  // once again, with the caller's keys opened again in it, and the call is made there: the
  // caller sees one call. A call cut off in the middle may have been carried out by the old
  // bridge; carried out again, it does the same (a set or delete of a value, an open), or a
  // deleted key's second delete answers that the key is not there.
  long Call(Op op, std::optional<RegKey> key, std::string* answer, const Arguments& arguments = {}) {
    answer->clear();
    if (key && *key != kCurrentUser && !Known(*key)) return kInvalidHandle;
    if (Clock::now() < restUntil_) return kBrokenPipe;
    const bool wasLive = live_;
    std::string why;
    for (int attempt = 0; attempt < (wasLive ? 2 : 1); ++attempt) {
      if (!WaitUntilReady(&why)) continue;
      Writer request(op);
      if (key) {
        const RegKey bridgeKey = *key == kCurrentUser ? kCurrentUser : keys_.at(*key).bridgeKey;
        if (bridgeKey == kNoKey) return kKeyDeleted;
        request.U64(bridgeKey);
      }
      if (arguments) arguments(request);
      const std::string& frame = request.Frame();
      if (frame.size() - 4 > wire::kMaxFrame) return kNotEnoughMemory;
      std::uint32_t result = 0;
      if (Exchange(frame, answer, &why) && Reader(*answer).U32(&result)) {
        answer->erase(0, 4);
        return static_cast<long>(static_cast<std::int32_t>(result));
      }
      answer->clear();
      Stop(Clock::duration::zero());
    }
    std::fprintf(stderr, "vantor: the Wine registry is out of reach: %s\n", why.c_str());
    restUntil_ = Clock::now() + kRestAfterFailure;
    return kBrokenPipe;
  }

  // One request and its answer, and before it the answers to the closes sent with it.
  bool Exchange(const std::string& frame, std::string* answer, std::string* why) {
    const Clock::time_point deadline = Clock::now() + kAnswerBound;
    Transfer transfer = WriteAll(toBridge_, closes_.empty() ? frame : closes_ + frame, deadline);
    closes_.clear();
    for (; transfer == Transfer::kDone && unanswered_ > 0; --unanswered_)
      transfer = ReadFrame(answer, wire::kMaxFrame, deadline);
    if (transfer == Transfer::kDone) transfer = ReadFrame(answer, wire::kMaxFrame, deadline);
    if (transfer == Transfer::kLate)
      *why = "the Wine bridge gave no answer within " + std::to_string(kAnswerBound.count()) + " seconds";
    else if (transfer == Transfer::kEnded)
      *why = "the Wine bridge went away";
    return transfer == Transfer::kDone;
  }

  Transfer ReadFrame(std::string* payload, std::size_t longest, Clock::time_point deadline) {
    std::string header;
    const Transfer transfer = ReadAppending(fromBridge_, &header, 4, deadline);
    if (transfer != Transfer::kDone) return transfer;
    const std::uint32_t length = wire::FrameLength(header.data());
    if (length > longest) return Transfer::kEnded;  // no frame of ours: the bridge is not to be trusted
    payload->clear();
    return ReadAppending(fromBridge_, payload, length, deadline);
  }

  // Opens the caller's keys in a bridge just started, each as it was opened first: parents
  // before the keys opened under them, as the handles were handed out. The closed ones among
  // them were needed only for that.
  bool Reopen(std::string* error) {
    live_ = true;
    for (auto& [handle, opened] : keys_) {
      const RegKey parent = opened.parent == kCurrentUser ? kCurrentUser : keys_.at(opened.parent).bridgeKey;
      opened.bridgeKey = kNoKey;
      if (parent == kNoKey) continue;
      Writer request(opened.op);
      std::string answer;
      std::uint32_t result = 0;
      std::uint64_t bridgeKey = 0;
      if (!Exchange(request.U64(parent).Bytes(opened.path).Frame(), &answer, error)) {
        Stop(Clock::duration::zero());
        return false;
      }
      Reader reader(answer);
      if (!reader.U32(&result) || !reader.U64(&bridgeKey) || !reader.Done()) {
        Broken();
        return Failed(error, "the Wine bridge answered nonsense");
      }
      if (result == kSuccess) opened.bridgeKey = static_cast<RegKey>(bridgeKey);
    }
    for (const auto& [handle, opened] : keys_)
      if (opened.closed && opened.bridgeKey != kNoKey) DeferClose(opened.bridgeKey);
    return true;
  }

  void DeferClose(RegKey bridgeKey) {
    closes_ += Writer(Op::kCloseKey).U64(bridgeKey).Frame();
    ++unanswered_;
  }

  // A bridge that answered nonsense is not trusted with another call.
  long Broken() {
    Stop(Clock::duration::zero());
    return kBrokenPipe;
  }

  bool Known(RegKey key) const {
    const auto opened = keys_.find(key);
    return opened != keys_.end() && !opened->second.closed;
  }

  bool HasKeysOpenedUnder(RegKey key) const {
    return std::any_of(keys_.begin(), keys_.end(), [key](const auto& entry) { return entry.second.parent == key; });
  }

  // Drops a closed key, and the closed keys above it that were kept only for it.
  void Forget(RegKey key) {
    for (auto opened = keys_.find(key); opened != keys_.end() && opened->second.closed && !HasKeysOpenedUnder(key);
         opened = keys_.find(key)) {
      key = opened->second.parent;
      keys_.erase(opened);
    }
  }

  // Ends the bridge and returns its exit code, or -1. Closing its input ends it once the
  // call in hand is done, and every call has been answered by then, so killing it loses
  // nothing: one still running after the grace given is killed, and one that can't be
  // reaped even then is left behind rather than waited for.
  int Stop(Clock::duration grace) {
    if (toBridge_ >= 0) close(toBridge_);
    if (fromBridge_ >= 0) close(fromBridge_);
    toBridge_ = fromBridge_ = -1;
    live_ = false;
    closes_.clear();
    unanswered_ = 0;
    int status = -1;  // no exit code, unless it is reaped
    bool reaped = false;
    if (pid_ > 0) {
      reaped = Reaped(pid_, &status, grace);
      if (!reaped) {
        ::kill(pid_, SIGKILL);
        reaped = Reaped(pid_, &status, kGrace);
      }
    }
    pid_ = -1;
    return reaped && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  std::string prefix_, folder_, wine_;
  pid_t pid_ = -1;
  int wineOutput_ = -1;  // the file of Wine's standard error until the hello, or -1
  int toBridge_ = -1, fromBridge_ = -1;
  Clock::time_point helloDeadline_;
  // The bridge has said hello and holds the caller's keys.
  bool live_ = false;
  Clock::time_point restUntil_;
  // The keys handed out, by the caller's handle, in the order they were handed out.
  std::map<RegKey, OpenedKey> keys_;
  RegKey nextKey_ = 1;
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
