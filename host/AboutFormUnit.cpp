#include "host/AboutFormUnit.h"

#include "host/images/PicturesUnit.h"
#include "ui_AboutFormUnit.h"

TAboutForm::TAboutForm(QWidget* owner) : TModalForm(owner), ui(std::make_unique<Ui::AboutForm>()) {
  ui->setupUi(this);
  setFont(ChineseFont(12));
  FixClientSize(413, 262);
  ui->Image1->setPixmap(AboutPixmap(64));
  BindButton(ui->btnOK, mrOk);
  FormCreate();
}

TAboutForm::~TAboutForm() = default;

void TAboutForm::FormCreate() {
  setWindowTitle(QStringLiteral("关于 DravikHestor门锁接口"));
  QFont titleFont = ChineseFont(16);
  titleFont.setBold(true);
  ui->lblAppTitle->setFont(titleFont);
  ui->lblAppTitle->setText(QStringLiteral("DravikHestor门锁接口"));
  ui->lblVersion->setText(QStringLiteral("版本 1.0.0.0"));
  ui->lblCopyright->setText(QStringLiteral("版权所有 (C) DravikHestor，保留所有权利。"));
  ui->lblCompany->setText(QStringLiteral("DravikHestor 信息技术有限公司"));
}

void ShowAbout() {
  TAboutForm form;
  form.ShowModal();
}
