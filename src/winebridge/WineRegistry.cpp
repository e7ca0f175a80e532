// The Wine prefix's registry through the bridge: each call is one request on the bridge's
// standard input and one answer on its standard output (Protocol.h).
#include "winebridge/WineRegistry.h"

#include <sys/stat.h>

#include <algorithm>
#include <map>
#include <optional>
#include <type_traits>
#include <vector>

#include "base/Utf8.h"
#include "winebridge/FramePipe.h"
#include "winebridge/Protocol.h"
#include "winebridge/WineStart.h"

namespace winebridge {

using namespace platform;
namespace {

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
// The result code in front of every answer.
constexpr std::size_t kResultBytes = sizeof(std::uint32_t);
// The hello read: the bridges of later protocol versions may say more after their version.
constexpr std::size_t kLongestHello = 64;

bool IsFile(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

std::string LastLine(std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  return text.substr(text.find_last_of('\n') + 1);
}

// ASCII stays itself in every ANSI code page; only other text needs the bridge.
std::string AsciiOnly(std::string_view text) {
  std::string ascii;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (byte < 0x80)
      ascii += text[i];
    else if ((byte & 0xC0) != 0x80)
      ascii += '?';
  }
  return ascii;
}

// The protocol version that a bridge's hello says: 1 for the bridges that said only "VNTB";
// none for a frame that is no hello.
std::optional<std::uint32_t> HelloVersion(std::string_view hello) {
  Reader reader(hello);
  std::uint32_t magic = 0, version = 1;
  if (!reader.U32(&magic) || magic != kHello || (!reader.Done() && !reader.U32(&version))) return std::nullopt;
  return version;
}

// The handle in a request's first field when that is a key, as in every op's but the
// conversions'; else null.
template <typename First, typename... Rest>
std::uint64_t* KeyField(std::tuple<First, Rest...>& request) {
  if constexpr (std::is_same_v<First, Handle>)
    return &std::get<0>(request).value;
  else
    return nullptr;
}

class Bridge final : public WineRegistry {
 public:
  Bridge(std::string prefix, std::string bridgeFolder, std::string loader)
      : prefix_(std::move(prefix)), folder_(std::move(bridgeFolder)), wine_(std::move(loader)) {}
  ~Bridge() override { Stop(kGrace); }

  long Launch(std::string* error) {
    if (const long rc = CheckPrefix(prefix_, error); rc != kSuccess) return rc;
    if (programs_.empty()) {
      // A 32-bit prefix runs no 64-bit program ("Bad EXE format"). A 64-bit prefix gets the
      // messenger's own 32-bit bridge, which every Wine that runs the messenger starts once,
      // natively; a Wine without its 32-bit half refuses it at once, and then gets the 64-bit
      // one. The first that says hello is kept for the bridges started after it.
      std::string architecture;
      if (const long rc = PrefixArchitecture(prefix_, &architecture, error); rc != kSuccess) return rc;
      programs_ = {folder_ + "/vantor-wine-bridge-win32.exe"};
      if (architecture == "win64") programs_.push_back(folder_ + "/vantor-wine-bridge-win64.exe");
    }
    for (const std::string& program : programs_)
      if (!IsFile(program)) return Fail(kFileNotFound, error, "the Wine bridge " + program + " is missing");
    return Spawn(0, error);
  }

  long WaitUntilReady(std::string* error) override {
    if (live_) return kSuccess;
    if (process_.group < 0 && Launch(error) != kSuccess) return kBrokenPipe;
    for (;;) {
      std::string hello;
      const Transfer greeted = ReadFrame(process_.fromBridge, &hello, kLongestHello, helloDeadline_);
      const std::optional<std::uint32_t> version = greeted == Transfer::kDone ? HelloVersion(hello) : std::nullopt;
      if (version && *version != kProtocolVersion) {
        Stop(kGrace);
        return Fail(kBrokenPipe, error, OtherVersion(*version));
      }
      if (version) {
        process_.wineOutput.reset();  // the running bridge keeps its own copy
        programs_ = {programs_[started_]};
        started_ = 0;
        return Reopen(error);
      }
      // One that ended gets the time to say with what exit code; one that hangs is killed.
      const int status = Stop(greeted == Transfer::kLate ? Clock::duration::zero() : kGrace);
      const std::string said = TakeWineOutput(&process_.wineOutput);
      if (greeted == Transfer::kEnded && started_ + 1 < programs_.size()) {
        if (Spawn(started_ + 1, error) != kSuccess) return kBrokenPipe;
        continue;
      }
      *error = WhyNotStarted(greeted, status, said);
      return kBrokenPipe;
    }
  }

