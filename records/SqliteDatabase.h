#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

struct sqlite3;
struct sqlite3_stmt;

// A failure SQLite reported. what() is SQLite's message, followed by ": " and the
// file's name when opening the file failed.
class ESqliteError : public std::runtime_error {
 public:
  explicit ESqliteError(const std::string& message, const std::string& file = {});
  // SQLite's message alone, for a caller that shows the file its own way.
  const std::string& Message() const { return message_; }
  // The file that could not be opened; empty for any other failure.
  const std::string& File() const { return file_; }

 private:
  std::string message_;
  std::string file_;
};

enum class TSqliteOpen {
  ReadOnly,
  ReadWrite,  // the file must be there
  Create,     // read-write, made empty when it is not there
};

// One connection to a database file, open from construction to destruction. A
// file that is there but is no database fails at construction too, not at its
// first use. A lock held by another connection is waited for up to 5 seconds.
class TSqliteDatabase {
 public:
  // Throws ESqliteError naming the file.
  TSqliteDatabase(const std::string& path, TSqliteOpen mode);
  ~TSqliteDatabase();
  TSqliteDatabase(const TSqliteDatabase&) = delete;
  TSqliteDatabase& operator=(const TSqliteDatabase&) = delete;

  // Runs statements separated by ";"; any rows they return are dropped. Throws
  // ESqliteError at the first that fails, after those before it have run.
  void Execute(const std::string& sql);

  // Copies the write-ahead log into the file and empties it; false when that could
  // not be done (the log then stays as it was).
  bool Checkpoint() noexcept;

 private:
  friend class TSqliteStatement;

  sqlite3* db_ = nullptr;
};

// One prepared statement on a connection that outlives it. Parameters are bound by
// their name as the text writes it (":RoomNo"); values are copied when bound.
class TSqliteStatement {
 public:
  // Throws ESqliteError with SQLite's message when the text does not compile.
  TSqliteStatement(TSqliteDatabase& database, std::string_view sql);
  ~TSqliteStatement();
  TSqliteStatement(const TSqliteStatement&) = delete;
  TSqliteStatement& operator=(const TSqliteStatement&) = delete;

  // A name the statement does not have throws "No parameter <name>".
  TSqliteStatement& BindText(const char* name, std::string_view value);
  TSqliteStatement& BindInteger(const char* name, std::int64_t value);
  TSqliteStatement& BindReal(const char* name, double value);

  // Runs the statement to its end, rows dropped; the number of rows it changed.
  // Ready to run again afterwards, with the same values unless others are bound.
  int Execute();

  // Moves to the next row: false when there is none left.
  bool Step();
  // The current row's columns, counted from 0.
  int ColumnCount() const;
  bool ColumnIsNull(int column) const;
  double ColumnReal(int column) const;
  // The column's bytes as they are stored (empty for null).
  std::string ColumnText(int column) const;

 private:
  int Index(const char* name) const;
  void Check(int rc) const;

  sqlite3* db_;
  sqlite3_stmt* stmt_ = nullptr;
};
