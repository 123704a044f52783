// End to end through the whole program: open a network, "&Compute Metrics" from the toolbar, write
// and run the ns script with the bottleneck monitored, then "Create Graphic ..." with the simulated
// option, so that the graph window shows the computed and the measured queue size of the
// bottleneck. Needs the ns simulator; the network is the bundled dumbbell (examples/dumbbell.net)
// or the file VARLO_E2E_NET names, its link from R1 to R2 being the bottleneck. With
// VARLO_SCREENSHOT set, the main window is saved there as PNG at the end.
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QTemporaryDir>
#include <QtTest>
#include <filesystem>

#include "app/document_host.h"
#include "app/main_frame.h"
#include "app/mdi_frame.h"
#include "app/varlo_app.h"
#include "gui/dialog_hooks.h"
#include "model/document.h"
#include "platform/core/process_runner.h"
#include "platform/qt/settings_store.h"
#include "resources/command_ids.h"
#include "results/computation_dlg.h"
#include "engine/graph_creation.h"
#include "results/graph_display_dlg.h"
#include "results/graph_view.h"
#include "simulators/ns_script.h"

using namespace varlo;

class GraphNsEndToEndTest : public QObject {
  Q_OBJECT

 private slots:
  void computedAndSimulatedQueueSizesInOneGraph() {
    QString source = qEnvironmentVariable("VARLO_E2E_NET");
    if (source.isEmpty()) source = QStringLiteral(VARLO_SOURCE_DIR "/examples/dumbbell.net");
    if (!QFile::exists(QStringLiteral("/usr/bin/ns"))) QSKIP("the ns simulator is not installed");
    QTemporaryDir temp;
    QVERIFY(temp.isValid());
    CSettingsStore::SetSystemFileForTesting(temp.filePath(QStringLiteral("system.ini")));
    // ns's captured error output goes to the working directory.
    const QString previousDirectory = QDir::currentPath();
    QDir::setCurrent(temp.path());
    struct Restore {
      QString path;
      ~Restore() { QDir::setCurrent(path); }
    } restore{previousDirectory};
    const QString net = temp.filePath(QFileInfo(QDir(previousDirectory), source).fileName());
    QVERIFY(QFile::copy(QFileInfo(QDir(previousDirectory), source).absoluteFilePath(), net));

    CVarloApp app;
    QVERIFY(app.InitInstance({net}));
    CMainFrame* main = app.MainFrame();
    main->resize(1200, 800);
    QCOMPARE(app.Documents().size(), size_t{1});
    CDocumentHost* host = app.Documents().front().get();
    CVarloDoc& doc = *host->Doc();

    // The bottleneck: the forward queue of the link R1 - R2.
    C_MM1K_Queue* bottleneck = nullptr;
    for (const auto& link : doc.GetLinks()) {
      if (link->GetFirstNode()->GetName() == "R1" && link->GetSecondNode()->GetName() == "R2")
        bottleneck = link->GetForwardQueue();
    }
    QVERIFY(bottleneck);

    // "&Compute Metrics" from the toolbar, the dump beside the network.
    const QString dump = temp.filePath(QStringLiteral("dumbbell.dmp"));
    {
      test::DialogScript script([&](QDialog& d) {
        auto& dialog = dynamic_cast<CComputationDlg&>(d);
        dialog.FileEdit()->setText(dump);
        return test::PressOk(dialog);
      });
      main->Action(kIdComputeMetrics)->trigger();
      QCOMPARE(script.ran.size(), size_t{1});
    }
    QVERIFY(QFile::exists(dump));
    QVERIFY(main->StatusText().startsWith(QStringLiteral("Running time(sec) : ")));
    QVERIFY(bottleneck->N > 0.0);

    // ns on the generated script, the bottleneck monitored.
    NSScriptOptions options;
    options.title = doc.GetTitle();
    options.scriptPath = "dumbbell.tcl";
    options.simulationLength = doc.totalTime;
    options.monitoredQueues = {bottleneck};
    const NSScriptResult script = WriteNSScript(doc, options);
    const SimulatorReport report = RunSimulator(MakeNSRunRequest(doc, script.scriptPath));
    QVERIFY2(report.started && report.exitCode == 0, report.outputLines.c_str());
    QVERIFY(std::filesystem::exists(MonitorFileName(doc, *bottleneck)));

    // "Create Graphic ..." with the simulated option.
    {
      test::DialogScript graph([&](QDialog& d) {
        auto& dialog = dynamic_cast<CGraphDisplayDlg&>(d);
        const auto items = dialog.QueueList()->findItems(QStringLiteral("R1\t -> R2"), Qt::MatchExactly);
        if (items.size() == 1) items[0]->setSelected(true);
        dialog.SimulatedBox()->setChecked(true);
        return test::PressOk(dialog);
      });
      main->Action(kIdCreateGraphic)->trigger();
    }
    const GraphData& data = doc.graph;
    QVERIFY(data.graphOpen);
    QCOMPARE(data.graphSeries.Keys(), (std::vector<std::uint16_t>{10, 1}));
    const GraphSeries* computed = data.graphSeries.Find(1);
    const GraphSeries* simulated = data.graphSeries.Find(10);
    QVERIFY(simulated->simulated == 1);
    double computedPeak = 0, simulatedPeak = 0;
    for (double v : computed->values) computedPeak = std::max(computedPeak, v);
    for (double v : simulated->values) simulatedPeak = std::max(simulatedPeak, v);
    QVERIFY(computedPeak > 1.0);
    QVERIFY(simulatedPeak > 1.0);
    qInfo("bottleneck peaks: computed %.2f, ns %.2f packets over %d points", computedPeak, simulatedPeak,
          data.graphPointCount);

    CVarloGraphView* view = nullptr;
    for (QMdiSubWindow* w : main->MdiArea()->subWindowList()) {
      if (auto* frame = qobject_cast<CGraphFrame*>(w)) view = qobject_cast<CVarloGraphView*>(frame->View());
    }
    QVERIFY(view);
    QVERIFY(view->Ranges().yMax >= std::max(computedPeak, simulatedPeak));

    const QString shot = qEnvironmentVariable("VARLO_SCREENSHOT");
    if (!shot.isEmpty()) {
      main->MdiArea()->tileSubWindows();
      main->show();
      QVERIFY(QTest::qWaitForWindowExposed(main));
      QTest::qWait(500);
      QVERIFY(main->grab().save(shot, "PNG"));
      view->ExportPicture(QFileInfo(shot).dir().filePath(QStringLiteral("varlo-graph-ns.png")));
    }
  }
};

QTEST_MAIN(GraphNsEndToEndTest)
#include "graph_ns_e2e_test.moc"
