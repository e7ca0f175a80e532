// The registry functions the program stands on, in the shape of advapi32's ANSI calls and
// with its result codes. Windows has advapi32 (RegistryWin32.cpp, beside this); the other
// registries are engines of their own: the hive, an SQLite database per user (src/hive), the
// default off Windows, and a Wine prefix's live registry through the Wine bridge
// (src/winebridge). src/backends chooses among them. Key paths, value names and string data
// are byte strings in the ANSI code page of the registry at hand; the two wide calls carry
// string data in UTF-16 instead, which Windows and Wine keep, so that a text crosses whole.
//
// The contract, for every implementation:
// - A registry is used from one thread at a time: none of them locks. Other processes may
//   use the same registry meanwhile.
// - A call on an empty, closed or unknown handle fails with kInvalidHandle and changes
//   nothing. A pointer argument may be null only where its call says so.
// - A set or delete that returned kSuccess is on permanent storage once FlushKey on its
//   key returns kSuccess; the hive syncs it before the set or delete returns, and changes
//   nothing in a call that fails.
// - A registry never speaks to the user: a fault whose reason its result code can't carry
//   goes to the listener that the program running it gave (SendFaultsTo).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>

namespace platform {

// A key handle; kNoKey is the empty handle, on which every operation fails.
using RegKey = std::uintptr_t;
inline constexpr RegKey kNoKey = 0;
// HKEY_CURRENT_USER, with the value Windows gives it (sign-extended on 64 bits).
inline constexpr RegKey kCurrentUser =
    static_cast<RegKey>(static_cast<std::intptr_t>(static_cast<std::int32_t>(0x80000001u)));

// Value types, as the registry numbers them.
inline constexpr std::uint32_t kRegNone = 0;
inline constexpr std::uint32_t kRegSz = 1;
inline constexpr std::uint32_t kRegExpandSz = 2;
inline constexpr std::uint32_t kRegBinary = 3;
inline constexpr std::uint32_t kRegDword = 4;
inline constexpr std::uint32_t kRegDwordBigEndian = 5;
inline constexpr std::uint32_t kRegLink = 6;
inline constexpr std::uint32_t kRegMultiSz = 7;
inline constexpr std::uint32_t kRegResourceList = 8;
inline constexpr std::uint32_t kRegFullResourceDescriptor = 9;
inline constexpr std::uint32_t kRegResourceRequirementsList = 10;
inline constexpr std::uint32_t kRegQword = 11;

// The types whose data the registry converts between the ANSI code page and UTF-16.
inline constexpr bool IsStringType(std::uint32_t type) {
  return type == kRegSz || type == kRegExpandSz || type == kRegMultiSz;
}

// The longest names the registry takes, in characters, as advapi32 documents them.
inline constexpr std::size_t kMaxKeyNameLength = 255;
inline constexpr std::size_t kMaxValueNameLength = 16383;

// Result codes (Windows' system error codes).
inline constexpr long kSuccess = 0;
inline constexpr long kFileNotFound = 2;
inline constexpr long kAccessDenied = 5;
inline constexpr long kInvalidHandle = 6;
inline constexpr long kNotEnoughMemory = 8;
inline constexpr long kInvalidParameter = 87;
inline constexpr long kBrokenPipe = 109;
inline constexpr long kBadPathname = 161;
inline constexpr long kMoreData = 234;
inline constexpr long kNoMoreItems = 259;
inline constexpr long kBadDb = 1009;
inline constexpr long kCantOpen = 1011;
inline constexpr long kCantWrite = 1013;
inline constexpr long kKeyDeleted = 1018;

// Fails with code, and with what a person reads about it in *why: how the engines and
// adapters fail where a code alone doesn't say enough.
inline long Fail(long code, std::string* why, std::string what) {
  *why = std::move(what);
  return code;
}

class Registry {
 public:
  virtual ~Registry() = default;

  // The platform's own registry: advapi32 on Windows, the hive elsewhere. It lives as long
  // as the process.
  static Registry& Default();

  // Where the reason goes for a fault that a result code can't carry (a hive it won't use, a
  // bridge that stopped answering), once for each fault; the program says it to the user
  // under its own name. Without a listener, reasons are dropped.
  using Listener = std::function<void(const std::string& why)>;
  void SendFaultsTo(Listener listener) { faults_ = std::move(listener); }

  // A registry that starts in the background (the Wine bridge) answers once this returns
  // kSuccess; otherwise it returns the code its calls would fail with, and *why says why.
  // Others are ready at once.
  virtual long WaitUntilReady(std::string* /*why*/) { return kSuccess; }

