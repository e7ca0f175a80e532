// The hive: the registry of HKEY_CURRENT_USER kept in one SQLite database per user, with
// advapi32's semantics for the operations the program uses. Every change is committed and
// synced before the call returns, or inside a transaction when that commits. A file that
// is not a hive, or that another user could have put or changed, is never written to.
#include <sqlite3.h>

#include <cstring>
#include <memory>
#include <vector>

#include "base/CodePage1252.h"
#include "base/Utf8.h"
#include "hive/Database.h"
#include "hive/Handles.h"
#include "hive/Names.h"
#include "hive/PathCache.h"
#include "hive/Statement.h"
#include "hive/StoreFiles.h"
#include "hive/ValueCache.h"
#include "hive/View.h"
#include "platform/Registry.h"

namespace hive {

using namespace platform;
namespace {

constexpr std::int64_t kRootId = 1;
// The root's parent is NULL, which the hive's checks read as 0.
const KeyRow kRoot{kRootId, 0, "HKEY_CURRENT_USER"};

// The open hive: its connection, its view and its statements, which close before it.
struct Store {
  explicit Store(Database opened) : db(std::move(opened)), view(db.get()), values(db.get()) {}
  Database db;
  View view;
  ValueCache values;
  bool logFilled = false;
  Statement beginWrite{db.get(), "BEGIN IMMEDIATE"};
  Statement commit{db.get(), "COMMIT"};
  Statement rollback{db.get(), "ROLLBACK"};
  Statement findKey{db.get(), "SELECT id FROM keys WHERE parent = ?1 AND fold = ?2"};
  Statement addKey{db.get(), "INSERT INTO keys(parent, name, fold) VALUES(?1, ?2, ?3)"};
  Statement getValue{db.get(), "SELECT type, data FROM vals WHERE key = ?1 AND fold = ?2"};
  // A value that exists is replaced in place; an upsert would build its new data twice, for
  // the insert it gives up and for the update. These and deleteValue change nothing when
  // the key's row (its id, its parent's id and its fold, as keyIs) is gone.
  Statement replaceValue{db.get(),
                         "UPDATE vals SET type = ?3, data = ?4 WHERE key = ?1 AND fold = ?2 AND EXISTS("
                         "SELECT 1 FROM keys WHERE id = ?1 AND ifnull(parent, 0) = ?5 AND fold = ?6)"};
  Statement setValue{db.get(),
                     "INSERT INTO vals(key, fold, type, data, name) SELECT ?1, ?2, ?3, ?4, ?7 WHERE EXISTS("
                     "SELECT 1 FROM keys WHERE id = ?1 AND ifnull(parent, 0) = ?5 AND fold = ?6)"};
  Statement deleteValue{db.get(),
                        "DELETE FROM vals WHERE key = ?1 AND fold = ?2 AND EXISTS("
                        "SELECT 1 FROM keys WHERE id = ?1 AND ifnull(parent, 0) = ?3 AND fold = ?4)"};
  Statement keyIs{db.get(), "SELECT 1 FROM keys WHERE id = ?1 AND ifnull(parent, 0) = ?2 AND fold = ?3"};
  Statement enumKey{db.get(),
                    "SELECT name, fold FROM keys WHERE parent = ?1 AND fold >= ?2 ORDER BY fold LIMIT 1 OFFSET ?3"};
  Statement enumValue{
      db.get(),
      "SELECT name, fold, type, data FROM vals WHERE key = ?1 AND fold >= ?2 ORDER BY fold LIMIT 1 OFFSET ?3"};
  Statement hasSubkey{db.get(), "SELECT 1 FROM keys WHERE parent = ?1 LIMIT 1"};
  Statement deleteValues{db.get(), "DELETE FROM vals WHERE key = ?1"};
  Statement deleteKey{db.get(), "DELETE FROM keys WHERE id = ?1"};
};

// Hands a value's type and data out as RegQueryValueExA does.
long CopyOut(std::uint32_t valueType, std::string_view bytes, std::uint32_t* type, std::uint8_t* data,
             std::uint32_t* size) {
  const auto length = static_cast<std::uint32_t>(bytes.size());
  long rc = kSuccess;
  if (type) *type = valueType;
  if (data && *size < length)
    rc = kMoreData;
  else if (data && length > 0)
    std::memcpy(data, bytes.data(), length);
  if (size) *size = length;
  return rc;
}

// String data as QueryValueWide hands them out; ASCII, the common case, widens byte by byte.
std::string Windows1252ToUtf16Le(std::string_view ansi) {
  if (!base::IsAscii(ansi)) return base::Utf8ToUtf16Le(base::Windows1252ToUtf8(ansi));
  std::string wide(2 * ansi.size(), '\0');
  for (std::size_t i = 0; i < ansi.size(); ++i) wide[2 * i] = ansi[i];
  return wide;
}

// String data as SetValueWide stores them, the way back of Windows1252ToUtf16Le.
std::string Utf16LeToWindows1252(std::string_view wide) {
  std::string ansi(wide.size() / 2, '\0');
  for (std::size_t i = 0; i < ansi.size(); ++i) {
    if (wide[2 * i + 1] != '\0' || static_cast<unsigned char>(wide[2 * i]) >= 0x80)
      return base::Utf8ToWindows1252(base::Utf16LeToUtf8(wide));
    ansi[i] = wide[2 * i];
  }
  return ansi;
}

long Valid(bool arguments) { return arguments ? kSuccess : kInvalidParameter; }

class Hive final : public Registry {
 public:
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
    const KeyRow* row = nullptr;
    if (const long rc = Reach(key, Valid(name), &row); rc != kSuccess) return rc;
    Statement& list = store_->enumKey;
    const int step = store_->view.StepTo(list, Listing::kSubkeys, key, row->id, index);
    if (step == SQLITE_ROW) *name = ToAnsi(list.Blob(0));
    list.Done();
    return step == SQLITE_DONE ? Missing(*row, kNoMoreItems) : ResultOf(step);
  }

