#include "setup/setup_settings.h"

#include <QStringList>

namespace varlo {

namespace {

QSettings::Scope WritableScope() {
  QSettings system(QSettings::SystemScope, kSettingsOrganisation, kSettingsApplication);
  return system.isWritable() ? QSettings::SystemScope : QSettings::UserScope;
}

// The default value of a registry key has no name; QSettings needs one.
const QString kDefaultValueName = QStringLiteral("Default");

}  // namespace

CSetupSettings::CSetupSettings() : CSetupSettings(WritableScope()) {}

CSetupSettings::CSetupSettings(QSettings::Scope scope)
    : scope(scope),
      settings(std::make_unique<QSettings>(scope, kSettingsOrganisation, kSettingsApplication)) {
  // The system file is read on its own: a user file left from an earlier unprivileged install
  // must not pose as the machine's answers.
  settings->setFallbacksEnabled(false);
}

QString CSetupSettings::FileName() const {
  return settings->fileName();
}

CInstallerState CSetupSettings::ReadAnswers() const {
  CInstallerState state;
  state.destinationPath = settings->value(QStringLiteral("UserInfo/DestinationPath")).toString();
  state.nsDirectory = settings->value(QStringLiteral("UserInfo/NSDirectory")).toString();
  state.useNs = settings->value(QStringLiteral("UserInfo/UseNS"), 0).toUInt() != 0;
  return state;
}

void CSetupSettings::WriteAnswers(const CInstallerState& state) {
  settings->setValue(QStringLiteral("UserInfo/NSDirectory"), state.nsDirectory);
  settings->setValue(QStringLiteral("UserInfo/UseNS"), state.useNs ? 1 : 0);
  settings->setValue(QStringLiteral("UserInfo/DestinationPath"), state.destinationPath);
  settings->sync();
}

void CSetupSettings::WriteUninstallRecord(const QString& destinationPath) {
  settings->setValue(QStringLiteral("Uninstall/DisplayName"), QStringLiteral("Varlo Version 1.0"));
  // The destination as typed, like the original's "%s\setup.exe Uninstall".
  settings->setValue(QStringLiteral("Uninstall/UninstallString"),
                     QStringLiteral("%1/setup Uninstall").arg(destinationPath));
  settings->sync();
}

void CSetupSettings::RemoveUninstallRecord() {
  settings->remove(QStringLiteral("Uninstall"));
  settings->sync();
}

QString CSetupSettings::UninstallString() const {
  return settings->value(QStringLiteral("Uninstall/UninstallString")).toString();
}

QString CSetupSettings::MapKey(const QString& keyPath, const QString& name) {
  QStringList parts = QString(keyPath).replace(u'/', u'\\').split(u'\\', Qt::SkipEmptyParts);
  if (parts.size() < 3 || parts[0].compare(QStringLiteral("Software"), Qt::CaseInsensitive) != 0 ||
      parts[1].compare(QLatin1String(kSettingsOrganisation), Qt::CaseInsensitive) != 0 ||
      parts[2].compare(QLatin1String(kSettingsApplication), Qt::CaseInsensitive) != 0) {
    return {};
  }
  parts = parts.mid(3);
  if (name.isNull()) return parts.join(u'/');  // the key itself
  parts << (name.isEmpty() ? kDefaultValueName : name);
  return parts.join(u'/');
}

bool CSetupSettings::SetValue(const QString& keyPath, const QString& name, const QVariant& value) {
  const QString key = MapKey(keyPath, name.isNull() ? QStringLiteral("") : name);
  if (key.isEmpty()) return false;
  settings->setValue(key, value);
  return true;
}

bool CSetupSettings::RemoveValue(const QString& keyPath, const QString& name) {
  const QString key = MapKey(keyPath, name.isNull() ? QStringLiteral("") : name);
  if (key.isEmpty()) return false;
  settings->remove(key);
  return true;
}

bool CSetupSettings::RemoveKey(const QString& keyPath) {
  const QStringList parts = QString(keyPath).replace(u'/', u'\\').split(u'\\', Qt::SkipEmptyParts);
  // Removing the application's own root would take UserInfo with it, which uninstalling keeps.
  if (parts.size() < 4) return false;
  const QString key = MapKey(keyPath, QString());
  if (key.isEmpty()) return false;
  settings->remove(key);
  return true;
}

QVariant CSetupSettings::Value(const QString& keyPath, const QString& name) const {
  const QString key = MapKey(keyPath, name.isNull() ? QStringLiteral("") : name);
  return key.isEmpty() ? QVariant() : settings->value(key);
}

bool CSetupSettings::Sync() {
  settings->sync();
  return settings->status() == QSettings::NoError;
}

}  // namespace varlo
