// The program: brings up the program-wide objects in their fixed order, creates the
// configured driver and opens its port, runs the main window until it closes, then
// takes everything down in reverse order.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QSocketNotifier>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "encoders/BaseDoorlockUnit.h"
#include "encoders/EncoderLibraries.h"
#include "encoders/VeskDoorlockUnit.h"
#include "encoders/VeskV9DoorlockUnit.h"
#include "host/DoorlockServerUnit.h"
#include "host/GuiSupportUnit.h"
#include "host/LogFileUnit.h"
#include "host/MainFormUnit.h"
#include "host/OptionUnit.h"
#include "host/ProgramObjectsUnit.h"
#include "platform/Paths.h"
#include "platform/TextCodec.h"

namespace {

constexpr const char* kProgram = "doorlock-interface";

// SIGINT and SIGTERM reach the main thread through this pipe.
int signalPipe[2] = {-1, -1};

void OnStopSignal(int) {
  const char byte = 1;
  [[maybe_unused]] const ssize_t n = ::write(signalPipe[1], &byte, 1);
}

void InstallStopSignals() {
  if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
    return;
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

// Qt warns about things that do not matter here: size hints of a window nobody
// sees, a runtime directory the program never uses.
void QuietHeadlessMessages(QtMsgType type, const QMessageLogContext&, const QString& message) {
  if (message.contains("propagateSizeHints") || message.contains("XDG_RUNTIME_DIR"))
    return;
  std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
  if (type == QtFatalMsg)
    std::abort();
}

// Without a display Qt could start no platform of its own choice; the caller's
// choice stands.
void ChooseOffscreenWithoutDisplay() {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY") &&
      qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
}

// Decided from the platform in use, however it was chosen.
bool HasScreen() {
  const QString platform = QGuiApplication::platformName();
  return platform != QLatin1String("offscreen") && platform != QLatin1String("minimal") &&
         QGuiApplication::primaryScreen() != nullptr;
}

// The driver named by the exact text of the lock type, "IC" tested first.
std::unique_ptr<TBaseDoorlock> CreateDriver(const TEncoderLibraries& libraries) {
  const std::string type = Option->DoorlockType;
  if (type == "IC")
    return std::make_unique<TVeskDoorlock>(libraries.IC32());
  if (type == "RF-V9")
    return std::make_unique<TVeskV9Doorlock>(libraries.RFL32(), libraries.Project2());
  // Requests then answer "500"; the log tells the operator why.
  WriteLog(plat::Utf8ToGbk("未知的门锁类型，不使用门锁: ") + type);
  return nullptr;
}

}  // namespace

int main(int argc, char** argv) {
  // The maker's libraries are bound before anything else happens; without them the
  // program does not start and touches no file.
  std::unique_ptr<TEncoderLibraries> libraries;
  try {
    libraries = std::make_unique<TEncoderLibraries>();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s: %s\n", kProgram, e.what());
    return 1;
  }

  ChooseOffscreenWithoutDisplay();
  qInstallMessageHandler(QuietHeadlessMessages);
  InstallStopSignals();

  // Option, LogFile, SysOption and the record store now; the driver below.
  TProgramObjects objects(plat::ExecutableDir());

  int status = 0;
  {
    QApplication application(argc, argv);
    InstallGuiHooks();
    const bool headless = !HasScreen();
    if (headless) {
      std::fprintf(stderr,
                   "%s: no screen (Qt platform \"%s\"), so the window is not shown; the "
                   "interface runs all the same.\n"
                   "%s: stop it with Ctrl+C or: kill %d\n",
                   kProgram, QGuiApplication::platformName().toLocal8Bit().constData(), kProgram,
                   static_cast<int>(::getpid()));
      // Nobody could close a box nobody sees: its text goes to standard error instead.
      SetMessageBoxHook([](const QString& text, const QString&, QMessageBox::Icon) {
        std::fprintf(stderr, "%s: %s\n", kProgram, text.toLocal8Bit().constData());
      });
    }
    QSocketNotifier stopNotifier(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&stopNotifier, &QSocketNotifier::activated, [] {
      char bytes[16];
      while (::read(signalPipe[0], bytes, sizeof bytes) > 0) {
      }
      if (MainForm != nullptr)
        MainForm->CloseWithoutPassword();
    });

    objects.SetDriver(CreateDriver(*libraries));
    TBaseDoorlock* const driver = Doorlock;
    try {
      if (driver)
        driver->OpenPort();
      const bool served =
          ShowDoorlockInterface(driver, headless ? TWindowMode::Headless : TWindowMode::OnScreen);
      // A connection thread still inside the driver keeps its port.
      if (driver && ConnectionThreadsRunning() == 0)
        driver->ClosePort();
      if (!served) {
        // A service manager sees the failure and can start it again.
        std::fprintf(stderr,
                     "%s: no screen and no port to listen on: nobody is served; stopping.\n",
                     kProgram);
        status = 1;
      }
    } catch (const std::exception& e) {
      std::fprintf(stderr, "%s: %s\n", kProgram, plat::GbkToUtf8(e.what()).c_str());
      status = 1;
    }
  }

  if (ConnectionThreadsRunning() > 0) {
    // Connection threads outlived the server's wait and may still use every object and
    // the encoder libraries: nothing is destroyed under them, and the process ends here.
    objects.KeepForever();
    static_cast<void>(libraries.release());
    std::fflush(nullptr);
    std::_Exit(status);
  }
  return status;  // the driver, the record store, SysOption, the log and Option go, in that order
}
