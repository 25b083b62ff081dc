#pragma once

#include <QMainWindow>
#include <chrono>
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
  // How long closing waits for connection threads (tests).
  void SetServerDeactivationWait(std::chrono::milliseconds wait);
  // True once a close was let through, also one that came before the window was
  // shown (a stop signal while creating it showed a message).
  bool HasClosed() const { return closed_; }

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
  bool closed_ = false;
};

// The main window while it exists.
extern TMainForm* MainForm;

// Sets the drivers' ShowOptions to show the lock options dialog.
void InstallGuiHooks();

// Where the main window runs: on a screen, or headless (no screen: nobody sees
// the window or a dialog, and nobody can close them).
enum class TWindowMode { OnScreen, Headless };

// Publishes the driver (when given) as Doorlock, then shows the main window until
// it closes, and destroys it on every way out. Headless, a window whose server
// could not listen serves nobody: it is not shown, and the result is false.
bool ShowDoorlockInterface(TBaseDoorlock* driver, TWindowMode mode = TWindowMode::OnScreen);
