// The settings store that setup writes and `varlo` reads: QSettings with organisation "Tolvane" and
// application "Varlo" (the registry on Windows; on Linux the INI file Tolvane/Varlo.conf in the first
// folder of XDG_CONFIG_DIRS, /etc/xdg by default, or under XDG_CONFIG_HOME, ~/.config by default,
// when setup lacks the rights for the system one). setup links nothing of varlo's, so this is its
// own small access with the same mapping.
#pragma once

#include <QSettings>
#include <QString>
#include <QVariant>
#include <memory>

namespace varlo {

// The answers of the wizard, kept between installations under "UserInfo".
struct CInstallerState {
  QString destinationPath;
  QString nsDirectory;
  bool useNs = false;
};

class CSetupSettings {
 public:
  // The system scope when it can be written, else the user scope.
  CSetupSettings();
  explicit CSetupSettings(QSettings::Scope scope);

  QSettings::Scope Scope() const { return scope; }
  QString FileName() const;

  // Missing values read as empty texts and an unchecked box.
  CInstallerState ReadAnswers() const;
  void WriteAnswers(const CInstallerState& state);

  // The uninstall record: "DisplayName" and "UninstallString" under the group "Uninstall".
  void WriteUninstallRecord(const QString& destinationPath);
  void RemoveUninstallRecord();
  QString UninstallString() const;

  // Registry-style access for the INF's registry entries. `keyPath` is written as in the registry,
  // "Software\Tolvane\Varlo\Group"; only keys of our own organisation and application map onto this
  // store, the rest are refused (false). An empty value name is the key's default value.
  bool SetValue(const QString& keyPath, const QString& name, const QVariant& value);
  bool RemoveValue(const QString& keyPath, const QString& name);
  bool RemoveKey(const QString& keyPath);
  QVariant Value(const QString& keyPath, const QString& name) const;

  // Writes pending changes to disk; false when the file could not be written.
  bool Sync();

 private:
  // The QSettings key of a registry key path and value name; empty when the path is not ours.
  static QString MapKey(const QString& keyPath, const QString& name);

  QSettings::Scope scope;
  std::unique_ptr<QSettings> settings;
};

inline constexpr char kSettingsOrganisation[] = "Tolvane";
inline constexpr char kSettingsApplication[] = "Varlo";

}  // namespace varlo
