// The main window: its server, the password on closing, and its actions.
#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <chrono>
#include <future>
#include <memory>
#include <thread>

#include "encoders/BaseDoorlockUnit.h"
#include "host/DoorlockServerUnit.h"
#include "host/GuiSupportUnit.h"
#include "host/MainFormUnit.h"
#include "host/SysOptionUnit.h"
#include "tests/gui/GuiTestSupport.h"
#include "tests/support/FakeDoorlock.h"
#include "tests/support/TestClient.h"

using namespace gui_testing;
using testing_support::Exchange;
using testing_support::FakeDoorlock;
using testing_support::FramedResponse;
using testing_support::TestClient;

namespace {

const std::string kReadCard =
    std::string("<?xml version=\"1.0\" encoding=\"UTF-8\"?><DoorRequest type=\"ReadCard\"/>") +
    std::string(1, '\0');

// A driver whose options go through the hook, as the real drivers' do.
class OptionsDoorlock : public FakeDoorlock {
 public:
  void ShowOptions() override { ShowOptionForm(); }
};

void AnswerPassword(QDialog& dialog, const QString& password) {
  Child<QLineEdit>(dialog, "edtPswd").setText(password);
  Click(Child<QPushButton>(dialog, "btnOK"));
  if (dialog.isVisible())
    Click(Child<QPushButton>(dialog, "btnCancel"));
}

QString InfoText(QWidget& form) {
  return Child<QPlainTextEdit>(form, "InfoMemo").toPlainText();
}

class MainFormTest : public GuiTest {
 protected:
  MainFormTest() {
    SysOption->DoorlockPortNo = 0;  // a free port
    driver.readCardNo = 31;
    globals.Objects().LendDriver(&driver);
    InstallGuiHooks();
  }
  ~MainFormTest() override { SetShowOptionsHook({}); }

  QAction& Action(TMainForm& form, const char* name) { return Child<QAction>(form, name); }

