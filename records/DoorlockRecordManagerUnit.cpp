#include "records/DoorlockRecordManagerUnit.h"

#include <sys/stat.h>

#include <stdexcept>

#include "host/LogFileUnit.h"
#include "platform/StrUtils.h"
#include "platform/TextCodec.h"

TDoorlockRecordManager* DoorlockRecordManager = nullptr;

namespace {

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

// Settings a connection takes, where the failure of one leaves the file usable.
void ExecuteIgnoringFailure(TSqliteDatabase& database, const char* sql) {
  try {
    database.Execute(sql);
  } catch (const ESqliteError&) {
  }
}

const std::string& NewRoomText() {
  static const std::string text = plat::Utf8ToGbk("新建房间");
  return text;
}

}  // namespace

TDoorlockRecordManager::TDoorlockRecordManager() = default;

TDoorlockRecordManager::~TDoorlockRecordManager() = default;

void TDoorlockRecordManager::Open() {
  std::lock_guard lock(mutex_);
  try {
    Connect();
  } catch (const std::exception& e) {
    WriteLog(e.what());
  }
}

void TDoorlockRecordManager::Connect() {
  if (Connection)
    return;
  const std::string path = DataSource(ConnectionString);
  // Taken before opening: a file put there in between then shows as replaced at the
  // next operation and is opened again, never the other way round.
  struct stat st {};
  openIdentityKnown_ = ::stat(path.c_str(), &st) == 0;
  openDevice_ = st.st_dev;
  openInode_ = st.st_ino;
  try {
    // Never created here: a missing file is a failure, tried again by the next operation.
    Connection.emplace(path, TSqliteOpen::ReadWrite);
  } catch (const ESqliteError& e) {
    throw std::runtime_error(e.Message() + ": " + plat::Utf8ToGbk(path));
  }
  // A write-ahead log costs one flush to disk per commit where the rollback journal
  // costs four; FULL still flushes it at every commit, so a written record survives
  // a power cut. Where the log cannot be used the file keeps its journal and works.
  ExecuteIgnoringFailure(*Connection, "pragma journal_mode=WAL");
  ExecuteIgnoringFailure(*Connection, "pragma synchronous=FULL");
  openPath_ = path;
}

void TDoorlockRecordManager::CloseWhenReplaced() {
  if (!Connection)
    return;
  struct stat st {};
  if (openIdentityKnown_ && ::stat(openPath_.c_str(), &st) == 0 && st.st_dev == openDevice_ &&
      st.st_ino == openInode_) {
    return;
  }
  // The old file's write-ahead log lies at the path's name and would be played into
  // the new file. Closing leaves it there once the file has moved, so it is emptied
  // into the old file first.
  Connection->Checkpoint();
  Connection.reset();
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
    TSqliteStatement query(*Connection, "select LastCheckInTime from T_Room where RoomNo=:RoomNo");
    query.BindText(":RoomNo", RoomCode);
    // No row and a null time both read as 0.
    if (query.Step() && !query.ColumnIsNull(0))
      result = query.ColumnReal(0);
  });
  return result;
}

void TDoorlockRecordManager::UpdateLastCheckInTime(const std::string& RoomCode,
                                                   plat::TDateTime LastCheckInTime) {
  Run([&] {
    int changed = 0;
    {
      TSqliteStatement query(
          *Connection, "update T_Room set LastCheckInTime=:LastCheckInTime where RoomNo=:RoomNo");
      query.BindReal(":LastCheckInTime", LastCheckInTime).BindText(":RoomNo", RoomCode);
      changed = query.Execute();
    }
    if (changed == 0)
      InsertRoom(RoomCode, LastCheckInTime);
  });
}

void TDoorlockRecordManager::AddRoom(const std::string& RoomCode, plat::TDateTime LastCheckInTime) {
  Run([&] { InsertRoom(RoomCode, LastCheckInTime); });
}

void TDoorlockRecordManager::InsertRoom(const std::string& RoomCode,
                                        plat::TDateTime LastCheckInTime) {
  TSqliteStatement query(
      *Connection, "insert into T_Room(RoomNo, LastCheckInTime) Values(:RoomNo, :LastCheckInTime)");
  query.BindText(":RoomNo", RoomCode).BindReal(":LastCheckInTime", LastCheckInTime).Execute();
  WriteLog(NewRoomText() + RoomCode);
}

void TDoorlockRecordManager::AddIssueCardRecord(
    const std::string& RegisterId, const std::string& CardNo, const std::string& RoomNo,
    std::int32_t CardType, plat::TDateTime LastCheckInTime, plat::TDateTime CheckInTime,
    plat::TDateTime CheckOutTime, bool IsCopy, const std::string& GuestName,
    plat::TDateTime OpratingTime) {
  Run([&] {
    TSqliteStatement query(
        *Connection,
        "insert into T_IssueCardRecord(RegisterId, CardNo, RoomNo, CardType, "
        "LastCheckInTime, CheckInTime, CheckOutTime, IsCopy, GuestName, OpratingTime)\n"
        " Values(:RegisterId, :CardNo, :RoomNo, :CardType, :LastCheckInTime, "
        ":CheckInTime, :CheckOutTime, :IsCopy, :GuestName, :OpratingTime)");
    query.BindText(":RegisterId", RegisterId)
        .BindText(":CardNo", CardNo)
        .BindText(":RoomNo", RoomNo)
        .BindInteger(":CardType", CardType)
        .BindReal(":LastCheckInTime", LastCheckInTime)
        .BindReal(":CheckInTime", CheckInTime)
        .BindReal(":CheckOutTime", CheckOutTime)
        .BindInteger(":IsCopy", IsCopy ? 1 : 0)
        .BindText(":GuestName", GuestName)
        .BindReal(":OpratingTime", OpratingTime)
        .Execute();
  });
}

std::unique_ptr<TDoorlockRecordManager> OpenDoorlockRecordManager(const std::string& programDir) {
  auto store = std::make_unique<TDoorlockRecordManager>();
  store->DatabasePath = programDir + "Client.mdb";
  store->ConnectionString = "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + store->DatabasePath +
                            " ;Persist Security Info=False;Jet OLEDB:Database Password=";
  try {
    store->Open();
  } catch (const std::exception& e) {
    WriteLog(e.what());
  }
  return store;
}
