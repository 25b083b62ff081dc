#pragma once

#include <memory>

#include "host/GuiSupportUnit.h"

namespace Ui {
class OptionForm;
}

// Edits the lock type, the encoder port and the hotel code kept in Option.
class TOptionForm : public TModalForm {
  Q_OBJECT

 public:
  explicit TOptionForm(QWidget* owner = nullptr);
  ~TOptionForm() override;

 private:
  void FormCreate();
  void OKBtnClick();
  void CancelBtnClick();

  std::unique_ptr<Ui::OptionForm> ui;
};

// What the drivers' ShowOptions shows: the dialog, modal, without an owner.
void ShowOptionsDialog();
