// The hive: the registry of HKEY_CURRENT_USER kept in one SQLite database per user, with
// advapi32's semantics for the operations the program uses. Every change is committed and
// synced before the call returns, or inside a transaction when that commits. A file that is not a hive, or that another user could have put or changed, is
// never written to.
#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <cstring>
#include <optional>
#include <unordered_map>
#include <vector>

#include "platform/CodePage1252.h"
#include "platform/Fd.h"
#include "platform/Registry.h"
#include "platform/hive/Hive.h"
#include "platform/Utf8.h"

namespace platform {
namespace {

constexpr std::int64_t kRootId = 1;
// What a handle's key id becomes when its key is deleted: SQLite may hand the id of a
// deleted row to the next new key, which the old handle must not reach.
constexpr std::int64_t kDeletedId = 0;
constexpr int kApplicationId = 0x56414E54;  // "VANT"
constexpr const char* kHiveName = "hive.sqlite";
constexpr std::size_t kMaxKeyNameLength = 255;
constexpr std::size_t kMaxValueNameLength = 16383;
// The size the write-ahead log is cut back to once it has been merged into the hive: about
// what SQLite's automatic checkpoint (every 1000 pages) lets it reach, so that one large
// change doesn't leave it large for good.
constexpr int kLogLimitBytes = 4 << 20;

constexpr const char* kSchema = R"sql(
CREATE TABLE keys(
  id INTEGER PRIMARY KEY,
  parent INTEGER REFERENCES keys(id),
  name TEXT NOT NULL,
  fold TEXT NOT NULL,
  UNIQUE(parent, fold));
CREATE TABLE vals(
  key INTEGER NOT NULL REFERENCES keys(id),
  name TEXT NOT NULL,
  fold TEXT NOT NULL,
  type INTEGER NOT NULL,
  data BLOB NOT NULL,
  PRIMARY KEY(key, fold)) WITHOUT ROWID;
INSERT INTO keys(id, parent, name, fold) VALUES(1, NULL, 'HKEY_CURRENT_USER', 'HKEY_CURRENT_USER');
PRAGMA user_version = 1;
)sql";

long ResultOf(int sqliteCode) {
  switch (sqliteCode & 0xFF) {
    case SQLITE_OK:
    case SQLITE_DONE:
    case SQLITE_ROW: return kSuccess;
    case SQLITE_NOTADB:
    case SQLITE_CORRUPT: return kBadDb;
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_AUTH: return kAccessDenied;
    case SQLITE_CANTOPEN: return kCantOpen;
    default: return kCantWrite;
  }
}

// Names compare as Windows compares them: upper-cased in the code page.
std::string Fold(std::string_view ansi) {
  std::string folded(ansi);
  for (char& c : folded) {
    const auto b = static_cast<unsigned char>(c);
    if ((b >= 'a' && b <= 'z') || (b >= 0xE0 && b <= 0xFE && b != 0xF7)) c = static_cast<char>(b - 0x20);
    else if (b == 0x9A || b == 0x9C || b == 0x9E) c = static_cast<char>(b - 0x10);
    else if (b == 0xFF) c = static_cast<char>(0x9F);
  }
  return Windows1252ToUtf8(folded);
}

// Runs sql, trying again each time it has waited kHiveLockWaitMs for a lock that another
// process holds: a change waits as long as the other process writes, and is never dropped
// for it.
int ExecWaiting(sqlite3* db, const char* sql) {
  int rc = SQLITE_BUSY;
  while (rc == SQLITE_BUSY) rc = sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
  return rc;
}

// A name ends at its first zero byte, as a C string does.
std::string_view CName(const std::string& name) { return std::string_view(name.c_str()); }

// The hive's folder; empty when the environment names none.
std::string HiveFolder() {
  const char* dataHome = std::getenv("XDG_DATA_HOME");
  const char* home = std::getenv("HOME");
  if (dataHome && dataHome[0] == '/') return std::string(dataHome) + "/vantor";
  if (home && home[0] == '/') return std::string(home) + "/.local/share/vantor";
  return {};
}

// Creates the folder and any missing folder above it, private to the user. Returns what
// went wrong, or "" when nothing did.
std::string MakeFolders(const std::string& folder) {
  for (std::size_t slash = folder.find('/', 1);; slash = folder.find('/', slash + 1)) {
    const std::string part = folder.substr(0, slash);
    if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return "can't make " + part + ": " + std::strerror(errno);
    if (slash == std::string::npos) return {};
  }
}

// Why opening path without following a symbolic link (or looking at what was opened) failed.
std::string Failure(const std::string& path) {
  const std::string error = std::strerror(errno);
  struct stat info {};
  return lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode) ? path + " is a symbolic link" : path + ": " + error;
}

