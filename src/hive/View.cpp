#include "hive/View.h"

namespace hive {

bool View::Begin(std::int64_t* version) {
  if (snapshot_ || !sqlite3_get_autocommit(db_)) return false;
  snapshot_ = version_.Bind().Step() == SQLITE_ROW;
  *version = snapshot_ ? version_.Int(0) : -1;
  if (!snapshot_) version_.Done();
  return true;
}

std::int64_t View::Version() {
  const std::int64_t version = version_.Bind().Step() == SQLITE_ROW ? version_.Int(0) : -1;
  version_.Done();
  return version;
}

// The transaction holds the snapshot from here on: the data version's statement ends, so
// that the commit leaves the connection in no transaction, where SQLite may merge the log
// into the hive.
int View::Write() {
  if (!sqlite3_get_autocommit(db_)) return SQLITE_DONE;
  const int step = begin_.Bind().Run();
  if (step == SQLITE_DONE) version_.Done();
  return step;
}

int View::End() {
  for (auto& places : places_) places.clear();
  if (!snapshot_) return SQLITE_DONE;
  if (sqlite3_get_autocommit(db_))
    version_.Done();
  else if (const int step = end_.Bind().Run(); step != SQLITE_DONE)
    return step;
  snapshot_ = false;
  return SQLITE_DONE;
}

void View::Drop() {
  for (auto& places : places_) places.clear();
  if (!snapshot_) return;
  if (sqlite3_get_autocommit(db_))
    version_.Done();
  else
    drop_.Bind().Run();
  snapshot_ = false;
}

// Listing by consecutive indexes would cost a count from the first row each time; instead
// each handle remembers the index and fold of the row it listed last, and an index at or
// past that place is reached from there. A place is kept only in a view (a snapshot or a
// transaction), since outside one the rows before it may change.
int View::StepTo(Statement& list, Listing listing, RegKey key, std::int64_t id, std::uint32_t index) {
  auto& places = places_[static_cast<std::size_t>(listing)];
  const auto it = places.find(key);
  const bool onward = it != places.end() && it->second.index <= index;
  const std::string from = onward ? it->second.fold : std::string();
  const std::uint32_t skip = onward ? index - it->second.index : index;
  const int step = list.Bind(id, from, std::int64_t{skip}).Step();
  if (step == SQLITE_ROW && (snapshot_ || !sqlite3_get_autocommit(db_)))
    places[key] = {index, std::string(list.Blob(1))};
  return step;
}

void View::Forget(RegKey key) {
  for (auto& places : places_) places.erase(key);
}

}  // namespace hive
