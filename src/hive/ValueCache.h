// The values this process has read since the hive last changed, so that reading one again
// costs no SQLite statement and no lock. They hold while no process has committed a change:
// every commit rewrites the header of the write-ahead log's index, which SQLite keeps in
// memory shared by all processes that use the hive, and the cache holds while that header
// is the one it was read at. A read of the header takes no system call.
#pragma once

#include <sqlite3.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>

namespace hive {

class ValueCache {
 public:
  // A value as a query found it: its type and data, or no value of that name.
  struct Value {
    bool found;
    std::uint32_t type;
    std::string data;
  };

  explicit ValueCache(sqlite3* db) : db_(db) {}

  // Whether the hive is as it was when the cached values were read: no commit since.
  bool Current() const;
  // Before a snapshot of the hive begins: the values read in it are cached under the header
  // as it is now, which is no newer than the snapshot. The values of an older header go.
  void BeforeView();
  // Once the snapshot has begun, with SQLite's count of other processes' commits: a count
  // that moved while the header stayed means the header tells nothing, and the cache stops.
  void Began(std::int64_t version);

  // The cached value of the key with this id, by folded name; null when not cached or the
  // hive has changed.
  const Value* Find(std::int64_t key, const std::string& fold) const;
  void Add(std::int64_t key, const std::string& fold, Value value);

  // After this process's own commit, which changed the value (key, fold) alone: the other
  // values still hold when no other commit came between the header they were read at and
  // this one.
  void Committed(std::int64_t key, const std::string& fold);
  // Forgets every value: after a change to keys, or one whose extent isn't known.
  void Clear();

 private:
  static constexpr std::size_t kHeaderBytes = 48;  // one copy of the header
  using Header = std::array<unsigned char, kHeaderBytes>;
  // A process reads a few values, often; a tool walking a tree many, once each. The program's
  // values are short texts: a large value is read from the hive each time.
  static constexpr std::size_t kMaxValues = 64;
  static constexpr std::size_t kMaxValueBytes = 4096;

  // The header as it is now; false while a commit is rewriting it, or without a watch.
  bool ReadHeader(Header* header) const;
  static std::uint32_t Commits(const Header& header);
  static std::string Slot(std::int64_t key, const std::string& fold);

  sqlite3* db_;
  const volatile unsigned char* index_ = nullptr;  // SQLite's mapping of the index
  bool watching_ = true;                           // false once the header proved no guide
  bool labelled_ = false;                          // whether header_ is the values' header
  bool kept_ = false;                              // whether the last view kept the header
  Header header_{};
  std::int64_t version_ = -1;
  std::unordered_map<std::string, Value> values_;
};

}  // namespace hive
