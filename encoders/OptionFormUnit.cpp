#include "encoders/OptionFormUnit.h"

#include <string>

#include "host/OptionUnit.h"
#include "ui_OptionFormUnit.h"

TOptionForm::TOptionForm(QWidget* owner)
    : TModalForm(owner), ui(std::make_unique<Ui::OptionForm>()) {
  ui->setupUi(this);
  setFont(FontWithChineseFallback(QStringLiteral("MS Sans Serif"), 11));
  FixClientSize(335, 208);
  BindButton(ui->OKBtn, mrOk, [this] { OKBtnClick(); });
  BindButton(ui->CancelBtn, mrCancel, [this] { CancelBtnClick(); });
  FormCreate();
  ui->PortNameCmb->setFocus();
}

TOptionForm::~TOptionForm() = default;

void TOptionForm::FormCreate() {
  const TOptionValues option = Option->Values();
  const QString doorlockType = FromGbk(option.DoorlockType);
  ui->DoorlockTypeCmb->setCurrentIndex(ui->DoorlockTypeCmb->findText(doorlockType));
  ui->DoorlockTypeCmb->setEditText(doorlockType);
  ui->HotelIdEdit->setText(FromGbk(option.HotelId));
  const QString portName = FromGbk(option.PortName);
  int selected = -1;
  for (int i = 0; i < ui->PortNameCmb->count() && selected < 0; ++i) {
    if (ui->PortNameCmb->itemText(i).compare(portName, Qt::CaseInsensitive) == 0)
      selected = i;
  }
  ui->PortNameCmb->setCurrentIndex(selected);
}

void TOptionForm::OKBtnClick() {
  const std::string hotelId = ToGbk(ui->HotelIdEdit->text());
  const std::string portName = ToGbk(ui->PortNameCmb->currentText());
  const std::string doorlockType = ToGbk(ui->DoorlockTypeCmb->currentText());
  // Connection threads save Option too, after each card-number step.
  Option->Change([&](TOptionValues& option) {
    option.HotelId = hotelId;
    option.PortName = portName;
    option.DoorlockType = doorlockType;
  });
  ShowMessageBox(QStringLiteral("请重新启动程序,以启用设置的参数！"), QMessageBox::Information);
  Close();
}

void TOptionForm::CancelBtnClick() {
  Close();
}

void ShowOptionsDialog() {
  TOptionForm form;
  form.ShowModal();
}