// Checks the hive's folder and files as OpenSSH checks ~/.ssh: they must be the user's own,
// not symbolic links, and files that others can't write; otherwise another local user could
// put a database of theirs in the hive's place, or change the user's. What was opened is
// what is checked. A hive file others could write is refused rather than closed to them,
// since it may already hold their changes. Returns what is wrong, or "" when the hive can
// be used.
std::string CheckStore(const std::string& folder) {
  const Fd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  struct stat info {};
  if (dir.get() < 0 || fstat(dir.get(), &info) != 0) return Failure(folder);
  if (info.st_uid != geteuid()) return folder + " belongs to another user";
  // The folder is the user's own, so it may be closed to others: whatever they could put in
  // it while it was open is theirs, and refused below.
  if ((info.st_mode & 077) != 0 && fchmod(dir.get(), 0700) != 0) return Failure(folder);
  // SQLite's files first (a journal found beside the hive would be played back into it),
  // then the hive file, created here when it is missing.
  for (const std::string suffix : {"-journal", "-wal", "-shm", ""}) {
    const std::string name = kHiveName + suffix;
    const std::string path = folder + '/' + name;
    const int create = suffix.empty() ? O_CREAT : 0;
    const Fd file(openat(dir.get(), name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | create, 0600));
    if (file.get() < 0 && errno == ENOENT) continue;
    if (file.get() < 0 || fstat(file.get(), &info) != 0) return Failure(path);
    if (info.st_uid != geteuid()) return path + " belongs to another user";
    if (!S_ISREG(info.st_mode)) return path + " is not a plain file";
    if ((info.st_mode & (S_IWGRP | S_IWOTH)) != 0) return path + ": others than its owner may write it";
    // Closed to others' reading too, since SQLite gives the hive file's mode to the files it
    // makes beside it.
    if ((info.st_mode & 077) != 0 && fchmod(file.get(), 0600) != 0) return Failure(path);
  }
  return {};
}