  OptionsDoorlock driver;
};

TEST_F(MainFormTest, CreatingTheWindowStartsTheServerWithOneInfoLine) {
  TMainForm form;
  EXPECT_EQ(MainForm, &form);
  EXPECT_EQ(form.windowTitle(), QStringLiteral("DravikHestor门锁接口"));
  EXPECT_EQ(InfoText(form), QStringLiteral("门锁接口监听服务器已经启动..."));
  ASSERT_TRUE(form.ServerActive());
  EXPECT_EQ(Exchange(form.ServerPort(), kReadCard), FramedResponse("200", "读卡成功", 31));
  EXPECT_TRUE(messages.Messages().empty());
}

TEST_F(MainFormTest, StoppingTheServerAddsTheStopLineAndClosesThePort) {
  TMainForm form;
  const int port = form.ServerPort();
  form.StopServer();
  EXPECT_EQ(InfoText(form),
            QStringLiteral("门锁接口监听服务器已经启动...\n接口监听服务器已经停止。"));
  EXPECT_FALSE(form.ServerActive());
  EXPECT_FALSE(TestClient(port).Connected());
}

TEST_F(MainFormTest, APortInUseIsReportedAndTheWindowStillOpens) {
  TDoorlockServer other;
  other.SetDefaultPort(0);
  other.Activate();
  SysOption->DoorlockPortNo = other.BoundPort();
  TMainForm form;
  form.show();
  EXPECT_TRUE(form.isVisible());
  EXPECT_FALSE(form.ServerActive());
  EXPECT_EQ(InfoText(form), QStringLiteral("门锁接口监听服务器已经启动..."));
  ASSERT_EQ(messages.Messages().size(), 1u);
  EXPECT_TRUE(messages.Messages()[0].text.contains(QString::number(other.BoundPort())))
      << messages.Messages()[0].text.toStdString();
  EXPECT_EQ(messages.Messages()[0].caption, QStringLiteral("提示"));
  EXPECT_EQ(messages.Messages()[0].icon, QMessageBox::Critical);
}

TEST_F(MainFormTest, AWrongPasswordKeepsTheWindowOpenAndServing) {
  TMainForm form;
  form.show();
  std::string servedWhilePrompting;
  ModalDialogDriver prompt("CheckPasswordForm", [&](QDialog& dialog) {
    servedWhilePrompting = Exchange(form.ServerPort(), kReadCard);
    AnswerPassword(dialog, QStringLiteral("wrong"));
  });
  form.close();
  EXPECT_TRUE(prompt.Ran());
  EXPECT_TRUE(form.isVisible());
  EXPECT_TRUE(form.ServerActive());
  EXPECT_EQ(servedWhilePrompting, FramedResponse("200", "读卡成功", 31));
  EXPECT_EQ(Exchange(form.ServerPort(), kReadCard), FramedResponse("200", "读卡成功", 31));
  EXPECT_EQ(messages.Texts(), std::vector{QStringLiteral("密码错误 ！")});
}

TEST_F(MainFormTest, ExitWithTheRightPasswordClosesTheWindowAndStopsTheServer) {
  int port = 0;
  bool closedByExit = false;
  QTimer::singleShot(0, [&] {
    ASSERT_NE(MainForm, nullptr);
    port = MainForm->ServerPort();
    ModalDialogDriver wrong("CheckPasswordForm", [](QDialog& d) { AnswerPassword(d, "x"); });
    Action(*MainForm, "ExitAction").trigger();
    EXPECT_TRUE(wrong.Ran());
    ModalDialogDriver right("CheckPasswordForm", [](QDialog& d) { AnswerPassword(d, "qelvim"); });
    Action(*MainForm, "ExitAction").trigger();
    closedByExit = right.Ran();
  });
  ShowDoorlockInterface(nullptr);
  EXPECT_TRUE(closedByExit);
  EXPECT_EQ(MainForm, nullptr);
  EXPECT_EQ(Doorlock, &driver);  // no driver given: the one set stays
  ASSERT_NE(port, 0);
  EXPECT_FALSE(TestClient(port).Connected());
}

TEST_F(MainFormTest, ShowDoorlockInterfacePublishesTheDriverAndClosesWithoutPasswordOnRequest) {
  FakeDoorlock other;
  bool prompted = false;
  QTimer::singleShot(0, [&] {
    ASSERT_NE(MainForm, nullptr);
    EXPECT_EQ(Doorlock, &other);
    // The program's answer to SIGTERM, arriving while the password prompt is open.
    ModalDialogDriver prompt("CheckPasswordForm", [&](QDialog&) {
      prompted = true;
      MainForm->CloseWithoutPassword();
    });
    MainForm->close();
  });
  ShowDoorlockInterface(&other);
  EXPECT_TRUE(prompted);
  EXPECT_EQ(MainForm, nullptr);
  globals.Objects().LendDriver(&driver);
}

// Closes the main window once it runs, and tells whether it ran.
class WindowCloser {
 public:
  WindowCloser() {
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      if (MainForm != nullptr && MainForm->isVisible()) {
        shown_ = true;
        MainForm->CloseWithoutPassword();
      }
    });
    timer_.start(0);
  }
  bool Shown() const { return shown_; }

 private:
  QTimer timer_;
  bool shown_ = false;
};

TEST_F(MainFormTest, AStopWhileTheStartUpMessageIsOpenEndsWithoutShowingTheWindow) {
  TDoorlockServer other;
  other.SetDefaultPort(0);
  other.Activate();
  SysOption->DoorlockPortNo = other.BoundPort();
  SetMessageBoxHook({});  // the real box, as on a screen
  bool stopped = false;
  ModalDialogDriver box("", [&](QDialog& dialog) {
    ASSERT_NE(qobject_cast<QMessageBox*>(&dialog), nullptr);
    ASSERT_NE(MainForm, nullptr);
    MainForm->CloseWithoutPassword();  // the program's answer to SIGTERM
    stopped = !dialog.isVisible();
  });
  // Had the stop been lost, the window would now run with the password gate off.
  const WindowCloser closer;
  EXPECT_TRUE(ShowDoorlockInterface(nullptr));
  EXPECT_TRUE(box.Ran());
  EXPECT_TRUE(stopped);
  EXPECT_FALSE(closer.Shown());
  EXPECT_EQ(MainForm, nullptr);
}

