// The network canvas: the context menu for every case, the modes, links and classes made in two
// steps, styles, zoom, hit-testing, dragging and the references it must drop when elements go.
#include <QCheckBox>
#include <QLineEdit>
#include <QScrollBar>
#include <QWheelEvent>
#include <QtTest>

#include "editor/link_dialog.h"
#include "editor/node_dialog.h"
#include "editor/undo_stack.h"
#include "editor/varlo_view.h"
#include "model/const_poisson_class.h"
#include "model/mm1k_queue.h"
#include "model/tcp_class.h"
#include "gui/dialog_hooks.h"
#include "resources/command_ids.h"
#include "editor/traffic_class_dlg.h"

using namespace varlo;
using test::DialogScript;
using test::MessageCapture;

namespace {

constexpr int kSep = CVarloView::kSeparator;

CGraphicLink* Join(CVarloDoc& doc, CGraphicNode* a, CGraphicNode* b) {
  auto link = std::make_unique<CGraphicLink>(a, b, std::make_unique<C_MM1K_Queue>(a, b, 1000.0, 5000.0, 0.0),
                                             std::make_unique<C_MM1K_Queue>(b, a, 1000.0, 5000.0, 0.0));
  CGraphicLink* raw = link.get();
  doc.AddLink(std::move(link));
  return raw;
}

// A right-click at the model point (zoom 1, not scrolled: window = model).
std::vector<int> RightClick(CVarloView& view, int x, int y) {
  return view.OnContextClick(view.ModelToWindow(QPoint(x, y)));
}

// Chooses a command from the context menu at a model point; fails when it is not offered.
void Choose(CVarloView& view, int x, int y, int id) {
  const std::vector<int> items = RightClick(view, x, y);
  QVERIFY2(std::find(items.begin(), items.end(), id) != items.end(), qPrintable(QString::number(id)));
  view.OnCommand(id);
}

struct Canvas {
  CVarloDoc doc;
  CVarloView view{&doc};
  Canvas() { view.resize(640, 480); }
};

}  // namespace

class CanvasTest : public QObject {
  Q_OBJECT

 private slots:
  void init() { DefaultLinkStyle() = LinkStyle{}; }

  // --- context menu -------------------------------------------------------------------------
  void emptyCanvasOffersOnlyAddNode() {
    Canvas c;
    QCOMPARE(RightClick(c.view, 50, 50), std::vector<int>{kIdAddNode});
  }

  void nodeMenu() {
    Canvas c;
    c.doc.CreateNode(100, 100);
    const std::vector<int> expected{kIdProperties, kIdCopyStyle,    kIdPasteStyle, kSep,
                                    kIdStartLink,  kIdStartTraffic, kIdDeleteNode};
    QCOMPARE(RightClick(c.view, 100, 100), expected);
    // The hit square is (x-s, y-s)-(x+s, y+s) without its right and bottom edges.
    QCOMPARE(RightClick(c.view, 84, 84), expected);
    QCOMPARE(RightClick(c.view, 116, 100), std::vector<int>{kIdAddNode});
  }

  void linkHandleMenu() {
    Canvas c;
    CGraphicNode* a = c.doc.CreateNode(100, 100);
    CGraphicNode* b = c.doc.CreateNode(300, 100);
    CGraphicLink* link = Join(c.doc, a, b);
    QCOMPARE(RightClick(c.view, 200, 100),
             (std::vector<int>{kIdProperties, kIdCopyStyle, kIdPasteStyle, kSep, kIdDeleteLink}));
    QCOMPARE(c.view.GetCurrentLink(), link);
    QCOMPARE(c.view.GetCurrentNode(), nullptr);
    // The line itself away from the handle is empty canvas.
    QCOMPARE(RightClick(c.view, 150, 100), std::vector<int>{kIdAddNode});
  }

  void nodeOverHandleOffersOnlyTheCommonItems() {
    Canvas c;
    CGraphicNode* a = c.doc.CreateNode(100, 100);
    CGraphicNode* b = c.doc.CreateNode(300, 100);
    Join(c.doc, a, b);
    c.doc.CreateNode(200, 100);
    QCOMPARE(RightClick(c.view, 200, 100),
             (std::vector<int>{kIdProperties, kIdCopyStyle, kIdPasteStyle, kSep}));
  }

