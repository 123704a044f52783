// "Computation Properties" (ranges in exchange order, the ".dmp" rule, the program-wide profile)
// and the run commands: a run through the dialog writes the dump the engine writes, the status
// texts, and cancelling a long run from "Computation is running".
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QtTest>
#include <fstream>
#include <sstream>

#include "engine/computation_parameters.h"
#include "engine/dump_file.h"
#include "engine/evaluation_model.h"
#include "engine/graph_creation.h"
#include "engine/graph_drawing.h"
#include "engine/run_network.h"
#include "gui/dialog_hooks.h"
#include "platform/qt/settings_store.h"
#include "results/computation_commands.h"
#include "results/computation_dlg.h"
#include "results/dump_animation_dlg.h"
#include "results/running_dlg.h"

using namespace varlo;
using varlo::test::DialogScript;
using varlo::test::MessageCapture;
using varlo::test::NetBuilder;
using varlo::test::TempFolder;

namespace {

struct Fields {
  QString dumpInterval = "0.1", file = "out", runningStep = "0.01", totalTime = "15";
};

// Fills the dialog's edits and presses OK; returns whether it closed.
bool Submit(CComputationDlg& dialog, const Fields& f) {
  dialog.DumpIntervalEdit()->setText(f.dumpInterval);
  dialog.FileEdit()->setText(f.file);
  dialog.RunningStepEdit()->setText(f.runningStep);
  dialog.TotalTimeEdit()->setText(f.totalTime);
  dialog.accept();
  return dialog.result() == QDialog::Accepted;
}

std::vector<std::string> Lines(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// One link, one UDP class.
std::unique_ptr<CVarloDoc> SmallNetwork() {
  NetBuilder b;
  CGraphicNode* a = b.Node("A");
  CGraphicNode* c = b.Node("B");
  b.Link(a, c, 100, 20, 0.01);
  b.Udp(a, c, 60);
  return std::move(b.doc);
}

}  // namespace

class ComputationTest : public QObject {
  Q_OBJECT

 private slots:
  void rangesAreCheckedInExchangeOrder() {
    MessageCapture messages;
    CComputationDlg dialog;
    dialog.InitOnce();
    dialog.show();
    Fields f;
    f.totalTime = "0.5";
    QVERIFY(!Submit(dialog, f));
    f.totalTime = "10000";
    f.runningStep = "5.5";
    QVERIFY(!Submit(dialog, f));
    // Both wrong: the dump interval comes first in the exchange and gets the focus.
    f.dumpInterval = "abc";
    QVERIFY(!Submit(dialog, f));
    QCOMPARE(messages.texts,
             (QStringList{"Please enter a number between 1 and 10000.",
                          "Please enter a number between 0.0001 and 5.", "Please enter a number."}));
    QCOMPARE(dialog.focusWidget(), dialog.DumpIntervalEdit());

    f = Fields{};
    f.totalTime = "10000";
    f.runningStep = "0.0001";
    f.dumpInterval = "10";
    QVERIFY(Submit(dialog, f));
    QCOMPARE(dialog.totalTime, 10000.0);
    QCOMPARE(dialog.runningStep, 0.0001);
    QCOMPARE(dialog.dumpInterval, 10.0);
  }

  void dumpExtensionRule() {
    const std::pair<QString, std::string> cases[] = {{"results", "results.dmp"},
                                                     {"results.dmp", "results.dmp"},
                                                     {"results.DMP", "results.DMP.dmp"},
                                                     {"", ".dmp"}};
    for (const auto& [typed, taken] : cases) {
      CComputationDlg dialog;
      dialog.InitOnce();
      Fields f;
      f.file = typed;
      QVERIFY(Submit(dialog, f));
      QCOMPARE(dialog.dumpFilePath, taken);
    }
  }

