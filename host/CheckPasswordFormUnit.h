#pragma once

#include <memory>

#include "host/GuiSupportUnit.h"

namespace Ui {
class CheckPasswordForm;
}

// The administrator password prompt.
class TCheckPasswordForm : public TModalForm {
  Q_OBJECT

 public:
  explicit TCheckPasswordForm(QWidget* owner);
  ~TCheckPasswordForm() override;

 private:
  void btnOKClick();

  std::unique_ptr<Ui::CheckPasswordForm> ui;
};

// Asks for the administrator password; true only when the right one was given
// and confirmed with OK.
bool CheckPassword();
