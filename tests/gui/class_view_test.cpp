// The class tree: its entries follow the document's hints, selection highlights nodes and routes
// on the canvas, and its context menu acts on the entry that was right-clicked.
#include "editor/class_view.h"

#include <QLineEdit>
#include <QtTest>

#include "editor/node_dialog.h"
#include "editor/varlo_view.h"
#include "model/const_poisson_class.h"
#include "model/mm1k_queue.h"
#include "model/tcp_class.h"
#include "gui/dialog_hooks.h"
#include "resources/command_ids.h"
#include "editor/class_times_dlg.h"

using namespace varlo;
using test::DialogScript;

namespace {

CGraphicLink* Join(CVarloDoc& doc, CGraphicNode* a, CGraphicNode* b) {
  auto link = std::make_unique<CGraphicLink>(a, b, std::make_unique<C_MM1K_Queue>(a, b, 1000.0, 5000.0, 0.0),
                                             std::make_unique<C_MM1K_Queue>(b, a, 1000.0, 5000.0, 0.0));
  CGraphicLink* raw = link.get();
  doc.AddLink(std::move(link));
  doc.UpdateAllViews(nullptr, kHintGeneral);
  return raw;
}

CGraphicNode* AddNode(CVarloDoc& doc, int x, int y) {
  CGraphicNode* node = doc.CreateNode(x, y);
  doc.UpdateAllViews(nullptr, kHintNodeAdded, node);
  return node;
}

template <class Class, class... Args>
Class* AddClass(CVarloDoc& doc, CGraphicNode* from, CGraphicNode* to, Args... args) {
  auto owned = std::make_unique<Class>(from, to, 0.0, 100.0, args...);
  Class* raw = owned.get();
  doc.AddClass(std::move(owned));
  doc.UpdateAllViews(nullptr, kHintClassAdded, raw);
  return raw;
}

QStringList Texts(const QTreeWidgetItem* parent) {
  QStringList texts;
  for (int i = 0; i < parent->childCount(); ++i) texts << parent->child(i)->text(0);
  return texts;
}

// Records the hints the tree sends to the other views.
class HintLog : public IDocumentView {
 public:
  explicit HintLog(CVarloDoc& doc) : doc_(doc) { doc_.AddView(this); }
  ~HintLog() override { doc_.RemoveView(this); }
  void OnUpdate(IDocumentView*, int hint, CPersistent* object) override { hints.push_back({hint, object}); }
  std::vector<std::pair<int, CPersistent*>> hints;

 private:
  CVarloDoc& doc_;
};

}  // namespace

class ClassViewTest : public QObject {
  Q_OBJECT

 private slots:
  void emptyNetworkShowsOnlyTheRoot() {
    CVarloDoc doc;
    CClassView tree(&doc);
    QCOMPARE(tree.topLevelItemCount(), 1);
    QCOMPARE(tree.RootItem()->text(0), QStringLiteral("Traffic : "));
    QCOMPARE(tree.RootItem()->childCount(), 0);
    QCOMPARE(tree.currentItem(), tree.RootItem());
  }

  void initialFillListsNodesAndClassesAndRaisesTheExtent() {
    CVarloDoc doc;
    CGraphicNode* a = doc.CreateNode(700, 20);
    CGraphicNode* b = doc.CreateNode(10, 900);
    doc.largestX = doc.largestY = 0;
    doc.AddClass(std::make_unique<CTCPClass>(a, b, 0.0, 5.0, 0.0));
    CClassView tree(&doc);
    QCOMPARE(Texts(tree.RootItem()), (QStringList{"From N1", "From N2"}));
    QVERIFY(tree.RootItem()->isExpanded());
    QTreeWidgetItem* fromA = tree.ItemOf(a);
    QCOMPARE(fromA->childCount(), 1);
    QCOMPARE(fromA->child(0)->text(0), QStringLiteral("To N2 (  0.0 :  5.0 )"));
    QVERIFY(fromA->isExpanded());
    QCOMPARE(doc.largestX, 700);
    QCOMPARE(doc.largestY, 900);
  }