TEST_F(MainFormTest, HeadlessAWindowThatCannotListenIsNotShownAndSaysSo) {
  TDoorlockServer other;
  other.SetDefaultPort(0);
  other.Activate();
  const struct {
    const char* name;
    TWindowMode mode;
    bool portInUse, served, shown;
  } cases[] = {
      {"headless, port in use", TWindowMode::Headless, true, false, false},
      {"headless, port free", TWindowMode::Headless, false, true, true},
      {"on a screen, port in use", TWindowMode::OnScreen, true, true, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SysOption->DoorlockPortNo = c.portInUse ? other.BoundPort() : 0;
    const std::size_t shownBefore = messages.Messages().size();
    const WindowCloser closer;
    EXPECT_EQ(ShowDoorlockInterface(nullptr, c.mode), c.served);
    EXPECT_EQ(closer.Shown(), c.shown);
    EXPECT_EQ(MainForm, nullptr);
    EXPECT_EQ(messages.Messages().size() - shownBefore, c.portInUse ? 1u : 0u);
  }
}

TEST_F(MainFormTest, TheTestActionOpensTheTestDialogWithoutAPassword) {
  TMainForm form;
  ModalDialogDriver password("CheckPasswordForm", [](QDialog& d) { d.reject(); });
  ModalDialogDriver test("DoorlockTestForm", [](QDialog& d) { d.reject(); });
  Action(form, "TestAction").trigger();
  EXPECT_TRUE(test.Ran());
  EXPECT_FALSE(password.Ran());
}

TEST_F(MainFormTest, WithoutADriverTheTestAndOptionActionsOpenNothing) {
  globals.Objects().LendDriver(nullptr);
  TMainForm form;
  ModalDialogDriver test("DoorlockTestForm", [](QDialog& d) { d.reject(); });
  Action(form, "TestAction").trigger();
  EXPECT_FALSE(test.Ran());
  ModalDialogDriver password("CheckPasswordForm", [](QDialog& d) { AnswerPassword(d, "qelvim"); });
  ModalDialogDriver options("OptionForm", [](QDialog& d) { d.reject(); });
  Action(form, "OptionAction").trigger();
  EXPECT_TRUE(password.Ran());
  EXPECT_FALSE(options.Ran());
}

TEST_F(MainFormTest, TheOptionAndPasswordActionsAskFirstAndDoNothingOnRefusal) {
  const struct {
    const char* action;
    const char* dialog;
  } cases[] = {{"OptionAction", "OptionForm"}, {"ChangePasswordAction", "ChangePasswordForm"}};
  TMainForm form;
  for (const auto& c : cases) {
    for (const bool rightPassword : {false, true}) {
      SCOPED_TRACE(std::string(c.action) + (rightPassword ? " right" : " refused"));
      ModalDialogDriver password("CheckPasswordForm", [&](QDialog& d) {
        if (rightPassword) {
          AnswerPassword(d, "qelvim");
        } else {
          Click(Child<QPushButton>(d, "btnCancel"));
        }
      });
      ModalDialogDriver next(c.dialog, [](QDialog& d) { d.reject(); });
      Action(form, c.action).trigger();
      EXPECT_TRUE(password.Ran());
      EXPECT_EQ(next.Ran(), rightPassword);
    }
  }
  EXPECT_TRUE(messages.Messages().empty());
}

TEST_F(MainFormTest, TheAboutActionShowsTheAboutDialog) {
  TMainForm form;
  int result = -1;
  ModalDialogDriver about("AboutForm", [&](QDialog& d) {
    EXPECT_EQ(d.windowTitle(), QStringLiteral("关于 DravikHestor门锁接口"));
    EXPECT_EQ(d.size(), QSize(413, 262));
    EXPECT_EQ(Child<QLabel>(d, "lblAppTitle").text(), QStringLiteral("DravikHestor门锁接口"));
    EXPECT_EQ(Child<QLabel>(d, "lblVersion").text(), QStringLiteral("版本 1.0.0.0"));
    auto& memo = Child<QPlainTextEdit>(d, "mmo");
    EXPECT_FALSE(memo.isEnabled());
    EXPECT_TRUE(memo.toPlainText().isEmpty());
    Click(Child<QPushButton>(d, "btnOK"));
    result = d.result();
  });
  Action(form, "AboutAction").trigger();
  EXPECT_TRUE(about.Ran());
  EXPECT_EQ(result, mrOk);
}

TEST_F(MainFormTest, TheAboutDialogsButtonTakesEnter) {
  TMainForm form;
  for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Enter}) {
    int result = -1;
    ModalDialogDriver about("AboutForm", [&](QDialog& d) {
      Child<QPushButton>(d, "btnOK").setFocus();
      ASSERT_EQ(FocusName(d), "btnOK");
      PressEnter(d, key);
      result = d.result();
    });
    Action(form, "AboutAction").trigger();
    EXPECT_TRUE(about.Ran());
    EXPECT_EQ(result, mrOk);
  }
}

