#include "hive/ValueCache.h"

#include <atomic>
#include <cstring>

namespace hive {
namespace {

// The index's first page and its size, as SQLite maps it.
constexpr int kIndexPage = 0;
constexpr int kIndexPageBytes = 32768;
// Where the header keeps its commit counter and its flag of a header that was written.
constexpr std::size_t kCommitsAt = 8;
constexpr std::size_t kWrittenAt = 12;

}  // namespace

// SQLite writes the second copy of the header first, then the first: a reader that finds
// both the same read a whole header.
bool ValueCache::ReadHeader(Header* header) const {
  if (!index_) return false;
  // As SQLite reads it: plain copies, the fences keeping them in order and out of registers.
  const auto* index = const_cast<const unsigned char*>(index_);
  Header second;
  std::atomic_thread_fence(std::memory_order_acquire);
  std::memcpy(header->data(), index, kHeaderBytes);
  std::atomic_thread_fence(std::memory_order_acquire);
  std::memcpy(second.data(), index + kHeaderBytes, kHeaderBytes);
  return *header == second && (*header)[kWrittenAt] != 0;
}

std::uint32_t ValueCache::Commits(const Header& header) {
  std::uint32_t commits;
  std::memcpy(&commits, header.data() + kCommitsAt, sizeof commits);
  return commits;
}

std::string ValueCache::Slot(std::int64_t key, const std::string& fold) {
  std::string slot(sizeof key, '\0');
  std::memcpy(slot.data(), &key, sizeof key);
  return slot + fold;
}

bool ValueCache::Current() const {
  Header now;
  return labelled_ && ReadHeader(&now) && now == header_;
}

void ValueCache::BeforeView() {
  kept_ = Current();
  if (kept_) return;
  values_.clear();
  labelled_ = watching_ && ReadHeader(&header_);
}

void ValueCache::Began(std::int64_t version) {
  if (version < 0) return Clear();  // the snapshot didn't begin
  if (!index_ && watching_) {
    // SQLite maps the index once a snapshot of the log has begun; the mapping lasts as long
    // as the connection.
    sqlite3_file* file = nullptr;
    void volatile* page = nullptr;
    if (sqlite3_file_control(db_, "main", SQLITE_FCNTL_FILE_POINTER, &file) == SQLITE_OK && file && file->pMethods &&
        file->pMethods->iVersion >= 2 &&
        file->pMethods->xShmMap(file, kIndexPage, kIndexPageBytes, 0, &page) == SQLITE_OK)
      index_ = static_cast<const volatile unsigned char*>(page);
    if (!index_) watching_ = false;
  }
  if (kept_ && version != version_ && Current()) {
    watching_ = false;
    Clear();
  }
  version_ = version;
}

const ValueCache::Value* ValueCache::Find(std::int64_t key, const std::string& fold) const {
  if (!Current()) return nullptr;
  const auto it = values_.find(Slot(key, fold));
  return it == values_.end() ? nullptr : &it->second;
}

void ValueCache::Add(std::int64_t key, const std::string& fold, Value value) {
  if (!labelled_ || value.data.size() > kMaxValueBytes) return;
  if (values_.size() >= kMaxValues) values_.clear();
  values_.insert_or_assign(Slot(key, fold), std::move(value));
}

void ValueCache::Committed(std::int64_t key, const std::string& fold) {
  Header now;
  if (!labelled_ || !ReadHeader(&now) || Commits(now) != Commits(header_) + 1) return Clear();
  header_ = now;
  values_.erase(Slot(key, fold));
}

void ValueCache::Clear() {
  values_.clear();
  labelled_ = false;
}

}  // namespace hive
