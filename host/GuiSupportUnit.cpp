#include "host/GuiSupportUnit.h"

#include <QAbstractButton>
#include <QApplication>
#include <QKeyEvent>
#include <QPushButton>
#include <QScreen>
#include <exception>

#include "platform/TextCodec.h"

namespace {

TMessageBoxHook& MessageBoxHook() {
  static TMessageBoxHook hook;
  return hook;
}

bool IsEnter(const QKeyEvent& key) {
  return (key.key() == Qt::Key_Return && key.modifiers() == Qt::NoModifier) ||
         (key.key() == Qt::Key_Enter && (key.modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier);
}

QStringList ChineseFamilies() {
  return {QStringLiteral("宋体"), QStringLiteral("WenQuanYi Micro Hei")};
}

}  // namespace

void SetMessageBoxHook(TMessageBoxHook hook) {
  MessageBoxHook() = std::move(hook);
}

void ShowMessageBox(const QString& text, QMessageBox::Icon icon) {
  const QString caption = QStringLiteral("提示");
  if (MessageBoxHook()) {
    MessageBoxHook()(text, caption, icon);
    return;
  }
  QWidget* owner = QApplication::activeModalWidget();
  if (owner == nullptr)
    owner = QApplication::activeWindow();
  QMessageBox box(icon, caption, text, QMessageBox::NoButton, owner);
  box.setFont(ChineseFont(12));
  box.addButton(QStringLiteral("确定"), QMessageBox::AcceptRole);
  box.exec();
}

void RunGuarded(const std::function<void()>& handler) noexcept {
  try {
    try {
      if (handler)
        handler();
    } catch (const std::exception& error) {
      // The core's messages are GBK, like every text inside the system.
      ShowMessageBox(FromGbk(error.what()), QMessageBox::Critical);
    } catch (...) {
      ShowMessageBox(QStringLiteral("Unknown error"), QMessageBox::Critical);
    }
  } catch (...) {
    // Showing the message failed as well; the window must go on all the same.
  }
}

QString FromGbk(std::string_view gbk) {
  return QString::fromStdString(plat::GbkToUtf8(gbk));
}

std::string ToGbk(const QString& text) {
  return plat::Utf8ToGbk(text.toStdString());
}

QFont ChineseFont(int pixelSize) {
  QFont font;
  font.setFamilies(ChineseFamilies());
  font.setPixelSize(pixelSize);
  return font;
}

QFont FontWithChineseFallback(const QString& family, int pixelSize) {
  QFont font = ChineseFont(pixelSize);
  font.setFamilies(QStringList{family} + ChineseFamilies());
  return font;
}

void TModalForm::reject() {
  modalResult_ = mrCancel;
  done(mrCancel);
}

void TModalForm::BindButton(QAbstractButton* button, int modalResult,
                            std::function<void()> handler) {
  if (auto* pushButton = qobject_cast<QPushButton*>(button)) {
    if (pushButton->isDefault())
      defaultButton_ = pushButton;
    // Qt's auto-default keeps the last focused button as the default of a dialog
    // designed without one, so that Enter in an edit box would press it; the
    // filter below does what the dialogs need instead.
    pushButton->setAutoDefault(false);
    pushButton->installEventFilter(this);
  }
  connect(button, &QAbstractButton::clicked, this, [this, modalResult, handler]() {
    modalResult_ = modalResult;
    RunGuarded(handler);
    if (modalResult_ != mrNone)
      done(modalResult_);
  });
}

bool TModalForm::eventFilter(QObject* watched, QEvent* event) {
  auto* button = qobject_cast<QPushButton*>(watched);
  if (button == nullptr)
    return QDialog::eventFilter(watched, event);
  switch (event->type()) {
    case QEvent::FocusIn:
      // The focused button shows itself as the one Enter presses.
      MakeDefault(button);
      break;
    case QEvent::FocusOut:
      MakeDefault(defaultButton_);
      break;
    case QEvent::KeyPress:
      if (IsEnter(*static_cast<QKeyEvent*>(event)) && button->isEnabled()) {
        button->click();
        return true;
      }
      break;
    default:
      break;
  }
  return QDialog::eventFilter(watched, event);
}

void TModalForm::keyPressEvent(QKeyEvent* event) {
  if (!IsEnter(*event)) {
    QDialog::keyPressEvent(event);
    return;
  }
  // The designed default, whichever button looks the default: that look follows
  // focus events, which a window that is not active does not get.
  if (defaultButton_ != nullptr && defaultButton_->isVisible() && defaultButton_->isEnabled())
    defaultButton_->click();
}

void TModalForm::MakeDefault(QPushButton* button) {
  for (QPushButton* other : findChildren<QPushButton*>()) {
    // A message box over the dialog is its child too, and keeps its own default.
    if (other != button && other->window() == this)
      other->setDefault(false);
  }
  if (button != nullptr)
    button->setDefault(true);
}

void TModalForm::FixClientSize(int width, int height) {
  setFixedSize(width, height);
  // A fixed dialog frame: no minimise, maximise or help button.
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
  const QRect area = parentWidget() != nullptr ? parentWidget()->window()->frameGeometry()
                     : screen() != nullptr     ? screen()->availableGeometry()
                                               : QRect();
  if (area.isValid())
    move(area.center() - QPoint(width / 2, height / 2));
}
