#include "doorlock/DoorlockMessageHandlerUnit.h"

#include <mutex>

#include "doorlock/CardIssueUnit.h"
#include "encoders/BaseDoorlockUnit.h"
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
    WriteLog(t.RoomOpen + root.Child(IssueCardField::RoomNo).Text() +
             (ok ? t.RoomIssued : t.RoomNotIssued));
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
  namespace F = IssueCardField;
  const TCardIssueSettings settings{SysOption->DelayMinutes, SysOption->UseNativeDoorlockDb,
                                    SysOption->SaveDoorlockRecord};

  // Everything is read and converted before anything is done; the request's times
  // are moved by the two delays.
  TCardIssue issue;
  issue.RegisterId = root.Child(F::RegisterId).Text();
  issue.RoomBuildingCode = root.Child(F::RoomBuildingCode).Text();
  issue.RoomFloorCode = root.Child(F::RoomFloorCode).Text();
  issue.RoomNo = root.Child(F::RoomNo).Text();
  issue.GuestName = root.Child(F::GuestName).Text();
  issue.CheckInTime = plat::IncMinutes(
      RequestDateTime(root.Child(F::CheckInDate).Text(), root.Child(F::CheckInTime).Text()),
      -settings.DelayMinutes);
  issue.CheckOutTime = plat::IncMinutes(
      RequestDateTime(root.Child(F::CheckOutDate).Text(), root.Child(F::CheckOutTime).Text()),
      SysOption->DelayMinutes2);
  issue.IsCopy = RequestBoolean(root.Child(F::IsCopy).Text());

  return IssueGuestCard(issue, settings, Doorlock, DoorlockRecordManager, CardNo);
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