  long EnumValue(RegKey key, std::uint32_t index, std::string* name, std::uint32_t* type, std::uint8_t* data,
                 std::uint32_t* size) override {
    const KeyRow* row = nullptr;
    if (const long rc = Reach(key, Valid(name && (!data || size)), &row); rc != kSuccess) return rc;
    Statement& list = store_->enumValue;
    const int step = store_->view.StepTo(list, Listing::kValues, key, row->id, index);
    if (step != SQLITE_ROW) {
      list.Done();
      return step == SQLITE_DONE ? Missing(*row, kNoMoreItems) : ResultOf(step);
    }
    *name = ToAnsi(list.Blob(0));
    const long rc = CopyOut(static_cast<std::uint32_t>(list.Int(2)), list.Blob(3), type, data, size);
    list.Done();
    return rc;
  }

  long DeleteKey(RegKey parent, const std::string& path) override {
    std::vector<std::string_view> names;
    const KeyRow* start = nullptr;
    if (const long rc = Reach(parent, SplitPath(path, &names), &start); rc != kSuccess) return rc;
    KeyRow row;
    if (const long rc = FindPath(*start, names, &row); rc != kSuccess) return rc;
    if (row.id == kRootId) return kAccessDenied;
    const long deleted = InTransaction([&]() -> long {
      // The path is walked again in the hive as the transaction sees it.
      if (const long rc = IfStillThere(*start); rc != kSuccess) return rc;
      if (const long rc = FindPath(*start, names, &row); rc != kSuccess) return rc;
      const std::int64_t id = row.id;
      const int subkey = store_->hasSubkey.Bind(id).Run();
      if (subkey == SQLITE_ROW) return kAccessDenied;
      if (subkey != SQLITE_DONE) return ResultOf(subkey);
      for (Statement* statement : {&store_->deleteValues, &store_->deleteKey})
        if (const int step = statement->Bind(id).Run(); step != SQLITE_DONE) return ResultOf(step);
      return kSuccess;
    });
    store_->values.Clear();
    if (deleted == kSuccess) {
      handles_.Orphan(row.id);
      paths_.Clear();
    }
    return deleted;
  }

