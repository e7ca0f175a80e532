// How long the hive waits for a lock that another process holds: its users may know it.
#pragma once

namespace hive {

// How long one attempt waits for a lock that another process holds. A read gives up after
// one attempt; a change (and BeginTransaction) tries again until it gets the lock, however
// long that is.
inline constexpr int kHiveLockWaitMs = 1000;

}  // namespace hive
