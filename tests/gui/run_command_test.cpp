// The evaluation and result commands through the program's own command route: "&Compute Metrics"
// from the toolbar writes the dump the engine writes and leaves its texts in the status bar; the
// graph window of "Create Graphic ..." is a real window of the document, reused while open and
// made again after it was closed; the menus offer "M/M/1/K Z-iteration" and the animation.
#include <QAction>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QListWidget>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPrinter>
#include <QTemporaryDir>
#include <QtTest>
#include <fstream>

#include "app/document_host.h"
#include "app/main_frame.h"
#include "app/mdi_frame.h"
#include "app/varlo_app.h"
#include "engine/run.h"
#include "engine/run_network.h"
#include "gui/dialog_hooks.h"
#include "platform/qt/settings_store.h"
#include "resources/command_ids.h"
#include "results/computation_dlg.h"
#include "results/dump_animation_dlg.h"
#include "results/graph_display_dlg.h"
#include "results/graph_view.h"

using namespace varlo;

namespace {

std::vector<std::string> Lines(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// Two nodes, one link, one UDP class, saved as name in folder.
std::string SaveSmallNetwork(const QTemporaryDir& folder, const char* name) {
  test::NetBuilder b;
  CGraphicNode* a = b.Node("A");
  CGraphicNode* c = b.Node("B");
  b.Link(a, c, 100, 20, 0.01);
  b.Udp(a, c, 60);
  const std::string path = folder.filePath(name).toStdString();
  b.doc->OnSaveDocument(path);
  return path;
}

int GraphWindows(CMainFrame* main) {
  int n = 0;
  for (QMdiSubWindow* w : main->MdiArea()->subWindowList()) n += qobject_cast<CGraphFrame*>(w) != nullptr;
  return n;
}

}  // namespace

class RunCommandTest : public QObject {
  Q_OBJECT

 private slots:
  void computeMetricsFromTheToolbarAndGraphWindows() {
    QTemporaryDir temp;
    CSettingsStore::SetSystemFileForTesting(temp.filePath(QStringLiteral("system.ini")));
    const std::string net = SaveSmallNetwork(temp, "small.net");
    CVarloApp app;
    QVERIFY(app.InitInstance({QString::fromStdString(net)}));
    CMainFrame* main = app.MainFrame();
    CVarloDoc& doc = *app.Documents().front()->Doc();
    QVERIFY(!doc.routesValid);

    const std::string dump = temp.filePath(QStringLiteral("small.dmp")).toStdString();
    {
      test::DialogScript script([&](QDialog& d) {
        auto& dialog = dynamic_cast<CComputationDlg&>(d);
        dialog.TotalTimeEdit()->setText("2");
        dialog.FileEdit()->setText(temp.filePath(QStringLiteral("small")));
        return test::PressOk(dialog);
      });
      main->UpdateCommandUI();
      QVERIFY(main->Action(kIdComputeMetrics)->isEnabled());
      main->Action(kIdComputeMetrics)->trigger();
      QCOMPARE(script.ran.size(), size_t{1});
    }
    QVERIFY(main->StatusText().startsWith("Running time(sec) : "));
    QVERIFY(doc.routesValid);
    QCOMPARE(doc.dumpFilePath, dump);
    QVERIFY(!doc.IsModified());

    // The same network evaluated by the engine alone.
    CVarloDoc reference;
    reference.OnOpenDocument(net);
    reference.totalTime = 2;
    reference.dumpFilePath = temp.filePath(QStringLiteral("engine.dmp")).toStdString();
    QCOMPARE(Run(reference, RunMethod::kComputeMetrics).status, RunStatus::kCompleted);
    const auto ours = Lines(dump), theirs = Lines(reference.dumpFilePath);
    QVERIFY(ours.size() >= 22);
    QCOMPARE(ours[1], std::string("1 1 20"));
    QCOMPARE(ours.size(), theirs.size());
    for (size_t i = 0; i < ours.size(); ++i) QCOMPARE(ours[i], theirs[i]);

    // "Create Graphic ..." opens a graph window, reuses it while it is open, and opens a new one
    // after it was closed.
    test::DialogScript graph([](QDialog& d) {
      auto& dialog = dynamic_cast<CGraphDisplayDlg&>(d);
      dialog.QueueList()->item(0)->setSelected(true);
      return test::PressOk(dialog);
    });
    main->Action(kIdCreateGraphic)->trigger();
    QCOMPARE(GraphWindows(main), 1);
    QVERIFY(doc.graph.graphOpen);
    QCOMPARE(doc.graph.graphPointCount, 20);
    main->Action(kIdCreateGraphic)->trigger();
    QCOMPARE(GraphWindows(main), 1);
    auto* frame = qobject_cast<CGraphFrame*>(main->MdiArea()->activeSubWindow());
    QVERIFY(frame);
    QVERIFY(qobject_cast<CVarloGraphView*>(frame->View()));
    // The graph window's menus, and View Grid through the route.
    main->UpdateMenuLayout();
    main->UpdateCommandUI();
    QVERIFY(main->Action(kIdViewGrid)->isChecked());
    main->RouteCommand(kIdViewGrid);
    QVERIFY(!qobject_cast<CVarloGraphView*>(frame->View())->ShowGrid());

    // The picture in every format offered, and the series as CSV.
    auto* view = qobject_cast<CVarloGraphView*>(frame->View());
    for (const char* name : {"g.wmf", "g.png", "g.svg", "g.pdf", "g.csv"}) {
      const QString path = temp.filePath(QString::fromLatin1(name));
      QVERIFY2(name[2] == 'w' ? view->WriteMetafile(path) : view->ExportPicture(path), name);
      QVERIFY2(QFileInfo(path).size() > 100, name);
    }
    QVERIFY(!view->ExportPicture(temp.filePath(QStringLiteral("g.bmp"))));
    QPrinter printer(QPrinter::HighResolution);  // the printing layout, on a PDF printer
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(temp.filePath(QStringLiteral("p.pdf")));
    view->PrintTo(&printer);
    QVERIFY(QFileInfo(temp.filePath(QStringLiteral("p.pdf"))).size() > 100);

    frame->close();
    QTRY_VERIFY(!doc.graph.graphOpen);
    main->Action(kIdCreateGraphic)->trigger();
    QCOMPARE(GraphWindows(main), 1);
    QVERIFY(doc.graph.graphOpen);
  }

  void menusOfferTheZIterationAndTheAnimation() {
    QTemporaryDir temp;
    CSettingsStore::SetSystemFileForTesting(temp.filePath(QStringLiteral("system.ini")));
    const std::string net = SaveSmallNetwork(temp, "m.net");
    CVarloApp app;
    QVERIFY(app.InitInstance({QString::fromStdString(net)}));
    CMainFrame* main = app.MainFrame();
    const auto computation = main->MenuCommands("&Computation");
    QVERIFY(std::find(computation.begin(), computation.end(), kIdMM1KZIteration) != computation.end());
    const auto view = main->MenuCommands("&View");
    QVERIFY(std::find(view.begin(), view.end(), kIdAnimateDump) != view.end());
    test::DialogScript script([](QDialog& d) {
      auto& dialog = dynamic_cast<CDumpAnimationDlg&>(d);
      dialog.OnStop();
      return dialog.result();
    });
    main->Action(kIdAnimateDump)->trigger();
    QCOMPARE(script.ran.size(), size_t{1});
  }
};

QTEST_MAIN(RunCommandTest)
#include "run_command_test.moc"