  void entriesFollowTheHints() {
    CVarloDoc doc;
    CClassView tree(&doc);
    CGraphicNode* a = AddNode(doc, 10, 10);  // hint 1
    CGraphicNode* b = AddNode(doc, 50, 10);
    QCOMPARE(Texts(tree.RootItem()), (QStringList{"From N1", "From N2"}));
    auto* udp = AddClass<CConstPoissonClass>(doc, a, b, 2.0);  // hint 3
    QTreeWidgetItem* entry = tree.ItemOf(udp);
    QVERIFY(entry);
    QCOMPARE(entry->parent(), tree.ItemOf(a));
    QCOMPARE(entry->text(0), QString::fromStdString(udp->GetDescription()));
    QVERIFY(!entry->icon(0).isNull());
    a->SetName("Alpha");
    doc.UpdateAllViews(nullptr, kHintNodeChanged, a);  // hint 5
    QCOMPARE(tree.ItemOf(a)->text(0), QStringLiteral("From Alpha"));
    doc.DeleteClass(udp);  // hint 4
    QCOMPARE(tree.ItemOf(a)->childCount(), 0);
    // A class ending at a deleted node leaves with it (hint 4, then hint 2 for the node).
    AddClass<CTCPClass>(doc, a, b, 0.0);
    QCOMPARE(tree.ItemOf(a)->childCount(), 1);
    doc.DeleteNode(b);
    QCOMPARE(tree.ItemOf(a)->childCount(), 0);
    QCOMPARE(Texts(tree.RootItem()), QStringList{"From Alpha"});
    doc.DeleteNode(a);  // hint 2
    QCOMPARE(tree.RootItem()->childCount(), 0);
  }

  void entriesAreSortedByText() {
    CVarloDoc doc;
    CClassView tree(&doc);
    for (int i = 0; i < 10; ++i) AddNode(doc, 10 * i, 0);
    QCOMPARE(Texts(tree.RootItem()), (QStringList{"From N1", "From N10", "From N2", "From N3", "From N4",
                                                  "From N5", "From N6", "From N7", "From N8", "From N9"}));
  }

  void classSelectionHighlightsEndsAndRoute() {
    CVarloDoc doc;
    CClassView tree(&doc);
    CVarloView canvas(&doc);
    CGraphicNode* a = AddNode(doc, 0, 0);
    CGraphicNode* b = AddNode(doc, 100, 0);
    CGraphicNode* c = AddNode(doc, 200, 0);
    CGraphicNode* d = AddNode(doc, 100, 100);
    CGraphicLink* ab = Join(doc, a, b);
    CGraphicLink* bc = Join(doc, b, c);
    CGraphicLink* bd = Join(doc, b, d);
    auto* flow = AddClass<CConstPoissonClass>(doc, a, c, 1.0);
    doc.ComputeRoutes();
    doc.routesValid = true;
    HintLog log(doc);

    tree.setCurrentItem(tree.ItemOf(flow));
    QVERIFY(a->highlighted && c->highlighted);
    QVERIFY(!b->highlighted && !d->highlighted);
    QVERIFY(ab->highlighted && bc->highlighted);
    QVERIFY(!bd->highlighted);
    // Hint 6 for each end, then hint 0 for the whole picture.
    QCOMPARE(log.hints.size(), size_t(3));
    QCOMPARE(log.hints[0], std::make_pair(int(kHintNodeHighlight), static_cast<CPersistent*>(a)));
    QCOMPARE(log.hints[1], std::make_pair(int(kHintNodeHighlight), static_cast<CPersistent*>(c)));
    QCOMPARE(log.hints[2].first, int(kHintGeneral));

    tree.setCurrentItem(tree.ItemOf(b));
    QVERIFY(!a->highlighted && !c->highlighted);
    QVERIFY(b->highlighted);
    QVERIFY(!ab->highlighted && !bc->highlighted);

    // Deleting the selected class clears what it lit.
    tree.setCurrentItem(tree.ItemOf(flow));
    QVERIFY(!b->highlighted && a->highlighted && ab->highlighted);
    doc.DeleteClass(flow);
    QVERIFY(!a->highlighted && !c->highlighted && !ab->highlighted && !bc->highlighted);
    QVERIFY(!b->highlighted);
  }

  void routesAreNotLitWhileInvalid() {
    CVarloDoc doc;
    CClassView tree(&doc);
    CGraphicNode* a = AddNode(doc, 0, 0);
    CGraphicNode* b = AddNode(doc, 100, 0);
    CGraphicLink* ab = Join(doc, a, b);
    auto* flow = AddClass<CConstPoissonClass>(doc, a, b, 1.0);
    doc.ComputeRoutes();
    doc.routesValid = false;
    tree.setCurrentItem(tree.ItemOf(flow));
    QVERIFY(a->highlighted && b->highlighted);
    QVERIFY(!ab->highlighted);
  }

  void contextMenuPerEntry() {
    CVarloDoc doc;
    CClassView tree(&doc);
    CGraphicNode* a = AddNode(doc, 0, 0);
    CGraphicNode* b = AddNode(doc, 100, 0);
    auto* flow = AddClass<CConstPoissonClass>(doc, a, b, 1.0);
    QVERIFY(tree.OnContextClick(tree.RootItem()).empty());
    QVERIFY(tree.OnContextClick(nullptr).empty());
    QCOMPARE(tree.OnContextClick(tree.ItemOf(a)), (std::vector<int>{kIdDeleteNode, kIdProperties}));
    QCOMPARE(tree.GetNodeTarget(), a);
    QCOMPARE(tree.OnContextClick(tree.ItemOf(flow)),
             (std::vector<int>{kIdProperties, kIdDeleteTrafficEntry}));
    QCOMPARE(tree.GetClassTarget(), static_cast<CTrafficClass*>(flow));
    QCOMPARE(tree.GetNodeTarget(), nullptr);
  }

