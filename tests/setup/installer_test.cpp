// setup from end to end, driven through its wizard with scripted answers: installing from the
// staged folder, the prefilled second run, the destination and ns checks, uninstalling with Yes and
// No, a missing varlo.inf, the command line, the desktop entries and the painted background.
#include "setup/installer.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLineEdit>
#include <QPainter>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include "setup/asker.h"
#include "setup/desktop_registration.h"
#include "setup/setup_settings.h"
#include "setup/setup_window.h"
#include "setup/setup_wizard.h"

using namespace varlo;

namespace {

// Answers every question from a script and records what was asked and shown.
class CScriptedAsker : public CAsker {
 public:
  QList<bool> answers;    // Yes/No answers in order; No once they run out
  QStringList folders;    // picker results in order; cancelled once they run out
  QStringList questions;  // "caption|text"
  QStringList messages;   // "caption|text"
  QStringList pickTitles;

  bool AskYesNo(QWidget*, const QString& caption, const QString& text) override {
    questions << caption + u'|' + text;
    return answers.isEmpty() ? false : answers.takeFirst();
  }
  void ShowMessage(QWidget*, const QString& caption, const QString& text, Icon) override {
    messages << caption + u'|' + text;
  }
  QString PickFolder(QWidget*, const QString& title, const QString&) override {
    pickTitles << title;
    return folders.isEmpty() ? QString() : folders.takeFirst();
  }
};

// The wizard's answers for one run, and what the pages showed on the way.
struct CWizardScript {
  CWizardScript() = default;
  CWizardScript(const QString& destination, const QString& nsDirectory, bool useNs)
      : destination(destination), nsDirectory(nsDirectory), useNs(useNs) {}

  QString destination;
  QString nsDirectory;
  bool useNs = false;
  bool cancelOnDestinationPage = false;
  // Filled in while driving:
  bool ran = false;
  QString shownDestination;
  QString shownNsDirectory;
  bool shownUseNs = false;
  QList<int> pagesSeen;
};

bool Drive(CSetupWizard& wizard, CWizardScript& script) {
  script.ran = true;
  wizard.show();
  script.pagesSeen << wizard.currentId();
  wizard.next();
  script.pagesSeen << wizard.currentId();
  CDestinationPage* page = wizard.DestinationPage();
  script.shownDestination = page->DestinationEdit()->text();
  script.shownNsDirectory = page->NsDirectoryEdit()->text();
  script.shownUseNs = page->UseNsCheck()->isChecked();
  if (script.cancelOnDestinationPage) {
    wizard.reject();
    return false;
  }
  page->DestinationEdit()->setText(script.destination);
  page->NsDirectoryEdit()->setText(script.nsDirectory);
  page->UseNsCheck()->setChecked(script.useNs);
  wizard.next();
  script.pagesSeen << wizard.currentId();
  if (wizard.currentId() != CSetupWizard::kCompletePage) {
    wizard.reject();
    return false;
  }
  wizard.button(QWizard::FinishButton)->click();
  return wizard.result() == QDialog::Accepted;
}

// The system store read on its own, as varlo reads it.
struct CSystemSettings : QSettings {
  CSystemSettings() : QSettings(QSettings::SystemScope, kSettingsOrganisation, kSettingsApplication) {
    setFallbacksEnabled(false);
  }
};

QString ReadText(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

bool IsDefault(const QWizard& wizard, QWizard::WizardButton which) {
  const auto* button = qobject_cast<const QPushButton*>(wizard.button(which));
  return button && button->isDefault();
}

const QString kStage = QStringLiteral(VARLO_STAGE_DIR);

}  // namespace

class InstallerTest : public QObject {
  Q_OBJECT

 private:
  QTemporaryDir root;
  QString destination;
  QString nsFolder;

