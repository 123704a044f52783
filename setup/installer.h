// One run of setup: install (wizard, settings, registrations, files) or uninstall (confirmation,
// registrations removed, files deleted). The answers under "UserInfo" survive an uninstall.
#pragma once

#include <QString>
#include <QStringList>
#include <functional>

#include "setup/file_queue.h"
#include "setup/setup_settings.h"

class QWidget;

namespace varlo {

class CAsker;
class CDesktopRegistration;
class CSetupWizard;

enum class SetupMode { kInstall, kUninstall };

// Uninstall when the arguments (after the program name, joined by blanks) contain "Uninstall",
// case-sensitive, anywhere.
SetupMode ModeFromArguments(const QStringList& arguments);

enum class SetupOutcome {
  kNoInf,      // varlo.inf missing or unreadable: ended silently
  kCancelled,  // the wizard was cancelled
  kDeclined,   // the uninstall question was answered No
  kDone,       // installed or uninstalled
  kFailed,     // the files or the "All" section failed; the user was told
};

class CInstaller {
 public:
  // Runs the wizard and returns true when it was finished. The default shows it modally; tests
  // drive the pages themselves.
  using WizardRunner = std::function<bool(CSetupWizard&)>;

  // `programFolder` holds setup and varlo.inf; `machine` is the store the answers go to, `user` the
  // user's own store (the INF's HKCU entries). Everything is only referred to.
  CInstaller(SetupMode mode, const QString& programFolder, CAsker& asker, CSetupSettings& machine,
             CSetupSettings& user, CDesktopRegistration& registration, QWidget* owner = nullptr);

  void SetWizardRunner(WizardRunner runner) { wizardRunner = std::move(runner); }

  SetupOutcome Run();

  const CInstallerState& State() const { return state; }
  const CCommitResult& LastCommit() const { return lastCommit; }
  const QString& LastError() const { return lastError; }

 private:
  SetupOutcome Install();
  SetupOutcome Uninstall();
  // Binds the destination, runs the queued files and the "All" section; tells the user on failure.
  SetupOutcome Finish(class CInfFile& inf, bool installing);

  SetupMode mode;
  QString programFolder;
  CAsker& asker;
  CSetupSettings& machine;
  CSetupSettings& user;
  CDesktopRegistration& registration;
  QWidget* owner;
  WizardRunner wizardRunner;
  CInstallerState state;
  CCommitResult lastCommit;
  QString lastError;
};

// The INF beside the program: "varlo.inf".
QString InfPathIn(const QString& programFolder);

// Makes the resources of the setup library (icon, MIME package) available; call once at start.
void InitSetupResources();

}  // namespace varlo
