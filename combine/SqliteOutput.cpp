#include "SqliteOutput.h"

#include "CombineError.h"

SqliteFile::SqliteFile(const std::string& path) : path_(path) {
  if (sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) != SQLITE_OK)
    Fail("create");
  // The file is a temporary until renamed: a journal buys nothing.
  Run("PRAGMA page_size=65536; PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF; PRAGMA locking_mode=EXCLUSIVE;");
}

// close_v2: a statement still alive closes the file when it is finalized.
SqliteFile::~SqliteFile() { sqlite3_close_v2(db_); }

void SqliteFile::Run(const std::string& sql) {
  if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) Fail("write");
}

void SqliteFile::Fail(const char* action) const {
  throw CombineError("Cannot " + std::string(action) + " " + path_ + ": " +
                     (db_ ? sqlite3_errmsg(db_) : "out of memory") + ".");
}

SqliteStatement::SqliteStatement(const SqliteFile& file, const char* sql) : file_(file) {
  if (sqlite3_prepare_v2(file.Handle(), sql, -1, &statement_, nullptr) != SQLITE_OK) file.Fail("write");
}

SqliteStatement::~SqliteStatement() { sqlite3_finalize(statement_); }

SqliteStatement& SqliteStatement::Bind(int index, int64_t value) {
  sqlite3_bind_int64(statement_, index, value);
  return *this;
}

SqliteStatement& SqliteStatement::Bind(int index, double value) {
  sqlite3_bind_double(statement_, index, value);
  return *this;
}

SqliteStatement& SqliteStatement::BindText(int index, std::string_view text) {
  sqlite3_bind_text64(statement_, index, text.data(), text.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
  return *this;
}

SqliteStatement& SqliteStatement::BindBlob(int index, std::string_view blob) {
  sqlite3_bind_blob64(statement_, index, blob.data(), blob.size(), SQLITE_STATIC);
  return *this;
}

void SqliteStatement::Run() {
  if (sqlite3_step(statement_) != SQLITE_DONE) file_.Fail("write");
  sqlite3_reset(statement_);
}

bool SqliteStatement::Step() {
  const int result = sqlite3_step(statement_);
  if (result == SQLITE_ROW) return true;
  if (result != SQLITE_DONE) file_.Fail("read");
  sqlite3_reset(statement_);
  return false;
}

std::string_view SqliteStatement::Blob(int column) const {
  const auto* data = static_cast<const char*>(sqlite3_column_blob(statement_, column));
  return {data ? data : "", static_cast<std::size_t>(sqlite3_column_bytes(statement_, column))};
}