  SetupOutcome RunInstall(CScriptedAsker& asker, CWizardScript& script, const QString& from = kStage) {
    CSetupSettings machine;
    CSetupSettings user(QSettings::UserScope);
    CDesktopRegistration registration;
    CInstaller installer(SetupMode::kInstall, from, asker, machine, user, registration);
    installer.SetWizardRunner([&](CSetupWizard& wizard) { return Drive(wizard, script); });
    return installer.Run();
  }

  SetupOutcome RunUninstall(CScriptedAsker& asker, const QString& from) {
    CSetupSettings machine;
    CSetupSettings user(QSettings::UserScope);
    CDesktopRegistration registration;
    CInstaller installer(SetupMode::kUninstall, from, asker, machine, user, registration);
    installer.SetWizardRunner([](CSetupWizard&) -> bool { qFatal("uninstalling shows no wizard"); });
    return installer.Run();
  }

 private slots:
  void initTestCase() {
    // The tests write settings, MIME and menu files; outside ctest's private folders they would be
    // the machine's and the user's.
    for (const char* name : {"XDG_CONFIG_DIRS", "XDG_CONFIG_HOME", "XDG_DATA_HOME"}) {
      QVERIFY2(!qEnvironmentVariable(name).isEmpty(), "run through ctest, which sets the XDG folders");
    }
    InitSetupResources();
    QVERIFY(root.isValid());
    QVERIFY2(QFileInfo::exists(kStage + QStringLiteral("/varlo.inf")), "build the stage target first");
  }

  void init() {
    QSettings(QSettings::SystemScope, kSettingsOrganisation, kSettingsApplication).clear();
    QSettings(QSettings::UserScope, kSettingsOrganisation, kSettingsApplication).clear();
    CDesktopRegistration().Unregister();
    destination = root.filePath(QStringLiteral("Varlo Tools"));  // a blank, as users' folders have
    QDir(destination).removeRecursively();
    nsFolder = root.filePath(QStringLiteral("ns-2.35"));
    QDir().mkpath(nsFolder);
  }

  void ModeComesFromUninstallAnywhereOnTheCommandLine() {
    QVERIFY(ModeFromArguments({QStringLiteral("Uninstall")}) == SetupMode::kUninstall);
    QVERIFY(ModeFromArguments({QStringLiteral("/Uninstall")}) == SetupMode::kUninstall);
    QVERIFY(ModeFromArguments({QStringLiteral("-q"), QStringLiteral("xUninstallx")}) ==
            SetupMode::kUninstall);
    QVERIFY(ModeFromArguments({QStringLiteral("uninstall")}) == SetupMode::kInstall);
    QVERIFY(ModeFromArguments({QStringLiteral("Unin"), QStringLiteral("stall")}) == SetupMode::kInstall);
    QVERIFY(ModeFromArguments({}) == SetupMode::kInstall);
  }

