#include "doorlock/DoorlockMessageHandlerUnit.h"

#include <mutex>

#include "encoders/BaseDoorlockUnit.h"
#include "host/DoorlockServerUnit.h"
#include "host/LogFileUnit.h"
#include "host/SysOptionUnit.h"
#include "platform/TextCodec.h"
#include "platform/XmlReader.h"
#include "records/DoorlockRecordManagerUnit.h"

namespace {

// The system's fixed texts, as GBK.
struct Texts {
  std::string Received = plat::Utf8ToGbk("收到消息: ");
  std::string Executing = plat::Utf8ToGbk("执行操作->");
  std::string Done = plat::Utf8ToGbk("完成一次操作");
  std::string RoomOpen = plat::Utf8ToGbk("房间(");
  std::string RoomIssued = plat::Utf8ToGbk(")发卡成功");
  std::string RoomNotIssued = plat::Utf8ToGbk(")发卡失败");
  std::string IssueOk = plat::Utf8ToGbk("发卡成功");
  std::string IssueFailed = plat::Utf8ToGbk("发卡失败");
  std::string ReadOk = plat::Utf8ToGbk("读卡成功");
  std::string ReadOkLog = plat::Utf8ToGbk("读卡成功，卡号为：");
  std::string ReadFailed = plat::Utf8ToGbk("读卡失败");
  std::string EraseOk = plat::Utf8ToGbk("注销卡成功");
  std::string EraseFailed = plat::Utf8ToGbk("注销卡失败");
};

const Texts& Text() {
  static const Texts texts;
  return texts;
}

void SetResult(TResponse& response, bool ok, const std::string& okMessage,
               const std::string& failedMessage) {
  response.ResultCode = ok ? "200" : "500";
  response.ResultMessage = ok ? okMessage : failedMessage;
}

}  // namespace

void TDoorlockMessageHandler::HandleMessage(TConnection& connection, const std::string& text) {
  const Texts& t = Text();
  WriteLog(t.Received + "\r\n" + text);

  plat::TXmlDocument document;
  TResponse response;
  document.Parse(text);
  const plat::TXmlElement root = document.Root();
  const std::string type = RequestType(root.Attribute("type"));
  WriteLog(t.Executing);

  std::int64_t cardNo = 0;
  if (type == "IssueCard") {
    const bool ok = DoIssueCard(root, cardNo);
    SetResult(response, ok, t.IssueOk, t.IssueFailed);
    response.CardNo = cardNo;
    WriteLog(t.RoomOpen + root.Child(4).Text() + (ok ? t.RoomIssued : t.RoomNotIssued));
    SendResponse(connection, response);
  } else if (type == "ReadCard") {
    const bool ok = DoReadCard(cardNo);
    SetResult(response, ok, t.ReadOk, t.ReadFailed);
    if (ok) {
      response.CardNo = cardNo;
      WriteLog(t.ReadOkLog + std::to_string(cardNo));
    } else {
      WriteLog(t.ReadFailed);
    }
    SendResponse(connection, response);
  } else if (type == "EraseCard") {
    const bool ok = DoEraseCard();
    // The response's texts end with a blank; the log lines do not.
    SetResult(response, ok, t.EraseOk + " ", t.EraseFailed + " ");
    WriteLog(ok ? t.EraseOk : t.EraseFailed);
    SendResponse(connection, response);
  }
  WriteLog(t.Done);
}

bool TDoorlockMessageHandler::DoIssueCard(const plat::TXmlElement& root, std::int64_t& CardNo) {
  const std::int32_t delayMinutes = SysOption->DelayMinutes;
  const bool useNativeDb = SysOption->UseNativeDoorlockDb;
  const bool saveRecord = SysOption->SaveDoorlockRecord;

  // Everything is read and converted before anything is done.
  const std::string RegisterId = root.Child(1).Text();
  const std::string RoomBuildingCode = root.Child(2).Text();
  const std::string RoomFloorCode = root.Child(3).Text();
  const std::string RoomNo = root.Child(4).Text();
  const std::string GuestName = root.Child(5).Text();
  const plat::TDateTime CheckInTime =
      plat::IncMinutes(RequestDateTime(root.Child(6).Text(), root.Child(7).Text()), -delayMinutes);
  const plat::TDateTime CheckOutTime = plat::IncMinutes(
      RequestDateTime(root.Child(8).Text(), root.Child(9).Text()), SysOption->DelayMinutes2);
  const bool IsCopy = RequestBoolean(root.Child(10).Text());
  const std::string RoomCode = RoomBuildingCode + RoomFloorCode + RoomNo;

  // One request's room lookup, card write, room update and record run as one piece.
  std::lock_guard lock(DoorlockMutex());
  TDoorlockRecordManager* store = DoorlockRecordManager;
  plat::TDateTime LastCheckInTime = CheckInTime;
  if (useNativeDb) {
    LastCheckInTime = 0;
    if (IsCopy && store != nullptr)
      LastCheckInTime = store->GetLastCheckInTime(RoomCode);
    if (LastCheckInTime == 0) {
      LastCheckInTime = plat::IncMinutes(plat::Now(), -delayMinutes);
      if (IsCopy && store != nullptr)
        store->AddRoom(RoomCode, LastCheckInTime);
    }
  }

  bool written = false;
  if (Doorlock != nullptr) {
    written = Doorlock->IssueCard(RegisterId, RoomBuildingCode, RoomFloorCode, RoomNo, GuestName,
                                  LastCheckInTime, LastCheckInTime, CheckOutTime, CheckOutTime,
                                  IsCopy, CardNo);
  }
  if (written && useNativeDb && !IsCopy && store != nullptr) {
    store->UpdateLastCheckInTime(RoomCode, LastCheckInTime);
  }
  if (saveRecord && store != nullptr) {
    store->AddIssueCardRecord(RegisterId, std::to_string(CardNo), RoomCode, 1, LastCheckInTime,
                              CheckInTime, CheckOutTime, IsCopy, GuestName, plat::Now());
  }
  return written;
}

bool TDoorlockMessageHandler::DoReadCard(std::int64_t& CardNo) {
  std::lock_guard lock(DoorlockMutex());
  return Doorlock != nullptr && Doorlock->ReadCard(CardNo);
}

bool TDoorlockMessageHandler::DoEraseCard() {
  std::lock_guard lock(DoorlockMutex());
  return Doorlock != nullptr && Doorlock->EraseCard();
}

void TDoorlockMessageHandler::SendResponse(TConnection& connection, const TResponse& response) {
  try {
    connection.Write(FrameResponse(response));
  } catch (const std::exception&) {
    // The client has gone; nothing to tell anyone.
  }
}
