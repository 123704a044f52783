// The INF subset: parsing, the file queue (copy only when newer, deletions that fail are skipped)
// and the registry and INI entries of an install section, plus where the settings store lives.
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include "setup/file_queue.h"
#include "setup/inf_file.h"
#include "setup/inf_install.h"
#include "setup/setup_settings.h"

using namespace varlo;

namespace {

void WriteFile(const QString& path, const QByteArray& bytes) {
  QDir().mkpath(QFileInfo(path).absolutePath());
  QFile file(path);
  QVERIFY(file.open(QIODevice::WriteOnly));
  file.write(bytes);
}

QByteArray ReadFile(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void SetModified(const QString& path, const QDateTime& time) {
  QFile file(path);
  QVERIFY(file.open(QIODevice::ReadWrite));
  QVERIFY(file.setFileTime(time, QFileDevice::FileModificationTime));
}

}  // namespace

class InfReaderTest : public QObject {
  Q_OBJECT

 private slots:
  // The tests write the settings store; outside ctest's private folders that would be the machine's.
  void initTestCase() {
    QVERIFY2(!qEnvironmentVariable("XDG_CONFIG_DIRS").isEmpty() &&
                 !qEnvironmentVariable("XDG_CONFIG_HOME").isEmpty(),
             "run through ctest, which points the XDG folders at a private tree");
  }

  void init() {
    QSettings(QSettings::SystemScope, kSettingsOrganisation, kSettingsApplication).clear();
    QSettings(QSettings::UserScope, kSettingsOrganisation, kSettingsApplication).clear();
  }

  void ParsesSectionsKeysFieldsAndComments() {
    CInfFile inf;
    inf.Parse(
        QStringLiteral("; leading comment\r\n"
                       "stray line before any section\r\n"
                       "[Version]\r\n"
                       "Signature=\"$Chicago$\"\r\n"
                       "[ Copy.Files ]\r\n"
                       "varlo ; the program\r\n"
                       "help\\index.html, help\\start.html ,, 0\r\n"
                       "\"a, b.txt\",\"say \"\"hi\"\"\"\r\n"
                       "[Empty]\r\n"
                       "[Long]\r\n"
                       "key = one,\\\r\n"
                       "  two\r\n"));
    QVERIFY(inf.HasSection(QStringLiteral("copy.files")));  // case and blanks around the name
    QVERIFY(inf.HasSection(QStringLiteral("EMPTY")));
    QVERIFY(inf.Section(QStringLiteral("Empty")).isEmpty());
    QVERIFY(!inf.HasSection(QStringLiteral("Missing")));
    const QList<CInfLine> lines = inf.Section(QStringLiteral("Copy.Files"));
    QCOMPARE(lines.size(), 3);
    QCOMPARE(lines[0].fields, QStringList{QStringLiteral("varlo")});
    QCOMPARE(lines[1].fields,
             (QStringList{QStringLiteral("help\\index.html"), QStringLiteral("help\\start.html"), QString(),
                          QStringLiteral("0")}));
    QCOMPARE(lines[2].fields, (QStringList{QStringLiteral("a, b.txt"), QStringLiteral("say \"hi\"")}));
    QCOMPARE(inf.Values(QStringLiteral("version"), QStringLiteral("SIGNATURE")),
             QStringList{QStringLiteral("$Chicago$")});
    QCOMPARE(inf.Values(QStringLiteral("Long"), QStringLiteral("key")),
             (QStringList{QStringLiteral("one"), QStringLiteral("two")}));
  }

  void ExpandsStringsAndDirectoryIds() {
    CInfFile inf;
    inf.Parse(QStringLiteral("[Strings]\nMaker=\"Tolvane\"\n"));
    inf.SetDirectoryId(kDestinationDirId, QStringLiteral("/opt/varlo/"));
    QCOMPARE(inf.Expand(QStringLiteral("%maker% 100%% %102030%varlo.ini %unknown% %7")),
             QStringLiteral("Tolvane 100% /opt/varlo/varlo.ini %unknown% %7"));
  }