  pid_t BridgeGroup() const override { return process_.group; }
  std::string BridgeProgram() const override { return process_.group > 0 ? programs_[started_] : std::string(); }

  long OpenKey(RegKey parent, const std::string& path, RegKey* key) override {
    return Open<Op::kOpenKey>(parent, path, key);
  }
  long CreateKey(RegKey parent, const std::string& path, RegKey* key) override {
    return Open<Op::kCreateKey>(parent, path, key);
  }

  long QueryValue(RegKey key, const std::string& name, std::uint32_t* type, std::uint8_t* data,
                  std::uint32_t* size) override {
    return ReadValue<Op::kQueryValue>(key, name, nullptr, type, data, size);
  }

  long SetValue(RegKey key, const std::string& name, std::uint32_t type, const std::uint8_t* data,
                std::uint32_t size) override {
    return WriteValue<Op::kSetValue>(key, name, type, data, size);
  }

  long QueryValueWide(RegKey key, const std::string& name, std::uint32_t* type, std::uint8_t* data,
                      std::uint32_t* size) override {
    return ReadValue<Op::kQueryValueWide>(key, name, nullptr, type, data, size);
  }

  long SetValueWide(RegKey key, const std::string& name, std::uint32_t type, const std::uint8_t* data,
                    std::uint32_t size) override {
    return WriteValue<Op::kSetValueWide>(key, name, type, data, size);
  }

  long DeleteValue(RegKey key, const std::string& name) override { return Call<Op::kDeleteValue>({Handle{key}, name}); }

  long EnumKey(RegKey key, std::uint32_t index, std::string* name) override {
    if (!name) return kInvalidParameter;
    std::optional<Answer<Op::kEnumKey>> answer;
    const long result = Call<Op::kEnumKey>({Handle{key}, index}, &answer);
    if (result != kSuccess) return result;
    if (!answer) return Broken();
    *name = std::get<std::string>(*answer);
    return kSuccess;
  }

  long EnumValue(RegKey key, std::uint32_t index, std::string* name, std::uint32_t* type, std::uint8_t* data,
                 std::uint32_t* size) override {
    if (!name) return kInvalidParameter;
    return ReadValue<Op::kEnumValue>(key, index, name, type, data, size);
  }

  long DeleteKey(RegKey parent, const std::string& path) override {
    return Call<Op::kDeleteKey>({Handle{parent}, path});
  }

  long FlushKey(RegKey key) override { return Call<Op::kFlushKey>({Handle{key}}); }

