#include "records/DoorlockRecordManagerUnit.h"

#include <sqlite3.h>
#include <sys/stat.h>

#include <stdexcept>

#include "host/LogFileUnit.h"
#include "platform/StrUtils.h"
#include "platform/TextCodec.h"

TDoorlockRecordManager* DoorlockRecordManager = nullptr;

namespace {

class EDatabaseError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The file named by the "Data Source=" piece, without the blank before its ";".
std::string DataSource(const std::string& connectionString) {
  static constexpr std::string_view kKey = "Data Source=";
  const std::size_t at = connectionString.find(kKey);
  if (at == std::string::npos)
    return {};
  const std::size_t begin = at + kKey.size();
  const std::size_t end = connectionString.find(';', begin);
  return plat::Trim(connectionString.substr(begin, end == std::string::npos ? end : end - begin));
}

// The one statement object of an operation: prepared, bound by name, run, and
// finalized on every way out.
class TQuery {
 public:
  TQuery(sqlite3* db, const char* sql) : db_(db) {
    if (sqlite3_prepare_v2(db_, sql, -1, &stmt_, nullptr) != SQLITE_OK)
      Fail();
  }
  ~TQuery() { sqlite3_finalize(stmt_); }
  TQuery(const TQuery&) = delete;
  TQuery& operator=(const TQuery&) = delete;

  TQuery& Text(const char* name, const std::string& value) {
    Check(sqlite3_bind_text(stmt_, Index(name), value.data(), static_cast<int>(value.size()),
                            SQLITE_TRANSIENT));
    return *this;
  }
  TQuery& Integer(const char* name, std::int64_t value) {
    Check(sqlite3_bind_int64(stmt_, Index(name), value));
    return *this;
  }
  TQuery& DateTime(const char* name, plat::TDateTime value) {
    Check(sqlite3_bind_double(stmt_, Index(name), value));
    return *this;
  }
  // Runs a statement that returns no rows; the number of rows it changed.
  int Execute() {
    if (sqlite3_step(stmt_) != SQLITE_DONE)
      Fail();
    return sqlite3_changes(db_);
  }
  // The first column of the first row as a date-time; no row and null both give 0.
  plat::TDateTime FirstDateTime() {
    const int rc = sqlite3_step(stmt_);
    if (rc == SQLITE_DONE)
      return 0;
    if (rc != SQLITE_ROW)
      Fail();
    return sqlite3_column_type(stmt_, 0) == SQLITE_NULL ? 0 : sqlite3_column_double(stmt_, 0);
  }

 private:
  int Index(const char* name) {
    const int index = sqlite3_bind_parameter_index(stmt_, name);
    if (index == 0)
      throw EDatabaseError(std::string("No parameter ") + name);
    return index;
  }
  void Check(int rc) {
    if (rc != SQLITE_OK)
      Fail();
  }
  [[noreturn]] void Fail() { throw EDatabaseError(sqlite3_errmsg(db_)); }

  sqlite3* db_;
  sqlite3_stmt* stmt_ = nullptr;
};

const std::string& NewRoomText() {
  static const std::string text = plat::Utf8ToGbk("新建房间");
  return text;
}

}  // namespace

TDoorlockRecordManager::TDoorlockRecordManager() = default;

TDoorlockRecordManager::~TDoorlockRecordManager() {
  sqlite3_close_v2(Connection);
}

void TDoorlockRecordManager::Open() {
  std::lock_guard lock(mutex_);
  try {
    Connect();
  } catch (const std::exception& e) {
    WriteLog(e.what());
  }
}

void TDoorlockRecordManager::Connect() {
  if (Connection != nullptr)
    return;
  const std::string path = DataSource(ConnectionString);
  // Taken before opening: a file put there in between then shows as replaced at the
  // next operation and is opened again, never the other way round.
  struct stat st {};
  openIdentityKnown_ = ::stat(path.c_str(), &st) == 0;
  openDevice_ = st.st_dev;
  openInode_ = st.st_ino;
  sqlite3* db = nullptr;
  // Never created here: a missing file is a failure, tried again by the next operation.
  const int rc = sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
  if (rc != SQLITE_OK) {
    const std::string message = db != nullptr ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
    sqlite3_close_v2(db);
    throw EDatabaseError(message + ": " + plat::Utf8ToGbk(path));
  }
  sqlite3_busy_timeout(db, 5000);  // another process (the sqlite3 tool) may hold it briefly
  // Opening is lazy; reading the schema finds a file that is no database now.
  if (sqlite3_exec(db, "select count(*) from sqlite_master", nullptr, nullptr, nullptr) !=
      SQLITE_OK) {
    const std::string message = sqlite3_errmsg(db);
    sqlite3_close_v2(db);
    throw EDatabaseError(message + ": " + plat::Utf8ToGbk(path));
  }
  // A write-ahead log costs one flush to disk per commit where the rollback journal
  // costs four; FULL still flushes it at every commit, so a written record survives
  // a power cut. Where the log cannot be used the file keeps its journal and works.
  sqlite3_exec(db, "pragma journal_mode=WAL", nullptr, nullptr, nullptr);
  sqlite3_exec(db, "pragma synchronous=FULL", nullptr, nullptr, nullptr);
  Connection = db;
  openPath_ = path;
}