// A statement is compiled when it is first bound, so that a start that only reads compiles
// no statement that writes.
class Statement {
 public:
  Statement(sqlite3* db, const char* sql) : db_(db), sql_(sql) {}
  ~Statement() { sqlite3_finalize(stmt_); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  // Binds the arguments in order, ready for Step(); resets the previous run.
  template <typename... Args>
  Statement& Bind(const Args&... args) {
    if (!stmt_) sqlite3_prepare_v3(db_, sql_, -1, SQLITE_PREPARE_PERSISTENT, &stmt_, nullptr);
    sqlite3_reset(stmt_);
    int index = 0;
    (BindOne(++index, args), ...);
    return *this;
  }
  int Step() { return stmt_ ? sqlite3_step(stmt_) : SQLITE_MISUSE; }
  std::int64_t Int(int column) const { return sqlite3_column_int64(stmt_, column); }
  std::string_view Blob(int column) const {
    const void* data = sqlite3_column_blob(stmt_, column);
    return {static_cast<const char*>(data), static_cast<std::size_t>(sqlite3_column_bytes(stmt_, column))};
  }
  void Done() { sqlite3_reset(stmt_); }

 private:
  void BindOne(int i, std::int64_t v) { sqlite3_bind_int64(stmt_, i, v); }
  void BindOne(int i, const std::string& v) { sqlite3_bind_text(stmt_, i, v.data(), static_cast<int>(v.size()), SQLITE_STATIC); }
  void BindOne(int i, std::string_view v) { sqlite3_bind_blob(stmt_, i, v.empty() ? "" : v.data(), static_cast<int>(v.size()), SQLITE_STATIC); }
  sqlite3* db_;
  const char* sql_;
  sqlite3_stmt* stmt_ = nullptr;
};

// Where a handle's listing of subkeys or values stopped: the index and the fold of the row
// listed there.
struct Place {
  std::uint32_t index;
  std::string fold;
};

class Hive final : public Registry {
 public:
  // Opens the hive on first use, and again after a failed open.
  long Open() {
    if (db_) return kSuccess;
    const std::string folder = HiveFolder();
    if (folder.empty()) return Refuse("neither XDG_DATA_HOME nor HOME names a folder", kCantOpen);
    if (const std::string why = MakeFolders(folder); !why.empty()) return Refuse(why, kCantOpen);
    if (const std::string why = CheckStore(folder); !why.empty()) return Refuse(why, kAccessDenied);
    sqlite3* db = nullptr;
    const std::string path = folder + '/' + kHiveName;
    int rc = sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    if (rc == SQLITE_OK) rc = sqlite3_busy_timeout(db, kHiveLockWaitMs);
    if (rc == SQLITE_OK) rc = Prepare(db);
    if (rc != SQLITE_OK) {
      sqlite3_close_v2(db);
      return ResultOf(rc == SQLITE_DONE ? SQLITE_NOTADB : rc);
    }
    db_.reset(db);
    const std::pair<const char*, std::unique_ptr<Statement>*> statements[] = {
        {"BEGIN", &beginSnapshot_},
        {"COMMIT", &endSnapshot_},
        {"SELECT id FROM keys WHERE parent = ?1 AND fold = ?2", &findKey_},
        {"INSERT INTO keys(parent, name, fold) VALUES(?1, ?2, ?3)", &addKey_},
        {"SELECT type, data FROM vals WHERE key = ?1 AND fold = ?2", &getValue_},
        // A value that exists is replaced in place; an upsert would build its new data twice,
        // for the insert it gives up and for the update.
        {"UPDATE vals SET type = ?3, data = ?4 WHERE key = ?1 AND fold = ?2", &replaceValue_},
        {"INSERT INTO vals(key, name, fold, type, data) SELECT ?1, ?2, ?3, ?4, ?5 "
         "WHERE EXISTS(SELECT 1 FROM keys WHERE id = ?1)",
         &setValue_},
        {"DELETE FROM vals WHERE key = ?1 AND fold = ?2", &deleteValue_},
        {"SELECT 1 FROM keys WHERE id = ?1", &keyExists_},
        {"SELECT name, fold FROM keys WHERE parent = ?1 AND fold >= ?2 ORDER BY fold LIMIT 1 OFFSET ?3",
         &enumKey_},
        {"SELECT name, fold, type, data FROM vals WHERE key = ?1 AND fold >= ?2 ORDER BY fold LIMIT 1 OFFSET ?3",
         &enumValue_},
        {"SELECT 1 FROM keys WHERE parent = ?1 LIMIT 1", &hasSubkey_},
        {"DELETE FROM vals WHERE key = ?1", &deleteValues_},
        {"DELETE FROM keys WHERE id = ?1", &deleteKey_},
    };
    for (const auto& [sql, statement] : statements) *statement = std::make_unique<Statement>(db, sql);
    return kSuccess;
  }