TEST_F(MainFormTest, MenusAndToolBarCarryTheActionsInTheirOrder) {
  TMainForm form;
  auto names = [](const QList<QAction*>& actions) {
    std::vector<std::string> out;
    for (const QAction* a : actions) {
      out.push_back(a->isSeparator()       ? "-"
                    : a->menu() != nullptr ? a->menu()->title().toStdString()
                                           : a->objectName().toStdString());
    }
    return out;
  };
  const auto& menuBar = Child<QMenuBar>(form, "MainMenu");
  EXPECT_EQ(names(menuBar.actions()),
            (std::vector<std::string>{"文件(&F)", "工具(&T)", "帮助(&H)"}));
  const QList<QAction*> menus = menuBar.actions();
  EXPECT_EQ(names(menus[0]->menu()->actions()), (std::vector<std::string>{"ExitAction"}));
  EXPECT_EQ(names(menus[1]->menu()->actions()),
            (std::vector<std::string>{"OptionAction", "TestAction", "-", "ChangePasswordAction"}));
  EXPECT_EQ(names(menus[2]->menu()->actions()), (std::vector<std::string>{"AboutAction"}));
  EXPECT_EQ(names(Child<QToolBar>(form, "ToolBar").actions()),
            (std::vector<std::string>{"OptionAction", "ChangePasswordAction", "-", "AboutAction",
                                      "-", "ExitAction"}));
  const struct {
    const char* name;
    QString caption;
    bool image;
  } actions[] = {{"OptionAction", QStringLiteral("选项(&O)..."), true},
                 {"ChangePasswordAction", QStringLiteral("更改管理员密码(&C)"), true},
                 {"AboutAction", QStringLiteral("关于(&A)..."), true},
                 {"ExitAction", QStringLiteral("退出(&X)"), true},
                 {"TestAction", QStringLiteral("测试(&T)"), false}};
  for (const auto& a : actions) {
    EXPECT_EQ(Action(form, a.name).text(), a.caption);
    EXPECT_EQ(!Action(form, a.name).icon().isNull(), a.image) << a.name;
  }
}

TEST_F(MainFormTest, ToolButtonsShowTheCaptionWhole) {
  TMainForm form;
  auto& toolBar = Child<QToolBar>(form, "ToolBar");
  const struct {
    const char* action;
    QString text;
  } buttons[] = {{"OptionAction", QStringLiteral("选项(O)...")},
                 {"ChangePasswordAction", QStringLiteral("更改管理员密码(C)")},
                 {"AboutAction", QStringLiteral("关于(A)...")},
                 {"ExitAction", QStringLiteral("退出(X)")}};
  for (const auto& b : buttons) {
    auto* button = qobject_cast<QToolButton*>(toolBar.widgetForAction(&Action(form, b.action)));
    ASSERT_NE(button, nullptr) << b.action;
    EXPECT_EQ(button->text(), b.text) << b.action;
    EXPECT_EQ(button->toolButtonStyle(), Qt::ToolButtonTextUnderIcon) << b.action;
  }
}

TEST_F(MainFormTest, AConnectionOutlivingTheStopIsReportedWhenTheWindowGoes) {
  // Another thread holds the driver, so the request's card operation waits for it.
  std::promise<void> held, release;
  std::thread holder([&] {
    std::lock_guard lock(DoorlockMutex());
    held.set_value();
    release.get_future().wait();
  });
  held.get_future().wait();
  std::thread client;
  {
    TMainForm form;
    form.SetServerDeactivationWait(std::chrono::milliseconds(200));
    const int port = form.ServerPort();
    client = std::thread([port] { Exchange(port, kReadCard); });
    // Once dispatched, the connection thread is waiting for the driver.
    bool dispatched = false;
    for (int i = 0; i < 1000 && !dispatched; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
      for (const std::string& line : globals.LogTexts()) {
        dispatched = dispatched || line == testing_support::Gbk("执行操作->");
      }
    }
    EXPECT_TRUE(dispatched);
  }  // the window goes: its stop waits for that thread in vain
  release.set_value();
  holder.join();
  client.join();
  // The connection thread goes on after the answer; the fixture must outlast it.
  for (int i = 0; i < 3000 && ConnectionThreadsRunning() > 0; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_EQ(ConnectionThreadsRunning(), 0);
  EXPECT_EQ(messages.Texts(), std::vector{QStringLiteral("Terminate Thread Timeout")});
}

}  // namespace