  // RegOpenKeyA: opens an existing key; *key stays kNoKey on failure.
  virtual long OpenKey(RegKey parent, const std::string& path, RegKey* key) = 0;
  // RegCreateKeyA: opens the key, creating it and every missing key on its path.
  virtual long CreateKey(RegKey parent, const std::string& path, RegKey* key) = 0;
  // RegQueryValueExA: *size is the buffer's size on entry and the data's size on return;
  // kMoreData (with the needed size) when the buffer is too small.
  virtual long QueryValue(RegKey key, const std::string& name, std::uint32_t* type, std::uint8_t* data,
                          std::uint32_t* size) = 0;
  // RegSetValueExA: creates or replaces the value with exactly this type and these bytes.
  virtual long SetValue(RegKey key, const std::string& name, std::uint32_t type, const std::uint8_t* data,
                        std::uint32_t size) = 0;
  // RegQueryValueExW and RegSetValueExW: as QueryValue and SetValue, with the data of the
  // string types (IsStringType) in UTF-16LE and sizes in bytes; other data are the same bytes
  // either way. The name stays in the ANSI code page. The hive keeps string data in
  // Windows-1252: there a character that code page lacks becomes '?' on the way in, as in
  // ToAnsi.
  virtual long QueryValueWide(RegKey key, const std::string& name, std::uint32_t* type, std::uint8_t* data,
                              std::uint32_t* size) = 0;
  virtual long SetValueWide(RegKey key, const std::string& name, std::uint32_t type, const std::uint8_t* data,
                            std::uint32_t size) = 0;
  // RegDeleteValueA.
  virtual long DeleteValue(RegKey key, const std::string& name) = 0;
  // RegEnumKeyExA: the name of the key's index-th subkey, counting from 0 in the order of
  // the upper-cased names, as Windows sorts them (Wine compares lower-cased names, which
  // puts the characters between 'Z' and 'a', such as '_', before the letters);
  // kNoMoreItems past the last one.
  virtual long EnumKey(RegKey key, std::uint32_t index, std::string* name) = 0;
  // RegEnumValueA: the name of the key's index-th value and, as QueryValue gives them, its
  // type and data; kNoMoreItems past the last one. The hive orders values as it orders
  // subkeys; Windows keeps them in the order they were first written.
  virtual long EnumValue(RegKey key, std::uint32_t index, std::string* name, std::uint32_t* type, std::uint8_t* data,
                         std::uint32_t* size) = 0;
  // RegDeleteKeyA: deletes the key at path under parent (parent itself when path is empty)
  // with its values. A key that has subkeys is kept (kAccessDenied): callers delete a tree
  // from its leaves up. Handles still open on a deleted key then fail with kKeyDeleted.
  virtual long DeleteKey(RegKey parent, const std::string& path) = 0;
  // RegFlushKey: asks for the key's changes to be on permanent storage.
  virtual long FlushKey(RegKey key) = 0;
  // RegCloseKey.
  virtual long CloseKey(RegKey key) = 0;

  // Transactions, through Transaction below: between Begin and Commit every call joins one
  // all-or-nothing change, on permanent storage when Commit returns kSuccess and dropped
  // whole at Rollback. Roll back after any failed call too, since a call that fails halfway
  // leaves its first steps in the transaction. Only the hive has transactions; advapi32 and
  // Wine make each change as its call returns, so there all three succeed and do nothing.
  virtual long BeginTransaction() = 0;
  // When it fails, the transaction is still open: roll it back.
  virtual long CommitTransaction() = 0;
  virtual long RollbackTransaction() = 0;

  // Text conversion at the registry boundary: UTF-8 to the registry's ANSI code page (a
  // character the code page lacks becomes '?') and back, one byte a character.
  virtual std::string ToAnsi(std::string_view utf8) = 0;
  virtual std::string FromAnsi(std::string_view ansi) = 0;

 protected:
  void Tell(const std::string& why) const {
    if (faults_) faults_(why);
  }

 private:
  Listener faults_;
};

// Forwards every call to another registry. Derive from it to watch or change some calls
// and pass the rest on.
class RegistryWrapper : public Registry {
 public:
  explicit RegistryWrapper(Registry& target) : target_(target) {}

