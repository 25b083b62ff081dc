// The lock options dialog, driven through its widgets.
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <cstdio>

#include "encoders/OptionFormUnit.h"
#include "host/OptionUnit.h"
#include "platform/IniFile.h"
#include "tests/gui/GuiTestSupport.h"

using namespace gui_testing;
using testing_support::FileExists;
using testing_support::Gbk;
using testing_support::ReadFile;
using testing_support::WriteFile;

namespace {

class OptionFormTest : public GuiTest {
 protected:
  void Show(const std::function<void(QDialog&)>& drive) {
    ModalDialogDriver driver("OptionForm", drive);
    ShowOptionsDialog();
    EXPECT_TRUE(driver.Ran());
  }

  std::string path = globals.OptionPath();
};

TEST_F(OptionFormTest, TheStoredPortIsSelectedWithoutRegardToCaseAndOkStoresTheSelection) {
  const struct {
    const char* stored;
    int selected;
    const char* storedAfterOk;
  } cases[] = {
      {"com2", 1, "COM2"}, {"COM6", 5, "COM6"}, {"USB", -1, ""}, {"", -1, ""}, {"COM7", -1, ""},
  };
  for (const auto& c : cases) {
    WriteFile(path, std::string("[DoorlockOption]\nPortName=") + c.stored + "\n");
    Option->Load();
    Show([&](QDialog& dialog) {
      auto& ports = Child<QComboBox>(dialog, "PortNameCmb");
      EXPECT_EQ(ports.currentIndex(), c.selected) << c.stored;
      EXPECT_EQ(dialog.focusWidget(), &ports);
      Click(Child<QPushButton>(dialog, "OKBtn"));
    });
    EXPECT_EQ(Option->PortName, c.storedAfterOk) << c.stored;
    EXPECT_EQ(plat::TIniFile(path).ReadString("DoorlockOption", "PortName", "<absent>"),
              c.storedAfterOk)
        << c.stored;
  }
}

TEST_F(OptionFormTest, OkStoresTheTextsAsTypedRewritesTheFourKeysAndAsksForARestart) {
  WriteFile(path, "[DoorlockOption]\nDoorlockType=RF-V9\nHotelId=123\nCurrentCardNo=7\n");
  Option->Load();
  Option->CurrentCardNo = 42;  // advanced since the load: the value in memory is written
  int result = -1;
  ModalDialogDriver driver("OptionForm", [&](QDialog& dialog) {
    auto& type = Child<QComboBox>(dialog, "DoorlockTypeCmb");
    auto& hotel = Child<QLineEdit>(dialog, "HotelIdEdit");
    EXPECT_EQ(type.currentText(), QStringLiteral("RF-V9"));
    EXPECT_EQ(hotel.text(), QStringLiteral("123"));
    type.setEditText(QStringLiteral(" rf-v9 "));
    hotel.setText(QStringLiteral(" 酒店A "));
    QTest::keyClick(&hotel, Qt::Key_Return);
  });
  TOptionForm form;
  result = form.ShowModal();
  EXPECT_TRUE(driver.Ran());

  EXPECT_EQ(result, mrCancel);  // OK closes the dialog, and closing gives Cancel
  EXPECT_EQ(Option->DoorlockType, " rf-v9 ");
  EXPECT_EQ(Option->HotelId, Gbk(" 酒店A "));
  EXPECT_EQ(Option->PortName, "COM1");
  const plat::TIniFile ini(path);
  EXPECT_EQ(ini.ReadString("DoorlockOption", "DoorlockType", "<absent>"), "rf-v9");
  EXPECT_EQ(ini.ReadString("DoorlockOption", "HotelId", "<absent>"), Gbk("酒店A"));
  EXPECT_EQ(ini.ReadString("DoorlockOption", "PortName", "<absent>"), "COM1");
  EXPECT_EQ(ini.ReadString("DoorlockOption", "CurrentCardNo", "<absent>"), "42");
  ASSERT_EQ(messages.Messages().size(), 1u);
  EXPECT_EQ(messages.Messages()[0].text, QStringLiteral("请重新启动程序,以启用设置的参数！"));
  EXPECT_EQ(messages.Messages()[0].caption, QStringLiteral("提示"));
  EXPECT_EQ(messages.Messages()[0].icon, QMessageBox::Information);
}

TEST_F(OptionFormTest, OkWithNoChangeStillWritesTheFourKeysAndShowsTheMessage) {
  Show([](QDialog& dialog) { Click(Child<QPushButton>(dialog, "OKBtn")); });
  const plat::TIniFile ini(path);
  EXPECT_EQ(ini.ReadString("DoorlockOption", "DoorlockType", "<absent>"), "IC");
  EXPECT_EQ(ini.ReadString("DoorlockOption", "PortName", "<absent>"), "COM1");
  EXPECT_EQ(ini.ReadString("DoorlockOption", "HotelId", "<absent>"), "KPVZ4729");
  EXPECT_EQ(ini.ReadString("DoorlockOption", "CurrentCardNo", "<absent>"), "1");
  EXPECT_EQ(messages.Texts(), std::vector{QStringLiteral("请重新启动程序,以启用设置的参数！")});
}

TEST_F(OptionFormTest, CancelEscAndCloseChangeNothing) {
  const struct {
    const char* way;
    std::function<void(QDialog&)> answer;
  } cases[] = {
      {"Cancel", [](QDialog& d) { Click(Child<QPushButton>(d, "CancelBtn")); }},
      {"Esc",
       [](QDialog& d) { QTest::keyClick(&Child<QLineEdit>(d, "HotelIdEdit"), Qt::Key_Escape); }},
      {"title-bar close", [](QDialog& d) { d.close(); }},
  };
  for (const auto& c : cases) {
    Show([&](QDialog& dialog) {
      Child<QLineEdit>(dialog, "HotelIdEdit").setText(QStringLiteral("999"));
      Child<QComboBox>(dialog, "PortNameCmb").setCurrentIndex(3);
      c.answer(dialog);
    });
    EXPECT_EQ(Option->HotelId, "KPVZ4729") << c.way;
    EXPECT_EQ(Option->PortName, "COM1") << c.way;
  }
  EXPECT_FALSE(FileExists(path));
  EXPECT_TRUE(messages.Messages().empty());
}

TEST_F(OptionFormTest, EnterPressesTheFocusedButtonAndOkFromAnythingElse) {
  const struct {
    int tabs;
    const char* focus;
    Qt::Key key;
    bool saved;
  } cases[] = {
      {0, "PortNameCmb", Qt::Key_Return, true},    {1, "OKBtn", Qt::Key_Return, true},
      {1, "OKBtn", Qt::Key_Enter, true},           {2, "CancelBtn", Qt::Key_Return, false},
      {2, "CancelBtn", Qt::Key_Enter, false},      {3, "HotelIdEdit", Qt::Key_Return, true},
      {4, "DoorlockTypeCmb", Qt::Key_Enter, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.tabs) + " tabs to " + c.focus);
    std::remove(path.c_str());
    Option->HotelId = "KPVZ4729";
    const std::size_t shownBefore = messages.Messages().size();
    Show([&](QDialog& dialog) {
      Child<QLineEdit>(dialog, "HotelIdEdit").setText(QStringLiteral("999"));
      PressTab(dialog, c.tabs);
      ASSERT_EQ(FocusName(dialog), c.focus);
      PressEnter(dialog, c.key);
    });
    EXPECT_EQ(Option->HotelId, c.saved ? "999" : "KPVZ4729");
    EXPECT_EQ(FileExists(path), c.saved);
    EXPECT_EQ(messages.Messages().size() - shownBefore, c.saved ? 1u : 0u);
  }
}

