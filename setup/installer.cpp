#include "setup/installer.h"

#include <QDir>

#include "setup/asker.h"
#include "setup/desktop_registration.h"
#include "setup/inf_file.h"
#include "setup/inf_install.h"
#include "setup/setup_wizard.h"

// Q_INIT_RESOURCE declares a function and must therefore stand outside any namespace.
static void InitSetupResourcesGlobal() {
  Q_INIT_RESOURCE(setup);
}

namespace varlo {

void InitSetupResources() {
  InitSetupResourcesGlobal();
}

SetupMode ModeFromArguments(const QStringList& arguments) {
  return arguments.join(u' ').contains(QStringLiteral("Uninstall"), Qt::CaseSensitive) ? SetupMode::kUninstall
                                                                                       : SetupMode::kInstall;
}

QString InfPathIn(const QString& programFolder) {
  return QDir(programFolder).filePath(QStringLiteral("varlo.inf"));
}

CInstaller::CInstaller(SetupMode mode, const QString& programFolder, CAsker& asker, CSetupSettings& machine,
                       CSetupSettings& user, CDesktopRegistration& registration, QWidget* owner)
    : mode(mode),
      programFolder(programFolder),
      asker(asker),
      machine(machine),
      user(user),
      registration(registration),
      owner(owner) {}

SetupOutcome CInstaller::Run() {
  return mode == SetupMode::kInstall ? Install() : Uninstall();
}

SetupOutcome CInstaller::Install() {
  CInfFile inf;
  if (!inf.Open(InfPathIn(programFolder))) return SetupOutcome::kNoInf;

  state = machine.ReadAnswers();
  CSetupWizard wizard(state, asker, owner);
  const bool finished = wizardRunner ? wizardRunner(wizard) : wizard.exec() == QDialog::Accepted;
  if (!finished) return SetupOutcome::kCancelled;

  // Failures to record these are ignored, as for every value the installer itself writes.
  machine.WriteAnswers(state);
  machine.WriteUninstallRecord(state.destinationPath);
  registration.Register(state.destinationPath);
  return Finish(inf, true);
}

SetupOutcome CInstaller::Uninstall() {
  if (!asker.AskYesNo(owner, QStringLiteral("Confirmation"),
                      QStringLiteral("Are you sure you want to Uninstall ?"))) {
    return SetupOutcome::kDeclined;
  }
  machine.RemoveUninstallRecord();
  registration.Unregister();

  CInfFile inf;
  if (!inf.Open(InfPathIn(programFolder))) return SetupOutcome::kNoInf;
  state = machine.ReadAnswers();
  return Finish(inf, false);
}

SetupOutcome CInstaller::Finish(CInfFile& inf, bool installing) {
  lastCommit = {};
  lastError.clear();
  bool ok = true;
  QString destination = state.destinationPath;
  if (destination.isEmpty()) {
    // With no recorded destination the folder would be the file system's root; nothing is
    // deleted there.
    ok = false;
    lastError = QStringLiteral("no destination folder is recorded");
  } else {
    if (!destination.endsWith(u'/') && !destination.endsWith(u'\\')) destination += u'/';
    inf.SetDirectoryId(kDestinationDirId, destination);

    CFileQueue queue;
    const QString section =
        installing ? QStringLiteral("Varlo.copy.files") : QStringLiteral("Varlo.del.files");
    const bool queued = installing ? queue.QueueCopySection(inf, section, programFolder)
                                   : queue.QueueDeleteSection(inf, section);
    if (!queued) {
      ok = false;
      lastError = QStringLiteral("cannot queue section [%1]").arg(section);
    } else {
      lastCommit = queue.Commit();
      if (!lastCommit.succeeded) {
        ok = false;
        lastError = lastCommit.error;
      }
    }
  }
  if (ok) {
    QString error;
    if (!ApplyInstallSection(inf, QStringLiteral("All"), machine, user, &error)) {
      ok = false;
      lastError = error;
    }
  }
  if (!ok) {
    asker.ShowMessage(owner, QStringLiteral("Product Sample Install Error"),
                      QStringLiteral("Installation script did not complete successfully!"),
                      CAsker::Icon::kError);
    return SetupOutcome::kFailed;
  }
  return SetupOutcome::kDone;
}

}  // namespace varlo
