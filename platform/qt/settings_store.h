// The settings store: the installer's values and the program's per-user settings on QSettings.
//
// The installer records its answers machine-wide (organisation "Tolvane", application "Varlo",
// group "UserInfo"): an INI file under the XDG system configuration folders on Linux, the
// local-machine registry on Windows; without the rights for that, in the installing user's own
// configuration, which the program reads where the machine-wide store has no value. Per-user settings (the
// recent file list) live in the user's own configuration. Tests point XDG_CONFIG_DIRS and XDG_CONFIG_HOME at
// temporary folders, or name a system file outright with SetSystemFileForTesting.
#pragma once

#include <QString>
#include <QStringList>
#include <QVariant>

namespace varlo {

class CSettingsStore {
 public:
  // Value names of the installer's group.
  static constexpr const char* kUseNS = "UseNS";                      // DWORD 0/1
  static constexpr const char* kDestinationPath = "DestinationPath";  // installation folder
  static constexpr const char* kNSDirectory = "NSDirectory";          // folder of ns

  // Reads a string of the installer's group; empty when the value or the store is missing.
  static QString ReadSystemString(const QString& name);
  // Reads a number of the installer's group; fallback when missing or not a number.
  static int ReadSystemInt(const QString& name, int fallback = 0);
  // Writes a value into the installer's group (the installer's side). Returns false when the
  // store cannot be written (no rights to the system folder, say).
  static bool WriteSystemValue(const QString& name, const QVariant& value);

  // A setting the user can change in Tools > Options ("UseNS", "NSDirectory"): the user's own
  // choice when there is one, else the installer's value. WriteOption stores the user's choice.
  static QVariant ReadOption(const QString& name);
  static bool WriteOption(const QString& name, const QVariant& value);

  // The recent-file list, most recent first, at most four entries.
  static QStringList ReadRecentFiles();
  static void WriteRecentFiles(const QStringList& files);

  // The evaluation model the user chose last ("classic" or "refined"); empty when never chosen.
  static QString ReadEvaluationModel();
  static void WriteEvaluationModel(const QString& name);

  // Reads and writes go to this INI file instead of the system store; empty restores the store.
  static void SetSystemFileForTesting(const QString& iniPath);

  static constexpr int kRecentFileCount = 4;

  // The threads the evaluation runs use (per user; 0, the default, means every core).
  static int ReadWorkerThreads();
  static void WriteWorkerThreads(int threads);
};

}  // namespace varlo
