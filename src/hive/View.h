// What the process sees of the hive between its changes: the read snapshot held while key
// handles are open, and the places where listings stopped, which hold only within one view.
#pragma once

#include <sqlite3.h>

#include <array>
#include <cstdint>
#include <string>
#include <unordered_map>

#include "hive/Statement.h"
#include "platform/Registry.h"

namespace hive {

using namespace platform;

enum class Listing { kSubkeys, kValues };

class View {
 public:
  explicit View(sqlite3* db)
      : db_(db), version_(db, "PRAGMA data_version"), begin_(db, "BEGIN"), end_(db, "COMMIT"), drop_(db, "ROLLBACK") {}

  // The reads made while key handles are open share one snapshot, begun by the first open:
  // an open and the queries on its handle see the same hive. The statement that reads the
  // hive's data version at its start holds it, left unfinished, so that a view that only
  // reads runs no BEGIN and no COMMIT. A transaction of the caller's is a view already.
  // Returns whether a view began here, with *version the data version it shows (below zero
  // when none could be read).
  bool Begin(std::int64_t* version);
  // The data version in a transaction of the caller's.
  std::int64_t Version();
  // Makes the view a transaction, before a change made within it.
  int Write();
  // Ends the snapshot and forgets every listing place: when the last handle closes, before
  // a change made outside the view (so that no write builds on an old view), and with a
  // transaction. A change made within the view commits here. Returns SQLite's code of the
  // commit; the view stays open when it fails.
  int End();
  // Ends the snapshot as End does, dropping what was changed within it.
  void Drop();
  bool Open() const { return snapshot_; }

  // Steps list (bound to key id, lowest fold, rows to skip) to the index-th row of a key's
  // listing on handle key.
  int StepTo(Statement& list, Listing listing, RegKey key, std::int64_t id, std::uint32_t index);
  void Forget(RegKey key);

 private:
  // Where a handle's listing stopped: the index and the fold of the row listed there.
  struct Place {
    std::uint32_t index;
    std::string fold;
  };

  sqlite3* db_;
  Statement version_, begin_, end_, drop_;
  bool snapshot_ = false;
  std::array<std::unordered_map<RegKey, Place>, 2> places_;
};

}  // namespace hive
