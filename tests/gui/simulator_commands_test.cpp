// The simulator and productivity commands of the desktop program: the five dialogs (defaults,
// extension rules, ranges, messages), the queue list order, the enabling of the ns command by
// "UseNS", the generators, "&Delete All Traffic" and "&Modify Links ...", and runs of a simulator
// (the real ns on the bundled dumbbell when it is installed, a missing one, a cancelled one).
#include "tools/simulator_commands.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMdiArea>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <QtTest>
#include <memory>

#include "app/document_host.h"
#include "app/main_frame.h"
#include "app/varlo_app.h"
#include "model/const_poisson_class.h"
#include "model/mm1k_queue.h"
#include "model/tcp_class.h"
#include "gui/dialog_hooks.h"
#include "model/document.h"
#include "model/graphic_link.h"
#include "model/graphic_node.h"
#include "platform/qt/settings_store.h"
#include "resources/command_ids.h"
#include "results/computation_dlg.h"
#include "tools/gen_trace_dlg.h"
#include "tools/gen_traffic_dlg.h"
#include "results/graph_display_dlg.h"
#include "tools/modify_links_dlg.h"
#include "tools/ns_script_dlg.h"
#include "tools/qns_script_dlg.h"
#include "tools/report_dlgs.h"
#include "tools/simulator_running_dlg.h"
#include "simulators/link_modifier.h"
#include "simulators/qns_script.h"
#include "simulators/traffic_generators.h"

using namespace varlo;
using namespace varlo::test;

namespace {

CGraphicNode* AddNode(CVarloDoc& doc, std::uint16_t number, const std::string& name) {
  doc.AddNode(std::make_unique<CGraphicNode>(number, name, 10 * number, 10));
  return doc.FindNode(number);
}

CGraphicLink* AddLink(CVarloDoc& doc, CGraphicNode* a, CGraphicNode* b, double rate, double buffer) {
  doc.AddLink(
      std::make_unique<CGraphicLink>(a, b, std::make_unique<C_MM1K_Queue>(a, b, rate, buffer, 0.01),
                                     std::make_unique<C_MM1K_Queue>(b, a, rate / 2, buffer / 2, 0.02)));
  return doc.GetLinks().back().get();
}

// Counts the hints the document sends.
struct HintCounter : IDocumentView {
  void OnUpdate(IDocumentView*, int hint, CPersistent*) override { ++counts[hint]; }
  int counts[8] = {};
};

bool TypeIs(QDialog& dialog, const std::type_info& type) {
  return typeid(dialog) == type;
}

}  // namespace

class SimulatorCommandsTest : public QObject {
  Q_OBJECT

 private slots:
  void init() { QDir::setCurrent(workDir_.path()); }

  // --- "Generate NS Script" ---------------------------------------------------------------------

  void nsDialogStartsFromTheDocument() {
    CVarloDoc doc;
    doc.SetTitle("net1.net");
    doc.totalTime = 15;
    CGraphicNode* a = AddNode(doc, 1, "A");
    CGraphicNode* b = AddNode(doc, 2, "B");
    AddLink(doc, a, b, 1000, 20);
    CNSScriptDlg dialog(doc);
    dialog.InitOnce();
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Generate NS Script"));
    QCOMPARE(dialog.ScriptFileEdit()->text(), QStringLiteral("net1.net.tcl"));
    QCOMPARE(dialog.SimulationLengthEdit()->text(), QStringLiteral("15"));
    QVERIFY(dialog.RunBox()->isChecked());
    QCOMPARE(dialog.RunBox()->text(), QStringLiteral("Run NS after generating the script"));
    QCOMPARE(dialog.DelayEdit()->text(), QStringLiteral("0"));
    QCOMPARE(dialog.QueueList()->count(), 2);
    QCOMPARE(dialog.QueueList()->item(0)->text(), QStringLiteral("A\t -> B"));
    QCOMPARE(dialog.QueueList()->item(1)->text(), QStringLiteral("B\t -> A"));
    QCOMPARE(dialog.QueueList()->selectionMode(), QAbstractItemView::ExtendedSelection);
    QVERIFY(dialog.QueueList()->selectedItems().isEmpty());
  }