  void FullInstallThroughTheWizard() {
    CScriptedAsker asker;
    asker.answers << true;  // create the destination
    CWizardScript script{destination, nsFolder, true};
    QVERIFY(RunInstall(asker, script) == SetupOutcome::kDone);
    QCOMPARE(script.pagesSeen, (QList<int>{0, 1, 2}));
    QCOMPARE(asker.questions,
             QStringList{QStringLiteral(
                 "Inexistant Path|Destination path does not exist. \nDo you want to create directory ?")});
    QVERIFY2(asker.messages.isEmpty(), qPrintable(asker.messages.join(u'\n')));

    // Every file of the staged folder, with the programs still executable.
    const QDir dest(destination);
    for (const char* name : {"setup", "varlo.inf", "icons/varlo.svg", "examples/dumbbell.json"}) {
      QVERIFY2(QFileInfo::exists(dest.filePath(QLatin1String(name))), name);
    }
    QVERIFY(QFileInfo(dest.filePath(QStringLiteral("setup"))).isExecutable());
    if (QFileInfo::exists(kStage + QStringLiteral("/varlo"))) {
      QVERIFY(QFileInfo(dest.filePath(QStringLiteral("varlo"))).isExecutable());
    }

    CSystemSettings settings;
    QCOMPARE(settings.value(QStringLiteral("UserInfo/DestinationPath")).toString(), destination);
    QCOMPARE(settings.value(QStringLiteral("UserInfo/NSDirectory")).toString(), nsFolder);
    QCOMPARE(settings.value(QStringLiteral("UserInfo/UseNS")).toInt(), 1);
    QCOMPARE(settings.value(QStringLiteral("Uninstall/DisplayName")).toString(),
             QStringLiteral("Varlo Version 1.0"));
    QCOMPARE(settings.value(QStringLiteral("Uninstall/UninstallString")).toString(),
             destination + QStringLiteral("/setup Uninstall"));
    QCOMPARE(settings.value(QStringLiteral("Setup/Version")).toString(),
             QStringLiteral("1.0"));  // from "All"

    const CDesktopRegistration registration;
    QVERIFY(registration.DesktopFilePath().startsWith(qEnvironmentVariable("XDG_DATA_HOME")));
    QVERIFY(ReadText(registration.MimePackagePath()).contains(QStringLiteral("<glob pattern=\"*.net\"/>")));
    const QString desktop = ReadText(registration.DesktopFilePath());
    QVERIFY2(desktop.contains(QStringLiteral("Exec=\"%1/varlo\" %f\n").arg(destination)),
             qPrintable(desktop));
    QVERIFY(desktop.contains(QStringLiteral("Icon=%1/icons/varlo.svg\n").arg(destination)));
    QVERIFY(desktop.contains(QStringLiteral("MimeType=application/x-varlo-network;\n")));
    const QString uninstall = ReadText(registration.UninstallDesktopFilePath());
    QVERIFY(uninstall.contains(QStringLiteral("Name=Uninstall Varlo\n")));
    QVERIFY(uninstall.contains(QStringLiteral("Exec=\"%1/setup\" Uninstall\n").arg(destination)));
    if (!QStandardPaths::findExecutable(QStringLiteral("update-mime-database")).isEmpty()) {
      QVERIFY(ReadText(qEnvironmentVariable("XDG_DATA_HOME") + QStringLiteral("/mime/globs2"))
                  .contains(QStringLiteral("application/x-varlo-network:*.net")));
    }
  }

  void InstalledVarloOpensANetworkGivenOnItsCommandLine() {
    if (!QFileInfo::exists(kStage + QStringLiteral("/varlo"))) QSKIP("varlo is not part of this build");
    CScriptedAsker asker;
    asker.answers << true;
    CWizardScript script{destination, QString(), false};
    QVERIFY(RunInstall(asker, script) == SetupOutcome::kDone);
    // varlo-cli builds the network file from the bundled example.
    const QString network = root.filePath(QStringLiteral("dumbbell.net"));
    QCOMPARE(QProcess::execute(QStringLiteral(VARLO_CLI_PATH),
                               {QStringLiteral("import"),
                                QDir(destination).filePath(QStringLiteral("examples/dumbbell.json")),
                                QStringLiteral("-o"), network}),
             0);
    QProcess varlo;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    varlo.setProcessEnvironment(environment);
    varlo.setWorkingDirectory(root.path());
    varlo.start(QDir(destination).filePath(QStringLiteral("varlo")), {network});
    QVERIFY(varlo.waitForStarted());
    // A network that opened goes to the top of varlo's recent-file list in the user's settings;
    // one that cannot be opened ends the program with exit code 1.
    const QString opened = QFileInfo(network).absoluteFilePath();
    QString recent;
    for (int waited = 0; waited < 20000 && recent != opened; waited += 200) {
      if (varlo.waitForFinished(200)) break;
      recent = QSettings(QSettings::UserScope, QStringLiteral("Local AppWizard-Generated Applications"),
                         QStringLiteral("Varlo"))
                   .value(QStringLiteral("Recent File List/File1"))
                   .toString();
    }
    const bool stillRunning = varlo.state() == QProcess::Running;
    varlo.kill();
    varlo.waitForFinished();
    QVERIFY2(stillRunning, qPrintable(QStringLiteral("varlo ended with code %1").arg(varlo.exitCode())));
    QCOMPARE(recent, opened);
  }

