// "Create Graphic ...": the dump read through the dialog, refused and missing dumps, short dumps,
// and the graph window reused while open and opened again after closing. The columns and the ns
// companions are tested without windows in tests/engine/graph_creation_test.cpp.
#include "engine/graph_creation.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QtTest>
#include <fstream>
#include <limits>

#include "engine/run_network.h"
#include "gui/dialog_hooks.h"
#include "results/computation_commands.h"
#include "results/graph_display_dlg.h"
#include "engine/graph_drawing.h"
#include "results/graph_view.h"

using namespace varlo;
using varlo::test::DialogScript;
using varlo::test::MessageCapture;
using varlo::test::NetBuilder;
using varlo::test::TempFolder;

namespace {

// A-B, B-C and three classes: rows of 1 + 12 + 3 numbers.
struct Network {
  NetBuilder b;
  CGraphicNode* a = b.Node("A");
  CGraphicNode* bn = b.Node("B");
  CGraphicNode* c = b.Node("C");
  CGraphicLink* ab = b.Link(a, bn, 100, 10, 0.01);
  CGraphicLink* bc = b.Link(bn, c, 100, 10, 0.01);
  CConstPoissonClass* u1 = b.Udp(a, c, 10);
  CConstPoissonClass* u2 = b.Udp(c, a, 20);
  CConstPoissonClass* u3 = b.Udp(a, bn, 30);
  CVarloDoc& doc = *b.doc;
};

void WriteFile(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary);
  out << text;
}

// Row i of a 2-link, 3-class dump: time i/10, then value column j holds 100 i + j.
std::string Dump(int links, int classes, int rows, int written) {
  std::string text = "/tmp/net.net\n" + std::to_string(links) + " " + std::to_string(classes) + " " +
                     std::to_string(rows) + "\n";
  for (int i = 0; i < written; ++i) {
    text += std::to_string(i / 10.0) + "\t";
    for (int j = 1; j <= 6 * links + classes; ++j) text += std::to_string(100.0 * i + j) + " ";
    text += "\t\n";
  }
  return text;
}

void Select(QListWidget* list, const QString& text) {
  const auto items = list->findItems(text, Qt::MatchExactly);
  QVERIFY2(items.size() == 1, qPrintable(text));
  items[0]->setSelected(true);
}

// Counts graph windows as the host would make them: a holder widget per window.
struct Windows {
  int opened = 0;
  int activated = 0;
  std::unique_ptr<QWidget> holder;
  GraphWindowHooks Hooks() {
    GraphWindowHooks hooks;
    hooks.activate = [this] { ++activated; };
    hooks.open = [this](CVarloGraphView* view) {
      ++opened;
      holder = std::make_unique<QWidget>();
      view->setParent(holder.get());
      return true;
    };
    return hooks;
  }
};

}  // namespace

class GraphCreationTest : public QObject {
  Q_OBJECT

 private slots:
  void utilisationOfTwoForwardQueuesThroughTheDialog() {
    Network n;
    TempFolder folder;
    n.doc.dumpFilePath = folder.File("run.dmp");
    WriteFile(n.doc.dumpFilePath, Dump(2, 3, 3, 3));
    Windows windows;
    DialogScript script([](QDialog& d) {
      auto& dialog = dynamic_cast<CGraphDisplayDlg&>(d);
      [&] {
        Select(dialog.QueueList(), "A\t -> B");
        Select(dialog.QueueList(), "B\t -> C");
      }();
      dialog.QueueMetricList()->setCurrentIndex(1);
      return test::PressOk(dialog);
    });
    OnCreateGraphic(n.doc, nullptr, windows.Hooks());

    const GraphData& g = n.doc.graph;
    QCOMPARE(g.graphPointCount, 3);
    QCOMPARE(g.graphSeries.Keys(), (std::vector<std::uint16_t>{8, 2}));
    QCOMPARE(g.graphSeries.Find(2)->color, Rgb(0, 0, 255));
    QCOMPARE(g.graphSeries.Find(8)->color, Rgb(255, 0, 0));
    QCOMPARE(g.graphSeries.Find(8)->values, (std::vector<double>{8, 108, 208}));
    QCOMPARE(g.graphTimes, (std::vector<double>{0.0, 0.1, 0.2}));
    QCOMPARE(GraphCaption(g), std::string("Util(t)"));
    QCOMPARE(windows.opened, 1);
    QVERIFY(g.graphOpen);
  }

