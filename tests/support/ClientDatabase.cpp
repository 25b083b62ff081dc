#include "tests/support/ClientDatabase.h"

#include "records/SqliteDatabase.h"
#include "tests/support/TempDir.h"

namespace testing_support {

void ExecuteSql(const std::string& path, const std::string& sql) {
  TSqliteDatabase(path, TSqliteOpen::ReadWrite).Execute(sql);
}

void CreateClientDatabase(const std::string& path) {
  TSqliteDatabase(path, TSqliteOpen::Create)
      .Execute(ReadFile(DOORLOCK_SOURCE_DIR "/records/Client.sql"));
}

std::vector<std::vector<std::string>> QueryRows(const std::string& path, const std::string& sql) {
  TSqliteDatabase database(path, TSqliteOpen::ReadOnly);
  TSqliteStatement query(database, sql);
  std::vector<std::vector<std::string>> rows;
  while (query.Step()) {
    std::vector<std::string> row;
    for (int i = 0; i < query.ColumnCount(); ++i)
      row.push_back(query.ColumnIsNull(i) ? "NULL" : query.ColumnText(i));
    rows.push_back(std::move(row));
  }
  return rows;
}

}  // namespace testing_support