  void parametersCommandCopiesBackAndTheProfileIsShared() {
    auto one = SmallNetwork();
    auto two = SmallNetwork();
    one->SetModifiedFlag(false);
    QString shownTotal;
    DialogScript script([&](QDialog& d) {
      auto& dialog = dynamic_cast<CComputationDlg&>(d);
      shownTotal = dialog.TotalTimeEdit()->text();
      dialog.ProfileList()->setCurrentIndex(1);
      Submit(dialog, Fields{"0.5", "x", "0.02", "30"});
      return dialog.result();
    });
    OnParameters(*one, nullptr);
    QCOMPARE(shownTotal, QStringLiteral("15"));
    QCOMPARE(one->totalTime, 30.0);
    QCOMPARE(one->dumpInterval, 0.5);
    QCOMPARE(one->dumpFilePath, std::string("x.dmp"));
    QVERIFY(!one->IsModified());
    QCOMPARE(GetComputationParameters(*two).tcpProfile, 1);
    QCOMPARE(two->totalTime, 15.0);
    SetComputationParameters(*two, ComputationParameters{});  // back to NetBSD for the other tests
  }

  // The model list under the profile list: choosing "Refined" makes the runs of every document
  // refined, is kept in the settings store for the next start, and the dump says so, which the
  // graph caption and the animation show. "Classic" dumps stay as they were.
  void refinedModelIsChosenKeptAndShownByTheReaders() {
    TempFolder folder;
    auto doc = SmallNetwork();
    int shownModel = -1;
    DialogScript script([&](QDialog& d) {
      auto& dialog = dynamic_cast<CComputationDlg&>(d);
      shownModel = dialog.ModelList()->currentIndex();
      dialog.ModelList()->setCurrentIndex(1);
      Submit(dialog, Fields{"0.1", QString::fromStdString(folder.File("refined")), "0.01", "2"});
      return dialog.result();
    });
    const auto result = OnRunCommand(*doc, RunMethod::kComputeMetrics, nullptr, RunCommandHooks{});
    QCOMPARE(shownModel, 0);
    QVERIFY(result.has_value());
    QCOMPARE(result->status, RunStatus::kCompleted);
    QCOMPARE(GetEvaluationModel(), EvaluationModel::kRefined);
    QCOMPARE(CSettingsStore::ReadEvaluationModel(), QStringLiteral("refined"));
    const std::string path = folder.File("refined.dmp");
    QCOMPARE(Lines(path)[1], std::string("1 1 20 refined"));
    // 60 packets/s on 100: the refined queue holds the M/M/1/K mean of load 0.6 (K = 20) by the end.
    double sum = 0, weight = 0;
    for (int n = 0; n <= 20; ++n) {
      sum += n * std::pow(0.6, n);
      weight += std::pow(0.6, n);
    }
    std::istringstream last(Lines(path).back());
    double time = 0, size = 0;
    last >> time >> size;
    QVERIFY(std::fabs(size - sum / weight) < 0.02 * sum / weight);

    QCOMPARE(LoadGraphData(*doc, {MakeQueueSeries(*doc, *doc->GetLinks()[0]->GetForwardQueue(), 0)}, path),
             GraphLoadStatus::kLoaded);
    QCOMPARE(GraphCaption(doc->graph), std::string("AvgSize(t)  (refined model)"));

    CDumpAnimationDlg animation(*doc);  // opens the document's dump, the one just written
    animation.InitOnce();
    animation.OnStep();
    QVERIFY(!animation.ModelLabel()->isHidden());

    SetEvaluationModel(EvaluationModel::kClassic);  // back to classic for the other tests
    CSettingsStore::WriteEvaluationModel(QStringLiteral("classic"));
    QCOMPARE(Run(*doc, RunMethod::kComputeMetrics).status, RunStatus::kCompleted);
    QCOMPARE(Lines(path)[1], std::string("1 1 20"));
    QCOMPARE(LoadGraphData(*doc, {MakeQueueSeries(*doc, *doc->GetLinks()[0]->GetForwardQueue(), 0)}, path),
             GraphLoadStatus::kLoaded);
    QCOMPARE(GraphCaption(doc->graph), std::string("AvgSize(t)"));
  }