  long OpenKey(RegKey parent, const std::string& path, RegKey* key) override {
    return OpenOrCreate(parent, path, key, false);
  }
  long CreateKey(RegKey parent, const std::string& path, RegKey* key) override {
    return OpenOrCreate(parent, path, key, true);
  }

  long QueryValue(RegKey key, const std::string& name, std::uint32_t* type, std::uint8_t* data,
                  std::uint32_t* size) override {
    return Query(key, name, type, data, size, /*wide=*/false);
  }
  long QueryValueWide(RegKey key, const std::string& name, std::uint32_t* type, std::uint8_t* data,
                      std::uint32_t* size) override {
    return Query(key, name, type, data, size, /*wide=*/true);
  }

  long EnumKey(RegKey key, std::uint32_t index, std::string* name) override {
    std::int64_t id = kRootId;
    if (const long rc = Resolve(key, &id); rc != kSuccess) return rc;
    if (!name) return kInvalidParameter;
    if (const long rc = Open(); rc != kSuccess) return rc;
    const int step = StepTo(*enumKey_, &subkeyPlaces_, key, id, index);
    if (step == SQLITE_ROW) *name = ToAnsi(enumKey_->Blob(0));
    enumKey_->Done();
    if (step == SQLITE_DONE) return Missing(id, kNoMoreItems);
    return ResultOf(step);
  }

  long EnumValue(RegKey key, std::uint32_t index, std::string* name, std::uint32_t* type,
                 std::uint8_t* data, std::uint32_t* size) override {
    std::int64_t id = kRootId;
    if (const long rc = Resolve(key, &id); rc != kSuccess) return rc;
    if (!name || (data && !size)) return kInvalidParameter;
    if (const long rc = Open(); rc != kSuccess) return rc;
    const int step = StepTo(*enumValue_, &valuePlaces_, key, id, index);
    if (step != SQLITE_ROW) {
      enumValue_->Done();
      return step == SQLITE_DONE ? Missing(id, kNoMoreItems) : ResultOf(step);
    }
    *name = ToAnsi(enumValue_->Blob(0));
    const long rc = CopyOut(static_cast<std::uint32_t>(enumValue_->Int(2)), enumValue_->Blob(3), type, data, size);
    enumValue_->Done();
    return rc;
  }

  long DeleteKey(RegKey parent, const std::string& path) override {
    std::int64_t start = kRootId;
    if (const long rc = Resolve(parent, &start); rc != kSuccess) return rc;
    std::vector<std::string_view> names;
    if (const long rc = SplitPath(path, &names); rc != kSuccess) return rc;
    if (const long rc = Open(); rc != kSuccess) return rc;
    std::int64_t id = start;
    if (const long rc = FindPath(start, names, &id); rc != kSuccess) return rc;
    if (id == kRootId) return kAccessDenied;
    const long deleted = InTransaction([&]() -> long {
      if (!Exists(id)) return lastStep_ == SQLITE_DONE ? kKeyDeleted : ResultOf(lastStep_);
      const int subkey = hasSubkey_->Bind(id).Step();
      hasSubkey_->Done();
      if (subkey == SQLITE_ROW) return kAccessDenied;
      if (subkey != SQLITE_DONE) return ResultOf(subkey);
      for (Statement* statement : {deleteValues_.get(), deleteKey_.get()}) {
        const int step = statement->Bind(id).Step();
        statement->Done();
        if (step != SQLITE_DONE) return ResultOf(step);
      }
      return kSuccess;
    });
    if (deleted != kSuccess) return deleted;
    for (auto& [handle, handleId] : handles_)
      if (handleId == id) handleId = kDeletedId;
    return kSuccess;
  }

  long BeginTransaction() override {
    if (const long rc = Open(); rc != kSuccess) return rc;
    EndSnapshot();
    return ResultOf(ExecWaiting(db_.get(), "BEGIN IMMEDIATE"));
  }
  long CommitTransaction() override {
    ForgetPlaces();
    return db_ ? ResultOf(ExecWaiting(db_.get(), "COMMIT")) : kInvalidParameter;
  }
  long RollbackTransaction() override {
    ForgetPlaces();
    return db_ ? ResultOf(Exec("ROLLBACK")) : kInvalidParameter;
  }

