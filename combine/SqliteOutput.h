#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <string>
#include <string_view>

// A SQLite file the combiner writes from scratch under a temporary name:
// no journal (a failed write leaves a temporary that is removed anyway),
// large pages, one transaction. Every failure throws CombineError naming
// the file.
class SqliteFile {
 public:
  explicit SqliteFile(const std::string& path);
  ~SqliteFile();
  SqliteFile(const SqliteFile&) = delete;
  SqliteFile& operator=(const SqliteFile&) = delete;

  void Run(const std::string& sql);
  sqlite3* Handle() const { return db_; }
  [[noreturn]] void Fail(const char* action) const;

 private:
  std::string path_;
  sqlite3* db_ = nullptr;
};

// One prepared statement, bound by position (from 1) and run again and again.
class SqliteStatement {
 public:
  SqliteStatement(const SqliteFile& file, const char* sql);
  ~SqliteStatement();
  SqliteStatement(const SqliteStatement&) = delete;
  SqliteStatement& operator=(const SqliteStatement&) = delete;

  SqliteStatement& Bind(int index, int64_t value);
  SqliteStatement& Bind(int index, double value);
  SqliteStatement& BindText(int index, std::string_view text);
  // The blob is not copied: it must live until Run() or Step().
  SqliteStatement& BindBlob(int index, std::string_view blob);
  // Runs a statement that returns no rows, then makes it ready for the next binding.
  void Run();
  // The next row of a query; false at the end (the statement is then reset).
  bool Step();
  int64_t Int(int column) const { return sqlite3_column_int64(statement_, column); }
  std::string_view Blob(int column) const;

 private:
  const SqliteFile& file_;
  sqlite3_stmt* statement_ = nullptr;
};
