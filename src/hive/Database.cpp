#include "hive/Database.h"

#include <algorithm>

#include "hive/LockWait.h"
#include "platform/Registry.h"

namespace hive {

using namespace platform;
namespace {

constexpr int kApplicationId = 0x56414E54;  // "VANT"
// The size the write-ahead log is cut back to once it has been merged into the hive, and
// filled to (FillLog): a little more than SQLite's automatic checkpoint (every 1000 pages,
// of 4 KiB in hives made before theirs were 1 KiB) lets it reach, and small enough that one
// large change doesn't leave it large for good.
constexpr int kLogLimitBytes = 4 << 20;
// The log is filled this much at a time: SQLite's Unix files write less than 128 KiB a call.
constexpr sqlite3_int64 kFillBytes = 64 << 10;
// SQLite's primary result code is the low byte of an extended one.
constexpr int kPrimaryCode = 0xFF;

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

struct SchemaMark {
  int applicationId = 0;
  int tables = 0;
  bool empty() const { return applicationId == 0 && tables == 0; }
};

int ReadSchema(sqlite3* db, SchemaMark* mark) {
  sqlite3_stmt* stmt = nullptr;
  int rc = sqlite3_prepare_v2(db,
                              "SELECT (SELECT application_id FROM pragma_application_id),"
                              " (SELECT count(*) FROM sqlite_schema)",
                              -1, &stmt, nullptr);
  if (rc == SQLITE_OK) rc = sqlite3_step(stmt);
  if (rc == SQLITE_ROW) {
    mark->applicationId = sqlite3_column_int(stmt, 0);
    mark->tables = sqlite3_column_int(stmt, 1);
    rc = SQLITE_OK;
  }
  sqlite3_finalize(stmt);
  return rc;
}

// Runs sql as RunWaiting runs a statement, for the few that run once.
int ExecWaiting(sqlite3* db, const char* sql) {
  int rc = SQLITE_BUSY;
  while (rc == SQLITE_BUSY) rc = sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
  return rc;
}

// Writes the schema into an empty database, looking again under the write lock since
// another process may be making it a hive at the same time. Its pages are 1 KiB, a quarter
// of SQLite's default: every change writes its whole page to the log and sums it there, and
// a row of up to about 200 bytes, a status message's among them, still fits on one page.
int MakeHive(sqlite3* db, SchemaMark* mark) {
  int rc = sqlite3_exec(db, "PRAGMA page_size = 1024", nullptr, nullptr, nullptr);
  if (rc == SQLITE_OK) rc = ExecWaiting(db, "BEGIN IMMEDIATE");
  if (rc == SQLITE_OK) rc = ReadSchema(db, mark);
  if (rc == SQLITE_OK && mark->empty()) {
    rc = sqlite3_exec(db, kSchema, nullptr, nullptr, nullptr);
    const std::string setId = "PRAGMA application_id = " + std::to_string(kApplicationId);
    if (rc == SQLITE_OK) rc = sqlite3_exec(db, setId.c_str(), nullptr, nullptr, nullptr);
    if (rc == SQLITE_OK) mark->applicationId = kApplicationId;
  }
  if (rc == SQLITE_OK) return ExecWaiting(db, "COMMIT");
  sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
  return rc;
}

// Checks that the file is a hive (making it one when it is new and empty) and sets the
// connection up. Returns SQLITE_NOTADB for any other database.
int Prepare(sqlite3* db) {
  SchemaMark mark;
  int rc = ReadSchema(db, &mark);
  if (rc == SQLITE_OK && mark.empty()) rc = MakeHive(db, &mark);
  if (rc != SQLITE_OK) return rc;
  if (mark.applicationId != kApplicationId) return SQLITE_NOTADB;
  // WAL lets readers and a writer work side by side; FULL syncs the log at every commit.
  const std::string setUp = "PRAGMA journal_mode = WAL; PRAGMA synchronous = FULL; PRAGMA journal_size_limit = " +
                            std::to_string(kLogLimitBytes);
  return ExecWaiting(db, setUp.c_str());
}

}  // namespace

long ResultOf(int sqliteCode) {
  switch (sqliteCode & kPrimaryCode) {
    case SQLITE_OK:
    case SQLITE_DONE:
    case SQLITE_ROW:
      return kSuccess;
    case SQLITE_NOTADB:
    case SQLITE_CORRUPT:
      return kBadDb;
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_AUTH:
      return kAccessDenied;
    case SQLITE_CANTOPEN:
      return kCantOpen;
    default:
      return kCantWrite;
  }
}

int RunWaiting(Statement& statement) {
  int rc = SQLITE_BUSY;
  while (rc == SQLITE_BUSY) rc = statement.Bind().Run();
  return rc;
}

void FillLog(sqlite3* db) {
  // Only a write-ahead log: the file SQLite names otherwise is a rollback journal, whose
  // content it would read back into the hive.
  Statement mode(db, "PRAGMA journal_mode");
  if (mode.Bind().Step() != SQLITE_ROW || mode.Blob(0) != "wal") return;
  sqlite3_file* log = nullptr;
  sqlite3_int64 size = 0;
  if (sqlite3_file_control(db, "main", SQLITE_FCNTL_JOURNAL_POINTER, &log) != SQLITE_OK || !log || !log->pMethods ||
      log->pMethods->xFileSize(log, &size) != SQLITE_OK)
    return;
  // SQLite finds the log's last frame by the frames' checksums and salts, which no run of
  // zeros matches: the zeros are never taken for a frame.
  const std::string zeros(kFillBytes, '\0');
  for (; size < kLogLimitBytes; size += kFillBytes) {
    const auto length = static_cast<int>(std::min(kFillBytes, kLogLimitBytes - size));
    if (log->pMethods->xWrite(log, zeros.data(), length, size) != SQLITE_OK) return;
  }
}

long OpenDatabase(const std::string& path, Database* db) {
  // A registry is used from one thread at a time (Registry.h), so SQLite need not lock the
  // connection, its files and its shared state around each call, nor count the memory it
  // takes, which costs a lock each time. Both are the process's settings: taken when SQLite
  // is not in use yet.
  sqlite3_config(SQLITE_CONFIG_SINGLETHREAD);
  sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0);
  sqlite3* opened = nullptr;
  int rc =
      sqlite3_open_v2(path.c_str(), &opened, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
  if (rc == SQLITE_OK) rc = sqlite3_busy_timeout(opened, kHiveLockWaitMs);
  if (rc == SQLITE_OK) rc = Prepare(opened);
  if (rc != SQLITE_OK) {
    sqlite3_close_v2(opened);
    return ResultOf(rc == SQLITE_DONE ? SQLITE_NOTADB : rc);
  }
  db->reset(opened);
  return kSuccess;
}

}  // namespace hive
