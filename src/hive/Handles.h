// The hive's table of open key handles, each naming the id of its key's row.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "platform/Registry.h"

namespace hive {

using namespace platform;

// A key as a handle holds it: the id of its row, and the id of its parent and its folded
// name, which tell it from a key added later under the same id: SQLite hands the id of a
// deleted row to the next new key when it was the highest.
struct KeyRow {
  std::int64_t id;
  std::int64_t parent;
  std::string fold;
};

// What a handle's key id becomes when this process deletes its key.
inline constexpr std::int64_t kDeletedId = 0;

// Handles are multiples of four, as Windows' own are (it leaves their two low bits to
// tags), and start well above zero, so that no small number passed by mistake is one.
inline constexpr RegKey kFirstHandle = 0x1000;
inline constexpr RegKey kHandleStep = 4;

// A process holds few handles at a time, so a short list beats a hash table here: no
// allocation for each open, and a lookup is a few comparisons.
class Handles {
 public:
  RegKey Add(KeyRow row) {
    const RegKey handle = next_;
    next_ += kHandleStep;
    open_.emplace_back(handle, std::move(row));
    return handle;
  }
  // The key behind a handle, or null when the handle is none of ours.
  const KeyRow* Find(RegKey handle) {
    const auto it = Position(handle);
    return it == open_.end() ? nullptr : &it->second;
  }
  bool Remove(RegKey handle) {
    const auto it = Position(handle);
    if (it == open_.end()) return false;
    *it = std::move(open_.back());
    open_.pop_back();
    return true;
  }
  bool empty() const { return open_.empty(); }
  // Handles open on a deleted key reach no key again.
  void Orphan(std::int64_t id) {
    for (auto& [handle, row] : open_)
      if (row.id == id) row.id = kDeletedId;
  }

 private:
  std::vector<std::pair<RegKey, KeyRow>>::iterator Position(RegKey handle) {
    return std::find_if(open_.begin(), open_.end(), [&](const auto& entry) { return entry.first == handle; });
  }

  std::vector<std::pair<RegKey, KeyRow>> open_;
  RegKey next_ = kFirstHandle;
};

}  // namespace hive