  long SetValue(RegKey key, const std::string& name, std::uint32_t type, const std::uint8_t* data,
                std::uint32_t size) override {
    std::int64_t id = kRootId;
    if (const long rc = Resolve(key, &id); rc != kSuccess) return rc;
    const std::string_view valueName = CName(name);
    if (valueName.size() > kMaxValueNameLength || (!data && size > 0)) return kInvalidParameter;
    if (const long rc = Open(); rc != kSuccess) return rc;
    const std::string_view bytes(reinterpret_cast<const char*>(data), data ? size : 0);
    return InTransaction([&]() -> long {
      const std::string fold = Fold(valueName);
      int step = replaceValue_->Bind(id, fold, std::int64_t{type}, bytes).Step();
      bool stored = sqlite3_changes(db_.get()) > 0;
      replaceValue_->Done();
      if (step == SQLITE_DONE && !stored) {
        step = setValue_->Bind(id, FromAnsi(valueName), fold, std::int64_t{type}, bytes).Step();
        stored = sqlite3_changes(db_.get()) > 0;
        setValue_->Done();
      }
      if (step != SQLITE_DONE) return ResultOf(step);
      return stored ? kSuccess : kKeyDeleted;
    });
  }

  // The hive holds string data in Windows-1252, as SetValue stores them.
  long SetValueWide(RegKey key, const std::string& name, std::uint32_t type, const std::uint8_t* data,
                    std::uint32_t size) override {
    if (!data || !IsStringType(type)) return SetValue(key, name, type, data, size);
    const std::string ansi = Utf8ToWindows1252(Utf16LeToUtf8({reinterpret_cast<const char*>(data), size}));
    return SetValue(key, name, type, reinterpret_cast<const std::uint8_t*>(ansi.data()),
                    static_cast<std::uint32_t>(ansi.size()));
  }

  long DeleteValue(RegKey key, const std::string& name) override {
    std::int64_t id = kRootId;
    if (const long rc = Resolve(key, &id); rc != kSuccess) return rc;
    if (const long rc = Open(); rc != kSuccess) return rc;
    return InTransaction([&]() -> long {
      const int step = deleteValue_->Bind(id, Fold(CName(name))).Step();
      const bool deleted = sqlite3_changes(db_.get()) > 0;
      deleteValue_->Done();
      if (step != SQLITE_DONE) return ResultOf(step);
      return deleted ? kSuccess : Missing(id, kFileNotFound);
    });
  }

  // Every change is already synced when its call (or its transaction) commits: nothing is
  // left to flush.
  long FlushKey(RegKey key) override {
    std::int64_t id = kRootId;
    return Resolve(key, &id);
  }

  long CloseKey(RegKey key) override {
    if (key == kCurrentUser) return kSuccess;
    if (!handles_.erase(key)) return kInvalidHandle;
    subkeyPlaces_.erase(key);
    valuePlaces_.erase(key);
    if (handles_.empty()) EndSnapshot();
    return kSuccess;
  }

  std::string ToAnsi(std::string_view utf8) override { return Utf8ToWindows1252(utf8); }
  std::string FromAnsi(std::string_view ansi) override { return Windows1252ToUtf8(ansi); }

 private:
  // Says once a process why the hive can't be used; the call then fails with code.
  long Refuse(const std::string& why, long code) {
    if (!refusalTold_) std::fprintf(stderr, "vantor: the hive is not used: %s\n", why.c_str());
    refusalTold_ = true;
    return code;
  }