  void SecondInstallIsPrefilledWithTheFirstAnswers() {
    CScriptedAsker first;
    first.answers << true;
    CWizardScript answers{destination, nsFolder, true};
    QVERIFY(RunInstall(first, answers) == SetupOutcome::kDone);

    CScriptedAsker second;
    CWizardScript look;
    look.cancelOnDestinationPage = true;
    QVERIFY(RunInstall(second, look) == SetupOutcome::kCancelled);
    QCOMPARE(look.shownDestination, destination);
    QCOMPARE(look.shownNsDirectory, nsFolder);
    QVERIFY(look.shownUseNs);
    QVERIFY(second.questions.isEmpty());
    // Cancelling leaves the recorded answers alone.
    QCOMPARE(CSystemSettings().value(QStringLiteral("UserInfo/DestinationPath")).toString(), destination);

    // Finishing again copies nothing that is already there and as new.
    CScriptedAsker third;
    CWizardScript again{destination, nsFolder, true};
    CSetupSettings machine;
    CSetupSettings user(QSettings::UserScope);
    CDesktopRegistration registration;
    CInstaller installer(SetupMode::kInstall, kStage, third, machine, user, registration);
    installer.SetWizardRunner([&](CSetupWizard& wizard) { return Drive(wizard, again); });
    QVERIFY(installer.Run() == SetupOutcome::kDone);
    QCOMPARE(installer.LastCommit().copied, 0);
    QVERIFY(installer.LastCommit().skippedNotNewer > 0);
    QVERIFY(third.questions.isEmpty());  // the folder exists now
  }

