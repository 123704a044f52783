#include "setup/desktop_registration.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSaveFile>
#include <QStandardPaths>

#include "setup/file_queue.h"

namespace varlo {

namespace {

bool WriteTextFile(const QString& path, const QString& text) {
  if (!QDir().mkpath(QFileInfo(path).absolutePath())) return false;
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly)) return false;
  file.write(text.toUtf8());
  return file.commit();
}

// A desktop entry value is one line; a path with a line break in it cannot be written as one.
QString OneLine(const QString& text) {
  QString result = text;
  result.replace(u'\n', u' ').replace(u'\r', u' ');
  return result;
}

}  // namespace

QString DesktopExecArgument(const QString& argument) {
  QString quoted = QStringLiteral("\"");
  for (const QChar c : OneLine(argument)) {
    if (c == u'"' || c == u'`' || c == u'$' || c == u'\\') quoted += u'\\';
    if (c == u'%') quoted += u'%';
    quoted += c;
  }
  quoted += u'"';
  return quoted.replace(QStringLiteral("\\"), QStringLiteral("\\\\"));
}

QString VarloDesktopEntry(const QString& varloPath, const QString& iconPath) {
  return QStringLiteral(
             "[Desktop Entry]\n"
             "Type=Application\n"
             "Name=Varlo\n"
             "GenericName=Network evaluation\n"
             "Comment=Evaluate packet networks with TCP and UDP flows\n"
             "Exec=%1 %f\n"
             "Icon=%2\n"
             "MimeType=%3;\n"
             "Categories=Science;\n"
             "Terminal=false\n")
      .arg(DesktopExecArgument(varloPath), OneLine(iconPath), QLatin1String(kNetworkMimeType));
}

QString UninstallDesktopEntry(const QString& setupPath, const QString& iconPath) {
  return QStringLiteral(
             "[Desktop Entry]\n"
             "Type=Application\n"
             "Name=Uninstall Varlo\n"
             "Comment=Remove Varlo 1.0 from this computer\n"
             "Exec=%1 Uninstall\n"
             "Icon=%2\n"
             "Categories=Settings;\n"
             "Terminal=false\n")
      .arg(DesktopExecArgument(setupPath), OneLine(iconPath));
}

QString MimePackageXml() {
  QFile file(QStringLiteral(":/setup/varlo.xml"));
  if (!file.open(QIODevice::ReadOnly)) return {};
  return QString::fromUtf8(file.readAll());
}

CDesktopRegistration::CDesktopRegistration(const QString& dataHome)
    : dataHome(dataHome.isEmpty() ? QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
                                  : dataHome) {}

QString CDesktopRegistration::MimePackagePath() const {
  return QDir(dataHome).filePath(QStringLiteral("mime/packages/varlo.xml"));
}

QString CDesktopRegistration::DesktopFilePath() const {
  return QDir(dataHome).filePath(QStringLiteral("applications/varlo.desktop"));
}

QString CDesktopRegistration::UninstallDesktopFilePath() const {
  return QDir(dataHome).filePath(QStringLiteral("applications/varlo-uninstall.desktop"));
}

QString CDesktopRegistration::IconPath() const {
  return QDir(dataHome).filePath(QStringLiteral("icons/hicolor/scalable/apps/varlo.svg"));
}

bool CDesktopRegistration::Register(const QString& destinationPath) {
  const QDir destination(InfPathToLocal(QFileInfo(destinationPath).absoluteFilePath()));
  const QString installedIcon = destination.filePath(QStringLiteral("icons/varlo.svg"));
  const QString xml = MimePackageXml();
  bool ok = !xml.isEmpty() && WriteTextFile(MimePackagePath(), xml);
  ok = WriteTextFile(DesktopFilePath(),
                     VarloDesktopEntry(destination.filePath(QStringLiteral("varlo")), installedIcon)) &&
       ok;
  ok = WriteTextFile(UninstallDesktopFilePath(),
                     UninstallDesktopEntry(destination.filePath(QStringLiteral("setup")), installedIcon)) &&
       ok;
  // The MIME type names its icon by theme name, so the theme gets a copy.
  if (QFileInfo::exists(installedIcon) && QDir().mkpath(QFileInfo(IconPath()).absolutePath())) {
    QFile::remove(IconPath());
    QFile::copy(installedIcon, IconPath());
  }
  RefreshDatabases();
  return ok;
}

void CDesktopRegistration::Unregister() {
  QFile::remove(MimePackagePath());
  QFile::remove(DesktopFilePath());
  QFile::remove(UninstallDesktopFilePath());
  QFile::remove(IconPath());
  RefreshDatabases();
}

void CDesktopRegistration::RefreshDatabases() const {
  const QString mimeTool = QStandardPaths::findExecutable(QStringLiteral("update-mime-database"));
  if (!mimeTool.isEmpty() && QFileInfo::exists(QDir(dataHome).filePath(QStringLiteral("mime/packages")))) {
    QProcess::execute(mimeTool, {QDir(dataHome).filePath(QStringLiteral("mime"))});
  }
  const QString desktopTool = QStandardPaths::findExecutable(QStringLiteral("update-desktop-database"));
  if (!desktopTool.isEmpty() && QFileInfo::exists(QDir(dataHome).filePath(QStringLiteral("applications")))) {
    QProcess::execute(desktopTool,
                      {QStringLiteral("-q"), QDir(dataHome).filePath(QStringLiteral("applications"))});
  }
}

}  // namespace varlo
