#include "records/SqliteDatabase.h"

#include <sqlite3.h>

namespace {

constexpr int kBusyTimeoutMs = 5000;

int OpenFlags(TSqliteOpen mode) {
  switch (mode) {
    case TSqliteOpen::ReadOnly:
      return SQLITE_OPEN_READONLY;
    case TSqliteOpen::ReadWrite:
      return SQLITE_OPEN_READWRITE;
    case TSqliteOpen::Create:
      return SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE;
  }
  return SQLITE_OPEN_READONLY;
}

std::string WithFile(const std::string& message, const std::string& file) {
  return file.empty() ? message : message + ": " + file;
}

}  // namespace

ESqliteError::ESqliteError(const std::string& message, const std::string& file)
    : std::runtime_error(WithFile(message, file)), message_(message), file_(file) {}

TSqliteDatabase::TSqliteDatabase(const std::string& path, TSqliteOpen mode) {
  const int rc = sqlite3_open_v2(path.c_str(), &db_, OpenFlags(mode), nullptr);
  if (rc != SQLITE_OK) {
    // Without memory for the handle there is no handle to ask.
    const std::string message = db_ != nullptr ? sqlite3_errmsg(db_) : sqlite3_errstr(rc);
    sqlite3_close_v2(db_);
    throw ESqliteError(message, path);
  }
  sqlite3_busy_timeout(db_, kBusyTimeoutMs);
  // Opening is lazy; reading the schema finds a file that is no database.
  if (sqlite3_exec(db_, "select count(*) from sqlite_master", nullptr, nullptr, nullptr) !=
      SQLITE_OK) {
    const std::string message = sqlite3_errmsg(db_);
    sqlite3_close_v2(db_);
    throw ESqliteError(message, path);
  }
}

TSqliteDatabase::~TSqliteDatabase() {
  sqlite3_close_v2(db_);
}

void TSqliteDatabase::Execute(const std::string& sql) {
  char* error = nullptr;
  if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
    const std::string message = error != nullptr ? error : sqlite3_errmsg(db_);
    sqlite3_free(error);
    throw ESqliteError(message);
  }
}

bool TSqliteDatabase::Checkpoint() noexcept {
  return sqlite3_wal_checkpoint_v2(db_, nullptr, SQLITE_CHECKPOINT_TRUNCATE, nullptr, nullptr) ==
         SQLITE_OK;
}

TSqliteStatement::TSqliteStatement(TSqliteDatabase& database, std::string_view sql)
    : db_(database.db_) {
  if (sqlite3_prepare_v2(db_, sql.data(), static_cast<int>(sql.size()), &stmt_, nullptr) !=
      SQLITE_OK) {
    // Nothing to finalize: a failed prepare leaves no statement.
    throw ESqliteError(sqlite3_errmsg(db_));
  }
}

TSqliteStatement::~TSqliteStatement() {
  sqlite3_finalize(stmt_);
}

TSqliteStatement& TSqliteStatement::BindText(const char* name, std::string_view value) {
  Check(sqlite3_bind_text(stmt_, Index(name), value.data(), static_cast<int>(value.size()),
                          SQLITE_TRANSIENT));
  return *this;
}

TSqliteStatement& TSqliteStatement::BindInteger(const char* name, std::int64_t value) {
  Check(sqlite3_bind_int64(stmt_, Index(name), value));
  return *this;
}

TSqliteStatement& TSqliteStatement::BindReal(const char* name, double value) {
  Check(sqlite3_bind_double(stmt_, Index(name), value));
  return *this;
}

int TSqliteStatement::Execute() {
  int rc = SQLITE_ROW;
  while (rc == SQLITE_ROW)
    rc = sqlite3_step(stmt_);
  if (rc != SQLITE_DONE) {
    const ESqliteError error(sqlite3_errmsg(db_));
    sqlite3_reset(stmt_);
    throw error;
  }
  const int changed = sqlite3_changes(db_);
  sqlite3_reset(stmt_);
  return changed;
}

bool TSqliteStatement::Step() {
  const int rc = sqlite3_step(stmt_);
  if (rc == SQLITE_ROW)
    return true;
  if (rc == SQLITE_DONE)
    return false;
  const ESqliteError error(sqlite3_errmsg(db_));
  sqlite3_reset(stmt_);
  throw error;
}

int TSqliteStatement::ColumnCount() const {
  return sqlite3_column_count(stmt_);
}

bool TSqliteStatement::ColumnIsNull(int column) const {
  return sqlite3_column_type(stmt_, column) == SQLITE_NULL;
}

double TSqliteStatement::ColumnReal(int column) const {
  return sqlite3_column_double(stmt_, column);
}

std::string TSqliteStatement::ColumnText(int column) const {
  // The text first, then its size: asking for the text may convert the value.
  const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, column));
  const int size = sqlite3_column_bytes(stmt_, column);
  return text == nullptr ? std::string() : std::string(text, static_cast<std::size_t>(size));
}

int TSqliteStatement::Index(const char* name) const {
  const int index = sqlite3_bind_parameter_index(stmt_, name);
  if (index == 0)
    throw ESqliteError(std::string("No parameter ") + name);
  return index;
}

void TSqliteStatement::Check(int rc) const {
  if (rc != SQLITE_OK)
    throw ESqliteError(sqlite3_errmsg(db_));
}
