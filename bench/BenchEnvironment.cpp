#include "bench/BenchEnvironment.h"

#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string_view>

#include "encoders/CardNumber.h"
#include "host/LogFileUnit.h"
#include "host/OptionUnit.h"
#include "platform/DateTime.h"
#include "platform/TextCodec.h"
#include "records/SqliteDatabase.h"

namespace bench {

bool TInstantDoorlock::IssueCard(const std::string&, const std::string&, const std::string&,
                                 const std::string&, const std::string&, plat::TDateTime,
                                 plat::TDateTime, plat::TDateTime, plat::TDateTime, bool,
                                 std::int64_t& CardNo) {
  CardNo = NextCardNo();
  WriteLog("Card written: " + std::to_string(CardNo));
  return true;
}

bool TInstantDoorlock::ReadCard(std::int64_t& CardNo) {
  CardNo = Option->Values().CurrentCardNo;
  WriteLog("Card read: " + std::to_string(CardNo));
  return true;
}

namespace {

// Port 0: the server takes any free port, so the benchmark never clashes with a
// running interface.
constexpr const char* kHotelOptions =
    "[DoorlockOption]\n"
    "DoorlockType=IC\n"
    "PortName=COM1\n"
    "HotelId=KPVZ4729\n"
    "CurrentCardNo=1\n"
    "DelayMinutes=10\n"
    "DelayMinutes2=30\n"
    "UseNativeDoorlockDb=1\n"
    "SaveDoorlockRecord=1\n"
    "[SysOption]\n"
    "Password=qelvim\n"
    "DoorlockPortNo=0\n";

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in)
    throw std::runtime_error("cannot read " + path);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

std::string RegisterIdOf(int number) {
  char text[16];
  std::snprintf(text, sizeof text, "R%07d", number);
  return text;
}

const std::string& GuestNameUtf8() {
  static const std::string name = "张伟";
  return name;
}

}  // namespace

TBenchEnvironment::TBenchEnvironment() {
  // On the disk TMPDIR names, as the tests' folders are.
  std::string pattern = (std::filesystem::temp_directory_path() / "doorlock-bench-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr)
    throw std::runtime_error("mkdtemp failed");
  dir_ = pattern + "/";
  std::ofstream(File("Option.ini"), std::ios::binary) << kHotelOptions;
  CreateDatabase(File("Client.mdb"));

  objects_ = std::make_unique<TProgramObjects>(dir_);
  objects_->LendDriver(&doorlock_);
}

TBenchEnvironment::~TBenchEnvironment() {
  objects_.reset();
  std::error_code ignored;
  std::filesystem::remove_all(dir_, ignored);
}

void CreateDatabase(const std::string& path) {
  TSqliteDatabase(path, TSqliteOpen::Create).Execute(ReadText(DOORLOCK_CLIENT_SCHEMA));
}

void FillDatabase(const std::string& path, int rooms, int records) {
  TSqliteDatabase db(path, TSqliteOpen::ReadWrite);
  const std::string guest = plat::Utf8ToGbk(GuestNameUtf8());
  const plat::TDateTime now = plat::Now();
  db.Execute("begin");
  {
    TSqliteStatement room(db, "insert into T_Room(RoomNo, LastCheckInTime) values(:RoomNo, :Time)");
    for (int i = 0; i < rooms; ++i)
      room.BindText(":RoomNo", RoomOf(i).Code()).BindReal(":Time", now - 1).Execute();
    TSqliteStatement record(
        db,
        "insert into T_IssueCardRecord(RegisterId, CardNo, RoomNo, CardType, "
        "LastCheckInTime, CheckInTime, CheckOutTime, IsCopy, GuestName, OpratingTime) "
        "values(:RegisterId, :CardNo, :RoomNo, 1, :LastCheckInTime, :CheckInTime, "
        ":CheckOutTime, :IsCopy, :GuestName, :OpratingTime)");
    for (int i = 0; i < records; ++i) {
      // Spread over about three years of stays.
      const double issued = now - 1000.0 + 1000.0 * i / records;
      record.BindText(":RegisterId", RegisterIdOf(i))
          .BindText(":CardNo", std::to_string(i % kCardNoModulus + 1))
          .BindText(":RoomNo", RoomOf(i % kHotelRooms).Code())
          .BindReal(":LastCheckInTime", issued)
          .BindReal(":CheckInTime", issued)
          .BindReal(":CheckOutTime", issued + 1.5)
          .BindInteger(":IsCopy", i % 4 == 0 ? 1 : 0)
          .BindText(":GuestName", guest)
          .BindReal(":OpratingTime", issued)
          .Execute();
    }
  }
  db.Execute("commit");
}

std::unique_ptr<TDoorlockRecordManager> OpenStore(const std::string& path) {
  auto store = std::make_unique<TDoorlockRecordManager>();
  store->DatabasePath = path;
  store->ConnectionString = "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + path +
                            " ;Persist Security Info=False;Jet OLEDB:Database Password=";
  store->Open();
  return store;
}

TRoom RoomOf(int index) {
  const int building = index / 2000 + 1;
  const int floor = index / 100 % 20 + 1;
  const int number = index % 100 + 1;
  char floorText[8];
  char numberText[8];
  std::snprintf(floorText, sizeof floorText, "%02d", floor);
  std::snprintf(numberText, sizeof numberText, "%02d%02d", floor, number);
  return TRoom{std::to_string(building), floorText, numberText};
}

std::string ReadCardRequest() {
  return std::string(R"(<?xml version="1.0" encoding="UTF-8"?><DoorRequest type="ReadCard"/>)") +
         '\0';
}

std::string IssueCardRequest(int index, bool isCopy) {
  const plat::TDateTime today = plat::Now();
  const TRoom room = RoomOf(index);
  const auto field = [](std::string_view name, std::string_view value) {
    std::string element;
    element.append("<").append(name).append(">").append(value);
    element.append("</").append(name).append(">");
    return element;
  };
  std::string xml = R"(<?xml version="1.0" encoding="UTF-8"?><DoorRequest type="IssueCard">)";
  xml += field("RequestID", std::to_string(index));
  xml += field("RegisterId", RegisterIdOf(100000 + index));
  xml += field("RoomBuildingCode", room.Building);
  xml += field("RoomFloorCode", room.Floor);
  xml += field("RoomNo", room.Number);
  xml += field("GuestName", GuestNameUtf8());
  xml += field("CheckInDate", plat::FormatDateTime("yyyy-mm-dd", today));
  xml += field("CheckInTime", "14:00:00");
  xml += field("CheckOutDate", plat::FormatDateTime("yyyy-mm-dd", today + 1));
  xml += field("CheckOutTime", "12:00:00");
  xml += field("IsCopy", isCopy ? "1" : "0");
  xml += "</DoorRequest>";
  xml.push_back('\0');
  return xml;
}

std::vector<std::string> IssueCardRequests(int count, int stride) {
  std::vector<std::string> requests;
  requests.reserve(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i)
    requests.push_back(IssueCardRequest(i * stride % kHotelRooms, i % 4 == 3));
  return requests;
}

}  // namespace bench
