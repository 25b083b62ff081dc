// The administrator password prompt and the password change dialog, driven
// through their widgets.
#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QTest>
#include <cstdio>

#include "host/ChangePasswordFormUnit.h"
#include "host/CheckPasswordFormUnit.h"
#include "host/SysOptionUnit.h"
#include "platform/IniFile.h"
#include "tests/gui/GuiTestSupport.h"

using namespace gui_testing;
using testing_support::FileExists;
using testing_support::Gbk;
using testing_support::WriteFile;

namespace {

// Enters text in the prompt and presses OK; what CheckPassword gives.
bool Prompt(const QString& entry) {
  ModalDialogDriver driver("CheckPasswordForm", [&](QDialog& dialog) {
    Child<QLineEdit>(dialog, "edtPswd").setText(entry);
    Click(Child<QPushButton>(dialog, "btnOK"));
    if (dialog.isVisible())
      dialog.reject();  // refused: the prompt stays open
  });
  const bool result = CheckPassword();
  EXPECT_TRUE(driver.Ran());
  return result;
}

using PasswordTest = GuiTest;

TEST_F(PasswordTest, TheRightPasswordWithBlanksAroundItClosesThePromptWithOk) {
  const struct {
    const char* stored;  // UTF-8
    QString entry;
  } cases[] = {
      {"qelvim", QStringLiteral("qelvim")},
      {"qelvim", QStringLiteral(" \tqelvim\t  ")},
      {"管理员1", QStringLiteral("  管理员1 ")},
      {"", QStringLiteral("")},
      {"", QStringLiteral("   ")},
  };
  for (const auto& c : cases) {
    SysOption->Password = Gbk(c.stored);
    EXPECT_TRUE(Prompt(c.entry)) << c.entry.toStdString();
  }
  EXPECT_TRUE(messages.Messages().empty());
}

TEST_F(PasswordTest, WithoutAPasswordKeyThePromptAcceptsTheDefault) {
  SysOption->Load();
  EXPECT_TRUE(Prompt(QStringLiteral("qelvim")));
}

TEST_F(PasswordTest, AWrongEntryKeepsThePromptOpenWithTheEntryAndTheFocusInTheEdit) {
  bool result = false;
  ModalDialogDriver driver("CheckPasswordForm", [&](QDialog& dialog) {
    auto& edit = Child<QLineEdit>(dialog, "edtPswd");
    for (const QString& wrong : {QStringLiteral("QELVIM"), QStringLiteral("qelvi m")}) {
      edit.setText(wrong);
      Click(Child<QPushButton>(dialog, "btnOK"));
      ASSERT_TRUE(dialog.isVisible());
      EXPECT_EQ(edit.text(), wrong);
      EXPECT_EQ(dialog.focusWidget(), &edit);
    }
    ASSERT_EQ(messages.Messages().size(), 2u);
    for (const Message& m : messages.Messages()) {
      EXPECT_EQ(m.text, QStringLiteral("密码错误 ！"));
      EXPECT_EQ(m.caption, QStringLiteral("提示"));
      EXPECT_EQ(m.icon, QMessageBox::Critical);
    }
    edit.setText(QStringLiteral("qelvim"));
    Click(Child<QPushButton>(dialog, "btnOK"));
  });
  result = CheckPassword();
  EXPECT_TRUE(driver.Ran());
  EXPECT_TRUE(result);
}

TEST_F(PasswordTest, OnlyOkOrEnterWithTheRightPasswordGivesTrue) {
  const struct {
    const char* way;
    std::function<void(QDialog&)> answer;
    bool expected;
  } cases[] = {
      {"Enter",
       [](QDialog& d) { QTest::keyClick(&Child<QLineEdit>(d, "edtPswd"), Qt::Key_Return); }, true},
      {"Cancel", [](QDialog& d) { Click(Child<QPushButton>(d, "btnCancel")); }, false},
      {"Esc", [](QDialog& d) { QTest::keyClick(&Child<QLineEdit>(d, "edtPswd"), Qt::Key_Escape); },
       false},
      {"title-bar close", [](QDialog& d) { d.close(); }, false},
  };
  for (const auto& c : cases) {
    ModalDialogDriver driver("CheckPasswordForm", [&](QDialog& dialog) {
      QTest::keyClicks(&Child<QLineEdit>(dialog, "edtPswd"), "qelvim");
      c.answer(dialog);
    });
    EXPECT_EQ(CheckPassword(), c.expected) << c.way;
    EXPECT_TRUE(driver.Ran()) << c.way;
  }
  EXPECT_TRUE(messages.Messages().empty());
}

// Enter presses the button that has the focus; 确定, the default, takes it only
// while the focus is on something that is not a button.
TEST_F(PasswordTest, EnterPressesTheFocusedButtonAndOkOnlyFromTheEdit) {
  const struct {
    int tabs;
    const char* focus;
    Qt::Key key;
    bool expected;
  } cases[] = {
      {0, "edtPswd", Qt::Key_Return, true},   {1, "btnOK", Qt::Key_Return, true},
      {1, "btnOK", Qt::Key_Enter, true},      {2, "btnCancel", Qt::Key_Return, false},
      {2, "btnCancel", Qt::Key_Enter, false}, {3, "edtPswd", Qt::Key_Return, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.tabs) + " tabs to " + c.focus);
    ModalDialogDriver driver("CheckPasswordForm", [&](QDialog& dialog) {
      ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));  // focus events need it
      QTest::keyClicks(&Child<QLineEdit>(dialog, "edtPswd"), "qelvim");
      PressTab(dialog, c.tabs);
      ASSERT_EQ(FocusName(dialog), c.focus);
      // The button Enter presses looks the default, as the focused one does.
      const bool onCancel = std::string(c.focus) == "btnCancel";
      EXPECT_EQ(Child<QPushButton>(dialog, "btnCancel").isDefault(), onCancel);
      EXPECT_EQ(Child<QPushButton>(dialog, "btnOK").isDefault(), !onCancel);
      PressEnter(dialog, c.key);
    });
    EXPECT_EQ(CheckPassword(), c.expected);
    EXPECT_TRUE(driver.Ran());
  }
  EXPECT_TRUE(messages.Messages().empty());
}