  long BeginTransaction() override {
    if (const long rc = Open(); rc != kSuccess) return rc;
    EndView();
    store_->values.Clear();
    const int begun = BeginWrite();
    if (begun == SQLITE_DONE) paths_.Check(store_->view.Version());
    return ResultOf(begun);
  }
  long CommitTransaction() override {
    if (!store_) return kInvalidParameter;
    EndView();
    store_->values.Clear();
    return ResultOf(RunWaiting(store_->commit));
  }
  long RollbackTransaction() override {
    if (!store_) return kInvalidParameter;
    EndView();
    store_->values.Clear();
    paths_.Clear();
    return ResultOf(store_->rollback.Bind().Run());
  }

  long SetValue(RegKey key, const std::string& name, std::uint32_t type, const std::uint8_t* data,
                std::uint32_t size) override {
    const std::string_view valueName = CName(name);
    const KeyRow* row = nullptr;
    if (const long rc =
            Reach(key, Valid(valueName.size() <= kMaxValueNameLength && (data || size == 0)), &row, Use::kChange);
        rc != kSuccess)
      return rc;
    const std::string_view bytes(reinterpret_cast<const char*>(data), data ? size : 0);
    const std::string fold = Fold(valueName);
    const long result = InTransaction([&]() -> long {
      int step = store_->replaceValue.Bind(row->id, fold, std::int64_t{type}, bytes, row->parent, row->fold).Step();
      bool stored = sqlite3_changes(Db()) > 0;
      store_->replaceValue.Done();
      if (step == SQLITE_DONE && !stored) {
        step =
            store_->setValue.Bind(row->id, fold, std::int64_t{type}, bytes, row->parent, row->fold, FromAnsi(valueName))
                .Step();
        stored = sqlite3_changes(Db()) > 0;
        store_->setValue.Done();
      }
      if (step != SQLITE_DONE) return ResultOf(step);
      return stored ? kSuccess : kKeyDeleted;
    });
    return Changed(result, row->id, fold);
  }

  // The hive holds string data in Windows-1252, as SetValue stores them.
  long SetValueWide(RegKey key, const std::string& name, std::uint32_t type, const std::uint8_t* data,
                    std::uint32_t size) override {
    if (!data || !IsStringType(type)) return SetValue(key, name, type, data, size);
    const std::string ansi = Utf16LeToWindows1252({reinterpret_cast<const char*>(data), size});
    return SetValue(key, name, type, reinterpret_cast<const std::uint8_t*>(ansi.data()),
                    static_cast<std::uint32_t>(ansi.size()));
  }

  long DeleteValue(RegKey key, const std::string& name) override {
    const KeyRow* row = nullptr;
    if (const long rc = Reach(key, kSuccess, &row, Use::kChange); rc != kSuccess) return rc;
    const std::string fold = Fold(CName(name));
    const long result = InTransaction([&]() -> long {
      const int step = store_->deleteValue.Bind(row->id, fold, row->parent, row->fold).Step();
      const bool deleted = sqlite3_changes(Db()) > 0;
      store_->deleteValue.Done();
      if (step != SQLITE_DONE) return ResultOf(step);
      return deleted ? kSuccess : Missing(*row, kFileNotFound);
    });
    return Changed(result, row->id, fold);
  }

  // Every change is already synced when its call (or its transaction) commits: nothing is
  // left to flush.
  long FlushKey(RegKey key) override {
    const KeyRow* row = nullptr;
    return Resolve(key, &row);
  }

  long CloseKey(RegKey key) override {
    if (key == kCurrentUser) return kSuccess;
    if (!handles_.Remove(key)) return kInvalidHandle;
    store_->view.Forget(key);
    if (handles_.empty()) EndView();
    return kSuccess;
  }

