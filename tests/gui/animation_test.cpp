// The dump animation: one row per ">", four rows skipped by ">>", "END" after the last row, a
// refused header, restarting from another file, the views told at every step, and the dump file
// offered for a network just opened.
#include <QLabel>
#include <QLineEdit>
#include <QComboBox>
#include <QPushButton>
#include <QtTest>
#include <fstream>

#include "platform/qt/file_dialogs.h"
#include "engine/run_network.h"
#include "gui/dialog_hooks.h"
#include "results/dump_animation_dlg.h"
#include "results/graph_display_dlg.h"

using namespace varlo;
using varlo::test::MessageCapture;
using varlo::test::NetBuilder;
using varlo::test::TempFolder;

namespace {

struct Network {
  NetBuilder b;
  CGraphicNode* a = b.Node("A");
  CGraphicNode* c = b.Node("B");
  CGraphicLink* link = b.Link(a, c, 100, 20, 0.01);
  CConstPoissonClass* udp = b.Udp(a, c, 60);
  CVarloDoc& doc = *b.doc;
  C_MM1K_Queue* fwd = link->GetForwardQueue();
  C_MM1K_Queue* bwd = link->GetBackwardQueue();
};

struct HintCounter : IDocumentView {
  int graphHints = 0;
  void OnUpdate(IDocumentView*, int hint, CPersistent*) override { graphHints += hint == kHintGraphData; }
};

// Rows k = 0 .. rows-1 at time k/10: forward N = k, U = 0.01 k, P = 0; backward 2k, 0, 0.5; class 3.
std::string Dump(int links, int rows) {
  std::string text = "/tmp/x.net\n" + std::to_string(links) + " 1 " + std::to_string(rows) + "\n";
  for (int k = 0; k < rows; ++k) {
    char row[200];
    std::snprintf(row, sizeof row, "%lf\t%lf %lf %lf\t%lf %lf %lf\t%lf\t\n", k / 10.0, double(k), 0.01 * k,
                  0.0, 2.0 * k, 0.0, 0.5, 3.0);
    text += row;
  }
  return text;
}

void WriteFile(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary);
  out << text;
}

}  // namespace

class AnimationTest : public QObject {
  Q_OBJECT

 private slots:
  void oneStepLoadsOneRow() {
    Network n;
    TempFolder folder;
    n.doc.dumpFilePath = folder.File("one.dmp");
    WriteFile(n.doc.dumpFilePath, "/tmp/x.net\n1 1 1\n0.100000\t1.5 0.75 0.01\t0.2 0.1 0\t3.0\t\n");
    HintCounter views;
    n.doc.AddView(&views);
    CDumpAnimationDlg dialog(n.doc);
    dialog.InitOnce();
    QCOMPARE(dialog.FileEdit()->text().toStdString(), n.doc.dumpFilePath);
    QCOMPARE(dialog.TimeLabel()->text(), QString());
    dialog.OnStep();
    QCOMPARE(dialog.TimeLabel()->text(), QStringLiteral("0.100000"));
    QCOMPARE(n.fwd->N, 1.5);
    QCOMPARE(n.fwd->U, 0.75);
    QCOMPARE(n.fwd->P, 0.01);
    QCOMPARE(n.bwd->N, 0.2);
    QCOMPARE(n.bwd->U, 0.1);
    QCOMPARE(n.bwd->P, 0.0);
    QCOMPARE(views.graphHints, 1);

    // After the last row: one step changes nothing, the next shows "END".
    dialog.OnStep();
    QCOMPARE(dialog.TimeLabel()->text(), QStringLiteral("0.100000"));
    QCOMPARE(n.fwd->N, 1.5);
    dialog.OnStep();
    QCOMPARE(dialog.TimeLabel()->text(), QStringLiteral("END"));
    dialog.OnStep();
    QCOMPARE(dialog.TimeLabel()->text(), QStringLiteral("END"));
    n.doc.RemoveView(&views);
  }

  void aNetworkJustOpenedOffersTheDumpBesideIt() {
    // A network opened from net.net has no dump file of its own yet: both result dialogs offer
    // net.dmp beside it once a run has written it, and nothing before. The document's own wins.
    Network n;
    TempFolder folder;
    n.doc.SetPathName(folder.File("net.net"));
    QVERIFY(n.doc.dumpFilePath.empty());
    QCOMPARE(CDumpAnimationDlg(n.doc).dumpFilePath, std::string());
    QCOMPARE(CGraphDisplayDlg(n.doc).dumpFilePath, std::string());
    WriteFile(folder.File("net.dmp"), Dump(1, 3));
    CDumpAnimationDlg animation(n.doc);
    animation.InitOnce();
    QCOMPARE(animation.FileEdit()->text().toStdString(), folder.File("net.dmp"));
    animation.OnStep();
    QCOMPARE(animation.TimeLabel()->text(), QStringLiteral("0.000000"));
    QCOMPARE(CGraphDisplayDlg(n.doc).dumpFilePath, folder.File("net.dmp"));
    n.doc.dumpFilePath = folder.File("chosen.dmp");
    QCOMPARE(CGraphDisplayDlg(n.doc).dumpFilePath, folder.File("chosen.dmp"));
  }