TEST_F(PasswordTest, BothDialogsOpenEmptyWithStarsForEveryCharacterAndTheFocusInTheFirstEdit) {
  const struct {
    const char* form;
    QString caption;
    QSize clientSize;
    std::vector<const char*> edits;
    std::function<void()> show;
  } cases[] = {
      {"CheckPasswordForm",
       QStringLiteral("请输入管理员密码"),
       {306, 140},
       {"edtPswd"},
       [] { CheckPassword(); }},
      {"ChangePasswordForm",
       QStringLiteral("更改管理员密码"),
       {346, 163},
       {"edtPswd", "edtConfirmPswd"},
       [] { ChangePassword(); }},
  };
  for (const auto& c : cases) {
    ModalDialogDriver driver(c.form, [&](QDialog& dialog) {
      EXPECT_EQ(dialog.windowTitle(), c.caption);
      EXPECT_EQ(dialog.size(), c.clientSize);
      EXPECT_EQ(dialog.focusWidget(), &Child<QLineEdit>(dialog, c.edits.front()));
      for (const char* name : c.edits) {
        auto& edit = Child<QLineEdit>(dialog, name);
        EXPECT_TRUE(edit.text().isEmpty()) << name;
        EXPECT_EQ(edit.echoMode(), QLineEdit::Password) << name;
        EXPECT_EQ(edit.style()->styleHint(QStyle::SH_LineEdit_PasswordCharacter, nullptr, &edit),
                  '*')
            << name;
      }
      EXPECT_TRUE(Child<QPushButton>(dialog, "btnOK").isDefault());
      dialog.reject();
    });
    c.show();
    EXPECT_TRUE(driver.Ran()) << c.form;
  }
}

class ChangePasswordTest : public GuiTest {
 protected:
  void Change(const QString& password, const QString& confirmation,
              const std::function<void(QDialog&)>& after = {}) {
    ModalDialogDriver driver("ChangePasswordForm", [&](QDialog& dialog) {
      Child<QLineEdit>(dialog, "edtPswd").setText(password);
      Child<QLineEdit>(dialog, "edtConfirmPswd").setText(confirmation);
      Click(Child<QPushButton>(dialog, "btnOK"));
      if (after)
        after(dialog);
    });
    ChangePassword();
    EXPECT_TRUE(driver.Ran());
  }

  std::string path = globals.OptionPath();
};

TEST_F(ChangePasswordTest, DifferentEntriesAreRefusedAndNothingIsStored) {
  Change(QStringLiteral("new1"), QStringLiteral("new2"), [&](QDialog& dialog) {
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(Child<QLineEdit>(dialog, "edtPswd").text(), QStringLiteral("new1"));
    EXPECT_EQ(Child<QLineEdit>(dialog, "edtConfirmPswd").text(), QStringLiteral("new2"));
    dialog.reject();
  });
  ASSERT_EQ(messages.Messages().size(), 1u);
  EXPECT_EQ(messages.Messages()[0].text, QStringLiteral("您两次输入的密码不一致，请重新输入！"));
  EXPECT_EQ(messages.Messages()[0].caption, QStringLiteral("提示"));
  EXPECT_EQ(messages.Messages()[0].icon, QMessageBox::Critical);
  EXPECT_EQ(SysOption->Password, "qelvim");
  EXPECT_FALSE(FileExists(path));
}

