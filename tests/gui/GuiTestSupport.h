#pragma once

#include <gtest/gtest.h>

#include <QDialog>
#include <QMessageBox>
#include <QString>
#include <QTimer>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "tests/support/CoreGlobals.h"

// Failures show texts as text.
inline void PrintTo(const QString& text, std::ostream* out) {
  *out << '"' << text.toStdString() << '"';
}

namespace gui_testing {

// The one QApplication of a test executable, on Qt's offscreen platform.
void EnsureApplication();

struct Message {
  QString text;
  QString caption;
  QMessageBox::Icon icon;
};

// Answers every message box instead of a person and keeps what it showed.
class MessageBoxRecorder {
 public:
  MessageBoxRecorder();
  ~MessageBoxRecorder();
  MessageBoxRecorder(const MessageBoxRecorder&) = delete;
  MessageBoxRecorder& operator=(const MessageBoxRecorder&) = delete;

  const std::vector<Message>& Messages() const { return messages_; }
  std::vector<QString> Texts() const;

 private:
  std::vector<Message> messages_;
};

// Drives the next modal dialog of the given object name once its loop runs. A
// dialog still open when drive returns fails the test and is closed, so that a
// test never waits for a person.
class ModalDialogDriver {
 public:
  ModalDialogDriver(const char* objectName, std::function<void(QDialog&)> drive);
  ~ModalDialogDriver();
  ModalDialogDriver(const ModalDialogDriver&) = delete;
  ModalDialogDriver& operator=(const ModalDialogDriver&) = delete;

  bool Ran() const { return ran_; }

 private:
  void Poll();

  QString objectName_;
  std::function<void(QDialog&)> drive_;
  QTimer timer_;
  bool ran_ = false;
};

// A child widget by object name; fails the test when there is none.
template <typename Widget>
Widget& Child(QWidget& parent, const char* name) {
  auto* child = parent.findChild<Widget*>(QString::fromLatin1(name));
  if (child == nullptr) {
    ADD_FAILURE() << "no child " << name;
    throw std::runtime_error(std::string("no child ") + name);
  }
  return *child;
}

// Presses a button as a person does, with the mouse.
void Click(QWidget& button);

// Moves the focus on with Tab, as a person does, from the window's focus widget.
void PressTab(QWidget& window, int times = 1);
// Presses Enter on the window's focus widget: Qt::Key_Return, or Qt::Key_Enter as
// the keypad sends it.
void PressEnter(QWidget& window, Qt::Key key = Qt::Key_Return);
// The object name of the window's focus widget, or of the named widget holding it
// (an editable combo box passes the focus to its own line edit).
std::string FocusName(QWidget& window);

// Settings, log and message boxes of a GUI test, on a fresh directory.
class GuiTest : public ::testing::Test {
 protected:
  GuiTest();

  testing_support::CoreGlobals globals;
  MessageBoxRecorder messages;
};

}  // namespace gui_testing
