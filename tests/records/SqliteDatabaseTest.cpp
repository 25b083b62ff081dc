#include "records/SqliteDatabase.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>

#include "tests/support/TempDir.h"

using testing_support::FileExists;
using testing_support::TempDir;

namespace {

// What the call threw as an ESqliteError, or "no error".
std::string ErrorOf(const std::function<void()>& call) {
  try {
    call();
  } catch (const ESqliteError& e) {
    return e.what();
  }
  return "no error";
}

class SqliteTest : public ::testing::Test {
 protected:
  TempDir dir;
  std::string path = dir.File("test.db");
};

}  // namespace

TEST_F(SqliteTest, AFailedOpenNamesSqlitesMessageAndTheFile) {
  const std::string missing = dir.File("missing.db");
  const std::string text = dir.File("text.db");
  testing_support::WriteFile(text, std::string(4096, 'x'));
  const struct {
    std::string file;
    TSqliteOpen mode;
    std::string message;
  } cases[] = {
      {missing, TSqliteOpen::ReadWrite, "unable to open database file"},
      {missing, TSqliteOpen::ReadOnly, "unable to open database file"},
      {dir.File("no-dir/new.db"), TSqliteOpen::Create, "unable to open database file"},
      // Found at opening, not at the first statement.
      {text, TSqliteOpen::ReadWrite, "file is not a database"},
      {text, TSqliteOpen::Create, "file is not a database"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    try {
      TSqliteDatabase database(c.file, c.mode);
      ADD_FAILURE() << "opened";
    } catch (const ESqliteError& e) {
      EXPECT_EQ(std::string(e.what()), c.message + ": " + c.file);
      EXPECT_EQ(e.Message(), c.message);
      EXPECT_EQ(e.File(), c.file);
    }
  }
  EXPECT_FALSE(FileExists(missing));
}

TEST_F(SqliteTest, AFailingStatementThrowsSqlitesMessage) {
  TSqliteDatabase db(path, TSqliteOpen::Create);
  db.Execute("create table T(Id integer primary key, Name text not null)");
  EXPECT_EQ(ErrorOf([&] { db.Execute("select * from Missing"); }), "no such table: Missing");
  EXPECT_EQ(ErrorOf([&] { TSqliteStatement(db, "selec 1"); }), "near \"selec\": syntax error");
  EXPECT_EQ(ErrorOf([&] { TSqliteStatement(db, "select 1").BindText(":Id", "1"); }),
            "No parameter :Id");

  TSqliteStatement insert(db, "insert into T(Id, Name) values(:Id, :Name)");
  insert.BindInteger(":Id", 1).BindText(":Name", "a").Execute();
  EXPECT_EQ(ErrorOf([&] { insert.Execute(); }), "UNIQUE constraint failed: T.Id");
  // After a failure the statement runs again with other values.
  EXPECT_EQ(insert.BindInteger(":Id", 2).Execute(), 1);

  // The statements before the failing one have run.
  EXPECT_EQ(
      ErrorOf([&] { db.Execute("insert into T values(3, 'c'); insert into T values(4, null)"); }),
      "NOT NULL constraint failed: T.Name");
  TSqliteStatement count(db, "select count(*) from T");
  ASSERT_TRUE(count.Step());
  EXPECT_EQ(count.ColumnText(0), "3");
}

TEST_F(SqliteTest, ParametersBindByNameAndColumnsReadAsStored) {
  TSqliteDatabase db(path, TSqliteOpen::Create);
  db.Execute("create table T(A, B, C, D)");
  // The names in another order than the columns and the parameters' positions.
  TSqliteStatement insert(db, "insert into T(D, C, B, A) values(:D, :C, :B, :A)");
  const std::string bytes("x\0y\xB0\xA1", 5);  // a zero byte and GBK stay as they are
  insert.BindText(":A", bytes)
      .BindInteger(":B", std::int64_t{1} << 40)
      .BindReal(":C", 45413.75)
      .BindText(":D", "d");
  EXPECT_EQ(insert.Execute(), 1);
  EXPECT_EQ(insert.BindInteger(":B", -1).Execute(), 1);  // the other values stay bound
  EXPECT_EQ(TSqliteStatement(db, "update T set D = 'u'").Execute(), 2);

  TSqliteStatement query(db,
                         "select A, typeof(A), B, typeof(B), C, typeof(C), D, null from T "
                         "order by rowid");
  ASSERT_EQ(query.ColumnCount(), 8);
  for (const char* b : {"1099511627776", "-1"}) {
    ASSERT_TRUE(query.Step());
    EXPECT_EQ(query.ColumnText(0), bytes);
    EXPECT_EQ(query.ColumnText(1), "text");
    EXPECT_EQ(query.ColumnText(2), b);
    EXPECT_EQ(query.ColumnText(3), "integer");
    EXPECT_EQ(query.ColumnReal(4), 45413.75);
    EXPECT_EQ(query.ColumnText(5), "real");
    EXPECT_EQ(query.ColumnText(6), "u");
    EXPECT_FALSE(query.ColumnIsNull(6));
    EXPECT_TRUE(query.ColumnIsNull(7));
    EXPECT_EQ(query.ColumnText(7), "");
  }
  EXPECT_FALSE(query.Step());
}

TEST_F(SqliteTest, ClosingReleasesTheFileEvenWithAStatementInTheMiddleOfItsRows) {
  {
    TSqliteDatabase db(path, TSqliteOpen::Create);
    db.Execute("pragma journal_mode=WAL; create table T(A); insert into T values(1), (2)");
    ASSERT_TRUE(FileExists(path + "-wal"));
    TSqliteStatement query(db, "select A from T");
    ASSERT_TRUE(query.Step());
  }
  // Only the last connection to close removes the write-ahead log, and a statement
  // left unfinished would keep its connection open.
  EXPECT_FALSE(FileExists(path + "-wal"));
  EXPECT_FALSE(FileExists(path + "-shm"));
  EXPECT_TRUE(std::filesystem::remove(path));
  TSqliteDatabase(path, TSqliteOpen::Create).Execute("create table T(A)");  // a new one there
}

TEST_F(SqliteTest, ACheckpointEmptiesTheWriteAheadLogIntoTheFile) {
  TSqliteDatabase db(path, TSqliteOpen::Create);
  db.Execute("pragma journal_mode=WAL; create table T(A); insert into T values('kept')");
  ASSERT_GT(std::filesystem::file_size(path + "-wal"), 0u);
  EXPECT_TRUE(db.Checkpoint());
  EXPECT_EQ(std::filesystem::file_size(path + "-wal"), 0u);

  // The file alone holds the row now.
  const std::string copy = dir.File("copy.db");
  std::filesystem::copy_file(path, copy);
  TSqliteDatabase copied(copy, TSqliteOpen::ReadWrite);
  TSqliteStatement query(copied, "select A from T");
  ASSERT_TRUE(query.Step());
  EXPECT_EQ(query.ColumnText(0), "kept");
}