  void nsDialogAppliesTheExtensionRule() {
    CVarloDoc doc;
    const std::pair<QString, std::string> cases[] = {{"a", "a.tcl"},         {"run", "run.tcl"},
                                                     {"run.tcl", "run.tcl"}, {"net.TCL", "net.TCL.tcl"},
                                                     {".tcl", ".tcl"},       {"tcl", "tcl.tcl"}};
    for (const auto& [entered, expected] : cases) {
      CNSScriptDlg dialog(doc);
      dialog.InitOnce();
      dialog.ScriptFileEdit()->setText(entered);
      QCOMPARE(PressOk(dialog), int(QDialog::Accepted));
      QCOMPARE(dialog.scriptFile, expected);
    }
  }

  void nsDialogChecksItsRangesInExchangeOrder() {
    CVarloDoc doc;
    MessageCapture messages;
    CNSScriptDlg dialog(doc);
    dialog.InitOnce();
    dialog.SimulationLengthEdit()->setText("0.5");
    dialog.DelayEdit()->setText("-1");
    QCOMPARE(PressOk(dialog), int(QDialog::Rejected));
    dialog.SimulationLengthEdit()->setText("abc");
    dialog.accept();
    dialog.SimulationLengthEdit()->setText("100000");
    dialog.accept();
    dialog.DelayEdit()->setText("1000000");
    QCOMPARE(PressOk(dialog), int(QDialog::Accepted));
    QCOMPARE(messages.texts,
             (QStringList{"Please enter a number between 1 and 100000.", "Please enter a number.",
                          "Please enter a number between 0 and 1000000."}));
    QCOMPARE(dialog.simulationLength, 100000.0);
    QCOMPARE(dialog.maxStartDelay, 1000000.0);
  }

  void monitoredQueuesKeepTheListOrder() {
    CVarloDoc doc;
    CGraphicNode* a = AddNode(doc, 1, "A");
    CGraphicNode* b = AddNode(doc, 2, "B");
    CGraphicNode* c = AddNode(doc, 3, "C");
    CGraphicLink* ab = AddLink(doc, a, b, 1000, 20);
    CGraphicLink* bc = AddLink(doc, b, c, 1000, 20);
    CQNSScriptDlg dialog(doc);
    dialog.InitOnce();
    QListWidget* list = dialog.QueueList();
    QCOMPARE(list->item(2)->text(), QStringLiteral("B\t -> C"));
    // Picked in the order 4, 1, 2: used in list order.
    list->item(3)->setSelected(true);
    list->item(0)->setSelected(true);
    list->item(1)->setSelected(true);
    QCOMPARE(PressOk(dialog), int(QDialog::Accepted));
    const std::vector<CQueue*> expected = {ab->GetForwardQueue(), ab->GetBackwardQueue(),
                                           bc->GetBackwardQueue()};
    QVERIFY(dialog.monitoredQueues == expected);
  }

  // --- "Generate QNS Script" --------------------------------------------------------------------

  void qnsDialogDefaultsAndRanges() {
    CVarloDoc doc;
    doc.totalTime = 20;
    MessageCapture messages;
    CQNSScriptDlg dialog(doc);
    dialog.InitOnce();
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Generate QNS Script"));
    QCOMPARE(dialog.ScriptFileEdit()->text(), QStringLiteral("Untitled.qns"));
    QCOMPARE(dialog.SimulationLengthEdit()->text(), QStringLiteral("20"));
    QCOMPARE(dialog.SimulationCountEdit()->text(), QStringLiteral("1"));
    QCOMPARE(dialog.DumpResolutionEdit()->text(), QStringLiteral("0.1"));
    QCOMPARE(dialog.LinkServiceEdit()->text(), QStringLiteral("3"));
    QVERIFY(dialog.RunBox()->isChecked());
    dialog.LinkServiceEdit()->setText("1");
    dialog.accept();
    dialog.LinkServiceEdit()->setText("4");
    dialog.accept();
    dialog.LinkServiceEdit()->setText("2");
    dialog.SimulationCountEdit()->setText("0");
    dialog.accept();
    dialog.SimulationCountEdit()->setText("1.5");
    dialog.accept();
    dialog.SimulationCountEdit()->setText("5");
    dialog.DumpResolutionEdit()->setText("0");
    dialog.accept();
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
    QCOMPARE(messages.texts.size(), 5);
    QCOMPARE(messages.texts[0], QStringLiteral("Please enter an integer between 2 and 3."));
    QCOMPARE(messages.texts[1], QStringLiteral("Please enter an integer between 2 and 3."));
    QVERIFY(messages.texts[2].startsWith("Please enter an integer between 1 and "));
    QCOMPARE(messages.texts[3], QStringLiteral("Please enter an integer."));
    QVERIFY(messages.texts[4].startsWith("Please enter a number between "));
    dialog.DumpResolutionEdit()->setText("0.5");
    dialog.ScriptFileEdit()->setText("x.QNS");
    QCOMPARE(PressOk(dialog), int(QDialog::Accepted));
    QCOMPARE(dialog.linkService, 2);
    QCOMPARE(dialog.simulationCount, 5);
    QCOMPARE(dialog.scriptFile, std::string("x.QNS.qns"));
  }