  std::string ToAnsi(std::string_view utf8) override { return base::Utf8ToWindows1252(utf8); }
  std::string FromAnsi(std::string_view ansi) override { return base::Windows1252ToUtf8(ansi); }

 private:
  // Opens the hive on first use, and again after a failed open.
  long Open() {
    if (store_) return kSuccess;
    const std::string folder = HiveFolder();
    std::string why = "neither XDG_DATA_HOME nor HOME names a folder";
    long rc = folder.empty() ? kCantOpen : MakeFolders(folder, &why);
    if (rc == kSuccess) rc = CheckStore(folder, &why);
    if (rc != kSuccess) return Refuse(why, rc);
    Database db;
    if (rc = OpenDatabase(folder + '/' + kHiveName, &db); rc != kSuccess) return rc;
    store_ = std::make_unique<Store>(std::move(db));
    return kSuccess;
  }

  // Tells once a process why the hive can't be used; the call then fails with code.
  long Refuse(const std::string& why, long code) {
    if (!refusalTold_) Tell("the hive is not used: " + why);
    refusalTold_ = true;
    return code;
  }

  // Whether a call on a key reads it or changes a value under it.
  enum class Use { kRead, kChange };

  // What every call on a key starts with, in advapi32's order: the key behind the
  // handle, then the arguments' check (kSuccess when they are fine), then the hive opened.
  // On keys opened quietly, a read (but a query answered from the cache) begins a view; a
  // change needs none, as it takes the write lock and checks its key under it.
  long Reach(RegKey key, long argumentCheck, const KeyRow** row, Use use = Use::kRead) {
    if (const long rc = Resolve(key, row); rc != kSuccess) return rc;
    if (argumentCheck != kSuccess) return argumentCheck;
    const long rc = Open();
    if (rc == kSuccess && quiet_) {
      if (use == Use::kRead)
        BeginView();
      else
        quiet_ = false;
    }
    return rc;
  }

  // The key behind a handle, valid until the next handle is opened or closed:
  // kInvalidHandle for no handle of ours, kKeyDeleted for one whose key this process deleted.
  long Resolve(RegKey key, const KeyRow** row) {
    *row = key == kCurrentUser ? &kRoot : handles_.Find(key);
    if (!*row) return kInvalidHandle;
    return (*row)->id == kDeletedId ? kKeyDeleted : kSuccess;
  }

  long OpenOrCreate(RegKey parent, const std::string& path, RegKey* key, bool create) {
    if (!key) return kInvalidParameter;
    *key = kNoKey;
    KeyRow row;
    const long found = FindOrMake(parent, path, create, &row);
    if (found == kSuccess)
      *key = handles_.Add(std::move(row));
    else if (store_ && handles_.empty())
      EndView();
    return found;
  }

  // The key at path under parent, read in the view that the open begins; with
  // create, the missing keys of the path are added.
  long FindOrMake(RegKey parent, const std::string& path, bool create, KeyRow* row) {
    // A path opened from the root before was checked and walked then.
    if (parent == kCurrentUser && store_) {
      if (OpenQuietly(path, row)) return kSuccess;
      BeginView();
      if (const KeyRow* cached = paths_.Find(path)) {
        *row = *cached;
        return kSuccess;
      }
    }
    std::vector<std::string_view> names;
    const KeyRow* start = nullptr;
    if (const long rc = Reach(parent, SplitPath(path, &names), &start); rc != kSuccess) return rc;
    BeginView();
    long found = FindPath(*start, names, row);
    // Another process may have added part of the path meanwhile: look again under the
    // write lock.
    if (found == kFileNotFound && create)
      found = Changed(InTransaction([&] { return MakePath(*start, names, row); }), kDeletedId, {});
    if (found == kSuccess && parent == kCurrentUser) paths_.Add(path, *row);
    return found;
  }

