#include "encoders/OptionFormUnit.h"

#include <mutex>

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
  std::lock_guard lock(OptionFileMutex());
  const QString doorlockType = FromGbk(Option->DoorlockType);
  ui->DoorlockTypeCmb->setCurrentIndex(ui->DoorlockTypeCmb->findText(doorlockType));
  ui->DoorlockTypeCmb->setEditText(doorlockType);
  ui->HotelIdEdit->setText(FromGbk(Option->HotelId));
  const QString portName = FromGbk(Option->PortName);
  int selected = -1;
  for (int i = 0; i < ui->PortNameCmb->count() && selected < 0; ++i) {
    if (ui->PortNameCmb->itemText(i).compare(portName, Qt::CaseInsensitive) == 0)
      selected = i;
  }
  ui->PortNameCmb->setCurrentIndex(selected);
}

void TOptionForm::OKBtnClick() {
  {
    // Connection threads save Option too, after each card-number step.
    std::lock_guard lock(OptionFileMutex());
    Option->HotelId = ToGbk(ui->HotelIdEdit->text());
    Option->PortName = ToGbk(ui->PortNameCmb->currentText());
    Option->DoorlockType = ToGbk(ui->DoorlockTypeCmb->currentText());
    Option->Save();
  }
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