  void DestinationChecksAndTheirMessages() {
    CInstallerState state;
    CScriptedAsker asker;
    CSetupWizard wizard(state, asker);
    wizard.show();
    wizard.next();
    CDestinationPage* page = wizard.DestinationPage();
    const QString question = QStringLiteral(
        "Inexistant Path|Destination path does not exist. \nDo you want to create directory ?");
    const QString cannotCreate = QStringLiteral("Error|Destination diretory could not be created..");

    // No: the page stays and nothing is created.
    page->DestinationEdit()->setText(destination);
    asker.answers << false;
    wizard.next();
    QCOMPARE(wizard.currentId(), int(CSetupWizard::kDestinationPage));
    QCOMPARE(asker.questions, QStringList{question});
    QVERIFY(!QFileInfo::exists(destination));

    // Yes, but one level is all that is created.
    page->DestinationEdit()->setText(root.filePath(QStringLiteral("missing/parent/varlo")));
    asker.answers << true;
    wizard.next();
    QCOMPARE(wizard.currentId(), int(CSetupWizard::kDestinationPage));
    QCOMPARE(asker.messages, QStringList{cannotCreate});
    QVERIFY(!QFileInfo::exists(root.filePath(QStringLiteral("missing"))));

    // A file where the folder should be cannot become one; an empty path neither.
    QFile file(root.filePath(QStringLiteral("a-file")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    for (const QString& path : {file.fileName(), QString()}) {
      asker.messages.clear();
      page->DestinationEdit()->setText(path);
      asker.answers << true;
      wizard.next();
      QCOMPARE(wizard.currentId(), int(CSetupWizard::kDestinationPage));
      QCOMPARE(asker.messages, QStringList{cannotCreate});
    }

    // The ns folder is checked only when the box is checked.
    asker.messages.clear();
    asker.questions.clear();
    page->DestinationEdit()->setText(root.path());
    page->UseNsCheck()->setChecked(true);
    page->NsDirectoryEdit()->setText(root.filePath(QStringLiteral("no-ns-here")));
    wizard.next();
    QCOMPARE(wizard.currentId(), int(CSetupWizard::kDestinationPage));
    QCOMPARE(asker.messages, QStringList{QStringLiteral("Inexistant Path|Invalid NS Directory !")});
    QVERIFY(asker.questions.isEmpty());  // an existing destination is not questioned

    page->UseNsCheck()->setChecked(false);
    wizard.next();
    QCOMPARE(wizard.currentId(), int(CSetupWizard::kCompletePage));
    QCOMPARE(state.destinationPath, root.path());
    QCOMPARE(state.nsDirectory, root.filePath(QStringLiteral("no-ns-here")));
    QVERIFY(!state.useNs);

    // Cancel forgets the answers.
    wizard.reject();
    QVERIFY(state.destinationPath.isEmpty() && state.nsDirectory.isEmpty() && !state.useNs);
  }

  void RelativeDestinationIsAnchoredAtTheCurrentFolder() {
    CInstallerState state;
    CScriptedAsker asker;
    CSetupWizard wizard(state, asker);
    wizard.show();
    wizard.next();
    const QString previous = QDir::currentPath();
    QDir::setCurrent(root.path());
    wizard.DestinationPage()->DestinationEdit()->setText(QStringLiteral("relative-dest/"));
    asker.answers << true;
    wizard.next();
    QDir::setCurrent(previous);
    QCOMPARE(state.destinationPath, root.filePath(QStringLiteral("relative-dest/")));
    QVERIFY(QFileInfo(root.filePath(QStringLiteral("relative-dest"))).isDir());
  }

  void FolderPickersFillTheirEditsAndCancelChangesNothing() {
    CInstallerState state{QStringLiteral("/before"), QStringLiteral("/ns-before"), false};
    CScriptedAsker asker;
    CSetupWizard wizard(state, asker);
    wizard.show();
    wizard.next();
    CDestinationPage* page = wizard.DestinationPage();
    QCOMPARE(page->DestinationEdit()->text(), QStringLiteral("/before"));
    asker.folders << QStringLiteral("/picked/dest");
    page->DestinationBrowse()->click();
    page->NsBrowse()->click();  // cancelled
    QCOMPARE(asker.pickTitles,
             (QStringList{QStringLiteral("Select the Destination "), QStringLiteral("Select NS Diretory")}));
    QCOMPARE(page->DestinationEdit()->text(), QStringLiteral("/picked/dest"));
    QCOMPARE(page->NsDirectoryEdit()->text(), QStringLiteral("/ns-before"));
    asker.folders << QStringLiteral("/picked/ns");
    page->NsBrowse()->click();
    QCOMPARE(page->NsDirectoryEdit()->text(), QStringLiteral("/picked/ns"));
  }

  void WizardPagesButtonsAndTexts() {
    CInstallerState state;
    CScriptedAsker asker;
    CSetupWizard wizard(state, asker);
    wizard.show();
    QCOMPARE(wizard.windowTitle(), QStringLiteral("Install Varlo 1.0"));
    QCOMPARE(wizard.currentPage()->title(), QStringLiteral("Welcome"));
    QVERIFY(!wizard.button(QWizard::BackButton)->isVisible());
    QVERIFY(!IsDefault(wizard, QWizard::NextButton));
    wizard.next();
    QCOMPARE(wizard.currentPage()->title(), QStringLiteral("Where to install?"));
    QVERIFY(wizard.button(QWizard::BackButton)->isVisible());
    QVERIFY(!IsDefault(wizard, QWizard::NextButton));
    wizard.DestinationPage()->DestinationEdit()->setText(root.path());
    wizard.next();
    QCOMPARE(wizard.currentPage()->title(), QStringLiteral("Complete Install"));
    QVERIFY(wizard.button(QWizard::FinishButton)->isVisible());
    QVERIFY(!wizard.button(QWizard::NextButton)->isVisible());
    QVERIFY(IsDefault(wizard, QWizard::FinishButton));
  }

  void UncheckedNsBoxWritesUseNsZero() {
    CScriptedAsker asker;
    asker.answers << true;
    // The ns folder need not exist when the box is unchecked.
    CWizardScript script{destination, root.filePath(QStringLiteral("nowhere")), false};
    QVERIFY(RunInstall(asker, script) == SetupOutcome::kDone);
    QVERIFY(asker.messages.isEmpty());
    CSystemSettings settings;
    QCOMPARE(settings.value(QStringLiteral("UserInfo/UseNS")).toInt(), 0);
    QCOMPARE(settings.value(QStringLiteral("UserInfo/NSDirectory")).toString(),
             root.filePath(QStringLiteral("nowhere")));
  }

  void UninstallWithYesRemovesFilesAndRegistrationsButKeepsTheAnswers() {
    CScriptedAsker installAsker;
    installAsker.answers << true;
    CWizardScript script{destination, nsFolder, true};
    QVERIFY(RunInstall(installAsker, script) == SetupOutcome::kDone);
    // A file of the user's own in the folder is not ours to delete.
    QFile own(QDir(destination).filePath(QStringLiteral("my-network.net")));
    QVERIFY(own.open(QIODevice::WriteOnly));
    own.close();

    CScriptedAsker asker;
    asker.answers << true;
    QVERIFY(RunUninstall(asker, destination) == SetupOutcome::kDone);  // setup runs from the destination
    QCOMPARE(asker.questions,
             QStringList{QStringLiteral("Confirmation|Are you sure you want to Uninstall ?")});
    QVERIFY(asker.messages.isEmpty());
    const QDir dest(destination);
    for (const char* name : {"varlo", "setup", "varlo.inf", "icons", "examples"}) {
      QVERIFY2(!QFileInfo::exists(dest.filePath(QLatin1String(name))), name);
    }
    QVERIFY(own.exists());

    const CDesktopRegistration registration;
    QVERIFY(!QFileInfo::exists(registration.MimePackagePath()));
    QVERIFY(!QFileInfo::exists(registration.DesktopFilePath()));
    QVERIFY(!QFileInfo::exists(registration.UninstallDesktopFilePath()));
    CSystemSettings settings;
    QVERIFY(!settings.childGroups().contains(QStringLiteral("Uninstall")));
    QCOMPARE(settings.value(QStringLiteral("UserInfo/DestinationPath")).toString(), destination);
    QCOMPARE(settings.value(QStringLiteral("UserInfo/UseNS")).toInt(), 1);
  }

  void UninstallSkipsFilesThatCannotBeDeleted() {
    CScriptedAsker installAsker;
    installAsker.answers << true;
    CWizardScript script{destination, QString(), false};
    QVERIFY(RunInstall(installAsker, script) == SetupOutcome::kDone);
    const QString example = QDir(destination).filePath(QStringLiteral("examples/dumbbell.json"));
    QVERIFY(QFile::remove(example));
    QVERIFY(QDir().mkpath(example + QStringLiteral("/held")));  // a folder cannot go as a file

    CScriptedAsker asker;
    asker.answers << true;
    QVERIFY(RunUninstall(asker, destination) == SetupOutcome::kDone);
    QVERIFY(asker.messages.isEmpty());
    QVERIFY(!QFileInfo::exists(QDir(destination).filePath(QStringLiteral("setup"))));
    QVERIFY(QFileInfo::exists(example));
  }

  void UninstallWithNoChangesNothing() {
    CScriptedAsker installAsker;
    installAsker.answers << true;
    CWizardScript script{destination, QString(), false};
    QVERIFY(RunInstall(installAsker, script) == SetupOutcome::kDone);

    CScriptedAsker asker;
    asker.answers << false;
    QVERIFY(RunUninstall(asker, destination) == SetupOutcome::kDeclined);
    QVERIFY(QFileInfo::exists(QDir(destination).filePath(QStringLiteral("setup"))));
    QVERIFY(QFileInfo::exists(CDesktopRegistration().DesktopFilePath()));
    QVERIFY(CSystemSettings().childGroups().contains(QStringLiteral("Uninstall")));
  }

  void MissingInfEndsSilently() {
    QTemporaryDir empty;
    CScriptedAsker asker;
    CWizardScript script{destination, QString(), false};
    QVERIFY(RunInstall(asker, script, empty.path()) == SetupOutcome::kNoInf);
    QVERIFY(!script.ran);
    QVERIFY(asker.questions.isEmpty() && asker.messages.isEmpty());
    QVERIFY(CSystemSettings().allKeys().isEmpty());

    // Uninstalling asks first and drops the registrations before it looks for the INF.
    CDesktopRegistration().Register(destination);
    asker.answers << true;
    QVERIFY(RunUninstall(asker, empty.path()) == SetupOutcome::kNoInf);
    QVERIFY(asker.messages.isEmpty());
    QVERIFY(!QFileInfo::exists(CDesktopRegistration().DesktopFilePath()));
  }

  void FailedCopyIsReportedAndTheAnswersStay() {
    QTemporaryDir source;
    QFile inf(source.filePath(QStringLiteral("varlo.inf")));
    QVERIFY(inf.open(QIODevice::WriteOnly));
    inf.write(
        "[DestinationDirs]\nDefaultDestDir=102030\n[Varlo.copy.files]\nvarlo\n[Varlo.del.files]\nvarlo\n"
        "[All]\n");
    inf.close();
    CScriptedAsker asker;
    asker.answers << true;
    CWizardScript script{destination, QString(), false};
    QVERIFY(RunInstall(asker, script, source.path()) == SetupOutcome::kFailed);
    QCOMPARE(asker.messages,
             QStringList{QStringLiteral(
                 "Product Sample Install Error|Installation script did not complete successfully!")});
    QCOMPARE(CSystemSettings().value(QStringLiteral("UserInfo/DestinationPath")).toString(), destination);
  }

  void UninstallWithoutARecordedDestinationDeletesNothing() {
    QTemporaryDir source;
    QFile inf(source.filePath(QStringLiteral("varlo.inf")));
    QVERIFY(inf.open(QIODevice::WriteOnly));
    inf.write("[DestinationDirs]\nDefaultDestDir=102030\n[Varlo.del.files]\nsetup\n[All]\n");
    inf.close();
    CScriptedAsker asker;
    asker.answers << true;
    QVERIFY(RunUninstall(asker, source.path()) == SetupOutcome::kFailed);
    QCOMPARE(asker.messages.size(), 1);
  }

  void DesktopExecArgumentsSurviveAnyPath() {
    QCOMPARE(DesktopExecArgument(QStringLiteral("/opt/varlo/varlo")), QStringLiteral("\"/opt/varlo/varlo\""));
    // In the file: backslash-escaped for the Exec rules, then every backslash doubled for the value.
    QCOMPARE(DesktopExecArgument(QStringLiteral("/a b/$x\"y`z\\w%1")),
             QStringLiteral("\"/a b/\\\\$x\\\\\"y\\\\`z\\\\\\\\w%%1\""));
  }

  void BackgroundHas64BlueBandsAndTwoTextLayers() {
    QImage install(640, 480, QImage::Format_RGB32);
    install.fill(Qt::red);
    {
      QPainter painter(&install);
      PaintSetupBackground(painter, install.rect(), false);
    }
    // 480 / 64 = 7 pixels a band; the last one reaches the bottom. x = 5 lies outside every text.
    for (int band : {0, 1, 31, 62}) QCOMPARE(install.pixelColor(5, band * 7 + 3), SetupBandColor(band));
    QCOMPARE(install.pixelColor(5, 63 * 7), QColor(0, 0, 3));
    QCOMPARE(install.pixelColor(5, 479), QColor(0, 0, 3));
    QCOMPARE(SetupBandColor(63), QColor(0, 0, 3));

    const auto countColour = [](const QImage& image, const QRect& area, const QColor& colour) {
      int count = 0;
      for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) count += image.pixelColor(x, y) == colour;
      }
      return count;
    };
    const QRect titleArea(20, 0, 600, 80);
    const QRect captionArea(20, 420, 600, 60);
    QVERIFY(countColour(install, titleArea, Qt::white) > 100);
    QVERIFY(countColour(install, titleArea, QColor(128, 128, 128)) > 20);
    QVERIFY(countColour(install, captionArea, Qt::white) > 50);

    QImage uninstall(640, 480, QImage::Format_RGB32);
    {
      QPainter painter(&uninstall);
      PaintSetupBackground(painter, uninstall.rect(), true);
    }
    QVERIFY(uninstall.copy(titleArea) != install.copy(titleArea));
    QVERIFY(uninstall.copy(captionArea) == install.copy(captionArea));
  }

