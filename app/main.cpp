// The desktop program: a multi-document window on networks of queues and traffic classes.
#include <QApplication>

#include "app/varlo_app.h"

int main(int argc, char* argv[]) {
  QApplication qtApp(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Varlo"));
  QApplication::setOrganizationName(QStringLiteral("Tolvane"));
  QApplication::setApplicationVersion(QStringLiteral("1.0.0.1"));

  varlo::CVarloApp app;
  if (!app.InitInstance(QApplication::arguments().mid(1))) return app.ExitCode();
  return QApplication::exec();
}
