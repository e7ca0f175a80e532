// One SQL statement of the hive, compiled when it is first bound, so that a start that only
// reads compiles no statement that writes.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <string>
#include <string_view>

namespace hive {

class Statement {
 public:
  Statement(sqlite3* db, const char* sql) : db_(db), sql_(sql) {}
  ~Statement() { sqlite3_finalize(stmt_); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  // Binds the arguments in order, ready for Step(); resets the previous run. A std::string
  // binds as text, a std::string_view as a blob.
  template <typename... Args>
  Statement& Bind(const Args&... args) {
    if (!stmt_) sqlite3_prepare_v3(db_, sql_, -1, SQLITE_PREPARE_PERSISTENT, &stmt_, nullptr);
    Done();
    int index = 0;
    (BindOne(++index, args), ...);
    return *this;
  }
  int Step() {
    if (!stmt_) return SQLITE_MISUSE;
    stepped_ = true;
    return sqlite3_step(stmt_);
  }
  // Steps once and resets: for statements whose row, if any, is not read.
  int Run() {
    const int step = Step();
    Done();
    return step;
  }
  std::int64_t Int(int column) const { return sqlite3_column_int64(stmt_, column); }
  std::string_view Blob(int column) const {
    const void* data = sqlite3_column_blob(stmt_, column);
    return {static_cast<const char*>(data), static_cast<std::size_t>(sqlite3_column_bytes(stmt_, column))};
  }
  // Resets the statement, unless it is reset already: each reset costs a call into SQLite.
  void Done() {
    if (stepped_) sqlite3_reset(stmt_);
    stepped_ = false;
  }

 private:
  void BindOne(int i, std::int64_t v) { sqlite3_bind_int64(stmt_, i, v); }
  void BindOne(int i, const std::string& v) {
    sqlite3_bind_text(stmt_, i, v.data(), static_cast<int>(v.size()), SQLITE_STATIC);
  }
  void BindOne(int i, std::string_view v) {
    sqlite3_bind_blob(stmt_, i, v.empty() ? "" : v.data(), static_cast<int>(v.size()), SQLITE_STATIC);
  }
  sqlite3* db_;
  const char* sql_;
  sqlite3_stmt* stmt_ = nullptr;
  bool stepped_ = false;
};

}  // namespace hive