  long OpenOrCreate(RegKey parent, const std::string& path, RegKey* key, bool create) {
    if (!key) return kInvalidParameter;
    *key = kNoKey;
    std::int64_t start = kRootId;
    if (const long rc = Resolve(parent, &start); rc != kSuccess) return rc;
    std::vector<std::string_view> names;
    if (const long rc = SplitPath(path, &names); rc != kSuccess) return rc;
    if (const long rc = Open(); rc != kSuccess) return rc;

    BeginSnapshot();
    std::int64_t id = start;
    long found = FindPath(start, names, &id);
    if (found == kFileNotFound && create) {
      // Create what is missing; another process may have added part of the path
      // meanwhile, so look again under the write lock.
      found = InTransaction([&]() -> long {
        if (!Exists(start)) return lastStep_ == SQLITE_DONE ? kKeyDeleted : ResultOf(lastStep_);
        id = start;
        for (const std::string_view name : names) {
          if (const std::optional<std::int64_t> child = FindKey(id, name)) {
            id = *child;
            continue;
          }
          if (lastStep_ != SQLITE_DONE) return ResultOf(lastStep_);
          const int step = addKey_->Bind(id, FromAnsi(name), Fold(name)).Step();
          addKey_->Done();
          if (step != SQLITE_DONE) return ResultOf(step);
          id = sqlite3_last_insert_rowid(db_.get());
        }
        return kSuccess;
      });
    }
    if (found != kSuccess) {
      if (handles_.empty()) EndSnapshot();
      return found;
    }
    *key = nextHandle_;
    nextHandle_ += 4;
    handles_[*key] = id;
    return kSuccess;
  }

  // The key id behind a handle: kInvalidHandle for no handle of ours, kKeyDeleted for one
  // whose key this process deleted.
  long Resolve(RegKey key, std::int64_t* id) const {
    if (key == kCurrentUser) {
      *id = kRootId;
      return kSuccess;
    }
    const auto it = handles_.find(key);
    if (it == handles_.end()) return kInvalidHandle;
    *id = it->second;
    return *id == kDeletedId ? kKeyDeleted : kSuccess;
  }

  // The names of a path, without the empty ones; a path can't start at the root.
  static long SplitPath(const std::string& path, std::vector<std::string_view>* names) {
    const std::string_view full = CName(path);
    if (!full.empty() && full.front() == '\\') return kBadPathname;
    for (std::size_t begin = 0; begin <= full.size();) {
      std::size_t end = full.find('\\', begin);
      if (end == std::string_view::npos) end = full.size();
      if (end > begin) names->push_back(full.substr(begin, end - begin));
      if (end - begin > kMaxKeyNameLength) return kInvalidParameter;
      begin = end + 1;
    }
    return kSuccess;
  }

  // Walks the path one key at a time; in a snapshot or a transaction, all of it in one view.
  long FindPath(std::int64_t start, const std::vector<std::string_view>& names, std::int64_t* id) {
    *id = start;
    for (const std::string_view name : names) {
      const std::optional<std::int64_t> child = FindKey(*id, name);
      if (!child) return lastStep_ == SQLITE_DONE ? Missing(start, kFileNotFound) : ResultOf(lastStep_);
      *id = *child;
    }
    return kSuccess;
  }


  bool Exists(std::int64_t id) {
    lastStep_ = keyExists_->Bind(id).Step();
    keyExists_->Done();
    return lastStep_ == SQLITE_ROW;
  }

  // What to answer when something under a key is not there: the key itself may be gone,
  // deleted by another process.
  long Missing(std::int64_t id, long notFound) {
    if (Exists(id)) return notFound;
    return lastStep_ == SQLITE_DONE ? kKeyDeleted : ResultOf(lastStep_);
  }