void TDoorlockRecordManager::CloseWhenReplaced() {
  if (Connection == nullptr)
    return;
  struct stat st {};
  if (openIdentityKnown_ && ::stat(openPath_.c_str(), &st) == 0 && st.st_dev == openDevice_ &&
      st.st_ino == openInode_) {
    return;
  }
  // The old file's write-ahead log lies at the path's name and would be played into
  // the new file. Closing leaves it there once the file has moved, so it is emptied
  // into the old file first.
  sqlite3_wal_checkpoint_v2(Connection, nullptr, SQLITE_CHECKPOINT_TRUNCATE, nullptr, nullptr);
  sqlite3_close_v2(Connection);
  Connection = nullptr;
}

template <typename Operation>
void TDoorlockRecordManager::Run(Operation&& operation) {
  std::lock_guard lock(mutex_);
  try {
    CloseWhenReplaced();
    Connect();
    operation();
  } catch (const std::exception& e) {
    WriteLog(e.what());
  }
}

plat::TDateTime TDoorlockRecordManager::GetLastCheckInTime(const std::string& RoomCode) {
  plat::TDateTime result = 0;
  Run([&] {
    // The room code comes from the network: bound, never pasted into the text.
    TQuery query(Connection, "select LastCheckInTime from T_Room where RoomNo=:RoomNo");
    query.Text(":RoomNo", RoomCode);
    result = query.FirstDateTime();
  });
  return result;
}

void TDoorlockRecordManager::UpdateLastCheckInTime(const std::string& RoomCode,
                                                   plat::TDateTime LastCheckInTime) {
  Run([&] {
    int changed = 0;
    {
      TQuery query(Connection,
                   "update T_Room set LastCheckInTime=:LastCheckInTime where RoomNo=:RoomNo");
      query.DateTime(":LastCheckInTime", LastCheckInTime).Text(":RoomNo", RoomCode);
      changed = query.Execute();
    }
    if (changed == 0)
      AddRoom(RoomCode, LastCheckInTime);
  });
}

void TDoorlockRecordManager::AddRoom(const std::string& RoomCode, plat::TDateTime LastCheckInTime) {
  Run([&] {
    TQuery query(Connection,
                 "insert into T_Room(RoomNo, LastCheckInTime) Values(:RoomNo, :LastCheckInTime)");
    query.Text(":RoomNo", RoomCode).DateTime(":LastCheckInTime", LastCheckInTime).Execute();
    WriteLog(NewRoomText() + RoomCode);
  });
}

void TDoorlockRecordManager::AddIssueCardRecord(
    const std::string& RegisterId, const std::string& CardNo, const std::string& RoomNo,
    std::int32_t CardType, plat::TDateTime LastCheckInTime, plat::TDateTime CheckInTime,
    plat::TDateTime CheckOutTime, bool IsCopy, const std::string& GuestName,
    plat::TDateTime OpratingTime) {
  Run([&] {
    TQuery query(Connection,
                 "insert into T_IssueCardRecord(RegisterId, CardNo, RoomNo, CardType, "
                 "LastCheckInTime, CheckInTime, CheckOutTime, IsCopy, GuestName, OpratingTime)\n"
                 " Values(:RegisterId, :CardNo, :RoomNo, :CardType, :LastCheckInTime, "
                 ":CheckInTime, :CheckOutTime, :IsCopy, :GuestName, :OpratingTime)");
    query.Text(":RegisterId", RegisterId)
        .Text(":CardNo", CardNo)
        .Text(":RoomNo", RoomNo)
        .Integer(":CardType", CardType)
        .DateTime(":LastCheckInTime", LastCheckInTime)
        .DateTime(":CheckInTime", CheckInTime)
        .DateTime(":CheckOutTime", CheckOutTime)
        .Integer(":IsCopy", IsCopy ? 1 : 0)
        .Text(":GuestName", GuestName)
        .DateTime(":OpratingTime", OpratingTime)
        .Execute();
  });
}

void DoorlockRecordManagerStartup(const std::string& programDir) {
  try {
    DoorlockRecordManager = new TDoorlockRecordManager();
    DoorlockRecordManager->DatabasePath = programDir + "Client.mdb";
    DoorlockRecordManager->ConnectionString =
        "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + DoorlockRecordManager->DatabasePath +
        " ;Persist Security Info=False;Jet OLEDB:Database Password=";
    DoorlockRecordManager->Open();
  } catch (const std::exception& e) {
    WriteLog(e.what());
  }
}

void DoorlockRecordManagerShutdown() {
  delete DoorlockRecordManager;
  DoorlockRecordManager = nullptr;
}
