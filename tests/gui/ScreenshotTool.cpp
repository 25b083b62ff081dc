// Shows each window of the program and saves a picture of it, for the docs.
// Usage: gui_screenshots <output directory>
#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QPixmap>
#include <QTest>
#include <cstdio>
#include <functional>

#include "encoders/OptionFormUnit.h"
#include "host/AboutFormUnit.h"
#include "host/ChangePasswordFormUnit.h"
#include "host/CheckPasswordFormUnit.h"
#include "host/MainFormUnit.h"
#include "host/SysOptionUnit.h"
#include "tests/support/CoreGlobals.h"
#include "tools/DoorlockTestFormUnit.h"

namespace {

bool Save(QWidget& window, const QDir& dir, const char* name) {
  window.show();
  QTest::qWait(300);  // let the window system map and paint it
  const QString file = dir.filePath(QString::fromLatin1(name));
  const bool saved = window.grab().save(file, "PNG");
  std::fprintf(saved ? stdout : stderr, "%s %s\n", saved ? "wrote" : "could not write",
               file.toLocal8Bit().constData());
  window.hide();
  return saved;
}

void Type(QWidget& form, const char* edit, const char* text) {
  QTest::keyClicks(form.findChild<QLineEdit*>(QString::fromLatin1(edit)), text);
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <output directory>\n", argv[0]);
    return 2;
  }
  const QDir dir(QString::fromLocal8Bit(argv[1]));
  testing_support::CoreGlobals globals;  // settings and log in a scratch directory
  SysOption->DoorlockPortNo = 0;

  bool ok = true;
  TMainForm main;
  ok = Save(main, dir, "main-window.png") && ok;
  main.show();
  {
    TCheckPasswordForm form(&main);
    Type(form, "edtPswd", "qelvim");
    ok = Save(form, dir, "password.png") && ok;
  }
  {
    TChangePasswordForm form(&main);
    Type(form, "edtPswd", "new-pass");
    Type(form, "edtConfirmPswd", "new-pass");
    ok = Save(form, dir, "change-password.png") && ok;
  }
  {
    TOptionForm form;
    ok = Save(form, dir, "options.png") && ok;
  }
  {
    TDoorlockTestForm form;
    ok = Save(form, dir, "test-dialog.png") && ok;
  }
  {
    TAboutForm form;
    ok = Save(form, dir, "about.png") && ok;
  }
  return ok ? 0 : 1;
}