  void pendingLinkMenu() {
    Canvas c;
    c.doc.CreateNode(100, 100);
    c.doc.CreateNode(300, 100);
    Choose(c.view, 100, 100, kIdStartLink);
    QCOMPARE(c.view.GetMode(), int(CVarloView::kModeLink));
    QCOMPARE(RightClick(c.view, 100, 100), std::vector<int>{kIdCancelLink});
    QCOMPARE(RightClick(c.view, 500, 500), std::vector<int>{kIdCancelLink});
    QCOMPARE(RightClick(c.view, 300, 100), (std::vector<int>{kIdEndLink, kIdCancelLink}));
  }

  void pendingTrafficMenu() {
    Canvas c;
    c.doc.CreateNode(100, 100);
    c.doc.CreateNode(300, 100);
    Choose(c.view, 100, 100, kIdStartTraffic);
    QCOMPARE(c.view.GetMode(), int(CVarloView::kModeTraffic));
    QCOMPARE(RightClick(c.view, 100, 100), std::vector<int>{kIdCancelTraffic});
    QCOMPARE(RightClick(c.view, 300, 100), (std::vector<int>{kIdDestination, kIdCancelTraffic}));
    c.view.OnCommand(kIdCancelTraffic);
    QCOMPARE(c.view.GetMode(), int(CVarloView::kModeIdle));
    QCOMPARE(c.view.GetStartNode(), nullptr);
  }

