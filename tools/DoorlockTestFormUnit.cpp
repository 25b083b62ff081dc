#include "tools/DoorlockTestFormUnit.h"

#include <mutex>
#include <string>

#include "encoders/BaseDoorlockUnit.h"
#include "host/SysOptionUnit.h"
#include "platform/DateTime.h"
#include "records/DoorlockRecordManagerUnit.h"
#include "ui_DoorlockTestFormUnit.h"

namespace {

constexpr const char* kDateTimePattern = "yyyy-mm-dd hh:nn:ss";
constexpr const char* kGuestName = "Test";
constexpr std::int32_t kGuestCardType = 1;

}  // namespace

TDoorlockTestForm::TDoorlockTestForm(QWidget* owner)
    : TModalForm(owner), ui(std::make_unique<Ui::DoorlockTestForm>()) {
  ui->setupUi(this);
  setFont(ChineseFont(12));
  FixClientSize(599, 394);
  BindButton(ui->OpenPortBtn, mrNone, [this] { OpenPortBtnClick(); });
  BindButton(ui->ClosePortBtn, mrNone, [this] { ClosePortBtnClick(); });
  BindButton(ui->beepBtn, mrNone, [this] { beepBtnClick(); });
  BindButton(ui->WriteCardBtn, mrNone, [this] { WriteCardBtnClick(); });
  BindButton(ui->ReadCardBtn, mrNone, [this] { ReadCardBtnClick(); });
  BindButton(ui->EraseCardBtn, mrNone, [this] { EraseCardBtnClick(); });
  FormCreate();
  ui->OpenPortBtn->setFocus();
}

TDoorlockTestForm::~TDoorlockTestForm() = default;

void TDoorlockTestForm::FormCreate() {
  const plat::TDateTime now = plat::Now();
  ui->CheckInDateTimeTxt->setText(FromGbk(plat::FormatDateTime(kDateTimePattern, now - 1.0 / 24)));
  ui->CheckOutDateTimeTxt->setText(FromGbk(plat::FormatDateTime(kDateTimePattern, now + 2)));
}

// Every button holds the driver for its whole work, as requests do: the encoder is
// one device and the card counter one shared step.
void TDoorlockTestForm::OpenPortBtnClick() {
  std::lock_guard lock(DoorlockMutex());
  if (Doorlock != nullptr)
    Doorlock->OpenPort();
}

void TDoorlockTestForm::ClosePortBtnClick() {
  std::lock_guard lock(DoorlockMutex());
  if (Doorlock != nullptr)
    Doorlock->ClosePort();
}

void TDoorlockTestForm::beepBtnClick() {
  std::lock_guard lock(DoorlockMutex());
  if (Doorlock != nullptr)
    Doorlock->Beep();
}

void TDoorlockTestForm::WriteCardBtnClick() {
  std::lock_guard lock(DoorlockMutex());
  // The dialog is opened only with a driver; a missing one must not crash it.
  if (Doorlock == nullptr)
    return;
  const std::string buildingCode = ToGbk(ui->RoomBuildingCodeTxt->text());
  const std::string floorCode = ToGbk(ui->RoomFloorCodeTxt->text());
  const std::string roomNo = ToGbk(ui->RoomNoTxt->text());
  const std::string roomCode = buildingCode + floorCode + roomNo;
  // The typed times go to the card unchanged: no delays as for a request.
  const plat::TDateTime checkInTime = plat::StrToDateTime(ToGbk(ui->CheckInDateTimeTxt->text()));
  const plat::TDateTime checkOutTime = plat::StrToDateTime(ToGbk(ui->CheckOutDateTimeTxt->text()));
  const bool isCopy = ui->IsCopyCheckBox->isChecked();

  plat::TDateTime lastCheckInTime = checkInTime;
  if (SysOption->UseNativeDoorlockDb && isCopy) {
    lastCheckInTime =
        DoorlockRecordManager != nullptr ? DoorlockRecordManager->GetLastCheckInTime(roomCode) : 0;
    if (lastCheckInTime == 0) {
      // The room has no stored time: this copy starts its stay now.
      lastCheckInTime = plat::IncMinutes(plat::Now(), -SysOption->DelayMinutes);
      if (DoorlockRecordManager != nullptr) {
        DoorlockRecordManager->AddRoom(roomCode, lastCheckInTime);
      }
    }
  } else if (SysOption->UseNativeDoorlockDb) {
    lastCheckInTime = plat::IncMinutes(plat::Now(), -SysOption->DelayMinutes);
  }

  std::int64_t cardNo = 0;
  const bool written =
      Doorlock->IssueCard("", buildingCode, floorCode, roomNo, kGuestName, lastCheckInTime,
                          lastCheckInTime, checkOutTime, checkOutTime, isCopy, cardNo);
  if (written && SysOption->UseNativeDoorlockDb && !isCopy && DoorlockRecordManager != nullptr) {
    DoorlockRecordManager->UpdateLastCheckInTime(roomCode, lastCheckInTime);
  }
  if (SysOption->SaveDoorlockRecord && DoorlockRecordManager != nullptr) {
    DoorlockRecordManager->AddIssueCardRecord("", std::to_string(cardNo), roomCode, kGuestCardType,
                                              lastCheckInTime, checkInTime, checkOutTime, isCopy,
                                              kGuestName, plat::Now());
  }
}

void TDoorlockTestForm::ReadCardBtnClick() {
  std::int64_t cardNo = 0;
  {
    std::lock_guard lock(DoorlockMutex());
    if (Doorlock != nullptr)
      Doorlock->ReadCard(cardNo);
  }
  ui->CardNoTxt->setText(QString::number(cardNo));
}

void TDoorlockTestForm::EraseCardBtnClick() {
  std::lock_guard lock(DoorlockMutex());
  if (Doorlock != nullptr)
    Doorlock->EraseCard();
}

void ShowDoorlockTest() {
  TDoorlockTestForm form;
  form.ShowModal();
}
