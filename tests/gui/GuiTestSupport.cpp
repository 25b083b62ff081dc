#include "tests/gui/GuiTestSupport.h"

#include <QApplication>
#include <QTest>

#include "host/GuiSupportUnit.h"

namespace gui_testing {

void EnsureApplication() {
  if (QApplication::instance() != nullptr)
    return;
  qputenv("QT_QPA_PLATFORM", "offscreen");
  static int argc = 1;
  static char name[] = "gui_tests";
  static char* argv[] = {name, nullptr};
  // Lives until the process ends, as the program's does.
  new QApplication(argc, argv);
}

MessageBoxRecorder::MessageBoxRecorder() {
  SetMessageBoxHook([this](const QString& text, const QString& caption, QMessageBox::Icon icon) {
    messages_.push_back({text, caption, icon});
  });
}

MessageBoxRecorder::~MessageBoxRecorder() {
  SetMessageBoxHook({});
}

std::vector<QString> MessageBoxRecorder::Texts() const {
  std::vector<QString> texts;
  for (const Message& m : messages_)
    texts.push_back(m.text);
  return texts;
}

ModalDialogDriver::ModalDialogDriver(const char* objectName, std::function<void(QDialog&)> drive)
    : objectName_(QString::fromLatin1(objectName)), drive_(std::move(drive)) {
  timer_.setInterval(0);
  QObject::connect(&timer_, &QTimer::timeout, [this] { Poll(); });
  timer_.start();
}

ModalDialogDriver::~ModalDialogDriver() {
  timer_.stop();
}

void ModalDialogDriver::Poll() {
  auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
  if (dialog == nullptr || dialog->objectName() != objectName_)
    return;
  timer_.stop();
  ran_ = true;
  try {
    drive_(*dialog);
  } catch (const std::exception& error) {
    ADD_FAILURE() << "driving " << objectName_.toStdString() << ": " << error.what();
  }
  if (dialog->isVisible()) {
    ADD_FAILURE() << objectName_.toStdString() << " was left open";
    dialog->reject();
  }
}

void Click(QWidget& button) {
  QTest::mouseClick(&button, Qt::LeftButton);
}

void PressTab(QWidget& window, int times) {
  for (int i = 0; i < times; ++i) {
    QWidget* focus = window.focusWidget();
    QTest::keyClick(focus != nullptr ? focus : &window, Qt::Key_Tab);
  }
}

void PressEnter(QWidget& window, Qt::Key key) {
  QWidget* focus = window.focusWidget();
  QTest::keyClick(focus != nullptr ? focus : &window, key,
                  key == Qt::Key_Enter ? Qt::KeypadModifier : Qt::NoModifier);
}

std::string FocusName(QWidget& window) {
  QWidget* focus = window.focusWidget();
  while (focus != nullptr && focus->objectName().isEmpty())
    focus = focus->parentWidget();
  return focus != nullptr ? focus->objectName().toStdString() : std::string();
}

GuiTest::GuiTest() {
  EnsureApplication();
}

}  // namespace gui_testing
