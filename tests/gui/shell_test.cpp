// The application shell: start-up, menus per window kind, toolbar and status prompts, the
// document's file commands, the traffic commands, the recent files, settings, help and About.
#include <QAction>
#include <QDir>
#include <QFile>
#include <QCheckBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QMdiSubWindow>
#include <QScrollBar>
#include <QSettings>
#include <QTextBrowser>
#include <QToolButton>
#include <QLabel>
#include <QMdiArea>
#include <QMessageBox>
#include <QMimeData>
#include <QSplitter>
#include <QStatusTipEvent>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QToolBar>
#include <QtTest>
#include <memory>

#include "app/about_dlg.h"
#include "app/document_host.h"
#include "platform/qt/file_dialogs.h"
#include "app/help.h"
#include "app/help_window.h"
#include "tools/simulator_commands.h"
#include "app/main_frame.h"
#include "app/mdi_frame.h"
#include "app/varlo_app.h"
#include "editor/varlo_view.h"
#include "model/const_poisson_class.h"
#include "model/mm1k_queue.h"
#include "model/archive.h"
#include "model/document.h"
#include "platform/qt/dialog_exchange.h"
#include "platform/qt/settings_store.h"
#include "platform/qt/shared_printer.h"
#include "resources/command_ids.h"
#include "resources/string_table.h"
#include "editor/class_view.h"
#include "results/computation_commands.h"
#include "results/computation_dlg.h"
#include "tools/options_dlg.h"

using namespace varlo;

namespace {

QByteArray ReadAll(const QString& path) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) return {};
  return f.readAll();
}

QByteArray ToBytes(const std::vector<std::uint8_t>& v) {
  return QByteArray(reinterpret_cast<const char*>(v.data()), static_cast<qsizetype>(v.size()));
}

// A small network: A - B joined by one link, one UDP class from A to B.
void BuildNetwork(CVarloDoc& doc) {
  CGraphicNode* a = doc.CreateNode(100, 100);
  CGraphicNode* b = doc.CreateNode(300, 120);
  auto forward = std::make_unique<C_MM1K_Queue>(a, b, 1000.0, 50.0, 0.01);
  auto backward = std::make_unique<C_MM1K_Queue>(b, a, 1000.0, 50.0, 0.01);
  doc.AddLink(std::make_unique<CGraphicLink>(a, b, std::move(forward), std::move(backward)));
  doc.AddClass(std::make_unique<CConstPoissonClass>(a, b, 0.0, 10.0, 400.0));
}

std::vector<int> ToolbarCommands(QToolBar* bar) {
  std::vector<int> ids;
  for (QAction* a : bar->actions()) ids.push_back(a->isSeparator() ? 0 : a->data().toInt());
  return ids;
}

}  // namespace

class ShellTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<QTemporaryDir> temp_;
  QStringList messages_;
  int messageAnswer_ = QMessageBox::Ok;
  QStringList filePromptAnswers_;
  QStringList filePromptFilters_;
  std::unique_ptr<CVarloApp> app_;

  QString TempPath(const QString& name) const { return temp_->filePath(name); }

  void WriteSystemSettings(const QString& text) {
    QFile f(TempPath(QStringLiteral("system.ini")));
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(text.toUtf8());
  }

  CVarloApp& Start(const QStringList& args = {}) {
    app_ = std::make_unique<CVarloApp>();
    started_ = app_->InitInstance(args);
    return *app_;
  }
  bool started_ = false;

  // A network file written by the core, to open.
  QString WriteNetworkFile(const QString& name) {
    CVarloDoc doc;
    BuildNetwork(doc);
    const QString path = TempPath(name);
    doc.OnSaveDocument(QFile::encodeName(path).toStdString());
    return path;
  }

  // The user's own Options choices live in the test's private configuration, which outlives a run.
  static void ForgetUserOptions() {
    QSettings(QSettings::UserScope, QStringLiteral("Local AppWizard-Generated Applications"), QStringLiteral("Varlo"))
        .remove(QStringLiteral("Options"));
  }

  CChildFrame* OnlyChildFrame() {
    const auto windows = app_->MainFrame()->MdiArea()->subWindowList();
    return windows.size() == 1 ? qobject_cast<CChildFrame*>(windows.first()) : nullptr;
  }

 private slots:
  void init() {
    temp_ = std::make_unique<QTemporaryDir>();
    QVERIFY(temp_->isValid());
    CSettingsStore::SetSystemFileForTesting(TempPath(QStringLiteral("system.ini")));
    CSettingsStore::WriteRecentFiles({});
    ForgetUserOptions();
    messages_.clear();
    messageAnswer_ = QMessageBox::Ok;
    filePromptAnswers_.clear();
    filePromptFilters_.clear();
    SetMessageBoxHook([this](const QString& text, MessageKind, int) {
      messages_ << text;
      return messageAnswer_;
    });
    SetFilePromptHook([this](FilePromptKind, const QString& filter, const QString&, const QString&) {
      filePromptFilters_ << filter;
      return filePromptAnswers_.isEmpty() ? QString() : filePromptAnswers_.takeFirst();
    });
  }

  void cleanup() {
    app_.reset();
    QCoreApplication::processEvents();
    SetMessageBoxHook({});
    SetFilePromptHook({});
    SetDialogHook({});
    SetUrlOpener({});
    ForgetUserOptions();
    CSettingsStore::SetSystemFileForTesting(QString());
  }

  // --- start-up ------------------------------------------------------------------------------

  void startsWithOneEmptyNetworkWindowSplit250() {
    Start();
    QVERIFY(started_);
    QCOMPARE(app_->Documents().size(), size_t{1});
    CChildFrame* frame = OnlyChildFrame();
    QVERIFY(frame != nullptr);
    QCOMPARE(frame->windowTitle(), QStringLiteral("Untitled"));
    QCOMPARE(frame->Splitter()->count(), 2);
    QCOMPARE(frame->Splitter()->widget(0), static_cast<QWidget*>(frame->ClassView()));
    QCOMPARE(frame->Splitter()->widget(1), static_cast<QWidget*>(frame->Canvas()));
    QCOMPARE(frame->Splitter()->sizes().at(0), CChildFrame::kTreeWidth);
    QVERIFY(frame->Splitter()->sizes().at(1) > 0);
    QCOMPARE(app_->Documents().front()->Doc()->GetNodeCount(), size_t{0});
    QCOMPARE(app_->MainFrame()->CurrentMenuLayout(), CMainFrame::MenuLayout::kNetwork);
  }

  void startsWithTheNetworkNamedOnTheCommandLine() {
    const QString path = WriteNetworkFile(QStringLiteral("two.net"));
    Start({path});
    QVERIFY2(started_, qPrintable(messages_.join('|')));
    CChildFrame* frame = OnlyChildFrame();
    QVERIFY(frame != nullptr);
    QCOMPARE(frame->windowTitle(), QStringLiteral("two.net"));
    app_->MainFrame()->UpdateFrameTitle();
    QCOMPARE(app_->MainFrame()->windowTitle(), QStringLiteral("Varlo - two.net"));
    CVarloDoc* doc = app_->Documents().front()->Doc();
    QCOMPARE(doc->GetNodeCount(), size_t{2});
    QCOMPARE(doc->GetLinks().size(), size_t{1});
    QCOMPARE(doc->GetClasses().size(), size_t{1});
    QCOMPARE(app_->RecentFiles(), QStringList{QFileInfo(path).absoluteFilePath()});
  }

  void startupFailsWhenTheNamedFileCannotBeOpened() {
    Start({TempPath(QStringLiteral("missing.net"))});
    QVERIFY(!started_);
    QCOMPARE(app_->ExitCode(), 1);
    QCOMPARE(messages_,
             QStringList{QStringLiteral("%1 was not found.").arg(TempPath(QStringLiteral("missing.net")))});
  }

  void parsesTheCommandLine() {
    using Shell = CCommandLineInfo::Shell;
    QCOMPARE(CVarloApp::ParseCommandLine({}).shell, Shell::kFileNew);
    const auto open = CVarloApp::ParseCommandLine({QStringLiteral("a.net")});
    QCOMPARE(open.shell, Shell::kFileOpen);
    QCOMPARE(open.fileName, QStringLiteral("a.net"));
    const auto print = CVarloApp::ParseCommandLine({QStringLiteral("/p"), QStringLiteral("a.net")});
    QCOMPARE(print.shell, Shell::kFilePrint);
    QCOMPARE(print.fileName, QStringLiteral("a.net"));
    const auto printTo = CVarloApp::ParseCommandLine(
        {QStringLiteral("/PT"), QStringLiteral("a.net"), QStringLiteral("Office"), QStringLiteral("drv")});
    QCOMPARE(printTo.shell, Shell::kFilePrintTo);
    QCOMPARE(printTo.fileName, QStringLiteral("a.net"));
    QCOMPARE(printTo.printerName, QStringLiteral("Office"));
  }

  void printSwitchPrintsAndEnds() {
    const QString path = WriteNetworkFile(QStringLiteral("print.net"));
    const QString pdf = TempPath(QStringLiteral("out.pdf"));
    Start({QStringLiteral("/pt"), path, pdf});
    QVERIFY(!started_);
    QCOMPARE(app_->ExitCode(), 0);
    QVERIFY(ReadAll(pdf).startsWith("%PDF"));
  }

  // --- menus, toolbar, status bar ------------------------------------------------------------

  void menusFollowTheActiveWindowKind() {
    Start();
    CMainFrame* main = app_->MainFrame();
    QCOMPARE(main->MenuTitles(),
             (QStringList{"&File", "&Edit", "&Computation", "&Productivity", "&View", "&Window", "&Tools", "&Help"}));
    QCOMPARE(main->MenuCommands("&Edit"), (std::vector<int>{kIdEditUndo, kIdEditRedo}));
    QCOMPARE(main->MenuCommands("&Computation"),
             (std::vector<int>{kIdComputeRoutes, kIdComputeMetrics, kIdMM1KZIteration, kIdGenerateNSScript,
                               kIdGenerateQNSScript, kIdParameters}));
    QCOMPARE(main->MenuCommands("&Productivity"),
             (std::vector<int>{kIdLoadTraffic, kIdSaveTraffic, kIdGenerateTCPTraffic, kIdGenerateTraceClasses,
                               kIdDeleteAllTraffic, kIdModifyLinks}));
    QCOMPARE(main->MenuCommands("&View"),
             (std::vector<int>{kIdCreateGraphic, kIdAnimateDump, kIdZoomIn, kIdZoomOut, kIdZoomToFit, 0, kIdViewToolbar,
                               kIdViewStatusBar}));
    QCOMPARE(main->MenuCommands("&Window"), (std::vector<int>{kIdWindowNew, kIdWindowCascade, kIdWindowTile,
                                                              kIdWindowArrange, kIdWindowSplit}));
    const std::vector<int> file = main->MenuCommands("&File");
    const std::vector<int> fileHead(file.begin(), file.begin() + 12);
    QCOMPARE(fileHead, (std::vector<int>{kIdFileNew, kIdFileOpen, kIdFileClose, kIdFileSave, kIdFileSaveAs, 0,
                                         kIdFilePrint, kIdFilePrintPreview, kIdFilePrintSetup, 0,
                                         kIdCreateMetafile, kIdExportPicture}));
    QCOMPARE(file.back(), kIdAppExit);

    CDocumentHost* host = app_->Documents().front().get();
    host->CreateGraphFrame();
    main->UpdateMenuLayout();
    QCOMPARE(main->CurrentMenuLayout(), CMainFrame::MenuLayout::kGraph);
    QCOMPARE(main->MenuTitles(), (QStringList{"&File", "&Edit", "&Computation", "&View", "&Window", "&Tools", "&Help"}));
    QCOMPARE(main->MenuCommands("&View"), (std::vector<int>{kIdCreateGraphic, kIdAnimateDump, kIdViewGrid, 0,
                                                            kIdViewToolbar, kIdViewStatusBar}));

    host->CloseAllFrames();
    QTRY_VERIFY(app_->Documents().empty());
    main->UpdateMenuLayout();
    main->UpdateFrameTitle();
    QCOMPARE(main->windowTitle(), QStringLiteral("Varlo"));
    QCOMPARE(main->CurrentMenuLayout(), CMainFrame::MenuLayout::kNoDocument);
    QCOMPARE(main->MenuTitles(), (QStringList{"&File", "&View", "&Tools", "&Help"}));
    QCOMPARE(main->MenuCommands("&File"),
             (std::vector<int>{kIdFileNew, kIdFileOpen, kIdOpenSweepSummary, kIdFilePrintSetup, 0, kIdFileMruFirst,
                               kIdFileMruFirst + 1, kIdFileMruFirst + 2, kIdFileMruLast, 0, kIdAppExit}));
    QCOMPARE(main->MenuCommands("&Help"), (std::vector<int>{kIdHelpContents, kIdAppAbout}));
    main->UpdateCommandUI();
    QVERIFY(!main->Action(kIdFileSave)->isEnabled());
    QVERIFY(main->Action(kIdFileNew)->isEnabled());
    // With no recent file the first entry stands greyed as a placeholder, the others are hidden.
    QCOMPARE(main->Action(kIdFileMruFirst)->text(), QStringLiteral("Recent File"));
    QVERIFY(!main->Action(kIdFileMruFirst)->isEnabled());
    QVERIFY(!main->Action(kIdFileMruFirst + 1)->isVisible());
  }

  void menuTextsAndAccelerators() {
    Start();
    CMainFrame* main = app_->MainFrame();
    QCOMPARE(main->Action(kIdFileNew)->text(), QStringLiteral("&New\tCtrl+N"));
    QCOMPARE(main->Action(kIdFileNew)->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_N));
    QCOMPARE(main->Action(kIdFileOpen)->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_O));
    QCOMPARE(main->Action(kIdFileSave)->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_S));
    QCOMPARE(main->Action(kIdFilePrint)->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_P));
    QCOMPARE(main->Action(kIdNextPane)->shortcut(), QKeySequence(Qt::Key_F6));
    QCOMPARE(main->Action(kIdEditPaste)->shortcuts().size(), 2);
    QCOMPARE(main->Action(kIdModifyLinks)->text(), QStringLiteral("&Modify Links ..."));
    QCOMPARE(main->Action(kIdCreateMetafile)->text(), QStringLiteral("Create Metafile.."));
  }

  void toolbarButtonsInOrderWithIconsAndTips() {
    Start();
    QToolBar* bar = app_->MainFrame()->ToolBar();
    QCOMPARE(ToolbarCommands(bar),
             (std::vector<int>{kIdFileNew, kIdFileOpen, kIdFileSave, 0, kIdEditUndo, kIdEditRedo, 0,
                               kIdComputeRoutes, kIdComputeMetrics, kIdCreateGraphic, kIdGenerateNSScript, 0,
                               kIdZoomIn, kIdZoomOut, 0, kIdFilePrint, kIdAppAbout}));
    for (QAction* a : bar->actions()) {
      if (a->isSeparator()) continue;
      QVERIFY2(!a->icon().isNull(), qPrintable(a->text()));
    }
    QCOMPARE(app_->MainFrame()->Action(kIdComputeRoutes)->toolTip(), QStringLiteral("Routes Computation"));
    QCOMPARE(app_->MainFrame()->Action(kIdZoomIn)->toolTip(), QStringLiteral("Zoom In"));
  }

  void laterCommandsStandDisabled() {
    Start();
    CMainFrame* main = app_->MainFrame();
    main->UpdateCommandUI();
    // Without the installer's "UseNS" the ns command stays greyed.
    QVERIFY(!main->Action(kIdGenerateNSScript)->isEnabled());
    for (int id : {kIdGenerateTCPTraffic, kIdGenerateTraceClasses, kIdDeleteAllTraffic, kIdModifyLinks,
                   kIdGenerateQNSScript, kIdComputeMetrics, kIdMM1KZIteration, kIdParameters,
                   kIdCreateGraphic, kIdAnimateDump, kIdComputeRoutes, kIdLoadTraffic, kIdSaveTraffic,
                   kIdFileSave, kIdFileClose, kIdWindowNew, kIdAppAbout, kIdHelpContents}) {
      QVERIFY2(main->Action(id)->isEnabled(), qPrintable(QString::number(id)));
    }
    QVERIFY(!main->Action(kIdWindowSplit)->isEnabled());
  }

  void statusBarShowsPromptsAndReady() {
    QCOMPARE(StatusPrompt(kIdComputeRoutes), QStringLiteral("Compute the routes in the network"));
    QCOMPARE(ToolTipText(kIdComputeRoutes), QStringLiteral("Routes Computation"));
    QCOMPARE(StatusPrompt(kIdLoadTraffic), QStringLiteral("Load Classes from a file"));
    QCOMPARE(ToolTipText(kIdLoadTraffic), QString());
    QCOMPARE(StatusPrompt(kIdHelpContents), QStringLiteral("Display help Information about Varlo 1.0"));

    Start();
    CMainFrame* main = app_->MainFrame();
    QCOMPARE(main->StatusText(), QStringLiteral("Ready"));
    QCOMPARE(main->Action(kIdSaveTraffic)->statusTip(), QStringLiteral("Save Classes to a file"));
    QStatusTipEvent hover(main->Action(kIdZoomOut)->statusTip());
    QApplication::sendEvent(main, &hover);
    QCOMPARE(main->StatusText(), QStringLiteral("Zooms out of the drawing"));
    QStatusTipEvent leave{QString()};
    QApplication::sendEvent(main, &leave);
    QCOMPARE(main->StatusText(), QStringLiteral("Ready"));
  }

  void zoomButtonsFollowTheCanvas() {
    Start();
    CMainFrame* main = app_->MainFrame();
    CVarloDoc* doc = app_->Documents().front()->Doc();
    main->UpdateCommandUI();
    QVERIFY(main->Action(kIdZoomIn)->isEnabled());  // magnifying goes on below 1.0 ...
    QVERIFY(main->Action(kIdZoomOut)->isEnabled());
    for (int i = 0; i < 3; ++i) QVERIFY(main->RouteCommand(kIdZoomIn));
    QCOMPARE(doc->zoomFactor, 0.25);
    main->UpdateCommandUI();
    QVERIFY(!main->Action(kIdZoomIn)->isEnabled());  // ... down to four times
    QVERIFY(!main->RouteCommand(kIdZoomIn));
    for (int i = 0; i < 23; ++i) QVERIFY(main->RouteCommand(kIdZoomOut));
    QCOMPARE(doc->zoomFactor, 6.0);
    main->UpdateCommandUI();
    QVERIFY(main->Action(kIdZoomIn)->isEnabled());
    QVERIFY(!main->Action(kIdZoomOut)->isEnabled());
  }

  void printSetupEditsTheProgramsPrinter() {
    Start();
    QString dialogClass;
    SetDialogHook([&](QDialog& dialog) {
      dialogClass = QString::fromLatin1(dialog.metaObject()->className());
      return int(QDialog::Rejected);
    });
    QVERIFY(app_->MainFrame()->RouteCommand(kIdFilePrintSetup));
    QCOMPARE(dialogClass, QStringLiteral("QPageSetupDialog"));
    QCOMPARE(SharedPrinter(), app_->Printer());
  }

  void closingTheMainWindowAsksForEachChangedDocument() {
    Start();
    BuildNetwork(*app_->Documents().front()->Doc());
    CMainFrame* main = app_->MainFrame();
    messageAnswer_ = QMessageBox::Cancel;
    QVERIFY(!main->close());
    QCOMPARE(messages_, QStringList{QStringLiteral("Save changes to Untitled?")});
    QCOMPARE(app_->Documents().size(), size_t{1});
    messageAnswer_ = QMessageBox::No;
    QVERIFY(main->close());
    QVERIFY(app_->Documents().empty());
  }

  void f6MovesBetweenTreeAndCanvas() {
    Start();
    CMainFrame* main = app_->MainFrame();
    main->activateWindow();
    CChildFrame* frame = OnlyChildFrame();
    frame->Canvas()->setFocus();
    QCOMPARE(frame->ActiveViewTarget(), static_cast<ICommandTarget*>(frame->Canvas()));
    QVERIFY(main->RouteCommand(kIdNextPane));
    QCOMPARE(frame->ActiveViewTarget(), static_cast<ICommandTarget*>(frame->ClassView()));
    QVERIFY(main->RouteCommand(kIdPrevPane));
    QCOMPARE(frame->ActiveViewTarget(), static_cast<ICommandTarget*>(frame->Canvas()));
  }

  void toolbarAndStatusBarToggle() {
    Start();
    CMainFrame* main = app_->MainFrame();
    QVERIFY(main->RouteCommand(kIdViewToolbar));
    QVERIFY(main->ToolBar()->isHidden());
    main->UpdateCommandUI();
    QVERIFY(!main->Action(kIdViewToolbar)->isChecked());
    QVERIFY(main->RouteCommand(kIdViewToolbar));
    main->UpdateCommandUI();
    QVERIFY(main->Action(kIdViewToolbar)->isChecked());
  }

  // --- files -------------------------------------------------------------------------------

  void openEditSaveReopenIsByteIdentical() {
    const QString path = WriteNetworkFile(QStringLiteral("edit.net"));
    Start({path});
    QVERIFY2(started_, qPrintable(messages_.join('|')));
    CDocumentHost* host = app_->Documents().front().get();
    CVarloDoc* doc = host->Doc();
    CGraphicNode* added = doc->CreateNode(50, 400);
    doc->UpdateAllViews(nullptr, kHintNodeAdded, added);
    QVERIFY(doc->IsModified());
    QVERIFY(app_->MainFrame()->RouteCommand(kIdFileSave));
    QVERIFY(!doc->IsModified());
    QVERIFY(messages_.isEmpty());
    const QByteArray saved = ReadAll(path);
    QCOMPARE(saved, ToBytes(doc->SaveToBytes(path.toStdString())));

    // Reopened in the program, the network is what the core alone reads from that file.
    app_->CloseAllDocuments();
    CDocumentHost* again = app_->OpenDocumentFile(path);
    QVERIFY(again != nullptr);
    CVarloDoc coreOnly;
    coreOnly.OnOpenDocument(path.toStdString());
    QCOMPARE(again->Doc()->GetNodeCount(), size_t{3});
    QCOMPARE(ToBytes(again->Doc()->SaveToBytes(path.toStdString())),
             ToBytes(coreOnly.SaveToBytes(path.toStdString())));
  }

  void damagedFileShowsItsMessageAndOpensNothing() {
    Start();
    const QString good = WriteNetworkFile(QStringLiteral("good.net"));
    const QString cut = TempPath(QStringLiteral("cut.net"));
    QFile out(cut);
    QVERIFY(out.open(QIODevice::WriteOnly));
    out.write(ReadAll(good).left(40));
    out.close();
    const size_t before = app_->Documents().size();
    QVERIFY(app_->OpenDocumentFile(cut) == nullptr);
    QCOMPARE(app_->Documents().size(), before);
    QCOMPARE(app_->MainFrame()->MdiArea()->subWindowList().size(), 1);
    QCOMPARE(messages_,
             QStringList{QStringLiteral("An attempt was made to access %1 past its end.").arg(cut)});

    // A file that is no network at all: a class name the program does not know.
    const QString alien = TempPath(QStringLiteral("alien.net"));
    QFile bad(alien);
    QVERIFY(bad.open(QIODevice::WriteOnly));
    bad.write(QByteArray::fromHex("01000000"
                                  "0100"
                                  "0100"
                                  "ffff"
                                  "0100"
                                  "0500") +
              "CJunk" + QByteArray(40, '\0'));
    bad.close();
    messages_.clear();
    QVERIFY(app_->OpenDocumentFile(alien) == nullptr);
    QCOMPARE(messages_, QStringList{QStringLiteral("%1 contained an unexpected object.").arg(alien)});
  }

  void reopeningAnOpenFileBringsItsWindowForward() {
    const QString path = WriteNetworkFile(QStringLiteral("once.net"));
    Start({path});
    QCOMPARE(app_->OpenDocumentFile(path), app_->Documents().front().get());
    QCOMPARE(app_->Documents().size(), size_t{1});
  }

  // Edits made in the canvas go on the document's undo stack; the Edit menu names them, and
  // undoing back to the saved file clears the "*" and the save prompt.
  void undoAndRedoFollowTheSavedState() {
    Start();
    CMainFrame* main = app_->MainFrame();
    CDocumentHost* host = app_->Documents().front().get();
    CVarloView* canvas = host->FirstCanvas();
    QVERIFY(canvas);
    canvas->OnContextClick(QPoint(40, 40));
    QVERIFY(canvas->OnCommand(kIdAddNode));
    canvas->OnContextClick(QPoint(200, 40));
    QVERIFY(canvas->OnCommand(kIdAddNode));
    main->UpdateCommandUI();
    QCOMPARE(main->Action(kIdEditUndo)->text(), QStringLiteral("&Undo Add Node\tCtrl+Z"));
    QVERIFY(!main->Action(kIdEditRedo)->isEnabled());
    QCOMPARE(OnlyChildFrame()->windowTitle(), QStringLiteral("Untitled*"));

    const QString path = TempPath(QStringLiteral("undo.net"));
    filePromptAnswers_ << path;
    QVERIFY(main->RouteCommand(kIdFileSave));
    const QByteArray saved = ReadAll(path);
    QCOMPARE(OnlyChildFrame()->windowTitle(), QStringLiteral("undo.net"));
    QVERIFY(main->RouteCommand(kIdEditUndo));
    QCOMPARE(host->Doc()->GetNodeCount(), size_t{1});
    QCOMPARE(OnlyChildFrame()->windowTitle(), QStringLiteral("undo.net*"));
    main->UpdateCommandUI();
    QCOMPARE(main->Action(kIdEditRedo)->text(), QStringLiteral("&Redo Add Node\tCtrl+Y"));
    QVERIFY(main->RouteCommand(kIdEditRedo));
    QVERIFY(!host->Doc()->IsModified());
    QCOMPARE(OnlyChildFrame()->windowTitle(), QStringLiteral("undo.net"));
    QCOMPARE(ToBytes(host->Doc()->SaveToBytes(path.toStdString())), saved);
    // Back at the saved state closing asks nothing.
    QVERIFY(main->RouteCommand(kIdFileClose));
    QVERIFY(messages_.isEmpty());
    QTRY_VERIFY(app_->Documents().empty());
    main->UpdateCommandUI();
    QCOMPARE(main->Action(kIdEditUndo)->text(), QStringLiteral("&Undo\tCtrl+Z"));
    QVERIFY(!main->Action(kIdEditUndo)->isEnabled());
  }

  void saveAsNamesTheDocument() {
    Start();
    CDocumentHost* host = app_->Documents().front().get();
    BuildNetwork(*host->Doc());
    const QString path = TempPath(QStringLiteral("named.net"));
    filePromptAnswers_ << path;
    QVERIFY(app_->MainFrame()->RouteCommand(kIdFileSave));
    QCOMPARE(filePromptFilters_, QStringList{QStringLiteral("Varlo Files (*.net)")});
    QCOMPARE(OnlyChildFrame()->windowTitle(), QStringLiteral("named.net"));
    QCOMPARE(ReadAll(path), ToBytes(host->Doc()->SaveToBytes(path.toStdString())));
    QCOMPARE(app_->RecentFiles().first(), QFileInfo(path).absoluteFilePath());
  }

  void exportSummaryNamesTheDumpItLooksFor() {
    // A network just saved, never run: the message says there is no dump yet, naming the network.
    // Once a file sits where its runs write, that one is read (here an empty one, refused by name).
    Start();
    CDocumentHost* host = app_->Documents().front().get();
    BuildNetwork(*host->Doc());
    QVERIFY(host->DoSave(TempPath(QStringLiteral("sum.net"))));
    QVERIFY(host->Doc()->dumpFilePath.empty());
    QVERIFY(app_->MainFrame()->RouteCommand(kIdExportSummary));
    QCOMPARE(messages_.size(), 1);
    QVERIFY2(messages_.first().startsWith(QStringLiteral("sum.net has no dump file yet")), qPrintable(messages_.first()));
    messages_.clear();
    QFile empty(TempPath(QStringLiteral("sum.dmp")));
    QVERIFY(empty.open(QIODevice::WriteOnly));
    empty.close();
    QVERIFY(app_->MainFrame()->RouteCommand(kIdExportSummary));
    QCOMPARE(messages_.size(), 1);
    QVERIFY2(messages_.first().contains(QStringLiteral("sum.dmp")), qPrintable(messages_.first()));
    QVERIFY(!filePromptFilters_.contains(QStringLiteral("CSV Files (*.csv)")));
  }

  void aSweepSummaryRowOpensItsVariantWithItsDump() {
    // Variant 0 ran: its network opens with its dump as the document's; variant 1 failed before
    // writing a network: the message names the file looked for.
    Start();
    QVERIFY(QDir(TempPath(QString())).mkpath(QStringLiteral("sweep/variants/variant-0000")));
    QVERIFY(QDir(TempPath(QString())).mkpath(QStringLiteral("sweep/variants/variant-0001")));
    const QString network = WriteNetworkFile(QStringLiteral("sweep/variants/variant-0000/network.net"));
    const QString dump = TempPath(QStringLiteral("sweep/variants/variant-0000/run.dmp"));
    QFile(dump).open(QIODevice::WriteOnly);
    QFile summary(TempPath(QStringLiteral("sweep/summary.csv")));
    QVERIFY(summary.open(QIODevice::WriteOnly));
    summary.write("variant,capacity,status\n0,1,ok\n1,2,failed\n");
    summary.close();
    // The sweep's chart beside it comes on a second tab.
    QFile chart(TempPath(QStringLiteral("sweep/summary.svg")));
    QVERIFY(chart.open(QIODevice::WriteOnly));
    chart.write("<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"720\" height=\"480\"><rect width=\"9\" height=\"9\"/></svg>");
    chart.close();
    filePromptAnswers_ << summary.fileName();
    QVERIFY(app_->MainFrame()->RouteCommand(kIdOpenSweepSummary));
    auto* table = app_->MainFrame()->findChild<QTableWidget*>(QStringLiteral("sweepSummaryTable"));
    QVERIFY(table != nullptr);
    auto* tabs = app_->MainFrame()->findChild<QTabWidget*>(QStringLiteral("sweepSummaryTabs"));
    QVERIFY(tabs != nullptr);
    QCOMPARE(tabs->count(), 2);
    QCOMPARE(tabs->tabText(1), QStringLiteral("Chart"));
    emit table->activated(table->model()->index(0, 1));
    QCOMPARE(app_->Documents().size(), size_t{2});
    CDocumentHost* opened = app_->Documents().back().get();
    QCOMPARE(QFileInfo(opened->PathName()).canonicalFilePath(), QFileInfo(network).canonicalFilePath());
    QCOMPARE(QString::fromStdString(opened->Doc()->dumpFilePath), dump);
    QVERIFY(messages_.isEmpty());
    emit table->activated(table->model()->index(1, 0));
    QCOMPARE(app_->Documents().size(), size_t{2});
    QCOMPARE(messages_, QStringList{QStringLiteral("Variant 1 has no network: %1 was not found.")
                                        .arg(TempPath(QStringLiteral("sweep/variants/variant-0001/network.net")))});
  }

  void saveFailureIsReportedAndKeepsTheDocumentModified() {
    Start();
    CDocumentHost* host = app_->Documents().front().get();
    BuildNetwork(*host->Doc());
    const QString path = TempPath(QStringLiteral("no/such/folder/x.net"));
    QVERIFY(!host->DoSave(path));
    QCOMPARE(messages_.size(), 1);
    QVERIFY(messages_.first().contains(QStringLiteral("x.net")));
    QVERIFY(host->Doc()->IsModified());
    QCOMPARE(OnlyChildFrame()->windowTitle(), QStringLiteral("Untitled"));
  }

  void closingAModifiedDocumentAsksToSave() {
    Start();
    CDocumentHost* host = app_->Documents().front().get();
    BuildNetwork(*host->Doc());
    messageAnswer_ = QMessageBox::Cancel;
    QVERIFY(app_->MainFrame()->RouteCommand(kIdFileClose));
    QCOMPARE(messages_, QStringList{QStringLiteral("Save changes to Untitled?")});
    QCoreApplication::processEvents();
    QCOMPARE(app_->Documents().size(), size_t{1});

    // Closing the window itself asks too; No discards the changes.
    messages_.clear();
    messageAnswer_ = QMessageBox::No;
    OnlyChildFrame()->close();
    QCOMPARE(messages_, QStringList{QStringLiteral("Save changes to Untitled?")});
    QTRY_VERIFY(app_->Documents().empty());
  }

  void answeringYesSavesBeforeClosing() {
    Start();
    CDocumentHost* host = app_->Documents().front().get();
    BuildNetwork(*host->Doc());
    const QString path = TempPath(QStringLiteral("kept.net"));
    filePromptAnswers_ << path;
    messageAnswer_ = QMessageBox::Yes;
    QVERIFY(app_->MainFrame()->RouteCommand(kIdFileClose));
    QTRY_VERIFY(app_->Documents().empty());
    QVERIFY(QFileInfo::exists(path));
  }

  void secondWindowsAreNumbered() {
    Start();
    CMainFrame* main = app_->MainFrame();
    QVERIFY(main->RouteCommand(kIdWindowNew));
    auto windows = main->MdiArea()->subWindowList();
    QCOMPARE(windows.size(), 2);
    QCOMPARE(windows[0]->windowTitle(), QStringLiteral("Untitled:1"));
    QCOMPARE(windows[1]->windowTitle(), QStringLiteral("Untitled:2"));
    QCOMPARE(app_->Documents().size(), size_t{1});
    // Only the last window of a modified document asks to save.
    BuildNetwork(*app_->Documents().front()->Doc());
    windows[1]->close();
    QTRY_COMPARE(main->MdiArea()->subWindowList().size(), 1);
    QVERIFY(messages_.isEmpty());
    // The "*" says the document has changes not saved.
    QTRY_COMPARE(main->MdiArea()->subWindowList().first()->windowTitle(), QStringLiteral("Untitled*"));
  }

  void recentFilesKeepFourMostRecentFirst() {
    Start();
    QStringList paths;
    for (int i = 1; i <= 5; ++i) {
      paths << WriteNetworkFile(QStringLiteral("r%1.net").arg(i));
      QVERIFY(app_->OpenDocumentFile(paths.last()) != nullptr);
    }
    const QStringList expected = {
        QFileInfo(paths[4]).absoluteFilePath(), QFileInfo(paths[3]).absoluteFilePath(),
        QFileInfo(paths[2]).absoluteFilePath(), QFileInfo(paths[1]).absoluteFilePath()};
    QCOMPARE(app_->RecentFiles(), expected);
    QCOMPARE(CSettingsStore::ReadRecentFiles(), expected);
    QVERIFY(app_->MainFrame()->Action(kIdFileMruFirst)->text().startsWith(QStringLiteral("&1 ")));
    QVERIFY(app_->MainFrame()->Action(kIdFileMruFirst)->text().endsWith(QStringLiteral("r5.net")));

    // A recent file that has gone leaves the list when it fails to open.
    app_->CloseAllDocuments();
    QVERIFY(QFile::remove(paths[3]));
    QVERIFY(app_->MainFrame()->RouteCommand(kIdFileMruFirst + 1));
    QCOMPARE(messages_.size(), 1);
    QVERIFY(messages_.first().endsWith(QStringLiteral("r4.net was not found.")));
    QCOMPARE(app_->RecentFiles().size(), 3);
    QVERIFY(!app_->RecentFiles().contains(QFileInfo(paths[3]).absoluteFilePath()));
  }

  void droppedFilesAreOpened() {
    const QString path = WriteNetworkFile(QStringLiteral("dropped.net"));
    Start();
    CMainFrame* main = app_->MainFrame();
    QVERIFY(main->acceptDrops());
    QVERIFY(main->OpenDroppedUrls(
        {QUrl::fromLocalFile(path), QUrl(QStringLiteral("https://example.org/x.net"))}));
    QCOMPARE(app_->Documents().size(), size_t{2});
    QCOMPARE(app_->Documents().back()->Title(), QStringLiteral("dropped.net"));
  }

  // --- document commands ---------------------------------------------------------------------

  void computeRoutesSetsRoutesValid() {
    Start();
    CDocumentHost* host = app_->Documents().front().get();
    BuildNetwork(*host->Doc());
    QVERIFY(!host->Doc()->routesValid);
    QVERIFY(app_->MainFrame()->RouteCommand(kIdComputeRoutes));
    QVERIFY(host->Doc()->routesValid);
    // The class from A to B now crosses the forward queue of the link.
    const CTrafficClass* udp = host->Doc()->GetClasses().front().get();
    QVERIFY(!udp->GetPath().empty());
  }

  void trafficIsSavedAndLoaded() {
    Start();
    CDocumentHost* host = app_->Documents().front().get();
    BuildNetwork(*host->Doc());
    const QString cls = TempPath(QStringLiteral("traffic.cls"));
    filePromptAnswers_ << cls;
    QVERIFY(app_->MainFrame()->RouteCommand(kIdSaveTraffic));
    QCOMPARE(filePromptFilters_, QStringList{QStringLiteral("Class Files (*.cls)")});
    QCOMPARE(ReadAll(cls), ToBytes(host->Doc()->SaveTrafficToBytes(cls.toStdString())));
    QVERIFY(messages_.isEmpty());

    // Loading the same file again adds every class a second time.
    filePromptAnswers_ << cls;
    QVERIFY(app_->MainFrame()->RouteCommand(kIdLoadTraffic));
    QCOMPARE(host->Doc()->GetClasses().size(), size_t{2});
    QVERIFY(messages_.isEmpty());
    QVERIFY(host->Doc()->IsModified());
  }

  void trafficErrorsAreReported() {
    Start();
    CDocumentHost* host = app_->Documents().front().get();
    const QString junk = TempPath(QStringLiteral("junk.cls"));
    QFile f(junk);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("not a traffic file at all");
    f.close();
    filePromptAnswers_ << junk;
    QVERIFY(app_->MainFrame()->RouteCommand(kIdLoadTraffic));
    QCOMPARE(messages_, QStringList{QStringLiteral("Error loading traffic file...")});
    QCOMPARE(host->Doc()->GetClasses().size(), size_t{0});

    // Classes naming nodes this network lacks: nothing of them is added.
    CVarloDoc other;
    BuildNetwork(other);
    const QString cls = TempPath(QStringLiteral("foreign.cls"));
    other.SaveTraffic(cls.toStdString());
    messages_.clear();
    filePromptAnswers_ << cls;
    QVERIFY(app_->MainFrame()->RouteCommand(kIdLoadTraffic));
    QCOMPARE(messages_, QStringList{QStringLiteral("Error loading traffic file...")});
    QCOMPARE(host->Doc()->GetClasses().size(), size_t{0});

    messages_.clear();
    filePromptAnswers_ << TempPath(QStringLiteral("no/such/folder/t.cls"));
    QVERIFY(app_->MainFrame()->RouteCommand(kIdSaveTraffic));
    QCOMPARE(messages_, QStringList{QStringLiteral("Error saving traffic...")});

    // A cancelled prompt does nothing.
    messages_.clear();
    QVERIFY(app_->MainFrame()->RouteCommand(kIdLoadTraffic));
    QVERIFY(messages_.isEmpty());
  }

  // --- settings, help, about -----------------------------------------------------------------

  void useNSComesFromTheInstallersSettings() {
    WriteSystemSettings(QStringLiteral("[UserInfo]\nUseNS=1\n"));
    Start();
    QVERIFY(app_->Documents().front()->Doc()->useNS);
    app_.reset();
    WriteSystemSettings(QStringLiteral("[UserInfo]\nUseNS=0\n"));
    Start();
    QVERIFY(!app_->Documents().front()->Doc()->useNS);
    app_.reset();
    WriteSystemSettings(QString());
    Start();
    QVERIFY(!app_->Documents().front()->Doc()->useNS);
  }

  void installerValuesFallBackToTheUsersOwnStore() {
    const QString systemDir = qEnvironmentVariable("XDG_CONFIG_DIRS").section(':', 0, 0);
    const QString userDir = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (systemDir.isEmpty() || userDir.isEmpty()) QSKIP("needs the private XDG folders that CTest sets");
    CSettingsStore::SetSystemFileForTesting(QString());
    const QString systemFile = systemDir + QStringLiteral("/Tolvane/Varlo.conf");
    const QString userFile = userDir + QStringLiteral("/Tolvane/Varlo.conf");
    QDir().mkpath(systemDir + QStringLiteral("/Tolvane"));
    QDir().mkpath(userDir + QStringLiteral("/Tolvane"));
    auto write = [](const QString& path, const QByteArray& text) {
      QFile f(path);
      QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
      f.write(text);
    };
    // Installed without the rights for the machine-wide store: the user's own file answers.
    QFile::remove(systemFile);
    write(userFile, "[UserInfo]\nUseNS=1\nDestinationPath=/opt/varlo\n");
    QCOMPARE(CSettingsStore::ReadSystemInt(QStringLiteral("UseNS")), 1);
    QCOMPARE(CSettingsStore::ReadSystemString(QStringLiteral("DestinationPath")),
             QStringLiteral("/opt/varlo"));
    // The machine-wide value wins where both stores have one.
    write(systemFile, "[UserInfo]\nUseNS=0\n");
    QCOMPARE(CSettingsStore::ReadSystemInt(QStringLiteral("UseNS")), 0);
    QCOMPARE(CSettingsStore::ReadSystemString(QStringLiteral("DestinationPath")),
             QStringLiteral("/opt/varlo"));
    QFile::remove(systemFile);
    QFile::remove(userFile);
    QCOMPARE(CSettingsStore::ReadSystemInt(QStringLiteral("UseNS"), 7), 7);
  }

  void helpOpensTheInstalledIndex() {
    QDir(temp_->path()).mkpath(QStringLiteral("inst/help"));
    const QString index = TempPath(QStringLiteral("inst/help/index.html"));
    QFile f(index);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("<html></html>");
    f.close();
    // The installer may have written the folder with backslashes.
    WriteSystemSettings(
        QStringLiteral("[UserInfo]\nDestinationPath=%1\n")
            .arg(QString(TempPath(QStringLiteral("inst"))).replace('/', QStringLiteral("\\\\"))));
    QCOMPARE(HelpIndexPath(), index);

    Start();
    QUrl opened;
    SetUrlOpener([&opened](const QUrl& url) {
      opened = url;
      return true;
    });
    QVERIFY(app_->MainFrame()->RouteCommand(kIdHelpContents));
    QCOMPARE(opened, QUrl::fromLocalFile(index));
  }


  // --- what a new user meets first -------------------------------------------------------------

  void aNetworkNeverSavedIsSavedThroughSaveAsBeforeARun() {
    Start();
    CChildFrame* frame = OnlyChildFrame();
    QVERIFY(frame != nullptr);
    frame->Host()->Doc()->CreateNode(50, 50);
    int computationDialogs = 0;
    QString offeredDump;
    SetDialogHook([&](QDialog& dialog) {
      if (auto* computation = dynamic_cast<CComputationDlg*>(&dialog)) {
        ++computationDialogs;
        offeredDump = computation->FileEdit()->text();
      }
      return int(QDialog::Rejected);
    });
    // Save As cancelled: no run, and no extension-less "Untitled" anywhere.
    QVERIFY(app_->MainFrame()->RouteCommand(kIdComputeMetrics));
    QCOMPARE(filePromptFilters_, QStringList{QStringLiteral("Varlo Files (*.net)")});
    QCOMPARE(computationDialogs, 0);
    QVERIFY(!QFileInfo::exists(QDir::current().filePath(QStringLiteral("Untitled"))));
    QVERIFY(frame->Host()->Doc()->GetPathName().empty());

    // Saved as first.net: the title follows and the Output File starts beside it as first.dmp.
    filePromptAnswers_ << TempPath(QStringLiteral("first.net"));
    QVERIFY(app_->MainFrame()->RouteCommand(kIdComputeMetrics));
    QVERIFY(QFileInfo::exists(TempPath(QStringLiteral("first.net"))));
    QCOMPARE(frame->Host()->Title(), QStringLiteral("first.net"));
    QCOMPARE(computationDialogs, 1);
    QCOMPARE(QDir::cleanPath(offeredDump), QDir::cleanPath(TempPath(QStringLiteral("first.dmp"))));
    QVERIFY(!frame->Host()->Doc()->IsModified());

    // Parameters... confirmed on a network still Untitled: once saved as second.net, its runs write
    // second.dmp. After a run has written second.dmp, Save As keeps it (the graphs still read it).
    QVERIFY(app_->OnFileNew() != nullptr);
    CDocumentHost* second = app_->Documents().back().get();
    second->Doc()->CreateNode(50, 50);
    SetDialogHook([](QDialog&) { return int(QDialog::Accepted); });
    OnParameters(*second->Doc(), nullptr);
    QCOMPARE(QFileInfo(QString::fromStdString(second->Doc()->dumpFilePath)).fileName(),
             QStringLiteral("Untitled.dmp"));
    QVERIFY(second->DoSave(TempPath(QStringLiteral("second.net"))));
    QCOMPARE(QDir::cleanPath(QString::fromStdString(second->Doc()->dumpFilePath)),
             QDir::cleanPath(TempPath(QStringLiteral("second.dmp"))));
    QFile written(TempPath(QStringLiteral("second.dmp")));
    QVERIFY(written.open(QIODevice::WriteOnly));
    written.close();
    QVERIFY(second->DoSave(TempPath(QStringLiteral("third.net"))));
    QCOMPARE(QDir::cleanPath(QString::fromStdString(second->Doc()->dumpFilePath)),
             QDir::cleanPath(TempPath(QStringLiteral("second.dmp"))));

    // The ns script command asks the same way for a new network (and a cancel stops it).
    QVERIFY(app_->OnFileNew() != nullptr);
    filePromptFilters_.clear();
    CSettingsStore::WriteSystemValue(CSettingsStore::kUseNS, 1);
    app_->Documents().back()->Doc()->useNS = true;
    int scriptDialogs = 0;
    SetDialogHook([&](QDialog&) {
      ++scriptDialogs;
      return int(QDialog::Rejected);
    });
    QVERIFY(app_->MainFrame()->RouteCommand(kIdGenerateNSScript));
    QCOMPARE(filePromptFilters_, QStringList{QStringLiteral("Varlo Files (*.net)")});
    QCOMPARE(scriptDialogs, 0);
  }

  void optionsTurnTheNSCommandOnAndSayHowWhenItIsOff() {
    WriteSystemSettings(QStringLiteral("[UserInfo]\nUseNS=0\n"));
    Start();
    app_->MainFrame()->UpdateCommandUI();
    QAction* ns = app_->MainFrame()->Action(kIdGenerateNSScript);
    QVERIFY(!ns->isEnabled());
    QVERIFY2(ns->statusTip().contains(QStringLiteral("Tools > Options")), qPrintable(ns->statusTip()));

    // A folder holding an executable ns is where the runs take ns from.
    QVERIFY(QDir(TempPath(QString())).mkpath(QStringLiteral("nsbin")));
    QFile program(TempPath(QStringLiteral("nsbin/ns")));
    QVERIFY(program.open(QIODevice::WriteOnly));
    program.write("#!/bin/sh\n");
    program.close();
    program.setPermissions(program.permissions() | QFileDevice::ExeOwner);

    SetDialogHook([&](QDialog& dialog) {
      auto* options = dynamic_cast<COptionsDlg*>(&dialog);
      if (options == nullptr) return int(QDialog::Rejected);
      options->UseNSBox()->setChecked(true);
      options->DirectoryEdit()->setText(TempPath(QStringLiteral("nsbin")));
      return int(QDialog::Accepted);
    });
    QVERIFY(app_->MainFrame()->RouteCommand(kIdToolsOptions));
    app_->MainFrame()->UpdateCommandUI();
    QVERIFY(ns->isEnabled());  // the open network follows at once
    QVERIFY(!ns->statusTip().contains(QStringLiteral("Tools > Options")));
    // The choice outlives the program and wins over the installer's 0.
    const NSOptions stored = ReadNSOptions();
    QVERIFY(stored.useNS);
    QCOMPARE(NSProgram(stored), QFileInfo(TempPath(QStringLiteral("nsbin/ns"))).absoluteFilePath());
    QCOMPARE(NSProgram(NSOptions{true, TempPath(QStringLiteral("missing"))}), QStringLiteral("ns"));
    QVERIFY(app_->OnFileNew()->Doc()->useNS);
  }

  void helpShowsThePagesInsideTheProgram() {
    WriteSystemSettings(QString());
    CHelpWindow window(HelpIndexPath());
    QCOMPARE(QFileInfo(window.CurrentPage().toLocalFile()).fileName(), QStringLiteral("index.html"));
    QVERIFY(window.Browser()->toPlainText().contains(QStringLiteral("What Varlo does")));
    // Every shipped page is in the contents, the index first.
    const QStringList pages = QDir(QFileInfo(HelpIndexPath()).absolutePath()).entryList({"*.html"});
    QCOMPARE(window.Contents()->count(), pages.size());
    QCOMPARE(window.Contents()->item(0)->data(Qt::UserRole).toString(), QStringLiteral("index.html"));
    // A link between pages, then back and forward; the contents list marks the page shown.
    const auto marked = [&window] { return window.Contents()->currentItem()->data(Qt::UserRole).toString(); };
    emit window.Browser()->anchorClicked(QUrl(QStringLiteral("commands.html")));
    QCOMPARE(QFileInfo(window.CurrentPage().toLocalFile()).fileName(), QStringLiteral("commands.html"));
    QCOMPARE(marked(), QStringLiteral("commands.html"));
    QVERIFY(window.BackButton()->isEnabled());
    window.BackButton()->click();
    QCOMPARE(QFileInfo(window.CurrentPage().toLocalFile()).fileName(), QStringLiteral("index.html"));
    QCOMPARE(marked(), QStringLiteral("index.html"));
    QVERIFY(window.ForwardButton()->isEnabled());
    // A page picked in the list is the one marked.
    const QList<QListWidgetItem*> formats = window.Contents()->findItems(QStringLiteral("File formats"), Qt::MatchEndsWith);
    QCOMPARE(formats.size(), 1);
    emit window.Contents()->itemClicked(formats.front());
    QCOMPARE(QFileInfo(window.CurrentPage().toLocalFile()).fileName(), QStringLiteral("file-formats.html"));
    QCOMPARE(marked(), QStringLiteral("file-formats.html"));
  }

  void newWindowsOpenMaximisedBesideAMaximisedOneAndPickedNodesComeIntoView() {
    Start();
    CChildFrame* first = OnlyChildFrame();
    QVERIFY(first != nullptr);
    first->showMaximized();
    CDocumentHost* second = app_->OnFileNew();
    QVERIFY(second != nullptr);
    auto* active = app_->MainFrame()->MdiArea()->activeSubWindow();
    QVERIFY(active != first);
    QVERIFY(active->isMaximized());

    // A node far outside the canvas's view, picked in the class tree, is scrolled into view.
    CVarloDoc* doc = second->Doc();
    CGraphicNode* far = doc->CreateNode(7000, 6000);
    doc->UpdateAllViews(nullptr, kHintNodeAdded, far);
    auto* frame = qobject_cast<CChildFrame*>(active);
    QVERIFY(frame != nullptr);
    CVarloView* canvas = frame->Canvas();
    QVERIFY(!canvas->viewport()->rect().contains(canvas->ModelToWindow(QPoint(far->x, far->y))));
    QTreeWidgetItem* item = frame->ClassView()->ItemOf(far);
    QVERIFY(item != nullptr);
    frame->ClassView()->setCurrentItem(item);
    QVERIFY(canvas->viewport()->rect().contains(canvas->ModelToWindow(QPoint(far->x, far->y))));
  }

  void helpFallsBackToTheShippedPages() {
    WriteSystemSettings(QString());
    const QString path = HelpIndexPath();
    QVERIFY2(QFileInfo::exists(path), qPrintable(path));
    QVERIFY(path.endsWith(QStringLiteral("help/index.html")));
  }

  void aboutBoxShowsVersionAndText() {
    Start();
    QString caption, group, texts;
    SetDialogHook([&](QDialog& dialog) {
      caption = dialog.windowTitle();
      if (auto* box = dialog.findChild<QGroupBox*>()) group = box->title();
      for (auto* label : dialog.findChildren<QLabel*>()) texts += label->text();
      return int(QDialog::Accepted);
    });
    QVERIFY(app_->MainFrame()->RouteCommand(kIdAppAbout));
    QCOMPARE(caption, QStringLiteral("About Varlo"));
    QCOMPARE(group, QStringLiteral("Varlo Version 1.0"));
    QVERIFY(texts.contains(QStringLiteral(
        "This program implements the Z-iteration evaluation method for a network with TCP and UDP flows.")));
  }
};

QTEST_MAIN(ShellTest)
#include "shell_test.moc"
