// The hive's SQLite database: opening and checking it, making a new one a hive, and what
// SQLite's result codes become as registry result codes.
#pragma once

#include <sqlite3.h>

#include <memory>
#include <string>

#include "hive/Statement.h"

namespace hive {

// The registry result code of an SQLite result code.
long ResultOf(int sqliteCode);

// Runs statement (bound, or without parameters), trying again each time it has waited
// kHiveLockWaitMs for a lock that another process holds: a change waits as long as the other
// process writes, and is never dropped for it. Returns the last step's code.
int RunWaiting(Statement& statement);

// Writes zeros past the end of the write-ahead log up to the size it is cut back to, so that
// a commit overwrites blocks the file already has: a sync after a write that grows the file
// must also commit its new size, which costs about as much again. Call it holding the write
// lock, which keeps every other process from writing frames there meanwhile.
void FillLog(sqlite3* db);

// Closed after its statements, when the process ends: the last process to close the hive
// merges the write-ahead log into it and removes the log.
struct CloseDatabase {
  void operator()(sqlite3* db) const { sqlite3_close(db); }
};
using Database = std::unique_ptr<sqlite3, CloseDatabase>;

// Opens the hive file at path, makes it a hive when it is new and empty, and sets the
// connection up. Any other database or file is left untouched: kBadDb then, or the result
// code of what failed.
long OpenDatabase(const std::string& path, Database* db);

}  // namespace hive