  void playStepsOnItsOwnUntilTheEndOfACutShortFile() {
    Network n;
    TempFolder folder;
    n.doc.dumpFilePath = folder.File("cut.dmp");
    // A cancelled run: the header announces 6 rows, the file holds 3.
    std::string text = Dump(1, 3);
    text.replace(text.find("1 1 3"), 5, "1 1 6");
    WriteFile(n.doc.dumpFilePath, text);
    CDumpAnimationDlg dialog(n.doc);
    dialog.InitOnce();
    dialog.SpeedBox()->setCurrentIndex(dialog.SpeedBox()->count() - 1);  // 25 rows a second
    dialog.PlayButton()->click();
    QVERIFY(dialog.IsPlaying());
    QCOMPARE(dialog.PlayButton()->text(), QStringLiteral("Pause"));
    QTRY_VERIFY_WITH_TIMEOUT(!dialog.IsPlaying(), 5000);
    // The last row stays shown: forward N = 2, backward N = 4.
    QCOMPARE(dialog.TimeLabel()->text(), QStringLiteral("0.200000"));
    QCOMPARE(n.fwd->N, 2.0);
    QCOMPARE(n.bwd->N, 4.0);
    QCOMPARE(dialog.PlayButton()->text(), QStringLiteral("Play"));
    QVERIFY(dialog.NoteLabel()->isVisibleTo(&dialog));
    QVERIFY2(dialog.NoteLabel()->text().contains(QStringLiteral("3 of the 6 rows")),
             qPrintable(dialog.NoteLabel()->text()));
    // The stepping buttons keep their meaning: the next ">" shows "END".
    dialog.OnStep();
    QCOMPARE(dialog.TimeLabel()->text(), QStringLiteral("END"));
  }

  void fastForwardSkipsFourRows() {
    Network n;
    TempFolder folder;
    n.doc.dumpFilePath = folder.File("many.dmp");
    WriteFile(n.doc.dumpFilePath, Dump(1, 12));
    CDumpAnimationDlg dialog(n.doc);
    dialog.InitOnce();
    dialog.OnFastForward();  // a fresh file shows the fifth row
    QCOMPARE(dialog.TimeLabel()->text(), QStringLiteral("0.400000"));
    QCOMPARE(n.fwd->N, 4.0);
    dialog.OnStep();
    QCOMPARE(dialog.TimeLabel()->text(), QStringLiteral("0.500000"));
    dialog.OnFastForward();  // four rows after the one shown
    QCOMPARE(dialog.TimeLabel()->text(), QStringLiteral("0.900000"));
    QCOMPARE(n.bwd->N, 18.0);
    QCOMPARE(n.bwd->P, 0.5);
    dialog.OnFastForward();  // past the end
    dialog.OnStep();
    QCOMPARE(dialog.TimeLabel()->text(), QStringLiteral("END"));
  }

  void refusedHeaderChangesNoQueue() {
    Network n;
    TempFolder folder;
    n.doc.dumpFilePath = folder.File("two.dmp");
    WriteFile(n.doc.dumpFilePath, Dump(2, 3));
    n.fwd->N = 7.0;
    MessageCapture messages;
    CDumpAnimationDlg dialog(n.doc);
    dialog.InitOnce();
    dialog.OnStep();
    QCOMPARE(messages.texts, QStringList{"Bad Dump File - try to reconfigure"});
    QVERIFY(!dialog.IsFileOpen());
    QCOMPARE(n.fwd->N, 7.0);
    dialog.OnFastForward();
    QCOMPARE(messages.texts.size(), 2);

    // A missing file is reported with the file error's text.
    dialog.FileEdit()->setText(QString::fromStdString(folder.File("none.dmp")));
    dialog.OnStep();
    QCOMPARE(messages.texts.size(), 3);
    QVERIFY(messages.texts.last().endsWith("was not found."));
  }

  void browseRestartsFromTheNewFile() {
    Network n;
    TempFolder folder;
    n.doc.dumpFilePath = folder.File("a.dmp");
    WriteFile(n.doc.dumpFilePath, Dump(1, 6));
    const std::string other = folder.File("b.dmp");
    WriteFile(other, Dump(1, 6));
    CDumpAnimationDlg dialog(n.doc);
    dialog.InitOnce();
    dialog.OnStep();
    dialog.OnStep();
    QCOMPARE(dialog.TimeLabel()->text(), QStringLiteral("0.100000"));
    auto previous =
        SetFilePromptHook([&](FilePromptKind kind, const QString&, const QString& suffix, const QString&) {
          return kind == FilePromptKind::kOpen && suffix == "dmp" ? QString::fromStdString(other) : QString();
        });
    dialog.OnBrowse();
    SetFilePromptHook(previous);
    QVERIFY(!dialog.IsFileOpen());
    QCOMPARE(dialog.FileEdit()->text().toStdString(), other);
    dialog.OnStep();
    QCOMPARE(dialog.TimeLabel()->text(), QStringLiteral("0.000000"));
    dialog.OnStop();
    QVERIFY(!dialog.IsFileOpen());
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
  }
};

QTEST_MAIN(AnimationTest)
#include "animation_test.moc"
