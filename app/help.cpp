#include "app/help.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include "app/help_window.h"
#include "platform/qt/settings_store.h"

namespace varlo {

namespace {

UrlOpener& Opener() {
  static UrlOpener opener;
  return opener;
}

const QString kIndex = QStringLiteral("help/index.html");

}  // namespace

QString HelpIndexPath() {
  // The installer writes the folder as the user typed it; accept either separator.
  QString destination =
      CSettingsStore::ReadSystemString(QString::fromLatin1(CSettingsStore::kDestinationPath));
  destination.replace(QLatin1Char('\\'), QLatin1Char('/'));
  const QString installed = destination.isEmpty() ? kIndex : QDir(destination).filePath(kIndex);
  if (QFileInfo::exists(installed) && !destination.isEmpty()) return installed;

  QStringList candidates;
  const QString programDir = QCoreApplication::applicationDirPath();
  if (!programDir.isEmpty()) {
    candidates << QDir(programDir).filePath(kIndex)
               << QDir(programDir).filePath(QStringLiteral("../share/varlo/") + kIndex)
               << QDir(programDir).filePath(QStringLiteral("../") + kIndex);
  }
#ifdef VARLO_SOURCE_DIR
  candidates << QDir(QStringLiteral(VARLO_SOURCE_DIR)).filePath(kIndex);
#endif
  for (const QString& candidate : candidates) {
    if (QFileInfo::exists(candidate)) return QFileInfo(candidate).absoluteFilePath();
  }
  return installed;
}

void OpenHelpContents(QWidget* parent) {
  const QString index = HelpIndexPath();
  if (Opener()) {
    Opener()(QUrl::fromLocalFile(index));
  } else {
    ShowHelpWindow(index, parent);
  }
}

UrlOpener SetUrlOpener(UrlOpener opener) {
  UrlOpener previous = std::move(Opener());
  Opener() = std::move(opener);
  return previous;
}

}  // namespace varlo