  // Opens a key from the cached paths without a snapshot of the hive, while no process has
  // changed it since they and the cached values were read: the key's queries are answered
  // from the cache, and any other call on it begins a view then.
  bool OpenQuietly(const std::string& path, KeyRow* row) {
    if (store_->view.Open() || !sqlite3_get_autocommit(Db()) || (!quiet_ && !handles_.empty()) ||
        !store_->values.Current())
      return false;
    const KeyRow* cached = paths_.Find(path);
    if (!cached) return false;
    *row = *cached;
    quiet_ = true;
    return true;
  }

  // Begins the view of the reads while handles are open and, when it is a new one, checks
  // the cached paths and values against the hive it shows: they are forgotten when another
  // process has changed the hive since they were read.
  void BeginView() {
    quiet_ = false;
    if (store_->view.Open() || !sqlite3_get_autocommit(Db())) return;
    store_->values.BeforeView();
    std::int64_t version = -1;
    store_->view.Begin(&version);
    paths_.Check(version);
    store_->values.Began(version);
  }

  void EndView() {
    quiet_ = false;
    store_->view.End();
  }

  // Keeps the cached values true after a change: one committed on its own passes over the
  // values it didn't touch (the value (key, fold), none for kDeletedId); anything else, a
  // change in the caller's transaction or one that failed, forgets them all.
  long Changed(long result, std::int64_t key, const std::string& fold) {
    if (result == kSuccess && sqlite3_get_autocommit(Db()))
      store_->values.Committed(key, fold);
    else
      store_->values.Clear();
    return result;
  }

  // Takes the write lock, waiting as long as another process holds it; the first time on
  // this connection, the log is filled under it.
  int BeginWrite() {
    const int begun = RunWaiting(store_->beginWrite);
    if (begun == SQLITE_DONE && !store_->logFilled) {
      FillLog(Db());
      store_->logFilled = true;
    }
    return begun;
  }

  // Walks the path one key at a time; in a snapshot or a transaction, all of it in one view.
  long FindPath(const KeyRow& start, const std::vector<std::string_view>& names, KeyRow* row) {
    *row = start;
    for (const std::string_view name : names) {
      const int step = FindKey(name, row);
      if (step == SQLITE_DONE) return Missing(start, kFileNotFound);
      if (step != SQLITE_ROW) return ResultOf(step);
    }
    return kSuccess;
  }

  // Finds or adds each key of the path under start, inside a transaction.
  long MakePath(const KeyRow& start, const std::vector<std::string_view>& names, KeyRow* row) {
    if (const long rc = IfStillThere(start); rc != kSuccess) return rc;
    *row = start;
    for (const std::string_view name : names) {
      const int found = FindKey(name, row);
      if (found == SQLITE_ROW) continue;
      if (found != SQLITE_DONE) return ResultOf(found);
      if (const int step = store_->addKey.Bind(row->parent, FromAnsi(name), row->fold).Run(); step != SQLITE_DONE)
        return ResultOf(step);
      row->id = sqlite3_last_insert_rowid(Db());
    }
    return kSuccess;
  }

  // Steps from *row to its subkey named name: SQLITE_ROW with *row that subkey,
  // SQLITE_DONE when there is none (*row then holds its parent and fold, its id not yet
  // known), or SQLite's error.
  int FindKey(std::string_view name, KeyRow* row) {
    row->parent = row->id;
    row->fold = Fold(name);
    Statement& find = store_->findKey;
    const int step = find.Bind(row->parent, row->fold).Step();
    row->id = step == SQLITE_ROW ? find.Int(0) : kDeletedId;
    find.Done();
    return step;
  }

  // kSuccess when the key of row is still in the hive, kKeyDeleted when another process
  // deleted it, even if a key has since been added under its id; or what went wrong in
  // looking.
  long IfStillThere(const KeyRow& row) {
    const int step = store_->keyIs.Bind(row.id, row.parent, row.fold).Run();
    if (step == SQLITE_ROW) return kSuccess;
    return step == SQLITE_DONE ? kKeyDeleted : ResultOf(step);
  }

