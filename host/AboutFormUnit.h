#pragma once

#include <memory>

#include "host/GuiSupportUnit.h"

namespace Ui {
class AboutForm;
}

class TAboutForm : public TModalForm {
  Q_OBJECT

 public:
  explicit TAboutForm(QWidget* owner = nullptr);
  ~TAboutForm() override;

 private:
  void FormCreate();

  std::unique_ptr<Ui::AboutForm> ui;
};

void ShowAbout();