  void WindowKeepsItsPlaceOnceLocked() {
    CSetupWindow window(false);
    QCOMPARE(window.windowTitle(), QStringLiteral("Setup Varlo 1.0"));
    window.setGeometry(30, 40, 400, 300);
    window.show();
    window.move(60, 70);  // before the lock, changes are taken
    QCOMPARE(window.pos(), QPoint(60, 70));
    window.LockPlace();
    const QRect locked = window.geometry();
    window.move(200, 200);
    window.resize(100, 100);
    QCOMPARE(window.geometry(), locked);
  }

  // Pictures of the background and each wizard page for the documentation; runs when
  // VARLO_SCREENSHOT_DIR names a folder (under xvfb-run, for real fonts and window decorations).
  void Screenshots() {
    const QString folder = qEnvironmentVariable("VARLO_SCREENSHOT_DIR");
    if (folder.isEmpty()) QSKIP("VARLO_SCREENSHOT_DIR not set");
    QDir().mkpath(folder);
    for (const bool uninstalling : {false, true}) {
      CSetupWindow window(uninstalling);
      window.resize(1024, 768);
      window.show();
      QVERIFY(QTest::qWaitForWindowExposed(&window));
      QVERIFY(window.grab().save(
          QDir(folder).filePath(uninstalling ? "setup-background-uninstall.png" : "setup-background.png")));
    }
    CInstallerState state{QStringLiteral("/opt/varlo"), QStringLiteral("/usr/bin"), true};
    CScriptedAsker asker;
    CSetupWizard wizard(state, asker);
    wizard.show();
    QVERIFY(QTest::qWaitForWindowExposed(&wizard));
    const QStringList names{"setup-page1-welcome.png", "setup-page2-where.png", "setup-page3-complete.png"};
    for (int page = 0; page < 3; ++page) {
      QTest::qWait(100);
      QVERIFY(wizard.grab().save(QDir(folder).filePath(names[page])));
      if (page == 1) wizard.DestinationPage()->DestinationEdit()->setText(root.path());
      wizard.next();
    }

    // The whole screen as the user sees it: the maximised background with the wizard centred on it.
    CSetupWindow window(false);
    window.ShowFilling();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    CInstallerState screenState{QStringLiteral("/opt/varlo"), QStringLiteral("/usr/bin"), true};
    CSetupWizard onTop(screenState, asker, &window);
    onTop.show();
    QVERIFY(QTest::qWaitForWindowExposed(&onTop));
    onTop.next();
    QTest::qWait(300);
    QVERIFY(window.screen()->grabWindow(0).save(QDir(folder).filePath(QStringLiteral("setup-screen.png"))));
  }
};

QTEST_MAIN(InstallerTest)
#include "installer_test.moc"
