#include "host/GuiSupportUnit.h"

#include <QAbstractButton>
#include <QApplication>
#include <QPushButton>
#include <QScreen>
#include <exception>

#include "platform/TextCodec.h"

namespace {

TMessageBoxHook& MessageBoxHook() {
  static TMessageBoxHook hook;
  return hook;
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
  connect(button, &QAbstractButton::clicked, this, [this, modalResult, handler]() {
    modalResult_ = modalResult;
    RunGuarded(handler);
    if (modalResult_ != mrNone)
      done(modalResult_);
  });
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