  // Closing a key this bridge opened can't fail, so its answer isn't waited for: the
  // request goes out with the next one, and its answer is read before that one's.
  long CloseKey(RegKey key) override {
    if (key == kCurrentUser) return Call<Op::kCloseKey>({Handle{key}});
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

  std::string ToAnsi(std::string_view utf8) override { return Convert<Op::kToAnsi>(utf8); }
  std::string FromAnsi(std::string_view ansi) override { return Convert<Op::kFromAnsi>(ansi); }

 private:
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

  // Starts the bridge programs_[index], with the full time to say hello.
  long Spawn(std::size_t index, std::string* error) {
    if (const long rc = SpawnBridge(wine_, programs_[index], prefix_, &process_, error); rc != kSuccess) return rc;
    started_ = index;
    helloDeadline_ = Clock::now() + kHelloBound;
    return kSuccess;
  }

  // Why the bridge did not say hello: how it ended, and what Wine said.
  std::string WhyNotStarted(Transfer greeted, int status, const std::string& said) const {
    if (said.find("version mismatch") != std::string::npos)
      return "the wineserver running for " + prefix_ + " is of another Wine version than " + wine_ +
             " (Wine says \"version mismatch\"): set WINE to the Wine loader that the messenger runs under";
    std::string why = "the Wine bridge did not start in " + prefix_;
    if (greeted == Transfer::kLate) why += ": no answer within " + std::to_string(kHelloBound.count()) + " seconds";
    if (status >= 0) why += " (" + wine_ + " ended with exit code " + std::to_string(status) + ")";
    if (const std::string reason = LastLine(said); !reason.empty()) why += ": " + reason;
    return why;
  }

  // Why a bridge that says hello in another protocol version is not used.
  std::string OtherVersion(std::uint32_t version) const {
    return "the Wine bridge " + programs_[started_] + " speaks protocol version " + std::to_string(version) +
           ", this vantor speaks version " + std::to_string(kProtocolVersion) + ": it is " +
           (version < kProtocolVersion ? "an older" : "a newer") +
           " vantor's bridge; reinstall vantor so that its Wine bridges match it";
  }

  // OpenKey and CreateKey.
  template <Op op>
  long Open(RegKey parent, const std::string& path, RegKey* key) {
    if (!key) return kInvalidParameter;
    *key = kNoKey;
    std::optional<Answer<op>> answer;
    const long result = Call<op>({Handle{parent}, path}, &answer);
    // Without an answer, no bridge answered, or the call never reached one.
    if (!answer) return result == kSuccess ? Broken() : result;
    if (result == kSuccess) {
      *key = nextKey_++;
      keys_.emplace(*key, OpenedKey{op, parent, path, static_cast<RegKey>(std::get<Handle>(*answer).value)});
    }
    return result;
  }

  // SetValue and SetValueWide.
  template <Op op>
  long WriteValue(RegKey key, const std::string& name, std::uint32_t type, const std::uint8_t* data,
                  std::uint32_t size) {
    const std::uint8_t given = data ? kGivenData : 0;
    return Call<op>({Handle{key}, name, type, given, size,
                     data ? std::string(reinterpret_cast<const char*>(data), size) : std::string()});
  }

  // QueryValue and QueryValueWide by the value's name, EnumValue by its index, with the
  // optional arguments the caller gave.
  template <Op op, typename NameOrIndex>
  long ReadValue(RegKey key, const NameOrIndex& nameOrIndex, std::string* name, std::uint32_t* type, std::uint8_t* data,
                 std::uint32_t* size) {
    const std::uint8_t given = (type ? kGivenType : 0) | (data ? kGivenData : 0) | (size ? kGivenSize : 0);
    const std::uint32_t room = size ? *size : 0;
    if (data && size && room > kMaxFrame) return kNotEnoughMemory;
    std::optional<Answer<op>> answer;
    const long result = Call<op>({Handle{key}, nameOrIndex, Asked{given, type ? *type : 0, room}}, &answer);
    if (!answer) return result;
    const auto& [typeOut, sizeOut, bytes] = std::get<ValueRead>(*answer);
    if (bytes.size() > room) return Broken();
    if constexpr (op == Op::kEnumValue)
      if (result == kSuccess || result == kMoreData) *name = std::get<std::string>(*answer);
    if (type) *type = typeOut;
    if (size) *size = sizeOut;
    if (data && !bytes.empty()) std::copy(bytes.begin(), bytes.end(), data);
    return result;
  }

  // ToAnsi and FromAnsi.
  template <Op op>
  std::string Convert(std::string_view text) {
    if (base::IsAscii(text)) return std::string(text);
    std::optional<Answer<op>> answer;
    if (Call<op>({std::string(text)}, &answer) == kSuccess && answer) return std::get<std::string>(*answer);
    return AsciiOnly(text);
  }

  // The result code of a reply and into *answer (when given) the answer after it, which is
  // left empty when the reply ends with the code (the bridge had no room for the answer). A
  // bridge whose answer doesn't read as the op's is broken.
  template <typename AnswerFields>
  long ReadAnswer(std::string_view reply, std::optional<AnswerFields>* answer) {
    Reader reader(reply);
    std::uint32_t result = 0;
    if (!reader.U32(&result)) return Broken();
    if (!reader.Done()) {
      AnswerFields fields;
      if (!reader.Get(&fields) || !reader.Done()) return Broken();
      if (answer) *answer = std::move(fields);
    }
    return static_cast<long>(static_cast<std::int32_t>(result));
  }

  // Sends op's request, with the bridge's handle for the caller's key, and reads its answer:
  // the result code, and into *answer (when given) the fields after it (none when no bridge
  // answered). A bridge that goes away or falls silent during the call is killed and started
  // once again, with the caller's keys opened again in it, and the call is made there: the
  // caller sees one call. A call cut off in the middle may have been carried out by the old
  // bridge; carried out again, it does the same (a set or delete of a value, an open), or a
  // deleted key's second delete answers that the key is not there.
  template <Op op>
  long Call(Request<op> request, std::optional<Answer<op>>* answer = nullptr) {
    std::uint64_t* const key = KeyField(request);
    const RegKey callersKey = key ? static_cast<RegKey>(*key) : kNoKey;
    if (key && callersKey != kCurrentUser && !Known(callersKey)) return kInvalidHandle;
    if (Clock::now() < restUntil_) return kBrokenPipe;
    const bool wasLive = live_;
    std::string why;
    for (int attempt = 0; attempt < (wasLive ? 2 : 1); ++attempt) {
      if (WaitUntilReady(&why) != kSuccess) continue;
      if (key) {
        *key = callersKey == kCurrentUser ? kCurrentUser : keys_.at(callersKey).bridgeKey;
        if (*key == kNoKey) return kKeyDeleted;
      }
      Writer writer(op);
      const std::string& frame = writer.Put(request).Frame();
      if (writer.PayloadSize() > kMaxFrame) return kNotEnoughMemory;
      std::string reply;
      if (Exchange(frame, &reply, &why) && reply.size() >= kResultBytes) return ReadAnswer(reply, answer);
      Stop(Clock::duration::zero());
    }
    Tell("the Wine registry is out of reach: " + why);
    restUntil_ = Clock::now() + kRestAfterFailure;
    return kBrokenPipe;
  }

  // One request and its answer, and before it the answers to the closes sent with it.
  bool Exchange(const std::string& frame, std::string* answer, std::string* why) {
    const Clock::time_point deadline = Clock::now() + kAnswerBound;
    Transfer transfer = WriteAll(process_.toBridge, closes_.empty() ? frame : closes_ + frame, deadline);
    closes_.clear();
    for (; transfer == Transfer::kDone && unanswered_ > 0; --unanswered_)
      transfer = ReadFrame(process_.fromBridge, answer, kMaxFrame, deadline);
    if (transfer == Transfer::kDone) transfer = ReadFrame(process_.fromBridge, answer, kMaxFrame, deadline);
    if (transfer == Transfer::kLate)
      *why = "the Wine bridge gave no answer within " + std::to_string(kAnswerBound.count()) + " seconds";
    else if (transfer == Transfer::kEnded)
      *why = "the Wine bridge went away";
    return transfer == Transfer::kDone;
  }

  // Opens the caller's keys in a bridge just started, each as it was opened first: parents
  // before the keys opened under them, as the handles were handed out. The closed ones among
  // them were needed only for that.
  long Reopen(std::string* error) {
    live_ = true;
    for (auto& [handle, opened] : keys_) {
      const RegKey parent = opened.parent == kCurrentUser ? kCurrentUser : keys_.at(opened.parent).bridgeKey;
      opened.bridgeKey = kNoKey;
      if (parent == kNoKey) continue;
      static_assert(std::is_same_v<Request<Op::kOpenKey>, Request<Op::kCreateKey>> &&
                    std::is_same_v<Answer<Op::kOpenKey>, Answer<Op::kCreateKey>>);
      std::string reply;
      if (!Exchange(Writer(opened.op).Put(Request<Op::kOpenKey>{Handle{parent}, opened.path}).Frame(), &reply, error)) {
        Stop(Clock::duration::zero());
        return kBrokenPipe;
      }
      std::optional<Answer<Op::kOpenKey>> answer;
      const long result = ReadAnswer(reply, &answer);
      if (!answer) {
        Broken();
        return Fail(kBrokenPipe, error, "the Wine bridge answered nonsense");
      }
      if (result == kSuccess) opened.bridgeKey = static_cast<RegKey>(std::get<Handle>(*answer).value);
    }
    for (const auto& [handle, opened] : keys_)
      if (opened.closed && opened.bridgeKey != kNoKey) DeferClose(opened.bridgeKey);
    return kSuccess;
  }

  void DeferClose(RegKey bridgeKey) {
    closes_ += Writer(Op::kCloseKey).Put(Request<Op::kCloseKey>{Handle{bridgeKey}}).Frame();
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

  // Ends the bridge (StopBridge) and returns its exit code, or -1.
  int Stop(Clock::duration grace) {
    live_ = false;
    closes_.clear();
    unanswered_ = 0;
    return StopBridge(&process_, grace);
  }

  std::string prefix_, folder_, wine_;
  // The bridges this prefix may run, the one to try first first, and which was started last.
  std::vector<std::string> programs_;
  std::size_t started_ = 0;
  // The bridge's process; its file of Wine's output is kept until its hello.
  BridgeProcess process_;
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
  std::string loader;
  if (FindWine(&loader, error) != kSuccess || CheckWineServer(error) != kSuccess) return nullptr;
  auto bridge = std::make_unique<Bridge>(prefix, bridgeFolder, std::move(loader));
  if (bridge->Launch(error) != kSuccess) return nullptr;
  return bridge;
}

}  // namespace winebridge
