// All-or-nothing changes to the hive, for callers off Windows that apply many changes as
// one (an import): between Begin and Commit every registry call joins one SQLite
// transaction, written and synced at Commit or dropped whole at Rollback.
#pragma once

namespace platform {

// How long one attempt waits for a lock that another process holds. A read gives up after
// one attempt; a change (and Begin) tries again until it gets the lock, however long that is.
inline constexpr int kHiveLockWaitMs = 1000;

// BEGIN IMMEDIATE: takes the hive's write lock, waiting as long as any other write would.
long BeginHiveTransaction();
// COMMIT: the changes since Begin are on permanent storage when it returns. When it fails
// the transaction is still open: roll it back.
long CommitHiveTransaction();
// ROLLBACK: drops every change since Begin. Roll back after any failed call too, since a
// call that fails halfway leaves its first steps in the transaction. A handle on a key
// that DeleteKey deleted in the transaction still answers kKeyDeleted after the rollback.
long RollbackHiveTransaction();

}  // namespace platform
