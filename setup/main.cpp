// setup: installs Varlo 1.0 from the folder it lies in, or uninstalls it when "Uninstall" appears
// on its command line.
#include <QApplication>
#include <QMetaObject>

#include "setup/asker.h"
#include "setup/desktop_registration.h"
#include "setup/installer.h"
#include "setup/setup_settings.h"
#include "setup/setup_window.h"

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  varlo::InitSetupResources();
  const varlo::SetupMode mode = varlo::ModeFromArguments(QApplication::arguments().mid(1));

  varlo::CSetupWindow window(mode == varlo::SetupMode::kUninstall);
  window.ShowFilling();

  varlo::CSetupSettings machine;
  varlo::CSetupSettings user(QSettings::UserScope);
  varlo::CDesktopRegistration registration;
  varlo::CDialogAsker asker;
  varlo::CInstaller installer(mode, QCoreApplication::applicationDirPath(), asker, machine, user,
                              registration, &window);
  int exitCode = 0;
  // The run starts once the window is up, the way the original posted itself a command.
  QMetaObject::invokeMethod(
      &window,
      [&] {
        window.LockPlace();
        exitCode = installer.Run() == varlo::SetupOutcome::kFailed ? 1 : 0;
        window.close();
        QApplication::quit();
      },
      Qt::QueuedConnection);
  app.exec();
  return exitCode;
}