  // --- modes --------------------------------------------------------------------------------
  void leftButtonDragsAndAbandonsAPendingLink() {
    Canvas c;
    c.view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&c.view));
    CGraphicNode* a = c.doc.CreateNode(100, 100);
    c.doc.CreateNode(300, 100);
    Choose(c.view, 100, 100, kIdStartLink);
    QTest::mousePress(c.view.viewport(), Qt::LeftButton, {}, QPoint(300, 100));
    QCOMPARE(c.view.GetMode(), int(CVarloView::kModeDrag));
    // While dragging the right button opens no menu and changes nothing.
    QTest::mouseRelease(c.view.viewport(), Qt::RightButton, {}, QPoint(100, 100));
    QCOMPARE(c.view.GetMode(), int(CVarloView::kModeDrag));
    QTest::mouseMove(c.view.viewport(), QPoint(320, 150));
    QTest::mouseRelease(c.view.viewport(), Qt::LeftButton, {}, QPoint(320, 150));
    QCOMPARE(c.view.GetMode(), int(CVarloView::kModeIdle));
    QCOMPARE(c.view.GetCurrentNode(), nullptr);
    CGraphicNode* moved = c.doc.NodeAt(320, 150);
    QVERIFY(moved && moved != a);
    QCOMPARE(moved->x, 320);
    QCOMPARE(moved->y, 150);
    // Pressing on empty canvas starts nothing.
    QTest::mousePress(c.view.viewport(), Qt::LeftButton, {}, QPoint(500, 400));
    QCOMPARE(c.view.GetMode(), int(CVarloView::kModeIdle));
    QTest::mouseRelease(c.view.viewport(), Qt::LeftButton, {}, QPoint(500, 400));
  }

  // One drag is one undo step, whatever the number of mouse moves; a node dragged off the left
  // edge stops at x = 0 instead of being lost beyond the scroll range.
  void aDragIsOneUndoStepAndStopsAtTheEdge() {
    Canvas c;
    CDocumentUndo undo(c.doc);
    c.view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&c.view));
    CGraphicNode* node = c.doc.CreateNode(300, 100);
    c.doc.SetModifiedFlag(false);
    QTest::mousePress(c.view.viewport(), Qt::LeftButton, {}, QPoint(300, 100));
    QTest::mouseMove(c.view.viewport(), QPoint(250, 100));
    QTest::mouseMove(c.view.viewport(), QPoint(-40, 90));
    QTest::mouseRelease(c.view.viewport(), Qt::LeftButton, {}, QPoint(-40, 90));
    QCOMPARE(node->x, 0);
    QCOMPARE(node->y, 90);
    QTest::mousePress(c.view.viewport(), Qt::LeftButton, {}, QPoint(5, 90));
    QTest::mouseMove(c.view.viewport(), QPoint(60, 60));
    QTest::mouseRelease(c.view.viewport(), Qt::LeftButton, {}, QPoint(60, 60));
    QCOMPARE(undo.Stack()->count(), 2);
    QCOMPARE(undo.UndoText(), QStringLiteral("Undo Move Node"));
    QVERIFY(c.doc.IsModified());
    undo.Undo();
    QCOMPARE(QPoint(node->x, node->y), QPoint(0, 90));
    undo.Undo();
    QCOMPARE(QPoint(node->x, node->y), QPoint(300, 100));
    QVERIFY(!c.doc.IsModified());
  }

  void dragRepaintCoversNodeLinksAndNeighbours() {
    Canvas c;
    CGraphicNode* a = c.doc.CreateNode(100, 100);
    CGraphicNode* b = c.doc.CreateNode(300, 200);
    Join(c.doc, a, b);
    const QRect area = c.view.DragRepaintArea(*a);
    // The line widened by 20 and both nodes with their labels.
    QVERIFY(area.contains(QRect(QPoint(80, 80), QPoint(320, 220))));
    QVERIFY(area.contains(QPoint(100, 100 - 16 - 20)));
    QVERIFY(area.width() < 400);
  }

  // --- links --------------------------------------------------------------------------------
  void secondLinkIsRefusedEitherWay() {
    Canvas c;
    CGraphicNode* a = c.doc.CreateNode(100, 100);
    CGraphicNode* b = c.doc.CreateNode(300, 100);
    Join(c.doc, a, b);
    DialogScript noDialog([](QDialog&) {
      QTest::qFail("no dialog expected", __FILE__, __LINE__);
      return int(QDialog::Rejected);
    });
    MessageCapture messages;
    Choose(c.view, 300, 100, kIdStartLink);
    Choose(c.view, 100, 100, kIdEndLink);
    QCOMPARE(messages.texts, QStringList{QStringLiteral("There is already a link between those nodes.")});
    QCOMPARE(c.view.GetMode(), int(CVarloView::kModeIdle));
    QCOMPARE(c.doc.GetLinks().size(), size_t(1));
    Choose(c.view, 100, 100, kIdStartLink);
    Choose(c.view, 300, 100, kIdEndLink);
    QCOMPARE(messages.texts.size(), 2);
    QVERIFY(noDialog.ran.empty());
  }

  void confirmedLinkUpdatesTemplateAndDefaultStyle() {
    Canvas c;
    CGraphicNode* a = c.doc.CreateNode(100, 100);
    CGraphicNode* b = c.doc.CreateNode(300, 100);
    CGraphicNode* d = c.doc.CreateNode(300, 300);
    QStringList shownRates;
    DialogScript script([&](QDialog& dialog) {
      auto& link = static_cast<CLinkDialog&>(dialog);
      shownRates << link.rateEdit[0]->text() << link.thicknessEdit->text();
      link.rateEdit[0]->setText(QStringLiteral("2000"));
      link.bufferEdit[0]->setText(QStringLiteral("64"));
      link.delayEdit[0]->setText(QStringLiteral("0.01"));
      link.thicknessEdit->setText(QStringLiteral("5"));
      return test::PressOk(dialog);
    });
    Choose(c.view, 100, 100, kIdStartLink);
    Choose(c.view, 300, 100, kIdEndLink);
    QCOMPARE(c.view.GetMode(), int(CVarloView::kModeIdle));
    QCOMPARE(c.doc.GetLinks().size(), size_t(1));
    CGraphicLink* link = c.doc.FindLink(a, b);
    QVERIFY(link);
    QCOMPARE(link->GetFirstNode(), a);
    QCOMPARE(link->GetForwardQueue()->serviceRate, 2000.0);
    QCOMPARE(c.doc.templateQueue.serviceRate, 2000.0);
    QCOMPARE(c.doc.templateQueue.bufferSize, 64.0);
    QCOMPARE(c.doc.templateQueue.propagationDelay, 0.01);
    QCOMPARE(DefaultLinkStyle().thickness, 5);
    // The next link is offered the confirmed values.
    Choose(c.view, 300, 100, kIdStartLink);
    Choose(c.view, 300, 300, kIdEndLink);
    QCOMPARE(shownRates, (QStringList{"1000", "2", "2000", "5"}));
    QVERIFY(c.doc.FindLink(d, b));
  }

  void cancelledLinkAddsNothing() {
    Canvas c;
    c.doc.CreateNode(100, 100);
    c.doc.CreateNode(300, 100);
    DialogScript script([](QDialog& dialog) {
      static_cast<CLinkDialog&>(dialog).rateEdit[0]->setText(QStringLiteral("7"));
      return test::PressCancel(dialog);
    });
    Choose(c.view, 100, 100, kIdStartLink);
    Choose(c.view, 300, 100, kIdEndLink);
    QVERIFY(c.doc.GetLinks().empty());
    QCOMPARE(c.doc.templateQueue.serviceRate, 1000.0);
    QCOMPARE(c.view.GetMode(), int(CVarloView::kModeIdle));
  }

  // --- traffic ------------------------------------------------------------------------------
  void destinationCreatesTheChosenKind() {
    Canvas c;
    CGraphicNode* a = c.doc.CreateNode(100, 100);
    CGraphicNode* b = c.doc.CreateNode(300, 100);
    bool tcp = false;
    DialogScript script([&](QDialog& dialog) {
      auto& traffic = static_cast<CTrafficClassDlg&>(dialog);
      [&] { QVERIFY(traffic.udpCheck->isChecked()); }();
      if (tcp) {
        traffic.tcpCheck->click();
        traffic.sinkDelayEdit->setText(QStringLiteral("0.5"));
      } else {
        traffic.rateEdit->setText(QStringLiteral("250"));
      }
      return test::PressOk(dialog);
    });
    Choose(c.view, 100, 100, kIdStartTraffic);
    Choose(c.view, 300, 100, kIdDestination);
    tcp = true;
    Choose(c.view, 300, 100, kIdStartTraffic);
    Choose(c.view, 100, 100, kIdDestination);
    QCOMPARE(c.view.GetMode(), int(CVarloView::kModeIdle));
    QCOMPARE(c.doc.GetClasses().size(), size_t(2));
    auto* udp = dynamic_cast<CConstPoissonClass*>(c.doc.GetClasses()[0].get());
    QVERIFY(udp);
    QCOMPARE(udp->rate, 250.0);
    QCOMPARE(udp->GetSource(), a);
    QCOMPARE(udp->GetDestination(), b);
    QCOMPARE(udp->stopTime, 10000.0);
    auto* bulk = dynamic_cast<CTCPClass*>(c.doc.GetClasses()[1].get());
    QVERIFY(bulk);
    QCOMPARE(bulk->sinkDelay, 0.5);
    QCOMPARE(bulk->GetSource(), b);
  }

  void noKindOrCancelCreatesNoClass() {
    Canvas c;
    c.doc.CreateNode(100, 100);
    c.doc.CreateNode(300, 100);
    bool cancel = false;
    DialogScript script([&](QDialog& dialog) {
      if (cancel) return test::PressCancel(dialog);
      static_cast<CTrafficClassDlg&>(dialog).udpCheck->click();
      return test::PressOk(dialog);
    });
    Choose(c.view, 100, 100, kIdStartTraffic);
    Choose(c.view, 300, 100, kIdDestination);
    cancel = true;
    Choose(c.view, 100, 100, kIdStartTraffic);
    Choose(c.view, 300, 100, kIdDestination);
    QVERIFY(c.doc.GetClasses().empty());
    QCOMPARE(c.view.GetMode(), int(CVarloView::kModeIdle));
  }

  // --- nodes --------------------------------------------------------------------------------
  void newNodesAreNumberedOnAfterADeletion() {
    Canvas c;
    Choose(c.view, 50, 50, kIdAddNode);
    Choose(c.view, 150, 50, kIdAddNode);
    Choose(c.view, 250, 50, kIdAddNode);
    CGraphicNode* third = c.doc.NodeAt(250, 50);
    QVERIFY(third);
    QCOMPARE(third->GetName(), std::string("N3"));
    QCOMPARE(third->shape, int(kShapeIconHost));
    QCOMPARE(third->size, 16);
    Choose(c.view, 250, 50, kIdDeleteNode);
    QCOMPARE(c.doc.NodeAt(250, 50), nullptr);
    QCOMPARE(c.view.GetCurrentNode(), nullptr);
    Choose(c.view, 250, 50, kIdAddNode);
    QCOMPARE(c.doc.NodeAt(250, 50)->GetName(), std::string("N4"));
    QVERIFY(c.doc.IsModified());
  }

  void propertiesOpensTheLinkDialogFirst() {
    Canvas c;
    CGraphicNode* a = c.doc.CreateNode(100, 100);
    CGraphicNode* b = c.doc.CreateNode(300, 100);
    Join(c.doc, a, b);
    CGraphicNode* middle = c.doc.CreateNode(200, 100);
    DialogScript script([](QDialog& dialog) {
      if (auto* node = dynamic_cast<CNodeDialog*>(&dialog)) node->nameEdit->setText(QStringLiteral("Hub"));
      return test::PressOk(dialog);
    });
    c.doc.SetModifiedFlag(false);
    Choose(c.view, 200, 100, kIdProperties);
    QCOMPARE(script.ran.size(), size_t(2));
    QVERIFY(*script.ran[0] == typeid(CLinkDialog));
    QVERIFY(*script.ran[1] == typeid(CNodeDialog));
    QCOMPARE(middle->GetName(), std::string("Hub"));
    QCOMPARE(c.view.GetCurrentNode(), nullptr);
    QCOMPARE(c.view.GetCurrentLink(), nullptr);
    QVERIFY(c.doc.IsModified());
  }

  // --- styles -------------------------------------------------------------------------------
  void pasteNodeStyleCopiesShapeSizeAndColours() {
    Canvas c;
    CGraphicNode* model = c.doc.CreateNode(100, 100);
    model->shape = kShapeDiamond;
    model->size = 8;
    model->backColor = 0x010203;
    model->foreColor = 0x040506;
    model->textColor = 0x070809;
    CGraphicNode* target = c.doc.CreateNode(300, 100);
    Choose(c.view, 100, 100, kIdCopyStyle);
    QCOMPARE(c.view.GetCopiedNode(), model);
    Choose(c.view, 300, 100, kIdPasteStyle);
    QCOMPARE(target->shape, int(kShapeDiamond));
    QCOMPARE(target->size, 8);
    QCOMPARE(target->backColor, ColorRef(0x010203));
    QCOMPARE(target->foreColor, ColorRef(0x040506));
    QCOMPARE(target->textColor, ColorRef(0x070809));
    QCOMPARE(target->GetName(), std::string("N2"));
    QCOMPARE(c.view.GetCurrentNode(), nullptr);
    // The values pasted are the copied node's at the time of pasting.
    model->size = 12;
    CGraphicNode* third = c.doc.CreateNode(500, 100);
    Choose(c.view, 500, 100, kIdPasteStyle);
    QCOMPARE(third->size, 12);
  }

  void pasteLinkStyleAndNodeStyleStayApart() {
    Canvas c;
    CGraphicNode* a = c.doc.CreateNode(100, 100);
    CGraphicNode* b = c.doc.CreateNode(300, 100);
    CGraphicNode* d = c.doc.CreateNode(300, 300);
    CGraphicLink* styled = Join(c.doc, a, b);
    styled->thickness = 7;
    styled->lineColor = 0x111111;
    styled->bufferColor1 = 0x222222;
    styled->bufferColor2 = 0x333333;
    CGraphicLink* plain = Join(c.doc, b, d);
    // A node style pasted on a link does nothing.
    Choose(c.view, 100, 100, kIdCopyStyle);
    Choose(c.view, 300, 200, kIdPasteStyle);
    QCOMPARE(plain->GetStyle().thickness, 2);
    Choose(c.view, 200, 100, kIdCopyStyle);
    QCOMPARE(c.view.GetCopiedLink(), styled);
    QCOMPARE(c.view.GetCopiedNode(), nullptr);
    Choose(c.view, 300, 200, kIdPasteStyle);
    QCOMPARE(plain->thickness, 7);
    QCOMPARE(plain->lineColor, ColorRef(0x111111));
    QCOMPARE(plain->bufferColor1, ColorRef(0x222222));
    QCOMPARE(plain->bufferColor2, ColorRef(0x333333));
  }

  void deletedElementsAreForgotten() {
    Canvas c;
    CGraphicNode* a = c.doc.CreateNode(100, 100);
    CGraphicNode* b = c.doc.CreateNode(300, 100);
    CGraphicNode* d = c.doc.CreateNode(500, 100);
    Join(c.doc, a, b);
    Join(c.doc, b, d);
    Choose(c.view, 200, 100, kIdCopyStyle);
    QVERIFY(c.view.GetCopiedLink());
    Choose(c.view, 200, 100, kIdDeleteLink);
    QCOMPARE(c.view.GetCopiedLink(), nullptr);
    QCOMPARE(c.view.GetCurrentLink(), nullptr);
    Choose(c.view, 400, 100, kIdCopyStyle);  // copies the b-d link
    QVERIFY(c.view.GetCopiedLink());
    Choose(c.view, 100, 100, kIdCopyStyle);  // replaces both copied references
    QCOMPARE(c.view.GetCopiedNode(), a);
    QCOMPARE(c.view.GetCopiedLink(), nullptr);
    // Deleting the node from elsewhere (the document) reaches the canvas through hint 2.
    c.doc.DeleteNode(a);
    QCOMPARE(c.view.GetCopiedNode(), nullptr);
    Choose(c.view, 500, 100, kIdPasteStyle);
    QCOMPARE(d->shape, int(kShapeIconHost));
    // A deleted link (through a deleted node) is dropped on hint 0.
    Choose(c.view, 400, 100, kIdCopyStyle);
    QVERIFY(c.view.GetCopiedLink());
    c.doc.DeleteNode(d);
    QCOMPARE(c.view.GetCopiedLink(), nullptr);
    // A pending link whose start node goes is abandoned.
    Choose(c.view, 300, 100, kIdStartLink);
    c.doc.DeleteNode(b);
    QCOMPARE(c.view.GetStartNode(), nullptr);
    QCOMPARE(c.view.GetMode(), int(CVarloView::kModeIdle));
  }

  // --- zoom and coordinates -----------------------------------------------------------------
  void zoomEnabling() {
    Canvas c;
    CCmdUI in, out;
    QVERIFY(c.view.OnUpdateCommand(kIdZoomIn, in));
    QVERIFY(c.view.OnUpdateCommand(kIdZoomOut, out));
    // From 1.0 the network can still be magnified, up to four times (factor 0.25).
    QVERIFY(in.enabled);
    QVERIFY(out.enabled);
    for (int i = 0; i < 5; ++i) c.view.OnCommand(kIdZoomIn);
    QCOMPARE(c.doc.zoomFactor, 0.25);
    c.view.OnUpdateCommand(kIdZoomIn, in);
    QVERIFY(!in.enabled);
    QCOMPARE(c.view.ModelToWindow(QPoint(100, 40)), QPoint(400, 160));
    c.doc.zoomFactor = 1.0;
    for (int i = 0; i < 20; ++i) c.view.OnCommand(kIdZoomOut);
    QCOMPARE(c.doc.zoomFactor, 6.0);
    c.view.OnUpdateCommand(kIdZoomIn, in);
    c.view.OnUpdateCommand(kIdZoomOut, out);
    QVERIFY(in.enabled);
    QVERIFY(!out.enabled);
    c.view.OnCommand(kIdZoomIn);
    QCOMPARE(c.doc.zoomFactor, 5.75);
  }

  void hitTestingAtZoomTwo() {
    Canvas c;
    CGraphicNode* node = c.doc.CreateNode(200, 100);
    c.doc.zoomFactor = 2.0;
    QCOMPARE(c.view.ModelToWindow(QPoint(200, 100)), QPoint(100, 50));
    QCOMPARE(c.view.WindowToModel(QPoint(100, 50)), QPoint(200, 100));
    c.view.OnContextClick(QPoint(100, 50));
    QCOMPARE(c.view.GetCurrentNode(), node);
    // A new node lands at the model point of the click.
    c.view.OnContextClick(QPoint(300, 200));
    c.view.OnCommand(kIdAddNode);
    QVERIFY(c.doc.NodeAt(600, 400));
  }

  void scrollingShiftsTheMapping() {
    Canvas c;
    c.view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&c.view));
    QCOMPARE(c.view.horizontalScrollBar()->maximum(), CVarloView::kScrollRange - c.view.viewport()->width());
    QCOMPARE(c.view.horizontalScrollBar()->pageStep(), 1000);
    c.view.horizontalScrollBar()->setValue(300);
    c.view.verticalScrollBar()->setValue(40);
    c.doc.zoomFactor = 1.5;
    QCOMPARE(c.view.WindowToModel(QPoint(10, 10)), QPoint(465, 75));
    QCOMPARE(c.view.ModelToWindow(QPoint(465, 75)), QPoint(10, 10));
  }

  void everyNodeStaysReachable() {
    Canvas c;
    c.view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&c.view));
    // A node saved left of and above the origin: the scroll range reaches it (with its label).
    CGraphicNode* lost = c.doc.CreateNode(-225, -40);
    c.doc.UpdateAllViews(nullptr, kHintNodeAdded, lost);
    QVERIFY(c.view.horizontalScrollBar()->minimum() <= -225 - 20);
    QVERIFY(c.view.verticalScrollBar()->minimum() <= -40 - 20);
    c.view.EnsureNodeVisible(*lost);
    QVERIFY(c.view.viewport()->rect().contains(c.view.ModelToWindow(QPoint(-225, -40))));
    QCOMPARE(c.view.WindowToModel(c.view.ModelToWindow(QPoint(-225, -40))), QPoint(-225, -40));

    // Zoom to fit shows every node: one at the origin side, one far away.
    CGraphicNode* far = c.doc.CreateNode(3000, 1500);
    c.view.ZoomToFit();
    // Width needed 3225 + 2 * (size + 60) units over a 640-pixel-wide client: above 5, so 5.25
    // or more on the 0.25 grid; the height (1540 + margins over ~460) needs less.
    QVERIFY(c.doc.zoomFactor >= 5.25 && c.doc.zoomFactor <= 5.5);
    for (const CGraphicNode* node : {lost, far})
      QVERIFY(c.view.viewport()->rect().contains(c.view.ModelToWindow(QPoint(node->x, node->y))));

    // Ctrl + wheel zooms around the pointer: the model point under it stays put.
    c.doc.zoomFactor = 2.0;
    c.view.horizontalScrollBar()->setValue(100);
    c.view.verticalScrollBar()->setValue(50);
    const QPoint pointer(200, 150);
    const QPoint model = c.view.WindowToModel(pointer);  // (600, 400)
    QCOMPARE(model, QPoint(600, 400));
    QWheelEvent wheel(QPointF(pointer), c.view.viewport()->mapToGlobal(QPointF(pointer)), QPoint(), QPoint(0, 240),
                      Qt::NoButton, Qt::ControlModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(c.view.viewport(), &wheel);
    QCOMPARE(c.doc.zoomFactor, 1.5);  // two notches toward the user's screen magnify
    QCOMPARE(c.view.WindowToModel(pointer), QPoint(600, 400));
  }

  void paintingDrawsLinksUnderNodes() {
    Canvas c;
    c.view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&c.view));
    CGraphicNode* a = c.doc.CreateNode(100, 100);
    a->shape = kShapeRectangle;
    a->size = 10;
    CGraphicNode* b = c.doc.CreateNode(300, 100);
    Join(c.doc, a, b)->thickness = 4;
    const QImage image = c.view.viewport()->grab().toImage();
    // Inside the rectangle node: its fill (fore colour), not the link's line colour.
    QCOMPARE(image.pixelColor(104, 100), QColor(0xC0, 0xC0, 0xFF));
    // On the line between the bars: the line colour.
    QCOMPARE(image.pixelColor(200 - 20, 100), QColor(0x80, 0, 0));
    QCOMPARE(image.pixelColor(200, 300), QColor(Qt::white));
  }
};

QTEST_MAIN(CanvasTest)
#include "canvas_test.moc"
