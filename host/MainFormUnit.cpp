// Before the global MainForm is declared: the generated code names its widget so.
#include "ui_MainFormUnit.h"

#include "host/MainFormUnit.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QEventLoop>
#include <QLocale>
#include <QScreen>

#include "encoders/BaseDoorlockUnit.h"
#include "encoders/OptionFormUnit.h"
#include "host/AboutFormUnit.h"
#include "host/ChangePasswordFormUnit.h"
#include "host/CheckPasswordFormUnit.h"
#include "host/DoorlockServerUnit.h"
#include "host/GuiSupportUnit.h"
#include "host/SysOptionUnit.h"
#include "host/images/PicturesUnit.h"
#include "tools/DoorlockTestFormUnit.h"

TMainForm* MainForm = nullptr;

namespace {

// The caption as a tool button shows it: the mnemonic's "&" gone, "&&" one "&".
QString WithoutMnemonic(const QString& caption) {
  QString text;
  for (qsizetype i = 0; i < caption.size(); ++i) {
    if (caption[i] == u'&' && i + 1 < caption.size())
      ++i;
    text += caption[i];
  }
  return text;
}

}  // namespace

TMainForm::TMainForm(QWidget* parent)
    : QMainWindow(parent),
      ui(std::make_unique<Ui::MainForm>()),
      TCPServer(std::make_unique<TDoorlockServer>()) {
  ui->setupUi(this);
  MainForm = this;
  setFont(ChineseFont(12));
  QAction* const actions[] = {ui->OptionAction, ui->ChangePasswordAction, ui->AboutAction,
                              ui->ExitAction};
  for (int image = 0; image < 4; ++image) {
    actions[image]->setIcon(ActionIcon(image));
    // Qt would make the tool button's text from the caption without its "...".
    actions[image]->setIconText(WithoutMnemonic(actions[image]->text()));
  }
  connect(ui->OptionAction, &QAction::triggered, this, Guarded([this] { OptionActionExecute(); }));
  connect(ui->TestAction, &QAction::triggered, this, Guarded([this] { TestActionExecute(); }));
  connect(ui->ChangePasswordAction, &QAction::triggered, this,
          Guarded([this] { ChangePasswordActionExecute(); }));
  connect(ui->AboutAction, &QAction::triggered, this, Guarded([this] { AboutActionExecute(); }));
  connect(ui->ExitAction, &QAction::triggered, this, Guarded([this] { ExitActionExecute(); }));
  if (screen() != nullptr) {
    move(screen()->availableGeometry().center() - rect().center());
  }
  RunGuarded([this] { FormCreate(); });
}

TMainForm::~TMainForm() {
  FormDestroy();
  if (MainForm == this)
    MainForm = nullptr;
}

void TMainForm::FormCreate() {
  // Date-time texts follow the system's own fixed formats; Qt must not follow
  // the desktop's regional settings either.
  QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China));
  setWindowTitle(QStringLiteral("DravikHestor门锁接口"));
  QApplication::setWindowIcon(WindowIcon());
  StartServer();
}

void TMainForm::FormDestroy() {
  RunGuarded([this] { StopServer(); });
}

void TMainForm::StartServer() {
  TCPServer->SetDefaultPort(SysOption->DoorlockPortNo);
  ui->InfoMemo->appendPlainText(QStringLiteral("门锁接口监听服务器已经启动..."));
  TCPServer->Activate();
}

void TMainForm::StopServer() {
  TCPServer->Deactivate();
  ui->InfoMemo->appendPlainText(QStringLiteral("接口监听服务器已经停止。"));
}

int TMainForm::ServerPort() const {
  return TCPServer->BoundPort();
}

void TMainForm::SetServerDeactivationWait(std::chrono::milliseconds wait) {
  TCPServer->SetDeactivationWait(wait);
}

bool TMainForm::ServerActive() const {
  return TCPServer->Active();
}

bool TMainForm::FormCloseQuery() {
  return CheckPassword();
}

void TMainForm::closeEvent(QCloseEvent* event) {
  bool canClose = closeWithoutPassword_;
  if (!canClose)
    RunGuarded([this, &canClose] { canClose = FormCloseQuery(); });
  // A close without password may have come while the prompt was open.
  if (!canClose && !closeWithoutPassword_) {
    event->ignore();
    return;
  }
  event->accept();
  closed_ = true;
  emit Closed();
}

void TMainForm::CloseWithoutPassword() {
  closeWithoutPassword_ = true;
  // Open dialogs end first, so the nested loops unwind to the window.
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    auto* dialog = qobject_cast<QDialog*>(widget);
    if (dialog != nullptr && dialog->isVisible() && dialog->isModal())
      dialog->reject();
  }
  close();
}

void TMainForm::OptionActionExecute() {
  if (CheckPassword() && Doorlock != nullptr)
    Doorlock->ShowOptions();
}

void TMainForm::TestActionExecute() {
  if (Doorlock != nullptr)
    ShowDoorlockTest();
}

void TMainForm::ChangePasswordActionExecute() {
  if (CheckPassword())
    ChangePassword();
}

void TMainForm::AboutActionExecute() {
  ShowAbout();
}

void TMainForm::ExitActionExecute() {
  close();
}

void InstallGuiHooks() {
  SetShowOptionsHook(ShowOptionsDialog);
}

bool ShowDoorlockInterface(TBaseDoorlock* driver, TWindowMode mode) {
  if (driver != nullptr)
    Doorlock = driver;
  InstallGuiHooks();
  const auto form = std::make_unique<TMainForm>();
  // A stop that came while creating the window showed a message has closed it
  // already; waiting for another close would keep the program running, and with
  // the password gate off.
  if (form->HasClosed())
    return true;
  if (mode == TWindowMode::Headless && !form->ServerActive())
    return false;
  QEventLoop loop;
  QObject::connect(form.get(), &TMainForm::Closed, &loop, &QEventLoop::quit);
  form->show();
  loop.exec();
  return true;
}