  // QueryValue, or with wide QueryValueWide: string data leave the hive in UTF-16 then.
  long Query(RegKey key, const std::string& name, std::uint32_t* type, std::uint8_t* data, std::uint32_t* size,
             bool wide) {
    std::int64_t id = kRootId;
    if (const long rc = Resolve(key, &id); rc != kSuccess) return rc;
    if (data && !size) return kInvalidParameter;
    if (const long rc = Open(); rc != kSuccess) return rc;
    const int step = getValue_->Bind(id, Fold(CName(name))).Step();
    if (step != SQLITE_ROW) {
      getValue_->Done();
      return step == SQLITE_DONE ? Missing(id, kFileNotFound) : ResultOf(step);
    }
    const auto valueType = static_cast<std::uint32_t>(getValue_->Int(0));
    std::string_view bytes = getValue_->Blob(1);
    std::string widened;
    if (wide && IsStringType(valueType)) bytes = widened = Utf8ToUtf16Le(Windows1252ToUtf8(bytes));
    const long rc = CopyOut(valueType, bytes, type, data, size);
    getValue_->Done();
    return rc;
  }

  // Hands a value's type and data out as RegQueryValueExA does.
  static long CopyOut(std::uint32_t valueType, std::string_view bytes, std::uint32_t* type, std::uint8_t* data,
                      std::uint32_t* size) {
    const auto length = static_cast<std::uint32_t>(bytes.size());
    long rc = kSuccess;
    if (type) *type = valueType;
    if (data && *size < length) rc = kMoreData;
    else if (data && length > 0) std::memcpy(data, bytes.data(), length);
    if (size) *size = length;
    return rc;
  }

  // Runs change() in a transaction of its own or, when the caller has one open, inside
  // that one, which then commits or rolls back as a whole. Every
  // change goes through here: its own transaction takes the write lock first, waiting for
  // it as long as it takes.
  template <typename Change>
  long InTransaction(Change change) {
    EndSnapshot();
    if (!sqlite3_get_autocommit(db_.get())) return change();
    if (const int rc = ExecWaiting(db_.get(), "BEGIN IMMEDIATE"); rc != SQLITE_OK) return ResultOf(rc);
    long result = change();
    if (result == kSuccess) result = ResultOf(ExecWaiting(db_.get(), "COMMIT"));
    if (result != kSuccess) Exec("ROLLBACK");
    return result;
  }

  std::optional<std::int64_t> FindKey(std::int64_t parent, std::string_view name) {
    std::optional<std::int64_t> id;
    lastStep_ = findKey_->Bind(parent, Fold(name)).Step();
    if (lastStep_ == SQLITE_ROW) id = findKey_->Int(0);
    findKey_->Done();
    return id;
  }

  int Exec(const char* sql) { return sqlite3_exec(db_.get(), sql, nullptr, nullptr, nullptr); }

  // The reads made while key handles are open share one read transaction, begun by the
  // first open: an open and the queries on its handle see the same hive, and take the lock
  // of the write-ahead log once instead of once a statement. It ends when the last handle
  // is closed, and before any change, so that no write builds on an old view.
  void BeginSnapshot() {
    if (snapshot_ || !sqlite3_get_autocommit(db_.get())) return;
    snapshot_ = beginSnapshot_->Bind().Step() == SQLITE_DONE;
    beginSnapshot_->Done();
  }
  void EndSnapshot() {
    ForgetPlaces();
    if (!snapshot_) return;
    endSnapshot_->Bind().Step();
    endSnapshot_->Done();
    snapshot_ = false;
  }

  // Steps list (bound to key id, lowest fold, rows to skip) to the index-th subkey or value
  // of a key. Listing by consecutive indexes would cost a count from the first row each
  // time; instead each handle remembers the index and fold of the row it listed last, and
  // an index at or past that place is reached from there. A place holds only while the
  // process sees one view of the hive (a snapshot or a transaction): it is kept in no other.
  int StepTo(Statement& list, std::unordered_map<RegKey, Place>* places, RegKey key, std::int64_t id,
             std::uint32_t index) {
    const auto it = places->find(key);
    const bool onward = it != places->end() && it->second.index <= index;
    const std::string from = onward ? it->second.fold : std::string();
    const std::uint32_t skip = onward ? index - it->second.index : index;
    const int step = list.Bind(id, from, std::int64_t{skip}).Step();
    if (step == SQLITE_ROW && (snapshot_ || !sqlite3_get_autocommit(db_.get())))
      (*places)[key] = {index, std::string(list.Blob(1))};
    return step;
  }

