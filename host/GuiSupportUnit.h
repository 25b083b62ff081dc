#pragma once

#include <QDialog>
#include <QFont>
#include <QMessageBox>
#include <QString>
#include <QStringList>
#include <functional>
#include <string>
#include <string_view>

class QAbstractButton;
class QPushButton;

// Modal results as the callers of the dialogs see them.
enum TModalResult : int { mrNone = 0, mrOk = 1, mrCancel = 2 };

// Every message box of the program goes through here: caption "提示", one OK
// button. A hook set by tests answers instead of a person.
using TMessageBoxHook =
    std::function<void(const QString& text, const QString& caption, QMessageBox::Icon icon)>;
void SetMessageBoxHook(TMessageBoxHook hook);
void ShowMessageBox(const QString& text, QMessageBox::Icon icon);

// Runs an event handler; an error that leaves it is shown in a message box and the
// window goes on, as no error may leave a Qt slot.
void RunGuarded(const std::function<void()>& handler) noexcept;

template <typename Handler>
auto Guarded(Handler handler) {
  return [handler = std::move(handler)]() { RunGuarded(handler); };
}

// The system's GBK texts and Qt's UTF-16, both ways.
QString FromGbk(std::string_view gbk);
std::string ToGbk(const QString& text);

// The Chinese dialog font: "宋体" where present, else a CJK font that Linux has.
QFont ChineseFont(int pixelSize);
// A font whose first choice may lack Chinese glyphs, with the same fallbacks.
QFont FontWithChineseFallback(const QString& family, int pixelSize);

// A modal dialog with the button behaviour the dialogs rely on: a press sets the
// modal result to the button's own, then runs the handler; the dialog closes as
// soon as the result is not mrNone when the handler returns. Esc and the
// title-bar close button give mrCancel. Enter presses the button that has the
// focus, and the designed default button only while the focus is elsewhere.
class TModalForm : public QDialog {
 public:
  using QDialog::QDialog;

  int ShowModal() { return exec(); }
  int ModalResult() const { return modalResult_; }
  void SetModalResult(int result) { modalResult_ = result; }
  // Closing a modal form sets its result to mrCancel.
  void Close() { modalResult_ = mrCancel; }

  void reject() override;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

  void BindButton(QAbstractButton* button, int modalResult, std::function<void()> handler = {});
  // Client area of a fixed size, centred over the parent or else on the screen.
  void FixClientSize(int width, int height);

 private:
  void MakeDefault(QPushButton* button);

  int modalResult_ = mrNone;
  QPushButton* defaultButton_ = nullptr;  // as designed; none in some dialogs
};