TEST_F(ChangePasswordTest, TheTrimmedPasswordIsStoredWithAllNineKeysAndAskedForNext) {
  WriteFile(path, "[SysOption]\nPassword=old\nPolicePortNo=1234\n");
  SysOption->Load();
  Change(QStringLiteral("  新密码x\t"), QStringLiteral("新密码x "));

  ASSERT_EQ(messages.Messages().size(), 1u);
  EXPECT_EQ(messages.Messages()[0].text, QStringLiteral("管理员密码更改成功！"));
  EXPECT_EQ(messages.Messages()[0].icon, QMessageBox::Information);
  EXPECT_EQ(SysOption->Password, Gbk("新密码x"));
  const plat::TIniFile ini(path);
  const struct {
    const char* section;
    const char* key;
    std::string value;
  } keys[] = {
      {"SysOption", "Password", Gbk("新密码x")},     {"SysOption", "DoorlockPortNo", "8886"},
      {"SysOption", "PolicePortNo", "1234"},         {"SysOption", "MemberPortNo", "8883"},
      {"SysOption", "ScanPortNo", "8881"},           {"DoorlockOption", "DelayMinutes", "0"},
      {"DoorlockOption", "DelayMinutes2", "0"},      {"DoorlockOption", "UseNativeDoorlockDb", "0"},
      {"DoorlockOption", "SaveDoorlockRecord", "0"},
  };
  for (const auto& k : keys) {
    EXPECT_EQ(ini.ReadString(k.section, k.key, "<absent>"), k.value) << k.key;
  }
  EXPECT_FALSE(Prompt(QStringLiteral("old")));
  EXPECT_TRUE(Prompt(QStringLiteral(" 新密码x")));
}

TEST_F(ChangePasswordTest, EnterOnCancelStoresNothingAndEnterOnOkOrAnEditStores) {
  const struct {
    int tabs;
    const char* focus;
    Qt::Key key;
    bool stored;
  } cases[] = {
      {0, "edtPswd", Qt::Key_Return, true},   {1, "edtConfirmPswd", Qt::Key_Enter, true},
      {2, "btnOK", Qt::Key_Return, true},     {3, "btnCancel", Qt::Key_Return, false},
      {3, "btnCancel", Qt::Key_Enter, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.tabs) + " tabs to " + c.focus);
    std::remove(path.c_str());
    SysOption->Password = "old";
    const std::size_t shownBefore = messages.Messages().size();
    ModalDialogDriver driver("ChangePasswordForm", [&](QDialog& dialog) {
      QTest::keyClicks(&Child<QLineEdit>(dialog, "edtPswd"), "new");
      QTest::keyClicks(&Child<QLineEdit>(dialog, "edtConfirmPswd"), "new");
      PressTab(dialog, c.tabs);
      ASSERT_EQ(FocusName(dialog), c.focus);
      PressEnter(dialog, c.key);
    });
    ChangePassword();
    EXPECT_TRUE(driver.Ran());
    EXPECT_EQ(SysOption->Password, c.stored ? "new" : "old");
    EXPECT_EQ(FileExists(path), c.stored);
    const std::vector<QString> texts = messages.Texts();
    const std::vector<QString> shown(texts.begin() + static_cast<std::ptrdiff_t>(shownBefore),
                                     texts.end());
    EXPECT_EQ(shown, c.stored ? std::vector{QStringLiteral("管理员密码更改成功！")}
                              : std::vector<QString>{});
  }
}

TEST_F(ChangePasswordTest, BlankEntriesStoreTheEmptyPassword) {
  Change(QStringLiteral("   "), QStringLiteral("\t"));
  EXPECT_EQ(SysOption->Password, "");
  EXPECT_EQ(plat::TIniFile(path).ReadString("SysOption", "Password", "<absent>"), "");
}

TEST_F(ChangePasswordTest, AFailingSaveShowsTheErrorAndLeavesTheDialogOpen) {
  SysOption->FileName = globals.Dir().File("missing/Option.ini");
  Change(QStringLiteral("new"), QStringLiteral("new"), [&](QDialog& dialog) {
    EXPECT_TRUE(dialog.isVisible());
    dialog.reject();
  });
  ASSERT_EQ(messages.Messages().size(), 1u);
  EXPECT_EQ(messages.Messages()[0].text,
            QString::fromStdString("Unable to write to " + SysOption->FileName));
  EXPECT_EQ(messages.Messages()[0].icon, QMessageBox::Critical);
}

}  // namespace
