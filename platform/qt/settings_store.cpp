#include "platform/qt/settings_store.h"

#include <QSettings>
#include <memory>

namespace varlo {

namespace {

QString& SystemFileOverride() {
  static QString path;
  return path;
}

std::unique_ptr<QSettings> OpenSystemStore() {
  if (!SystemFileOverride().isEmpty()) {
    return std::make_unique<QSettings>(SystemFileOverride(), QSettings::IniFormat);
  }
  return std::make_unique<QSettings>(QSettings::SystemScope, QStringLiteral("Tolvane"),
                                     QStringLiteral("Varlo"));
}

// The framework's per-user settings key; the recent files sit in its "Recent File List" group
// as File1 .. File4, so a settings file written by either side reads the same.
std::unique_ptr<QSettings> OpenUserStore() {
  return std::make_unique<QSettings>(QSettings::UserScope,
                                     QStringLiteral("Local AppWizard-Generated Applications"),
                                     QStringLiteral("Varlo"));
}

const QString kUserInfoGroup = QStringLiteral("UserInfo");
const QString kRecentGroup = QStringLiteral("Recent File List");
const QString kModelKey = QStringLiteral("Computation/Model");

}  // namespace

namespace {

// The installer writes machine-wide when it has the rights, and into the installing user's own
// configuration otherwise; the machine-wide value wins where both exist.
QVariant ReadInstallerValue(const QString& name) {
  const QString key = kUserInfoGroup + QLatin1Char('/') + name;
  auto system = OpenSystemStore();
  if (system->contains(key) || !SystemFileOverride().isEmpty()) return system->value(key);
  QSettings user(QSettings::UserScope, QStringLiteral("Tolvane"), QStringLiteral("Varlo"));
  user.setFallbacksEnabled(false);
  return user.value(key);
}

}  // namespace

QString CSettingsStore::ReadSystemString(const QString& name) {
  return ReadInstallerValue(name).toString();
}

int CSettingsStore::ReadSystemInt(const QString& name, int fallback) {
  bool ok = false;
  const int value = ReadInstallerValue(name).toInt(&ok);
  return ok ? value : fallback;
}

namespace {
// The user's own choices live apart from the installer's group, so that they win over a
// machine-wide value the user cannot change.
const QString kOptionsGroup = QStringLiteral("Options");
}  // namespace

QVariant CSettingsStore::ReadOption(const QString& name) {
  auto user = OpenUserStore();
  const QString key = kOptionsGroup + QLatin1Char('/') + name;
  if (user->contains(key)) return user->value(key);
  return ReadInstallerValue(name);
}

bool CSettingsStore::WriteOption(const QString& name, const QVariant& value) {
  auto user = OpenUserStore();
  user->setValue(kOptionsGroup + QLatin1Char('/') + name, value);
  user->sync();
  return user->status() == QSettings::NoError;
}

bool CSettingsStore::WriteSystemValue(const QString& name, const QVariant& value) {
  auto store = OpenSystemStore();
  if (!store->isWritable()) return false;
  store->beginGroup(kUserInfoGroup);
  store->setValue(name, value);
  store->endGroup();
  store->sync();
  return store->status() == QSettings::NoError;
}

QString CSettingsStore::ReadEvaluationModel() {
  auto store = OpenUserStore();
  return store->value(kModelKey).toString();
}

void CSettingsStore::WriteEvaluationModel(const QString& name) {
  auto store = OpenUserStore();
  store->setValue(kModelKey, name);
}

QStringList CSettingsStore::ReadRecentFiles() {
  auto store = OpenUserStore();
  store->beginGroup(kRecentGroup);
  QStringList files;
  for (int i = 1; i <= kRecentFileCount; ++i) {
    const QString file = store->value(QStringLiteral("File%1").arg(i)).toString();
    if (!file.isEmpty()) files.append(file);
  }
  return files;
}

int CSettingsStore::ReadWorkerThreads() {
  auto store = OpenUserStore();
  bool ok = false;
  const int threads = store->value(QStringLiteral("Settings/WorkerThreads"), 0).toInt(&ok);
  return ok && threads >= 0 ? threads : 0;
}

void CSettingsStore::WriteWorkerThreads(int threads) {
  OpenUserStore()->setValue(QStringLiteral("Settings/WorkerThreads"), threads);
}

void CSettingsStore::WriteRecentFiles(const QStringList& files) {
  auto store = OpenUserStore();
  store->beginGroup(kRecentGroup);
  for (int i = 1; i <= kRecentFileCount; ++i) {
    const QString key = QStringLiteral("File%1").arg(i);
    if (i <= files.size()) {
      store->setValue(key, files[i - 1]);
    } else {
      store->remove(key);
    }
  }
}

void CSettingsStore::SetSystemFileForTesting(const QString& iniPath) {
  SystemFileOverride() = iniPath;
}

}  // namespace varlo
