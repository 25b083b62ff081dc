// The message box every message of the program goes through, shown for real.
#include <QAbstractButton>
#include <QMessageBox>
#include <QTest>

#include "host/GuiSupportUnit.h"
#include "tests/gui/GuiTestSupport.h"

using namespace gui_testing;

namespace {

class MessageBoxTest : public GuiTest {
 protected:
  MessageBoxTest() { SetMessageBoxHook({}); }  // no recorder: the real box opens
};

TEST_F(MessageBoxTest, OneOkButtonThatTakesEnterWhenItHasTheFocus) {
  for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Enter}) {
    bool answered = false;
    ModalDialogDriver driver("", [&](QDialog& dialog) {
      auto* box = qobject_cast<QMessageBox*>(&dialog);
      ASSERT_NE(box, nullptr);
      EXPECT_EQ(box->windowTitle(), QStringLiteral("提示"));
      EXPECT_EQ(box->text(), QStringLiteral("密码错误 ！"));
      EXPECT_EQ(box->icon(), QMessageBox::Critical);
      ASSERT_EQ(box->buttons().size(), 1);
      QAbstractButton* ok = box->buttons().front();
      EXPECT_EQ(ok->text(), QStringLiteral("确定"));
      ok->setFocus();
      ASSERT_EQ(box->focusWidget(), ok);
      PressEnter(*box, key);
      answered = !box->isVisible();
    });
    ShowMessageBox(QStringLiteral("密码错误 ！"), QMessageBox::Critical);
    EXPECT_TRUE(driver.Ran());
    EXPECT_TRUE(answered);
  }
}

}  // namespace
