#include "tools/DoorlockTestFormUnit.h"

#include <mutex>
#include <string>

#include "doorlock/CardIssueUnit.h"
#include "encoders/BaseDoorlockUnit.h"
#include "host/SysOptionUnit.h"
#include "platform/DateTime.h"
#include "records/DoorlockRecordManagerUnit.h"
#include "ui_DoorlockTestFormUnit.h"

namespace {

constexpr const char* kDateTimePattern = "yyyy-mm-dd hh:nn:ss";
constexpr const char* kGuestName = "Test";

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
  // The dialog is opened only with a driver; a missing one must not crash it.
  if (Doorlock == nullptr)
    return;
  TCardIssue issue;
  issue.RoomBuildingCode = ToGbk(ui->RoomBuildingCodeTxt->text());
  issue.RoomFloorCode = ToGbk(ui->RoomFloorCodeTxt->text());
  issue.RoomNo = ToGbk(ui->RoomNoTxt->text());
  issue.GuestName = kGuestName;
  // The typed times go to the card unchanged: no delays as for a request.
  issue.CheckInTime = plat::StrToDateTime(ToGbk(ui->CheckInDateTimeTxt->text()));
  issue.CheckOutTime = plat::StrToDateTime(ToGbk(ui->CheckOutDateTimeTxt->text()));
  issue.IsCopy = ui->IsCopyCheckBox->isChecked();
  const TCardIssueSettings settings{SysOption->DelayMinutes, SysOption->UseNativeDoorlockDb,
                                    SysOption->SaveDoorlockRecord};
  std::int64_t cardNo = 0;
  IssueGuestCard(issue, settings, Doorlock, DoorlockRecordManager, cardNo);
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
