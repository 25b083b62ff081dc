#pragma once

#include <QMainWindow>
#include <memory>

class QCloseEvent;
class TBaseDoorlock;
class TDoorlockServer;

namespace Ui {
class MainForm;
}

// The main window. While it exists its listening server serves the
// hotel-management system.
class TMainForm : public QMainWindow {
  Q_OBJECT

 public:
  // FormCreate: fixes the window's locale and title and starts the server.
  explicit TMainForm(QWidget* parent = nullptr);
  // FormDestroy: stops the server.
  ~TMainForm() override;

  void StartServer();
  void StopServer();

  // Closes without asking for the password, also from inside an open dialog
  // (the program's answer to SIGINT and SIGTERM).
  void CloseWithoutPassword();

  // The port the server listens on while active.
  int ServerPort() const;
  bool ServerActive() const;

 signals:
  void Closed();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void FormCreate();
  void FormDestroy();
  bool FormCloseQuery();
  void OptionActionExecute();
  void TestActionExecute();
  void ChangePasswordActionExecute();
  void AboutActionExecute();
  void ExitActionExecute();

  std::unique_ptr<Ui::MainForm> ui;
  std::unique_ptr<TDoorlockServer> TCPServer;
  bool closeWithoutPassword_ = false;
};

// The main window while it exists.
extern TMainForm* MainForm;

// Sets the drivers' ShowOptions to show the lock options dialog.
void InstallGuiHooks();

// Publishes the driver (when given) as Doorlock, then shows the main window until
// it closes, and destroys it on every way out.
void ShowDoorlockInterface(TBaseDoorlock* driver);