  void modesSwitchAndListsFollow() {
    Network n;
    CGraphDisplayDlg dialog(n.doc);
    dialog.InitOnce();
    QCOMPARE(dialog.QueueList()->count(), 4);
    QCOMPARE(dialog.ClassList()->count(), 3);
    QVERIFY(dialog.QueueBox()->isChecked() && !dialog.ClassBox()->isChecked());
    QVERIFY(!dialog.ClassList()->isEnabled());
    dialog.ClassBox()->click();
    QVERIFY(!dialog.QueueBox()->isChecked() && dialog.ClassBox()->isChecked());
    QVERIFY(dialog.ClassList()->isEnabled() && !dialog.QueueList()->isEnabled());
    dialog.ClassBox()->click();  // unchecking the checked box switches back
    QVERIFY(dialog.QueueBox()->isChecked() && !dialog.ClassBox()->isChecked());
    QVERIFY(!dialog.ClassMetricList()->isEnabled());
  }

  void mismatchingOrMissingDumpLeavesTheGraph() {
    Network n;
    TempFolder folder;
    const std::string good = folder.File("good.dmp");
    WriteFile(good, Dump(2, 3, 2, 2));
    std::vector<GraphSeries> series{MakeQueueSeries(n.doc, *n.ab->GetForwardQueue(), 0)};
    QCOMPARE(LoadGraphData(n.doc, series, good), GraphLoadStatus::kLoaded);

    const std::string bad = folder.File("bad.dmp");
    WriteFile(bad, Dump(3, 3, 2, 2));
    QCOMPARE(LoadGraphData(n.doc, {MakeQueueSeries(n.doc, *n.bc->GetForwardQueue(), 0)}, bad),
             GraphLoadStatus::kBadDump);
    QCOMPARE(LoadGraphData(n.doc, series, folder.File("missing.dmp")), GraphLoadStatus::kFileError);
    QCOMPARE(n.doc.graph.graphSeries.Keys(), (std::vector<std::uint16_t>{1}));
    QCOMPARE(n.doc.graph.graphPointCount, 2);

    // Through the command: the texts, and no window.
    Windows windows;
    MessageCapture messages;
    n.doc.dumpFilePath = bad;
    DialogScript script([](QDialog& d) {
      auto& dialog = dynamic_cast<CGraphDisplayDlg&>(d);
      dialog.QueueList()->item(0)->setSelected(true);
      return test::PressOk(dialog);
    });
    OnCreateGraphic(n.doc, nullptr, windows.Hooks());
    n.doc.dumpFilePath = folder.File("missing.dmp");
    OnCreateGraphic(n.doc, nullptr, windows.Hooks());
    QCOMPARE(messages.texts,
             (QStringList{"Bad Dump File - try to reconfigure", "Problms with the dump file !!"}));
    QCOMPARE(windows.opened, 0);
    QCOMPARE(n.doc.graph.graphSeries.Keys(), (std::vector<std::uint16_t>{1}));
  }