TEST_F(OptionFormTest, TheLabelsStandWhereTheyWereDrawn) {
  Show([](QDialog& dialog) {
    EXPECT_EQ(Child<QLabel>(dialog, "Label2").geometry(), QRect(68, 27, 60, 13));
    EXPECT_EQ(Child<QLabel>(dialog, "Label3").pos(), QPoint(68, 67));
    EXPECT_EQ(Child<QLabel>(dialog, "Label3").width(), 48);
    EXPECT_EQ(Child<QLabel>(dialog, "Label1").pos(), QPoint(68, 99));
    EXPECT_EQ(Child<QLabel>(dialog, "Label1").width(), 60);
    dialog.reject();
  });
}

TEST_F(OptionFormTest, AFailingSaveShowsTheErrorKeepsTheValuesInMemoryAndCloses) {
  Option->FileName = globals.Dir().File("missing/Option.ini");
  int result = -1;
  ModalDialogDriver driver("OptionForm", [](QDialog& dialog) {
    Child<QLineEdit>(dialog, "HotelIdEdit").setText(QStringLiteral("555"));
    Click(Child<QPushButton>(dialog, "OKBtn"));
  });
  TOptionForm form;
  result = form.ShowModal();
  EXPECT_TRUE(driver.Ran());
  EXPECT_EQ(result, mrOk);
  EXPECT_EQ(Option->HotelId, "555");
  ASSERT_EQ(messages.Messages().size(), 1u);
  EXPECT_EQ(messages.Messages()[0].text,
            QString::fromStdString("Unable to write to " + Option->FileName));
  EXPECT_EQ(messages.Messages()[0].icon, QMessageBox::Critical);
}

TEST_F(OptionFormTest, TheTabOrderRunsFromThePortListToTheLockType) {
  Show([](QDialog& dialog) {
    const char* order[] = {"PortNameCmb", "OKBtn", "CancelBtn", "HotelIdEdit", "DoorlockTypeCmb"};
    for (const char* name : order) {
      QWidget* focus = dialog.focusWidget();
      // An editable combo box passes the focus to its own line edit.
      while (focus != nullptr && focus->objectName().isEmpty())
        focus = focus->parentWidget();
      ASSERT_NE(focus, nullptr);
      EXPECT_EQ(focus->objectName().toStdString(), name);
      QTest::keyClick(dialog.focusWidget(), Qt::Key_Tab);
    }
    dialog.reject();
  });
}

}  // namespace
