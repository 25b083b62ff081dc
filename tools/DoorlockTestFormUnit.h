#pragma once

#include <memory>

#include "host/GuiSupportUnit.h"

namespace Ui {
class DoorlockTestForm;
}

// Drives the card encoder by hand: port, buzzer, and writing, reading and
// cancelling a card.
class TDoorlockTestForm : public TModalForm {
  Q_OBJECT

 public:
  explicit TDoorlockTestForm(QWidget* owner = nullptr);
  ~TDoorlockTestForm() override;

 private:
  void FormCreate();
  void OpenPortBtnClick();
  void ClosePortBtnClick();
  void beepBtnClick();
  void WriteCardBtnClick();
  void ReadCardBtnClick();
  void EraseCardBtnClick();

  std::unique_ptr<Ui::DoorlockTestForm> ui;
};

void ShowDoorlockTest();