  void shortAndEmptyDumps() {
    Network n;
    TempFolder folder;
    // Announces 5 rows, holds 2 and the start of a third.
    const std::string path = folder.File("short.dmp");
    WriteFile(path, Dump(2, 3, 5, 2) + "0.200000\t201.0 ");
    QCOMPARE(LoadGraphData(n.doc,
                           {MakeQueueSeries(n.doc, *n.ab->GetForwardQueue(), 0),
                            MakeQueueSeries(n.doc, *n.ab->GetForwardQueue(), 1)},
                           path),
             GraphLoadStatus::kLoaded);
    QCOMPARE(n.doc.graph.graphPointCount, 3);
    QCOMPARE(n.doc.graph.graphSeries.Find(1)->values, (std::vector<double>{1, 101, 201}));
    QCOMPARE(n.doc.graph.graphSeries.Find(2)->values, (std::vector<double>{2, 102, 0}));

    const std::string empty = folder.File("empty.dmp");
    WriteFile(empty, Dump(2, 3, 0, 0));
    QCOMPARE(LoadGraphData(n.doc, {MakeQueueSeries(n.doc, *n.ab->GetForwardQueue(), 0)}, empty),
             GraphLoadStatus::kLoaded);
    QCOMPARE(n.doc.graph.graphPointCount, 0);
    CVarloGraphView view(&n.doc);
    view.resize(400, 300);
    view.OnUpdate(nullptr, kHintGraphData, nullptr);
    QImage image(400, 300, QImage::Format_ARGB32);
    view.render(&image);  // draws axes without points
    QVERIFY(view.Ranges().xMax > view.Ranges().xMin);
  }

  void graphWindowReusedWhileOpenAndRecreatedAfterClosing() {
    Network n;
    TempFolder folder;
    n.doc.dumpFilePath = folder.File("run.dmp");
    WriteFile(n.doc.dumpFilePath, Dump(2, 3, 3, 3));
    Windows windows;
    DialogScript script([](QDialog& d) {
      auto& dialog = dynamic_cast<CGraphDisplayDlg&>(d);
      dialog.QueueList()->item(0)->setSelected(true);
      return test::PressOk(dialog);
    });
    OnCreateGraphic(n.doc, nullptr, windows.Hooks());
    QCOMPARE(windows.opened, 1);
    auto* view = windows.holder->findChild<CVarloGraphView*>();
    QVERIFY(view);
    QCOMPARE(view->Ranges().xMax, 1.0);

    WriteFile(n.doc.dumpFilePath, Dump(2, 3, 4, 4));
    OnCreateGraphic(n.doc, nullptr, windows.Hooks());
    QCOMPARE(windows.opened, 1);
    QCOMPARE(windows.activated, 1);
    QCOMPARE(n.doc.graph.graphPointCount, 4);  // re-scaled from the new load
    QVERIFY(view->Ranges().yMax > 300);

    windows.holder.reset();  // the user closes the window
    QVERIFY(!n.doc.graph.graphOpen);
    OnCreateGraphic(n.doc, nullptr, windows.Hooks());
    QCOMPARE(windows.opened, 2);
    QVERIFY(n.doc.graph.graphOpen);
  }

  void cancelOrNoSelectionChangesOnlyThePath() {
    Network n;
    Windows windows;
    DialogScript script([](QDialog& d) {
      auto& dialog = dynamic_cast<CGraphDisplayDlg&>(d);
      dialog.FileEdit()->setText("other.dmp");
      return test::PressOk(dialog);
    });
    OnCreateGraphic(n.doc, nullptr, windows.Hooks());
    QCOMPARE(n.doc.dumpFilePath, std::string("other.dmp"));
    QCOMPARE(windows.opened, 0);
  }

  void csvOfThePlottedSeries() {
    GraphData g;
    g.graphTimes = {0.0, 0.5};
    GraphSeries s;
    s.label = "A, B";
    s.values = {1.0, 2.5};
    g.graphSeries.SetAt(3, s);
    // An ns companion whose run ended before the last point leaves that field empty.
    GraphSeries sim;
    sim.label = "Sim";
    sim.values = {3.0, std::numeric_limits<double>::quiet_NaN()};
    g.graphSeries.SetAt(30, sim);
    QCOMPARE(GraphCsv(g), std::string("Time t,\"A, B\",Sim\n0.000000,1.000000,3.000000\n0.500000,2.500000,\n"));
  }
};

QTEST_MAIN(GraphCreationTest)
#include "graph_creation_test.moc"
