#include "tests/support/ClientDatabase.h"

#include <sqlite3.h>

#include <memory>
#include <stdexcept>

#include "tests/support/TempDir.h"

namespace testing_support {
namespace {

using Db = std::unique_ptr<sqlite3, decltype(&sqlite3_close_v2)>;

Db OpenDb(const std::string& path, int flags) {
  sqlite3* db = nullptr;
  const int rc = sqlite3_open_v2(path.c_str(), &db, flags, nullptr);
  Db owner(db, &sqlite3_close_v2);
  if (rc != SQLITE_OK)
    throw std::runtime_error("cannot open " + path);
  return owner;
}

}  // namespace

void ExecuteSql(const std::string& path, const std::string& sql) {
  Db db = OpenDb(path, SQLITE_OPEN_READWRITE);
  char* error = nullptr;
  if (sqlite3_exec(db.get(), sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
    const std::string message = error != nullptr ? error : "unknown error";
    sqlite3_free(error);
    throw std::runtime_error(message);
  }
}

void CreateClientDatabase(const std::string& path) {
  OpenDb(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
  ExecuteSql(path, ReadFile(DOORLOCK_SOURCE_DIR "/records/Client.sql"));
}

std::vector<std::vector<std::string>> QueryRows(const std::string& path, const std::string& sql) {
  Db db = OpenDb(path, SQLITE_OPEN_READONLY);
  sqlite3_stmt* raw = nullptr;
  if (sqlite3_prepare_v2(db.get(), sql.c_str(), -1, &raw, nullptr) != SQLITE_OK) {
    throw std::runtime_error(sqlite3_errmsg(db.get()));
  }
  std::unique_ptr<sqlite3_stmt, decltype(&sqlite3_finalize)> stmt(raw, &sqlite3_finalize);
  std::vector<std::vector<std::string>> rows;
  while (sqlite3_step(raw) == SQLITE_ROW) {
    std::vector<std::string> row;
    for (int i = 0; i < sqlite3_column_count(raw); ++i) {
      const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(raw, i));
      row.emplace_back(text == nullptr ? "NULL"
                                       : std::string(text, static_cast<std::size_t>(
                                                               sqlite3_column_bytes(raw, i))));
    }
    rows.push_back(std::move(row));
  }
  return rows;
}

}  // namespace testing_support