  // What to answer when something under a key is not there: the key itself may be gone.
  long Missing(const KeyRow& row, long notFound) {
    const long rc = IfStillThere(row);
    return rc == kSuccess ? notFound : rc;
  }

  // QueryValue, or with wide QueryValueWide: string data leave the hive in UTF-16 then.
  long Query(RegKey key, const std::string& name, std::uint32_t* type, std::uint8_t* data, std::uint32_t* size,
             bool wide) {
    const KeyRow* row = nullptr;
    const std::string fold = Fold(CName(name));
    if (quiet_ && Resolve(key, &row) == kSuccess && (!data || size))
      if (const ValueCache::Value* cached = store_->values.Find(row->id, fold))
        return Answer(*cached, wide, type, data, size);
    if (const long rc = Reach(key, Valid(!data || size), &row); rc != kSuccess) return rc;
    Statement& get = store_->getValue;
    const int step = get.Bind(row->id, fold).Step();
    ValueCache::Value value{step == SQLITE_ROW, 0, {}};
    if (value.found) {
      value.type = static_cast<std::uint32_t>(get.Int(0));
      value.data = get.Blob(1);
    }
    get.Done();
    if (step == SQLITE_DONE) {
      if (const long rc = Missing(*row, kFileNotFound); rc != kFileNotFound) return rc;
    } else if (step != SQLITE_ROW) {
      return ResultOf(step);
    }
    // Only what a snapshot read, with no change of this process's in it, is cached.
    if (store_->view.Open() && sqlite3_get_autocommit(Db())) store_->values.Add(row->id, fold, value);
    return Answer(value, wide, type, data, size);
  }

  // A query's answer, from the hive or the cache: string data in UTF-16 when wide.
  static long Answer(const ValueCache::Value& value, bool wide, std::uint32_t* type, std::uint8_t* data,
                     std::uint32_t* size) {
    if (!value.found) return kFileNotFound;
    std::string_view bytes = value.data;
    std::string widened;
    if (wide && IsStringType(value.type)) bytes = widened = Windows1252ToUtf16Le(bytes);
    return CopyOut(value.type, bytes, type, data, size);
  }

  // Runs change() in a transaction of its own or, when the caller has one open, inside
  // that one, which then commits or rolls back as a whole. Every change goes through here:
  // its own transaction takes the write lock first, waiting for it as long as it takes.
  template <typename Change>
  long InTransaction(Change change) {
    // An open view becomes the change's transaction, which saves ending one transaction
    // and beginning another. SQLite gives it the write lock only while the view still shows
    // the hive as it is and no other process writes (SQLITE_BUSY otherwise, at once): then
    // the view is dropped and the change made on its own, waiting for the lock.
    if (store_->view.Open() && store_->logFilled) {
      long result = ResultOf(store_->view.Write());
      if (result == kSuccess) result = change();
      if (result == kSuccess) result = ResultOf(store_->view.End());
      if (result == kSuccess) return kSuccess;
      // kCantWrite comes of a failed SQLite call, whose code sqlite3_errcode still holds.
      const bool lostTheLock = result == kCantWrite && sqlite3_errcode(Db()) == SQLITE_BUSY;
      store_->view.Drop();
      if (!lostTheLock) return result;
    }
    store_->view.End();
    if (!sqlite3_get_autocommit(Db())) return change();
    if (const int rc = BeginWrite(); rc != SQLITE_DONE) return ResultOf(rc);
    long result = change();
    if (result == kSuccess) result = ResultOf(RunWaiting(store_->commit));
    if (result != kSuccess) store_->rollback.Bind().Run();
    return result;
  }

  sqlite3* Db() const { return store_->db.get(); }

  std::unique_ptr<Store> store_;
  Handles handles_;
  PathCache paths_;
  bool quiet_ = false;  // handles are open without a view (OpenQuietly)
  bool refusalTold_ = false;
};

}  // namespace
}  // namespace hive

// Off Windows, the hive is the platform's own registry.
platform::Registry& platform::Registry::Default() {
  static hive::Hive hive;
  return hive;
}