  void OpenFailsForMissingOrEmptyFiles() {
    QTemporaryDir dir;
    CInfFile inf;
    QVERIFY(!inf.Open(dir.filePath(QStringLiteral("varlo.inf"))));
    WriteFile(dir.filePath(QStringLiteral("empty.inf")), "; nothing but a comment\n");
    QVERIFY(!inf.Open(dir.filePath(QStringLiteral("empty.inf"))));
  }

  void CopiesOnlyWhenTheSourceIsNewer() {
    QTemporaryDir source;
    QTemporaryDir target;
    WriteFile(source.filePath(QStringLiteral("varlo")), "new program");
    WriteFile(source.filePath(QStringLiteral("help/index.html")), "<html>");
    WriteFile(source.filePath(QStringLiteral("readme.src")), "readme");
    QFile::setPermissions(source.filePath(QStringLiteral("varlo")),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    CInfFile inf;
    inf.Parse(
        QStringLiteral("[DestinationDirs]\nDefaultDestDir=102030\n"
                       "[Files]\nvarlo\nhelp\\index.html\nREADME,readme.src\n"));
    inf.SetDirectoryId(kDestinationDirId, target.path() + u'/');

    CFileQueue queue;
    QVERIFY(queue.QueueCopySection(inf, QStringLiteral("Files"), source.path()));
    CCommitResult result = queue.Commit();
    QVERIFY2(result.succeeded, qPrintable(result.error));
    QCOMPARE(result.copied, 3);
    QCOMPARE(ReadFile(target.filePath(QStringLiteral("help/index.html"))), QByteArray("<html>"));
    QCOMPARE(ReadFile(target.filePath(QStringLiteral("README"))), QByteArray("readme"));
    QVERIFY(QFileInfo(target.filePath(QStringLiteral("varlo"))).isExecutable());
    QVERIFY(!QFileInfo::exists(target.filePath(QStringLiteral("varlo.setup-tmp"))));

    // A target as new as its source stays; an older one is replaced; a newer one stays.
    const QDateTime now = QDateTime::currentDateTime();
    SetModified(source.filePath(QStringLiteral("varlo")), now);
    WriteFile(target.filePath(QStringLiteral("varlo")), "older copy");
    SetModified(target.filePath(QStringLiteral("varlo")), now.addSecs(-60));
    WriteFile(target.filePath(QStringLiteral("README")), "edited later");
    SetModified(target.filePath(QStringLiteral("README")), now.addSecs(60));
    QVERIFY(queue.QueueCopySection(inf, QStringLiteral("Files"), source.path()));
    result = queue.Commit();
    QVERIFY(result.succeeded);
    QCOMPARE(result.copied, 1);
    QCOMPARE(result.skippedNotNewer, 2);
    QCOMPARE(ReadFile(target.filePath(QStringLiteral("varlo"))), QByteArray("new program"));
    QCOMPARE(ReadFile(target.filePath(QStringLiteral("README"))), QByteArray("edited later"));
  }

  void CopyFailsForAMissingSourceAndRefusesNamesOutsideTheDestination() {
    QTemporaryDir source;
    QTemporaryDir target;
    CInfFile inf;
    inf.Parse(
        QStringLiteral("[DestinationDirs]\nDefaultDestDir=102030\nOther=4711\n"
                       "[Files]\nmissing.txt\n[Escape]\n..\\outside.txt\n[Absolute]\n/etc/passwd\n"
                       "[Other]\nfile\n"));
    inf.SetDirectoryId(kDestinationDirId, target.path() + u'/');
    CFileQueue queue;
    QVERIFY(queue.QueueCopySection(inf, QStringLiteral("Files"), source.path()));
    const CCommitResult result = queue.Commit();
    QVERIFY(!result.succeeded);
    QVERIFY(result.error.contains(QStringLiteral("missing.txt")));
    QVERIFY(!queue.QueueCopySection(inf, QStringLiteral("Escape"), source.path()));
    QVERIFY(!queue.QueueDeleteSection(inf, QStringLiteral("Absolute")));
    QVERIFY(!queue.QueueCopySection(inf, QStringLiteral("Other"), source.path()));  // unbound identifier
    QVERIFY(!queue.QueueCopySection(inf, QStringLiteral("NoSuchSection"), source.path()));
  }

  void DeletionSkipsWhatCannotBeDeletedAndRemovesEmptiedFolders() {
    QTemporaryDir target;
    WriteFile(target.filePath(QStringLiteral("dest/varlo")), "x");
    WriteFile(target.filePath(QStringLiteral("dest/help/index.html")), "x");
    // A folder where a file is expected cannot be deleted as a file, even by root.
    WriteFile(target.filePath(QStringLiteral("dest/examples/net.net/inside")), "x");
    CInfFile inf;
    inf.Parse(
        QStringLiteral("[DestinationDirs]\nDefaultDestDir=102030\n"
                       "[Del]\nvarlo\nhelp\\index.html\nexamples\\net.net\nnot-there\n"));
    inf.SetDirectoryId(kDestinationDirId, target.filePath(QStringLiteral("dest")) + u'/');
    CFileQueue queue;
    QVERIFY(queue.QueueDeleteSection(inf, QStringLiteral("Del")));
    const CCommitResult result = queue.Commit();
    QVERIFY(result.succeeded);
    QCOMPARE(result.deleted, 2);
    QCOMPARE(result.notDeleted, QStringList{target.filePath(QStringLiteral("dest/examples/net.net"))});
    QVERIFY(!QFileInfo::exists(target.filePath(QStringLiteral("dest/help"))));
    QVERIFY(QFileInfo::exists(target.filePath(QStringLiteral("dest/examples/net.net/inside"))));
    QVERIFY(QFileInfo::exists(target.filePath(QStringLiteral("dest"))));  // not empty
  }

  void SectionDestinationUsesTheSectionEntryAndItsSubFolder() {
    CInfFile inf;
    inf.Parse(QStringLiteral("[DestinationDirs]\nDefaultDestDir=102030\nHelp.files=102030,help\\pages\n"));
    inf.SetDirectoryId(kDestinationDirId, QStringLiteral("/opt/varlo/"));
    QCOMPARE(SectionDestination(inf, QStringLiteral("help.files")), QStringLiteral("/opt/varlo/help/pages"));
    QCOMPARE(SectionDestination(inf, QStringLiteral("Other")), QStringLiteral("/opt/varlo"));
  }

  void AppliesRegistryEntriesToTheSettingsStore() {
    QTemporaryDir dir;
    CInfFile inf;
    inf.Parse(
        QStringLiteral("[All]\nAddReg=Add\nDelReg=Del\n"
                       "[Add]\n"
                       "HKLM,\"Software\\Tolvane\\Varlo\\Setup\",\"Version\",,\"%Version%\"\n"
                       "HKLM,\"Software\\Tolvane\\Varlo\\Setup\",\"Count\",0x00010001,42\n"
                       "HKLM,\"Software\\Tolvane\\Varlo\\Setup\",\"List\",0x00010000,a,b\n"
                       "HKLM,\"Software\\Tolvane\\Varlo\\Setup\",\"Kept\",0x00000002,\"new\"\n"
                       "HKCU,\"Software\\Tolvane\\Varlo\\Mine\",\"Colour\",,\"blue\"\n"
                       "HKCR,\".net\",,,\"Varlo.Document\"\n"
                       "HKLM,\"Software\\Elsewhere\\Program\\Key\",\"Value\",,\"x\"\n"
                       "[Del]\n"
                       "HKLM,\"Software\\Tolvane\\Varlo\\Old\"\n"
                       "HKLM,\"Software\\Tolvane\\Varlo\\Setup\",\"Stale\"\n"
                       "[Strings]\nVersion=\"1.0\"\n"));
    CSetupSettings machine(QSettings::SystemScope);
    CSetupSettings user(QSettings::UserScope);
    const QString setupKey = QStringLiteral("Software\\Tolvane\\Varlo\\Setup");
    machine.SetValue(setupKey, QStringLiteral("Kept"), QStringLiteral("old"));
    machine.SetValue(setupKey, QStringLiteral("Stale"), 1);
    machine.SetValue(QStringLiteral("Software\\Tolvane\\Varlo\\Old"), QStringLiteral("A"), 1);
    machine.SetValue(QStringLiteral("Software\\Tolvane\\Varlo\\UserInfo"), QStringLiteral("UseNS"), 1);

    QString error;
    QVERIFY2(ApplyInstallSection(inf, QStringLiteral("All"), machine, user, &error), qPrintable(error));
    QSettings system(QSettings::SystemScope, kSettingsOrganisation, kSettingsApplication);
    system.setFallbacksEnabled(false);
    QCOMPARE(system.value(QStringLiteral("Setup/Version")).toString(), QStringLiteral("1.0"));
    QCOMPARE(system.value(QStringLiteral("Setup/Count")).toInt(), 42);
    QCOMPARE(system.value(QStringLiteral("Setup/List")).toStringList(), (QStringList{"a", "b"}));
    QCOMPARE(system.value(QStringLiteral("Setup/Kept")).toString(), QStringLiteral("old"));
    QVERIFY(!system.contains(QStringLiteral("Setup/Stale")));
    QVERIFY(!system.contains(QStringLiteral("Old/A")));
    QCOMPARE(system.value(QStringLiteral("UserInfo/UseNS")).toInt(), 1);
    QVERIFY(system.childGroups().size() == 2);  // Setup and UserInfo; nothing from other keys
    QSettings userFile(QSettings::UserScope, kSettingsOrganisation, kSettingsApplication);
    userFile.setFallbacksEnabled(false);
    QCOMPARE(userFile.value(QStringLiteral("Mine/Colour")).toString(), QStringLiteral("blue"));
  }

  void InstallSectionFailsForMissingSectionsAndBadNumbers() {
    CSetupSettings machine(QSettings::SystemScope);
    CSetupSettings user(QSettings::UserScope);
    QString error;
    CInfFile inf;
    inf.Parse(QStringLiteral("[Other]\nx\n"));
    QVERIFY(!ApplyInstallSection(inf, QStringLiteral("All"), machine, user, &error));
    inf.Parse(QStringLiteral("[All]\nAddReg=Gone\n"));
    QVERIFY(!ApplyInstallSection(inf, QStringLiteral("All"), machine, user, &error));
    QVERIFY(error.contains(QStringLiteral("Gone")));
    inf.Parse(
        QStringLiteral("[All]\nAddReg=Add\n[Add]\nHKLM,Software\\Tolvane\\Varlo\\S,N,0x00010001,lots\n"));
    QVERIFY(!ApplyInstallSection(inf, QStringLiteral("All"), machine, user, &error));
  }

  void AppliesIniEntriesKeepingTheRestOfTheFile() {
    QTemporaryDir dir;
    const QString ini = dir.filePath(QStringLiteral("varlo.ini"));
    WriteFile(ini, "; kept comment\r\n[Paths]\r\nHelp=old\r\nOther=1\r\n\r\n[Tail]\r\nx=y\r\n");
    CInfFile inf;
    inf.Parse(
        QStringLiteral("[All]\nUpdateInis=Inis\n"
                       "[Inis]\n"
                       "varlo.ini,Paths,,\"Help=%102030%help\"\n"
                       "varlo.ini,Paths,\"Other=1\",\n"
                       "varlo.ini,paths,,\"Added=yes\"\n"
                       "varlo.ini,New,,\"Key=value\"\n"
                       "%102030%sub\\other.ini,S,,\"K=V\"\n"));
    inf.SetDirectoryId(kDestinationDirId, dir.path() + u'/');
    CSetupSettings machine(QSettings::SystemScope);
    CSetupSettings user(QSettings::UserScope);
    QString error;
    QVERIFY2(ApplyInstallSection(inf, QStringLiteral("All"), machine, user, &error), qPrintable(error));
    QCOMPARE(
        QString::fromUtf8(ReadFile(ini)),
        QStringLiteral("; kept comment\n[Paths]\nHelp=%1/help\nAdded=yes\n\n[Tail]\nx=y\n[New]\nKey=value\n")
            .arg(dir.path()));
    QCOMPARE(ReadFile(dir.filePath(QStringLiteral("sub/other.ini"))), QByteArray("[S]\nK=V\n"));
  }

  void SettingsMapOnlyOurOwnKeysAndKeepUserInfoOnKeyRemoval() {
    CSetupSettings machine(QSettings::SystemScope);
    QVERIFY(!machine.SetValue(QStringLiteral("Software\\Other\\Varlo\\X"), QStringLiteral("v"), 1));
    QVERIFY(!machine.SetValue(QStringLiteral("Software\\Tolvane"), QStringLiteral("v"), 1));
    QVERIFY(machine.SetValue(QStringLiteral("software/tolvane/varlo/UserInfo"), QStringLiteral("UseNS"), 1));
    QVERIFY(!machine.RemoveKey(QStringLiteral("Software\\Tolvane\\Varlo")));
    QCOMPARE(machine.ReadAnswers().useNs, true);
  }

  void AnswersRoundTripAndTheUninstallRecordCanBeRemovedAlone() {
    CSetupSettings machine(QSettings::SystemScope);
    QCOMPARE(machine.ReadAnswers().destinationPath, QString());
    QCOMPARE(machine.ReadAnswers().useNs, false);
    machine.WriteAnswers({QStringLiteral("/opt/varlo/"), QStringLiteral("/usr/bin"), false});
    machine.WriteUninstallRecord(QStringLiteral("/opt/varlo/"));
    QCOMPARE(machine.UninstallString(), QStringLiteral("/opt/varlo//setup Uninstall"));  // the path as typed
    machine.RemoveUninstallRecord();
    CSetupSettings again(QSettings::SystemScope);
    QCOMPARE(again.UninstallString(), QString());
    QCOMPARE(again.ReadAnswers().destinationPath, QStringLiteral("/opt/varlo/"));
    QCOMPARE(again.ReadAnswers().nsDirectory, QStringLiteral("/usr/bin"));
    QSettings raw(QSettings::SystemScope, kSettingsOrganisation, kSettingsApplication);
    QCOMPARE(raw.value(QStringLiteral("UserInfo/UseNS")).toInt(), 0);
  }

  // Last: it changes where the system scope lives for the rest of the process.
  void FallsBackToTheUserScopeWithoutRightsForTheSystemOne() {
    QVERIFY(CSetupSettings().Scope() == QSettings::SystemScope);  // the test's own writable folder
    const QString systemFolder = qEnvironmentVariable("XDG_CONFIG_DIRS").split(u':').value(0);
    QSettings::setPath(QSettings::NativeFormat, QSettings::SystemScope,
                       QStringLiteral("/dev/null/no-rights"));
    const CSetupSettings settings;
    QVERIFY(settings.Scope() == QSettings::UserScope);
    QVERIFY(settings.FileName().startsWith(qEnvironmentVariable("XDG_CONFIG_HOME")));
    QSettings::setPath(QSettings::NativeFormat, QSettings::SystemScope, systemFolder);
  }
};

QTEST_MAIN(InfReaderTest)
#include "inf_reader_test.moc"
