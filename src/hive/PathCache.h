// The keys of paths opened from HKEY_CURRENT_USER, so that opening a key again costs no
// walk down its path. They hold as long as the hive is unchanged but for this process's own
// changes: the cache is checked against SQLite's data version, which counts other
// processes' commits, at the start of every view and transaction, and forgotten when this
// process deletes a key or rolls back a transaction that may have added one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>

#include "hive/Handles.h"

namespace hive {

class PathCache {
 public:
  // Forgets every path when the hive's data version is another than the one they were
  // looked up at; a version below zero (none could be read) forgets them too.
  void Check(std::int64_t version) {
    if (version == version_ && version >= 0) return;
    keys_.clear();
    version_ = version;
  }
  void Clear() { keys_.clear(); }

  // The key at path, as spelt when it was added; null when not cached.
  const KeyRow* Find(const std::string& path) const {
    const auto it = keys_.find(path);
    return it == keys_.end() ? nullptr : &it->second;
  }
  void Add(const std::string& path, const KeyRow& row) {
    // A tool walking a large tree opens many paths once each; the program a few, often.
    if (keys_.size() >= kMaxPaths) keys_.clear();
    keys_.emplace(path, row);
  }

 private:
  static constexpr std::size_t kMaxPaths = 64;
  std::unordered_map<std::string, KeyRow> keys_;
  std::int64_t version_ = -1;
};

}  // namespace hive