  void propertiesOnAClassOpensOnlyTheTimesDialog() {
    CVarloDoc doc;
    CClassView tree(&doc);
    CGraphicNode* a = AddNode(doc, 0, 0);
    CGraphicNode* b = AddNode(doc, 100, 0);
    auto* flow = AddClass<CConstPoissonClass>(doc, a, b, 1.0);
    const QString text = tree.ItemOf(flow)->text(0);
    DialogScript script([](QDialog& dialog) {
      auto& times = static_cast<CClassTimesDlg&>(dialog);
      times.startEdit->setText(QStringLiteral("3"));
      times.stopEdit->setText(QStringLiteral("30"));
      return test::PressOk(dialog);
    });
    tree.OnContextClick(tree.ItemOf(a));
    tree.OnContextClick(tree.ItemOf(flow));
    tree.OnCommand(kIdProperties);
    QCOMPARE(script.ran.size(), size_t(1));
    QVERIFY(*script.ran[0] == typeid(CClassTimesDlg));
    QCOMPARE(flow->startTime, 3.0);
    QCOMPARE(flow->stopTime, 30.0);
    // The entry shows the new times (the edit tells the views).
    QVERIFY(tree.ItemOf(flow)->text(0) != text);
    QCOMPARE(tree.ItemOf(flow)->text(0), QStringLiteral("To N2 (  3.0 : 30.0 ); Rate: 1.000000."));
  }

  void propertiesOnANodeRenamesItsEntry() {
    CVarloDoc doc;
    CClassView tree(&doc);
    CGraphicNode* a = AddNode(doc, 0, 0);
    DialogScript script([](QDialog& dialog) {
      static_cast<CNodeDialog&>(dialog).nameEdit->setText(QStringLiteral("Gateway"));
      return test::PressOk(dialog);
    });
    tree.OnContextClick(tree.ItemOf(a));
    tree.OnCommand(kIdProperties);
    QCOMPARE(tree.ItemOf(a)->text(0), QStringLiteral("From Gateway"));
  }

  void deleteCommandsActOnTheTarget() {
    CVarloDoc doc;
    CClassView tree(&doc);
    CGraphicNode* a = AddNode(doc, 0, 0);
    CGraphicNode* b = AddNode(doc, 100, 0);
    auto* flow = AddClass<CConstPoissonClass>(doc, a, b, 1.0);
    tree.OnContextClick(tree.ItemOf(flow));
    tree.OnCommand(kIdDeleteTrafficEntry);
    QVERIFY(doc.GetClasses().empty());
    QCOMPARE(tree.GetClassTarget(), nullptr);
    tree.OnContextClick(tree.ItemOf(b));
    tree.OnCommand(kIdDeleteNode);
    QCOMPARE(doc.GetNodeCount(), size_t(1));
    QCOMPARE(Texts(tree.RootItem()), QStringList{"From N1"});
    // Nothing is targeted any more: a repeated command does nothing.
    tree.OnCommand(kIdDeleteNode);
    QCOMPARE(doc.GetNodeCount(), size_t(1));
  }

  void twoTreesOnOneDocumentKeepTheirOwnEntries() {
    CVarloDoc doc;
    CClassView first(&doc);
    CClassView second(&doc);
    CGraphicNode* a = AddNode(doc, 0, 0);
    QVERIFY(first.ItemOf(a) != second.ItemOf(a));
    doc.DeleteNode(a);
    QCOMPARE(first.RootItem()->childCount(), 0);
    QCOMPARE(second.RootItem()->childCount(), 0);
  }

  void printingIsForwardedToTheCanvas() {
    CVarloDoc doc;
    CClassView tree(&doc);
    QCOMPARE(tree.FirstCanvas(), nullptr);
    CCmdUI ui;
    QVERIFY(!tree.OnUpdateCommand(kIdCreateMetafile, ui));
    CVarloView canvas(&doc);
    QCOMPARE(tree.FirstCanvas(), &canvas);
    QVERIFY(tree.OnUpdateCommand(kIdFilePrint, ui));
    QVERIFY(ui.enabled);
    // Zoom works from the tree pane too: it is the document's zoom.
    QVERIFY(tree.OnCommand(kIdZoomOut));
    QCOMPARE(doc.zoomFactor, 1.25);
  }
};

QTEST_MAIN(ClassViewTest)
#include "class_view_test.moc"