  // Called wherever the process's view of the hive ends: with its snapshot, before each
  // change, and with a transaction.
  void ForgetPlaces() {
    subkeyPlaces_.clear();
    valuePlaces_.clear();
  }

  // Checks that the file is a hive (making it one when it is new and empty) and sets the
  // connection up. Returns SQLITE_NOTADB for any other database: it is left untouched.
  static int Prepare(sqlite3* db) {
    int applicationId = 0;
    int tables = 0;
    int rc = ReadSchema(db, &applicationId, &tables);
    if (rc != SQLITE_OK) return rc;
    if (applicationId == 0 && tables == 0) {
      rc = ExecWaiting(db, "BEGIN IMMEDIATE");
      if (rc == SQLITE_OK) rc = ReadSchema(db, &applicationId, &tables);
      if (rc == SQLITE_OK && applicationId == 0 && tables == 0) {
        rc = sqlite3_exec(db, kSchema, nullptr, nullptr, nullptr);
        const std::string setId = "PRAGMA application_id = " + std::to_string(kApplicationId);
        if (rc == SQLITE_OK) rc = sqlite3_exec(db, setId.c_str(), nullptr, nullptr, nullptr);
        if (rc == SQLITE_OK) applicationId = kApplicationId;
      }
      if (rc == SQLITE_OK) rc = ExecWaiting(db, "COMMIT");
      else sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
      if (rc != SQLITE_OK) return rc;
    }
    if (applicationId != kApplicationId) return SQLITE_NOTADB;
    // WAL lets readers and a writer work side by side; FULL syncs the log at every commit.
    const std::string setUp = "PRAGMA journal_mode = WAL; PRAGMA synchronous = FULL; PRAGMA journal_size_limit = " +
                              std::to_string(kLogLimitBytes);
    return ExecWaiting(db, setUp.c_str());
  }

  static int ReadSchema(sqlite3* db, int* applicationId, int* tables) {
    sqlite3_stmt* stmt = nullptr;
    int rc = sqlite3_prepare_v2(db,
                                "SELECT (SELECT application_id FROM pragma_application_id),"
                                " (SELECT count(*) FROM sqlite_schema)",
                                -1, &stmt, nullptr);
    if (rc == SQLITE_OK) rc = sqlite3_step(stmt);
    if (rc == SQLITE_ROW) {
      *applicationId = sqlite3_column_int(stmt, 0);
      *tables = sqlite3_column_int(stmt, 1);
      rc = SQLITE_OK;
    }
    sqlite3_finalize(stmt);
    return rc;
  }

  // Closed after the statements, when the process ends: the last process to close the hive
  // merges the write-ahead log into it and removes the log.
  struct Close {
    void operator()(sqlite3* db) const { sqlite3_close(db); }
  };
  std::unique_ptr<sqlite3, Close> db_;
  std::unique_ptr<Statement> beginSnapshot_, endSnapshot_, findKey_, addKey_, getValue_, replaceValue_, setValue_, deleteValue_,
      keyExists_, enumKey_, enumValue_, hasSubkey_, deleteValues_, deleteKey_;
  std::unordered_map<RegKey, std::int64_t> handles_;
  std::unordered_map<RegKey, Place> subkeyPlaces_, valuePlaces_;
  RegKey nextHandle_ = 0x1000;
  int lastStep_ = SQLITE_DONE;
  bool snapshot_ = false;
  bool refusalTold_ = false;
};

}  // namespace

Registry& Registry::Default() {
  static Hive hive;
  return hive;
}

}  // namespace platform
