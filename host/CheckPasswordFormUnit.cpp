#include "host/CheckPasswordFormUnit.h"

#include "host/MainFormUnit.h"
#include "host/SysOptionUnit.h"
#include "host/images/PicturesUnit.h"
#include "platform/StrUtils.h"
#include "ui_CheckPasswordFormUnit.h"

TCheckPasswordForm::TCheckPasswordForm(QWidget* owner)
    : TModalForm(owner), ui(std::make_unique<Ui::CheckPasswordForm>()) {
  ui->setupUi(this);
  setFont(ChineseFont(12));
  FixClientSize(306, 140);
  ui->Image1->setPixmap(KeyRingPixmap(32));
  BindButton(ui->btnOK, mrOk, [this] { btnOKClick(); });
  BindButton(ui->btnCancel, mrCancel);
  ui->edtPswd->setFocus();
}

TCheckPasswordForm::~TCheckPasswordForm() = default;

void TCheckPasswordForm::btnOKClick() {
  if (plat::Trim(ToGbk(ui->edtPswd->text())) == SysOption->Password)
    return;
  ShowMessageBox(QStringLiteral("密码错误 ！"), QMessageBox::Critical);
  SetModalResult(mrNone);
  ui->edtPswd->setFocus();
}

bool CheckPassword() {
  TCheckPasswordForm form(MainForm);
  return form.ShowModal() == mrOk;
}
