#include "host/ChangePasswordFormUnit.h"

#include "host/MainFormUnit.h"
#include "host/SysOptionUnit.h"
#include "host/images/PicturesUnit.h"
#include "platform/StrUtils.h"
#include "ui_ChangePasswordFormUnit.h"

TChangePasswordForm::TChangePasswordForm(QWidget* owner)
    : TModalForm(owner), ui(std::make_unique<Ui::ChangePasswordForm>()) {
  ui->setupUi(this);
  setFont(ChineseFont(12));
  FixClientSize(346, 163);
  ui->Image1->setPixmap(KeyRingPixmap(48));
  BindButton(ui->btnOK, mrNone, [this] { btnOKClick(); });
  BindButton(ui->btnCancel, mrCancel);
  ui->edtPswd->setFocus();
}

TChangePasswordForm::~TChangePasswordForm() = default;

void TChangePasswordForm::btnOKClick() {
  const std::string password = plat::Trim(ToGbk(ui->edtPswd->text()));
  const std::string confirmation = plat::Trim(ToGbk(ui->edtConfirmPswd->text()));
  if (password != confirmation) {
    ShowMessageBox(QStringLiteral("您两次输入的密码不一致，请重新输入！"), QMessageBox::Critical);
    return;
  }
  SysOption->Password = password;
  SysOption->Save();
  ShowMessageBox(QStringLiteral("管理员密码更改成功！"), QMessageBox::Information);
  SetModalResult(mrOk);
}

void ChangePassword() {
  TChangePasswordForm form(MainForm);
  form.ShowModal();
}