  void runWritesTheDumpTheEngineWrites() {
    TempFolder folder;
    auto doc = SmallNetwork();
    const std::string path = folder.File("gui.dmp");
    DialogScript script([&](QDialog& d) {
      auto& dialog = dynamic_cast<CComputationDlg&>(d);
      Submit(dialog, Fields{"0.1", QString::fromStdString(folder.File("gui")), "0.01", "1"});
      return dialog.result();
    });
    bool saved = false;
    QStringList status;
    RunCommandHooks hooks;
    hooks.saveUnderTitle = [&] { saved = true; return true; };
    hooks.status = [&](const QString& text) { status.append(text); };
    const auto result = OnRunCommand(*doc, RunMethod::kComputeMetrics, nullptr, hooks);
    QVERIFY(saved);
    QVERIFY(result.has_value());
    QCOMPARE(result->status, RunStatus::kCompleted);
    QVERIFY(doc->routesValid);
    QVERIFY(!status.isEmpty());
    QVERIFY(status.last().startsWith("Running time(sec) : "));
    QVERIFY(status.contains("Current Time : 1.000000") || status.contains("Current Time : 1.100000"));

    // The same network run by the engine directly.
    auto reference = SmallNetwork();
    reference->totalTime = 1;
    reference->dumpFilePath = folder.File("engine.dmp");
    QCOMPARE(Run(*reference, RunMethod::kComputeMetrics).status, RunStatus::kCompleted);
    const auto ours = Lines(path), theirs = Lines(folder.File("engine.dmp"));
    QCOMPARE(ours.size(), size_t{12});
    QCOMPARE(ours[1], std::string("1 1 10"));
    QVERIFY(ours.size() == theirs.size());
    for (size_t i = 1; i < ours.size(); ++i) QCOMPARE(ours[i], theirs[i]);
  }

  void routesComputedAreCounted() {
    // A - B joined, C alone: A->B and B->A are routes; A->C, C->A, B->C, C->B are not.
    NetBuilder b;
    CGraphicNode* a = b.Node("A");
    CGraphicNode* c = b.Node("B");
    b.Node("C");
    b.Link(a, c, 100, 20, 0.01);
    b.doc->ComputeRoutes();
    QCOMPARE(RoutesComputedText(*b.doc), QStringLiteral("Routes computed: 2 routes, 4 unreachable pairs"));
  }

  void cancellingTheDialogRunsNothing() {
    auto doc = SmallNetwork();
    DialogScript script(test::PressCancel);
    bool saved = false;
    RunCommandHooks hooks;
    hooks.saveUnderTitle = [&] { saved = true; return true; };
    QVERIFY(!OnRunCommand(*doc, RunMethod::kZIteration, nullptr, hooks).has_value());
    QVERIFY(saved);  // saved before the dialog, as the command does
  }

  void cancelMidRunKeepsTheRowsWritten() {
    TempFolder folder;
    auto doc = SmallNetwork();
    doc->totalTime = 10000;
    doc->runningStep = 0.0001;
    doc->dumpInterval = 0.001;
    doc->dumpFilePath = folder.File("long.dmp");
    CRunningDlg running(*doc, RunMethod::kComputeMetrics);
    QString shown;
    QTimer::singleShot(300, &running, [&] {
      QVERIFY(running.isVisible());
      QVERIFY(running.isModal());
      shown = running.TextField()->text();
      running.CancelButton()->click();
    });
    const RunResult result = running.Execute();
    QCOMPARE(result.status, RunStatus::kCancelled);
    QVERIFY(shown.startsWith("Current Time : "));
    QVERIFY(result.rowsWritten > 0);
    QVERIFY(result.endTime < 10000);
    const auto lines = Lines(doc->dumpFilePath);
    QCOMPARE(lines.size(), size_t(result.rowsWritten + 2));
    QVERIFY(!doc->routesValid || result.status == RunStatus::kCompleted);
  }
};

QTEST_MAIN(ComputationTest)
#include "computation_test.moc"
