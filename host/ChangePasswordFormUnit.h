#pragma once

#include <memory>

#include "host/GuiSupportUnit.h"

namespace Ui {
class ChangePasswordForm;
}

// Sets a new administrator password, entered twice.
class TChangePasswordForm : public TModalForm {
  Q_OBJECT

 public:
  explicit TChangePasswordForm(QWidget* owner);
  ~TChangePasswordForm() override;

 private:
  void btnOKClick();

  std::unique_ptr<Ui::ChangePasswordForm> ui;
};

void ChangePassword();