  long OpenKey(RegKey parent, const std::string& path, RegKey* key) override {
    return target_.OpenKey(parent, path, key);
  }
  long CreateKey(RegKey parent, const std::string& path, RegKey* key) override {
    return target_.CreateKey(parent, path, key);
  }
  long QueryValue(RegKey key, const std::string& name, std::uint32_t* type, std::uint8_t* data,
                  std::uint32_t* size) override {
    return target_.QueryValue(key, name, type, data, size);
  }
  long SetValue(RegKey key, const std::string& name, std::uint32_t type, const std::uint8_t* data,
                std::uint32_t size) override {
    return target_.SetValue(key, name, type, data, size);
  }
  long QueryValueWide(RegKey key, const std::string& name, std::uint32_t* type, std::uint8_t* data,
                      std::uint32_t* size) override {
    return target_.QueryValueWide(key, name, type, data, size);
  }
  long SetValueWide(RegKey key, const std::string& name, std::uint32_t type, const std::uint8_t* data,
                    std::uint32_t size) override {
    return target_.SetValueWide(key, name, type, data, size);
  }
  long DeleteValue(RegKey key, const std::string& name) override { return target_.DeleteValue(key, name); }
  long EnumKey(RegKey key, std::uint32_t index, std::string* name) override {
    return target_.EnumKey(key, index, name);
  }
  long EnumValue(RegKey key, std::uint32_t index, std::string* name, std::uint32_t* type, std::uint8_t* data,
                 std::uint32_t* size) override {
    return target_.EnumValue(key, index, name, type, data, size);
  }
  long DeleteKey(RegKey parent, const std::string& path) override { return target_.DeleteKey(parent, path); }
  long FlushKey(RegKey key) override { return target_.FlushKey(key); }
  long CloseKey(RegKey key) override { return target_.CloseKey(key); }
  long BeginTransaction() override { return target_.BeginTransaction(); }
  long CommitTransaction() override { return target_.CommitTransaction(); }
  long RollbackTransaction() override { return target_.RollbackTransaction(); }
  std::string ToAnsi(std::string_view utf8) override { return target_.ToAnsi(utf8); }
  std::string FromAnsi(std::string_view ansi) override { return target_.FromAnsi(ansi); }
  long WaitUntilReady(std::string* why) override { return target_.WaitUntilReady(why); }

 private:
  Registry& target_;
};

// An open key that closes itself, in the registry that opened it, when it goes.
class Key {
 public:
  explicit Key(Registry& registry) : registry_(&registry) {}
  ~Key() { Close(); }
  Key(const Key&) = delete;
  Key& operator=(const Key&) = delete;
  Key(Key&& other) noexcept : registry_(other.registry_), handle_(std::exchange(other.handle_, kNoKey)) {}
  Key& operator=(Key&& other) noexcept {
    if (this != &other) {
      Close();
      registry_ = other.registry_;
      handle_ = std::exchange(other.handle_, kNoKey);
    }
    return *this;
  }

  RegKey get() const { return handle_; }
  // Where OpenKey and CreateKey put the new handle; the key held before is closed first.
  RegKey* Receive() {
    Close();
    return &handle_;
  }
  void Close() {
    if (handle_ != kNoKey) registry_->CloseKey(handle_);
    handle_ = kNoKey;
  }

 private:
  Registry* registry_;
  RegKey handle_ = kNoKey;
};

// A transaction for the length of a scope: begun when made, rolled back when it goes
// without a successful Commit.
class Transaction {
 public:
  explicit Transaction(Registry& registry) : registry_(registry), begun_(registry.BeginTransaction()) {}
  ~Transaction() {
    if (open_) registry_.RollbackTransaction();
  }
  Transaction(const Transaction&) = delete;
  Transaction& operator=(const Transaction&) = delete;

  // BeginTransaction's result: no call of the transaction may be made unless kSuccess.
  long begun() const { return begun_; }
  long Commit() {
    const long result = registry_.CommitTransaction();
    open_ = result != kSuccess;
    return result;
  }

 private:
  Registry& registry_;
  long begun_;
  bool open_ = begun_ == kSuccess;
};

// The buffer of a value's first read: large enough for the texts the program keeps, so
// that they take one call.
inline constexpr std::uint32_t kFirstReadSize = 2048;

// Reads a value's data whole with read(type, data, size), a call of QueryValue's shape:
// into a buffer of kFirstReadSize bytes, and again with the size the registry gave as long
// as that is too small (the value may grow between two reads). *data holds the data when
// the result is kSuccess, and nothing otherwise.
template <typename Read>
long ReadWholeValue(Read read, std::uint32_t* type, std::string* data) {
  data->resize(kFirstReadSize);
  std::uint32_t size = kFirstReadSize;
  long result = read(type, reinterpret_cast<std::uint8_t*>(data->data()), &size);
  while (result == kMoreData) {
    data->resize(size);
    result = read(type, reinterpret_cast<std::uint8_t*>(data->data()), &size);
  }
  data->resize(result == kSuccess ? size : 0);
  return result;
}

}  // namespace platform