  void qnsRefusesPoissonClassesAndDoesNotRun() {
    CVarloDoc doc;
    CGraphicNode* a = AddNode(doc, 1, "A");
    CGraphicNode* b = AddNode(doc, 2, "B");
    AddLink(doc, a, b, 1000, 20);
    doc.AddClass(std::make_unique<CConstPoissonClass>(a, b, 0, 10, 100));
    MessageCapture messages;
    DialogScript script([](QDialog& dialog) { return PressOk(dialog); });
    OnGenerateQNSScript(doc, nullptr, {});
    QCOMPARE(messages.texts, QStringList{"QNS supports only Trace/Time-dependent Poisson classes !!"});
    QCOMPARE(script.ran.size(), size_t{1});  // the script dialog only: no run, no report
    QFile file(workDir_.filePath("Untitled.qns"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QString text = QString::fromLatin1(file.readAll());
    QVERIFY(text.startsWith("l 1 2 3 1000.000000 0.0 20.000000"));
    QVERIFY(!text.contains("\nd "));
  }

  // --- generators --------------------------------------------------------------------------------

  void trafficDialogDefaultsAndEmptyInterval() {
    MessageCapture messages;
    CGenTrafficDlg dialog;
    dialog.InitOnce();
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Generate Traffic Classes"));
    QCOMPARE(dialog.SourceFilterEdit()->text(), QString());
    QCOMPARE(dialog.LowerCountEdit()->text(), QStringLiteral("0"));
    QCOMPARE(dialog.UpperCountEdit()->text(), QStringLiteral("0"));
    QCOMPARE(dialog.StartTimeEdit()->text(), QStringLiteral("0"));
    QCOMPARE(dialog.StopTimeEdit()->text(), QStringLiteral("10000"));
    dialog.LowerCountEdit()->setText("3");
    dialog.UpperCountEdit()->setText("2");
    QCOMPARE(PressOk(dialog), int(QDialog::Rejected));
    dialog.UpperCountEdit()->setText("3");
    dialog.StopTimeEdit()->setText("1000001");
    dialog.accept();
    QCOMPARE(messages.texts, (QStringList{"Use a non-empty interval, please.",
                                          "Please enter a number between 0 and 1000000."}));
    dialog.StopTimeEdit()->setText("50");
    QCOMPARE(PressOk(dialog), int(QDialog::Accepted));
    QCOMPARE(dialog.Options().lowerCount, 3u);
    QCOMPARE(dialog.Options().stopTime, 50.0);
  }

  void traceDialogDefaultsFilesAndChecks() {
    MessageCapture messages;
    CGenTraceDlg dialog;
    dialog.InitOnce();
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Generate Trace Classes"));
    QCOMPARE(dialog.SlotSizeEdit()->text(), QStringLiteral("0.1"));
    QCOMPARE(dialog.StopTimeEdit()->text(), QStringLiteral("0"));
    dialog.LowerCountEdit()->setText("2");
    dialog.UpperCountEdit()->setText("1");
    dialog.accept();
    dialog.UpperCountEdit()->setText("2");
    dialog.accept();  // no trace file for the classes
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
    QStringList answer = {"/t/f1.vlt", "/t/f2.vlt"};
    const auto previous = SetTraceFilesPromptHook([&answer] { return answer; });
    dialog.OnSelectFiles();
    answer = {"/t/f3.vlt"};
    dialog.OnSelectFiles();
    SetTraceFilesPromptHook(previous);
    QCOMPARE(dialog.FileList()->count(), 3);
    dialog.StartTimeEdit()->setText("-5");  // the start time has no range
    QCOMPARE(PressOk(dialog), int(QDialog::Accepted));
    QCOMPARE(messages.texts,
             (QStringList{"Use a non-empty interval, please.", "Select at least one trace file, please."}));
    QVERIFY(dialog.Options().traceFiles == (std::vector<std::string>{"/t/f1.vlt", "/t/f2.vlt", "/t/f3.vlt"}));
    QCOMPARE(dialog.Options().startTime, -5.0);
  }

  void tcpGeneratorGivesEveryNodeItsClassesOneHintEach() {
    CVarloDoc doc;
    AddNode(doc, 1, "A");
    AddNode(doc, 2, "B");
    AddNode(doc, 3, "C");
    HintCounter hints;
    doc.AddView(&hints);
    DialogScript script([](QDialog& dialog) {
      auto& gen = dynamic_cast<CGenTrafficDlg&>(dialog);
      gen.LowerCountEdit()->setText("2");
      gen.UpperCountEdit()->setText("2");
      return PressOk(dialog);
    });
    OnGenerateTCPTraffic(doc, nullptr);
    QCOMPARE(doc.GetClasses().size(), size_t{6});
    QCOMPARE(hints.counts[kHintClassAdded], 6);
    for (const auto& c : doc.GetClasses()) QVERIFY(c->GetSource() != c->GetDestination());
    doc.RemoveView(&hints);
  }

  void deleteAllTrafficAsksFirst() {
    CVarloDoc doc;
    CGraphicNode* a = AddNode(doc, 1, "A");
    CGraphicNode* b = AddNode(doc, 2, "B");
    doc.AddClass(std::make_unique<CTCPClass>(a, b, 0, 10, 0));
    doc.AddClass(std::make_unique<CTCPClass>(b, a, 0, 10, 0));
    QStringList asked;
    int answer = QMessageBox::No;
    const auto previous = SetMessageBoxHook([&](const QString& text, MessageKind, int buttons) {
      asked << text;
      if (buttons != (QMessageBox::Yes | QMessageBox::No)) return int(QMessageBox::Ok);
      return answer;
    });
    HintCounter hints;
    doc.AddView(&hints);
    OnDeleteAllTraffic(doc, nullptr);
    QCOMPARE(doc.GetClasses().size(), size_t{2});
    answer = QMessageBox::Yes;
    OnDeleteAllTraffic(doc, nullptr);
    SetMessageBoxHook(previous);
    QCOMPARE(doc.GetClasses().size(), size_t{0});
    QCOMPARE(hints.counts[kHintClassRemoved], 2);
    QCOMPARE(asked, (QStringList{"Are you sure you want to delete all the traffic?",
                                 "Are you sure you want to delete all the traffic?"}));
    doc.RemoveView(&hints);
  }

  // --- "&Modify Links ..." ----------------------------------------------------------------------

  void modifyLinksDialogDefaultsAndRange() {
    MessageCapture messages;
    CModifyLinksDlg dialog;
    dialog.InitOnce();
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Change link speeds"));
    QCOMPARE(dialog.ParameterEdit()->text(), QStringLiteral("0"));
    QCOMPARE(dialog.TypeList()->count(), 6);
    QCOMPARE(dialog.TypeList()->currentIndex(), 0);
    QCOMPARE(dialog.TypeList()->itemText(0), QStringLiteral("Multiply the link capacity by the parameter"));
    QCOMPARE(dialog.TypeList()->itemText(5), QStringLiteral("Change the link delay to parameter"));
    dialog.ParameterEdit()->setText("2000000000");
    QCOMPARE(PressOk(dialog), int(QDialog::Rejected));
    QCOMPARE(messages.texts, QStringList{"Please enter a number between 0 and 1000000000."});
  }

  void modifyLinksChangesOnlyTheFilteredLinks() {
    CVarloDoc doc;
    CGraphicNode* a1 = AddNode(doc, 1, "A1");
    CGraphicNode* a2 = AddNode(doc, 2, "A2");
    CGraphicNode* b1 = AddNode(doc, 3, "B1");
    CGraphicNode* b2 = AddNode(doc, 4, "B2");
    CGraphicLink* b1a2 = AddLink(doc, b1, a2, 1000, 15);
    CGraphicLink* a1b2 = AddLink(doc, a1, b2, 1000, 15);
    CGraphicLink* a1a2 = AddLink(doc, a1, a2, 1000, 15);
    doc.SetModifiedFlag(false);
    DialogScript script([](QDialog& dialog) {
      auto& modify = dynamic_cast<CModifyLinksDlg&>(dialog);
      modify.FirstFilterEdit()->setText("A");
      modify.SecondFilterEdit()->setText("B");
      modify.ParameterEdit()->setText("1.5");
      modify.TypeList()->setCurrentIndex(kMultiplyBuffer);
      return PressOk(dialog);
    });
    OnModifyLinks(doc, nullptr);
    QCOMPARE(b1a2->GetForwardQueue()->bufferSize, 22.0);
    QCOMPARE(b1a2->GetBackwardQueue()->bufferSize, 11.0);  // 7.5 x 1.5 = 11.25, truncated
    QCOMPARE(a1b2->GetForwardQueue()->bufferSize, 22.0);
    QCOMPARE(a1a2->GetForwardQueue()->bufferSize, 15.0);
    QCOMPARE(a1a2->GetBackwardQueue()->bufferSize, 7.5);
    // Changed values are a change to save (and to undo).
    QVERIFY(doc.IsModified());
  }

  // --- enabling by "UseNS" -------------------------------------------------------------------------

  void nsCommandFollowsUseNS() {
    for (int useNS : {0, 1}) {
      QTemporaryDir settings;
      CSettingsStore::SetSystemFileForTesting(settings.filePath("system.ini"));
      QVERIFY(CSettingsStore::WriteSystemValue(CSettingsStore::kUseNS, useNS));
      {
        CVarloApp app;
        QVERIFY(app.InitInstance({}));
        CMainFrame* main = app.MainFrame();
        main->UpdateCommandUI();
        QAction* ns = main->Action(kIdGenerateNSScript);
        QVERIFY(ns);
        QCOMPARE(ns->isEnabled(), useNS != 0);
        if (useNS) {
          QCOMPARE(ns->toolTip(), QStringLiteral("NS Script"));
        } else {
          QVERIFY(ns->toolTip().contains("Tools > Options"));
        }
        // The commands without a condition are available either way, with menu entries.
        for (int id : {kIdGenerateQNSScript, kIdGenerateTraceClasses, kIdGenerateTCPTraffic,
                       kIdDeleteAllTraffic, kIdModifyLinks}) {
          QVERIFY(main->Action(id));
          QVERIFY2(main->Action(id)->isEnabled(), qPrintable(QString::number(id)));
        }
        QCOMPARE(main->Action(kIdGenerateQNSScript)->text(), QStringLiteral("Generate &QNS Script..."));
        QCOMPARE(main->Action(kIdGenerateTraceClasses)->text(), QStringLiteral("Generate T&race Classes..."));
      }
      CSettingsStore::SetSystemFileForTesting(QString());
    }
  }

  // --- simulator runs ---------------------------------------------------------------------------

  void missingSimulatorIsReportedThenTheReportShowsZero() {
    QTemporaryDir empty;
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", QFile::encodeName(empty.path()));
    CVarloDoc doc;
    doc.useNS = true;
    MessageCapture messages;
    QString exitCode = "unset";
    DialogScript script([&](QDialog& dialog) {
      if (auto* report = dynamic_cast<CReportNSDlg*>(&dialog)) {
        exitCode = report->ExitCodeText()->text();
        return PressOk(dialog);
      }
      return PressOk(dialog);
    });
    OnGenerateNSScript(doc, nullptr, {});
    qputenv("PATH", path);
    QCOMPARE(messages.texts, QStringList{"Error Running ns !"});
    QCOMPARE(exitCode, QStringLiteral("0"));
    QVERIFY(QFile::exists(workDir_.filePath("Untitled.tcl")));
  }

  void cancelEndsALongSimulation() {
    QTemporaryDir bin;
    const QString fake = bin.filePath("ns");
    {
      QFile file(fake);
      QVERIFY(file.open(QIODevice::WriteOnly));
      file.write("#!/bin/sh\necho starting >&2\nexec sleep 60\n");
    }
    QFile::setPermissions(fake, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", QFile::encodeName(bin.path()) + ":" + path);
    CVarloDoc doc;
    QElapsedTimer clock;
    clock.start();
    bool sawRunning = false;
    DialogScript script([&](QDialog& dialog) {
      if (auto* running = dynamic_cast<CSimulatorRunningDlg*>(&dialog)) {
        sawRunning = running->windowTitle() == QStringLiteral("ns is running");
        QTimer::singleShot(700, running->CancelButton(), &QPushButton::click);
        return dialog.exec();
      }
      return PressOk(dialog);
    });
    SimulatorRequest request;
    request.arguments = {"ns", "x.tcl"};
    request.commandLine = "ns x.tcl";
    request.scriptPath = "x.tcl";
    request.errorFileName = "tmp_out_ns";
    request.failureMessage = "Error Running ns !";
    const SimulatorReport report = RunSimulatorWithReport(request, SimulatorKind::kNS, nullptr);
    qputenv("PATH", path);
    QVERIFY(sawRunning);
    QVERIFY(report.cancelled);
    QVERIFY(clock.elapsed() < 20000);
    QCOMPARE(report.output, std::string("starting"));
  }

  void reportShowsTheOutputOnDemand() {
    SimulatorReport report;
    report.exitCode = -1;
    report.runningTime = 3;
    report.output = "ab";
    report.outputLines = "a\nb\n";
    CReportQNSDlg failed(report);
    QCOMPARE(failed.windowTitle(), QStringLiteral("QNS Run Report"));
    QCOMPARE(failed.ExitCodeText()->text(), QStringLiteral("-1"));
    QCOMPARE(failed.RunningTimeText()->text(), QStringLiteral("3"));
    QCOMPARE(failed.OutputEdit()->toPlainText(), QStringLiteral("a\nb\n"));
    QVERIFY(failed.OutputToggle()->isChecked());  // a failure opens with its output
    report.exitCode = 0;
    CReportNSDlg fine(report);
    QCOMPARE(fine.OutputToggle()->text(), QStringLiteral("NS Output"));
    QVERIFY(!fine.OutputToggle()->isChecked());
    fine.OutputToggle()->click();
    QVERIFY(!fine.OutputEdit()->isHidden());
  }

  // From the program's own command: ns on the dumbbell with the bottleneck monitored, the report
  // with exit code 0, then "Create Graphic ..." with the simulated option.
  void realNsRunsTheDumbbellFromTheProgram() {
#ifndef VARLO_CLI_PATH
    QSKIP("varlo-cli is not built");
#else
    if (!QFile::exists("/usr/bin/ns")) QSKIP("ns is not installed");
    QTemporaryDir temp;
    const QString net = temp.filePath("dumbbell.net");
    QProcess cli;
    cli.start(VARLO_CLI_PATH, {"import", VARLO_SOURCE_DIR "/examples/dumbbell.json", "-o", net});
    QVERIFY(cli.waitForFinished(60000));
    QCOMPARE(cli.exitCode(), 0);
    QDir::setCurrent(temp.path());
    CSettingsStore::SetSystemFileForTesting(temp.filePath("system.ini"));
    QVERIFY(CSettingsStore::WriteSystemValue(CSettingsStore::kUseNS, 1));

    {
      CVarloApp app;
      QVERIFY(app.InitInstance({net}));
      CMainFrame* main = app.MainFrame();
      CVarloDoc& doc = *app.Documents().front()->Doc();
      doc.totalTime = 3;
      main->UpdateCommandUI();
      QVERIFY(main->Action(kIdGenerateNSScript)->isEnabled());

      {
        DialogScript run([](QDialog& dialog) {
          if (auto* computation = dynamic_cast<CComputationDlg*>(&dialog)) {
            computation->FileEdit()->setText("dumbbell.dmp");
          }
          return PressOk(dialog);
        });
        main->Action(kIdComputeMetrics)->trigger();
      }

      QString exitCode;
      QString scriptLength;
      {
        DialogScript script([&](QDialog& dialog) {
          if (auto* ns = dynamic_cast<CNSScriptDlg*>(&dialog)) {
            scriptLength = ns->SimulationLengthEdit()->text();
            const auto items = ns->QueueList()->findItems("R1\t -> R2", Qt::MatchExactly);
            if (items.size() == 1) items[0]->setSelected(true);
            return PressOk(dialog);
          }
          if (TypeIs(dialog, typeid(CSimulatorRunningDlg))) return dialog.exec();
          if (auto* report = dynamic_cast<CReportNSDlg*>(&dialog)) {
            exitCode = report->ExitCodeText()->text();
            if (exitCode != "0") qWarning() << report->OutputEdit()->toPlainText();
          }
          return PressOk(dialog);
        });
        main->Action(kIdGenerateNSScript)->trigger();
        QCOMPARE(script.ran.size(), size_t{3});  // script dialog, running window, report
      }
      QCOMPARE(scriptLength, QStringLiteral("3"));
      QCOMPARE(exitCode, QStringLiteral("0"));
      QVERIFY(QFile::exists(temp.filePath("dumbbell.net.tcl")));
      QVERIFY(QFileInfo(temp.filePath("dumbbell.net_R1_1_R2_2.tr")).size() > 0);

      {
        DialogScript graph([](QDialog& dialog) {
          auto& display = dynamic_cast<CGraphDisplayDlg&>(dialog);
          const auto items = display.QueueList()->findItems("R1\t -> R2", Qt::MatchExactly);
          if (items.size() == 1) items[0]->setSelected(true);
          display.SimulatedBox()->setChecked(true);
          return PressOk(dialog);
        });
        main->Action(kIdCreateGraphic)->trigger();
      }
      QVERIFY(doc.graph.graphOpen);
      QCOMPARE(doc.graph.graphSeries.Keys().size(), size_t{2});
    }
    CSettingsStore::SetSystemFileForTesting(QString());
    QDir::setCurrent(workDir_.path());
#endif
  }

  // With VARLO_SCREENSHOT_DIR set (run under a real display such as Xvfb), saves each dialog as
  // PNG there, for a person to look at.
  void screenshots() {
    const QString folder = qEnvironmentVariable("VARLO_SCREENSHOT_DIR");
    if (folder.isEmpty()) QSKIP("set VARLO_SCREENSHOT_DIR to save the dialogs");
    CVarloDoc doc;
    doc.SetTitle("dumbbell.net");
    CGraphicNode* r1 = AddNode(doc, 1, "R1");
    CGraphicNode* r2 = AddNode(doc, 2, "R2");
    CGraphicNode* s1 = AddNode(doc, 3, "S1");
    AddLink(doc, r1, r2, 1000, 50);
    AddLink(doc, s1, r1, 2000, 50);
    auto save = [&folder](QWidget& dialog, const char* name) {
      if (auto* init = dynamic_cast<CInitDialog*>(&dialog)) init->InitOnce();
      dialog.show();
      QVERIFY(QTest::qWaitForWindowExposed(&dialog));
      QTest::qWait(200);
      QVERIFY(dialog.grab().save(QDir(folder).filePath(QString::fromLatin1(name)), "PNG"));
      dialog.hide();
    };
    CNSScriptDlg ns(doc);
    ns.QueueList()->item(0)->setSelected(true);
    save(ns, "varlo-ns-script-dialog.png");
    CQNSScriptDlg qns(doc);
    save(qns, "varlo-qns-script-dialog.png");
    CGenTrafficDlg traffic;
    save(traffic, "varlo-generate-tcp-dialog.png");
    CGenTraceDlg trace;
    const auto previous = SetTraceFilesPromptHook([] { return QStringList{"/home/user/traces/web.vlt"}; });
    trace.OnSelectFiles();
    SetTraceFilesPromptHook(previous);
    save(trace, "varlo-generate-trace-dialog.png");
    CModifyLinksDlg modify;
    save(modify, "varlo-modify-links-dialog.png");
    SimulatorReport report;
    report.exitCode = 1;
    report.runningTime = 0;
    report.outputLines = "invalid command name \"foo\"\n    while executing\n\"foo\"\n";
    CReportNSDlg failed(report);
    save(failed, "varlo-ns-report-dialog.png");
    SimulatorRequest request;
    request.arguments = {"sleep", "5"};
    request.scriptPath = "x.tcl";
    request.errorFileName = "tmp_out_ns";
    std::unique_ptr<CSimulatorRun> run = CSimulatorRun::Start(request);
    CSimulatorRunningDlg running(*run, "ns is running");
    QTest::qWait(1200);
    save(running, "varlo-ns-running-dialog.png");
    run->Cancel();
  }

 private:
  QTemporaryDir workDir_;
};

QTEST_MAIN(SimulatorCommandsTest)
#include "simulator_commands_test.moc"
