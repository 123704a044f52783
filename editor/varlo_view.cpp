#include "editor/varlo_view.h"

#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QImage>
#include <QMenu>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QScrollBar>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "platform/qt/file_dialogs.h"
#include "editor/link_dialog.h"
#include "editor/node_dialog.h"
#include "model/mm1k_queue.h"
#include "model/traffic_class_kinds.h"
#include "model/archive.h"
#include "model/document_edits.h"
#include "platform/core/wmf_writer.h"
#include "platform/qt/dialog_exchange.h"
#include "platform/qt/picture_export.h"
#include "platform/qt/shared_printer.h"
#include "platform/qt/qt_draw_context.h"
#include "resources/command_ids.h"
#include "resources/string_table.h"
#include "editor/traffic_class_dlg.h"

namespace varlo {

namespace {

constexpr const char* kTextLinkExists = "There is already a link between those nodes.";
constexpr int kScreenFontPoints = 10;  // the canvas and its metafiles
constexpr int kPrintFontPoints = 5;    // paper
constexpr int kPrintMargin = 300;      // device units kept free on the page, both directions
// How far a drag step's repaint reaches beyond the line between two centres, model units: the
// widest line (thickness 20, erased 3 x 20 wide) and the link handle.
constexpr int kLinkRepaintMargin = 20;

std::string LocalPath(const QString& path) {
  return QFile::encodeName(path).toStdString();
}

// The model rectangle a link can touch: its line, erased 3 x thickness wide, and the handle.
Rect LinkExtent(const CGraphicLink& link) {
  const CGraphicNode* a = link.GetFirstNode();
  const CGraphicNode* b = link.GetSecondNode();
  const std::int32_t reach = std::max(3 * std::abs(link.thickness), 8) + 4;
  return Rect{std::min(a->x, b->x), std::min(a->y, b->y), std::max(a->x, b->x) + 1, std::max(a->y, b->y) + 1}
      .Inflated(reach);
}

bool Intersects(const Rect& a, const Rect& b) {
  return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

// Numbers the drags of every canvas, so that the moves of one drag are undone as one.
std::uint64_t NextDragGesture() {
  static std::uint64_t last = 0;
  return ++last;
}

}  // namespace

LinkStyle& DefaultLinkStyle() {
  static LinkStyle style;
  return style;
}

CVarloView::CVarloView(CVarloDoc* doc, QWidget* parent) : QAbstractScrollArea(parent), doc_(doc) {
  setContextMenuPolicy(Qt::PreventContextMenu);
  viewport()->setContextMenuPolicy(Qt::PreventContextMenu);
  // Painting erases by itself, so that "repaint without erasing" (queue values changed) can
  // leave the earlier picture in place.
  viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
  viewport()->setMouseTracking(false);
  horizontalScrollBar()->setPageStep(kScrollRange / 10);
  horizontalScrollBar()->setSingleStep(kScrollRange / 100);
  verticalScrollBar()->setPageStep(kScrollRange / 10);
  verticalScrollBar()->setSingleStep(kScrollRange / 100);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  UpdateScrollBars();
  doc_->AddView(this);
}

CVarloView::~CVarloView() {
  doc_->RemoveView(this);
}

// --- coordinates ----------------------------------------------------------------------------------

QPoint CVarloView::ScrollPosition() const {
  return QPoint(horizontalScrollBar()->value(), verticalScrollBar()->value());
}

QPoint CVarloView::WindowToModel(QPoint window) const {
  const double z = doc_->zoomFactor;
  const QPoint scroll = ScrollPosition();
  return QPoint(static_cast<int>((window.x() + scroll.x()) * z),
                static_cast<int>((window.y() + scroll.y()) * z));
}

QPoint CVarloView::ModelToWindow(QPoint model) const {
  const double z = doc_->zoomFactor;
  const QPoint scroll = ScrollPosition();
  return QPoint(static_cast<int>(model.x() / z - scroll.x()), static_cast<int>(model.y() / z - scroll.y()));
}

QRect CVarloView::ModelToWindow(const Rect& model) const {
  const double z = doc_->zoomFactor;
  const QPoint scroll = ScrollPosition();
  // Outward rounding: the window rectangle covers every pixel the model rectangle touches.
  const int left = static_cast<int>(std::floor(model.left / z)) - scroll.x();
  const int top = static_cast<int>(std::floor(model.top / z)) - scroll.y();
  const int right = static_cast<int>(std::ceil(model.right / z)) - scroll.x();
  const int bottom = static_cast<int>(std::ceil(model.bottom / z)) - scroll.y();
  return QRect(QPoint(left, top), QPoint(right, bottom)).adjusted(-1, -1, 1, 1);
}

QRect CVarloView::ScrollRange() const {
  // Window pixels of the scrolled area (scroll position 0 shows the model origin at the top left).
  int left = 0, top = 0, right = kScrollRange, bottom = kScrollRange;
  const double z = doc_->zoomFactor;
  // Room for a node's shape and label around its centre.
  constexpr int kNodeReach = 80;
  doc_->ForEachNode([&](const CGraphicNode* node) {
    left = std::min(left, static_cast<int>(std::floor((node->x - node->size - kNodeReach) / z)));
    top = std::min(top, static_cast<int>(std::floor((node->y - node->size - kNodeReach) / z)));
    right = std::max(right, static_cast<int>(std::ceil((node->x + node->size + kNodeReach) / z)));
    bottom = std::max(bottom, static_cast<int>(std::ceil((node->y + node->size + kNodeReach) / z)));
  });
  return QRect(QPoint(left, top), QPoint(right, bottom));
}

void CVarloView::UpdateScrollBars() {
  const QSize client = viewport()->size();
  const QRect range = ScrollRange();
  horizontalScrollBar()->setRange(range.left(), std::max(range.left(), range.right() - client.width()));
  verticalScrollBar()->setRange(range.top(), std::max(range.top(), range.bottom() - client.height()));
}

void CVarloView::EnsureNodeVisible(const CGraphicNode& node) {
  UpdateScrollBars();
  const QPoint at = ModelToWindow(QPoint(node.x, node.y));
  const QRect visible = viewport()->rect().adjusted(40, 40, -40, -40);
  if (visible.contains(at)) return;
  const double z = doc_->zoomFactor;
  const QSize client = viewport()->size();
  horizontalScrollBar()->setValue(static_cast<int>(node.x / z) - client.width() / 2);
  verticalScrollBar()->setValue(static_cast<int>(node.y / z) - client.height() / 2);
}

void CVarloView::ZoomAround(double zoom, QPoint window) {
  zoom = std::clamp(zoom, kMinZoom, kMaxZoom);
  if (zoom == doc_->zoomFactor) return;
  // The model point under the window position before, as a real number (no truncation drift).
  const QPoint scroll = ScrollPosition();
  const double modelX = (window.x() + scroll.x()) * doc_->zoomFactor;
  const double modelY = (window.y() + scroll.y()) * doc_->zoomFactor;
  doc_->zoomFactor = zoom;
  UpdateScrollBars();
  horizontalScrollBar()->setValue(static_cast<int>(std::lround(modelX / zoom)) - window.x());
  verticalScrollBar()->setValue(static_cast<int>(std::lround(modelY / zoom)) - window.y());
  doc_->UpdateAllViews(nullptr, kHintGeneral);
}

void CVarloView::ZoomToFit() {
  int left = 0, top = 0, right = 0, bottom = 0;
  bool any = false;
  constexpr int kMargin = 60;  // model units around the outermost nodes, for their labels
  doc_->ForEachNode([&](const CGraphicNode* node) {
    const int l = node->x - node->size - kMargin, t = node->y - node->size - kMargin;
    const int r = node->x + node->size + kMargin, b = node->y + node->size + kMargin;
    left = any ? std::min(left, l) : l;
    top = any ? std::min(top, t) : t;
    right = any ? std::max(right, r) : r;
    bottom = any ? std::max(bottom, b) : b;
    any = true;
  });
  if (!any) return;
  const QSize client = viewport()->size();
  const double needed = std::max(static_cast<double>(right - left) / std::max(1, client.width()),
                                 static_cast<double>(bottom - top) / std::max(1, client.height()));
  // Rounded up to the zoom steps, so that Zoom In and Zoom Out go on from it as usual.
  const double zoom = std::clamp(std::ceil(needed / kZoomStep) * kZoomStep, kMinZoom, kMaxZoom);
  doc_->zoomFactor = zoom;
  UpdateScrollBars();
  horizontalScrollBar()->setValue(static_cast<int>(std::floor(left / zoom)));
  verticalScrollBar()->setValue(static_cast<int>(std::floor(top / zoom)));
  doc_->UpdateAllViews(nullptr, kHintGeneral);
}

void CVarloView::wheelEvent(QWheelEvent* event) {
  if (!(event->modifiers() & Qt::ControlModifier)) {
    QAbstractScrollArea::wheelEvent(event);
    return;
  }
  const int steps = event->angleDelta().y() / 120;
  if (steps == 0) return;
  // Wheel away from the user magnifies (a smaller factor), as Zoom In does.
  ZoomAround(doc_->zoomFactor - steps * kZoomStep, event->position().toPoint());
  event->accept();
}

void CVarloView::resizeEvent(QResizeEvent* event) {
  QAbstractScrollArea::resizeEvent(event);
  UpdateScrollBars();
}

void CVarloView::scrollContentsBy(int, int) {
  viewport()->update();
}

// --- painting -------------------------------------------------------------------------------------

void CVarloView::PaintNetwork(CDrawContext& dc, QSize client, const std::optional<Rect>& modelClip) {
  // The font is made before the zoom mapping, so labels shrink with the network as it zooms out.
  const Font oldFont = dc.SelectFont(dc.CreatePointFont(kScreenFontPoints, "Arial"));
  if (!dc.IsPrinting()) {
    const double z = doc_->zoomFactor;
    const QPoint scroll = ScrollPosition();
    dc.SetMapMode(kMmAnisotropic);
    dc.SetWindowExt(static_cast<std::int32_t>(client.width() * z),
                    static_cast<std::int32_t>(client.height() * z));
    dc.SetViewportExt(client.width(), client.height());
    dc.SetViewportOrg(-scroll.x(), -scroll.y());
  }
  for (const auto& link : doc_->GetLinks()) {
    if (!link->GetFirstNode() || !link->GetSecondNode()) continue;
    if (modelClip && !Intersects(LinkExtent(*link), *modelClip)) continue;
    link->Draw(dc);
  }
  doc_->ForEachNode([&](const CGraphicNode* node) {
    if (modelClip && !Intersects(node->GetBoundingRect(dc), *modelClip)) return;
    node->Draw(dc);
  });
  dc.SelectFont(oldFont);
}

void CVarloView::paintEvent(QPaintEvent* event) {
  QPainter painter(viewport());
  const QRect area = event->rect();
  if (eraseNextPaint_) painter.fillRect(area, Qt::white);
  eraseNextPaint_ = true;
  painter.setClipRegion(event->region());
  // Only the elements that can touch the repainted area are drawn: a drag step repaints a small
  // area of a large network.
  const QPoint topLeft = WindowToModel(area.topLeft());
  const QPoint bottomRight = WindowToModel(area.bottomRight() + QPoint(2, 2));
  const Rect modelClip{topLeft.x() - 1, topLeft.y() - 1, bottomRight.x() + 1, bottomRight.y() + 1};
  CQtDrawContext dc(painter);
  PaintNetwork(dc, viewport()->size(), modelClip);
}

void CVarloView::RepaintArea(const QRect& area, bool erase) {
  eraseNextPaint_ = erase;
  viewport()->repaint(area);
}

void CVarloView::PrintTo(QPrinter* printer) {
  QPainter painter;
  if (!painter.begin(printer)) return;
  PaintPage(painter, printer->pageLayout().paintRectPixels(printer->resolution()), printer->resolution());
}

void CVarloView::PaintPage(QPainter& painter, const QRect& page, int dotsPerInch) {
  CQtDrawContext dc(painter, /*printing=*/true, dotsPerInch);
  dc.SetMapMode(kMmIsotropic);
  // An empty network (largest coordinates 0) still gets a valid mapping.
  dc.SetWindowExt(std::max(doc_->largestX, 1), std::max(doc_->largestY, 1));
  dc.SetViewportExt(std::max(page.width() - kPrintMargin, 1), std::max(page.height() - kPrintMargin, 1));
  // The paper font is made under the page mapping, so labels keep their size on paper.
  const Font oldFont = dc.SelectFont(dc.CreatePointFont(kPrintFontPoints, "Arial"));
  for (const auto& link : doc_->GetLinks())
    if (link->GetFirstNode() && link->GetSecondNode()) link->Draw(dc);
  doc_->ForEachNode([&](const CGraphicNode* node) { node->Draw(dc); });
  dc.SelectFont(oldFont);
}

bool CVarloView::WriteMetafile(const QString& path) {
  CWmfWriter writer(ScreenTextMeasure(), NodeIconProvider());
  PaintNetwork(writer, viewport()->size());
  return writer.WriteFile(LocalPath(path));
}

bool CVarloView::ExportImage(const QString& path) {
  const QSize client = viewport()->size();
  return ExportPicture(path, client, QString::fromStdString(doc_->GetTitle()),
                       [&](CDrawContext& dc) { PaintNetwork(dc, client); });
}

// --- document updates -----------------------------------------------------------------------------

void CVarloView::OnUpdate(IDocumentView* sender, int hint, CPersistent* object) {
  switch (hint) {
    case kHintClassAdded:
    case kHintClassRemoved:
    case kHintClassChanged:
      return;
    case kHintNodeChanged:
      // A drag step of this canvas has repainted what it moved already.
      if (sender == this) return;
      break;
    case kHintNodeHighlight:
      if (auto* node = dynamic_cast<CGraphicNode*>(object)) {
        QImage probe(1, 1, QImage::Format_ARGB32_Premultiplied);
        QPainter painter(&probe);
        CQtDrawContext dc(painter);
        dc.SelectFont(dc.CreatePointFont(kScreenFontPoints, "Arial"));
        RepaintArea(ModelToWindow(node->GetBoundingRect(dc)));
      }
      return;
    case kHintGraphData:
      RepaintArea(viewport()->rect(), false);
      return;
    case kHintNodeRemoved:
      if (auto* node = dynamic_cast<CGraphicNode*>(object)) ForgetNode(node);
      break;
    case kHintGeneral:
      ForgetDeletedLinks();
      break;
    default:
      break;
  }
  // Nodes added, moved or read from a file, or a new zoom, may need a wider scroll range.
  UpdateScrollBars();
  RepaintArea(viewport()->rect());
}

void CVarloView::ForgetNode(const CGraphicNode* node) {
  if (currentNode_ == node) {
    currentNode_ = nullptr;
    if (mode_ == kModeDrag) mode_ = kModeIdle;
  }
  if (copiedNode_ == node) copiedNode_ = nullptr;
  if (startNode_ == node) {
    startNode_ = nullptr;
    if (mode_ == kModeLink || mode_ == kModeTraffic) mode_ = kModeIdle;
  }
}

void CVarloView::ForgetDeletedLinks() {
  if (!currentLink_ && !copiedLink_) return;
  bool currentFound = false, copiedFound = false;
  for (const auto& link : doc_->GetLinks()) {
    currentFound = currentFound || link.get() == currentLink_;
    copiedFound = copiedFound || link.get() == copiedLink_;
  }
  if (!currentFound) currentLink_ = nullptr;
  if (!copiedFound) copiedLink_ = nullptr;
}

// --- mouse ----------------------------------------------------------------------------------------

std::vector<int> CVarloView::OnContextClick(QPoint window) {
  const QPoint model = WindowToModel(window);
  CGraphicLink* link = doc_->LinkAt(model.x(), model.y());
  CGraphicNode* node = doc_->NodeAt(model.x(), model.y());
  clickPoint_ = window;
  currentLink_ = link;
  currentNode_ = node;

  const bool idle = mode_ == kModeIdle;
  const bool element = idle && (node || link);
  const bool nodeOnly = idle && node && !link;
  std::vector<int> items;
  items.reserve(8);
  if (element)
    for (int id : {kIdProperties, kIdCopyStyle, kIdPasteStyle, kSeparator}) items.push_back(id);
  if (mode_ == kModeLink && node && node != startNode_) items.push_back(kIdEndLink);
  if (mode_ == kModeLink) items.push_back(kIdCancelLink);
  if (mode_ == kModeTraffic && node && node != startNode_) items.push_back(kIdDestination);
  if (mode_ == kModeTraffic) items.push_back(kIdCancelTraffic);
  if (nodeOnly) items.push_back(kIdStartLink);
  if (idle && link && !node) items.push_back(kIdDeleteLink);
  if (nodeOnly) items.push_back(kIdStartTraffic);
  if (idle && !node && !link) items.push_back(kIdAddNode);
  if (nodeOnly) items.push_back(kIdDeleteNode);
  return items;
}

void CVarloView::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) {
    if (mode_ == kModeDrag) {
      currentNode_ = nullptr;
      mode_ = kModeIdle;
      UpdateScrollBars();
    }
    return;
  }
  if (event->button() != Qt::RightButton || mode_ == kModeDrag) return;
  const std::vector<int> items = OnContextClick(event->position().toPoint());
  QMenu menu(this);
  for (int id : items) {
    if (id == kSeparator) {
      menu.addSeparator();
      continue;
    }
    static const struct {
      int id;
      const char* text;
    } kTexts[] = {{kIdProperties, "Properties..."},     {kIdCopyStyle, "Copy Style"},
                  {kIdPasteStyle, "Paste Style"},       {kIdEndLink, "End Link Here..."},
                  {kIdCancelLink, "Cancel Link"},       {kIdDestination, "Destination Here..."},
                  {kIdCancelTraffic, "Cancel Traffic"}, {kIdStartLink, "Start Link From Here"},
                  {kIdDeleteLink, "Delete Link"},       {kIdStartTraffic, "Start Traffic From Here"},
                  {kIdAddNode, "Add Node Here ..."},    {kIdDeleteNode, "Delete Node"}};
    for (const auto& t : kTexts) {
      if (t.id != id) continue;
      QAction* action = menu.addAction(QString::fromLatin1(t.text));
      action->setData(id);
      action->setStatusTip(StatusPrompt(id));
    }
  }
  if (QAction* chosen = menu.exec(event->globalPosition().toPoint())) OnCommand(chosen->data().toInt());
}

void CVarloView::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  const QPoint model = WindowToModel(event->position().toPoint());
  if (CGraphicNode* node = doc_->NodeAt(model.x(), model.y())) {
    currentNode_ = node;
    mode_ = kModeDrag;
    dragGesture_ = NextDragGesture();
  }
}

void CVarloView::mouseMoveEvent(QMouseEvent* event) {
  if (mode_ == kModeDrag && currentNode_) DragTo(event->position().toPoint());
}

QRect CVarloView::DragRepaintArea(const CGraphicNode& node) {
  QImage probe(1, 1, QImage::Format_ARGB32_Premultiplied);
  QPainter painter(&probe);
  CQtDrawContext dc(painter);
  dc.SelectFont(dc.CreatePointFont(kScreenFontPoints, "Arial"));
  QRect area = ModelToWindow(node.GetBoundingRect(dc));
  for (const CNode::Neighbour& n : node.GetNeighbours()) {
    const auto* neighbour = static_cast<const CGraphicNode*>(n.node);
    const Rect span = Rect{std::min(node.x, neighbour->x), std::min(node.y, neighbour->y),
                           std::max(node.x, neighbour->x), std::max(node.y, neighbour->y)}
                          .Inflated(kLinkRepaintMargin);
    area = area.united(ModelToWindow(span)).united(ModelToWindow(neighbour->GetBoundingRect(dc)));
  }
  return area;
}

void CVarloView::DragTo(QPoint window) {
  if (!currentNode_) return;
  const QRect before = DragRepaintArea(*currentNode_);
  const QPoint model = WindowToModel(window);
  const std::int32_t oldX = currentNode_->x, oldY = currentNode_->y;
  edits::MoveNode(*doc_, currentNode_, model.x(), model.y(), dragGesture_, this);
  if (currentNode_->x == oldX && currentNode_->y == oldY) return;
  const QRect after = DragRepaintArea(*currentNode_);
  RepaintArea(before.united(after));
}

// --- commands -------------------------------------------------------------------------------------

bool CVarloView::OnCommand(int id) {
  switch (id) {
    case kIdAddNode:
      OnAddNode();
      return true;
    case kIdStartLink:
      OnStartLink();
      return true;
    case kIdEndLink:
      OnEndLink();
      return true;
    case kIdStartTraffic:
      OnStartTraffic();
      return true;
    case kIdDestination:
      OnDestination();
      return true;
    case kIdCancelLink:
    case kIdCancelTraffic:
      OnCancel();
      return true;
    case kIdProperties:
      OnProperties();
      return true;
    case kIdCopyStyle:
      OnCopyStyle();
      return true;
    case kIdPasteStyle:
      OnPasteStyle();
      return true;
    case kIdDeleteLink:
      OnDeleteLink();
      return true;
    case kIdDeleteNode:
      OnDeleteNode();
      return true;
    case kIdZoomIn:
      OnZoomIn();
      return true;
    case kIdZoomOut:
      OnZoomOut();
      return true;
    case kIdZoomToFit:
      ZoomToFit();
      return true;
    case kIdFilePrint:
      OnPrint();
      return true;
    case kIdFilePrintDirect:
      OnPrintDirect();
      return true;
    case kIdFilePrintPreview:
      OnPrintPreview();
      return true;
    case kIdCreateMetafile:
      OnCreateMetafile();
      return true;
    case kIdExportPicture:
      OnExportPicture();
      return true;
    default:
      return false;
  }
}

bool CVarloView::OnUpdateCommand(int id, CCmdUI& ui) {
  switch (id) {
    case kIdZoomIn:
      ui.enabled = doc_->zoomFactor > kMinZoom;
      return true;
    case kIdZoomToFit:
      ui.enabled = true;
      return true;
    case kIdZoomOut:
      ui.enabled = doc_->zoomFactor < 6.0;
      return true;
    case kIdFilePrint:
    case kIdFilePrintDirect:
    case kIdFilePrintPreview:
    case kIdCreateMetafile:
    case kIdExportPicture:
      ui.enabled = true;
      return true;
    default:
      return false;
  }
}

void CVarloView::OnAddNode() {
  const QPoint model = WindowToModel(clickPoint_);
  try {
    edits::AddNode(*doc_, model.x(), model.y());
  } catch (const std::runtime_error& e) {
    ShowMessageBox(this, QString::fromStdString(e.what()));
  }
}

void CVarloView::OnStartLink() {
  startNode_ = currentNode_;
  mode_ = kModeLink;
}

void CVarloView::OnStartTraffic() {
  startNode_ = currentNode_;
  mode_ = kModeTraffic;
}

void CVarloView::OnEndLink() {
  if (startNode_ && currentNode_) {
    if (doc_->FindLink(startNode_, currentNode_)) {
      ShowMessageBox(this, QString::fromLatin1(kTextLinkExists));
    } else {
      const C_MM1K_Queue& t = doc_->templateQueue;
      auto forward = std::make_unique<C_MM1K_Queue>(startNode_, currentNode_, t.serviceRate, t.bufferSize,
                                                    t.propagationDelay);
      auto backward = std::make_unique<C_MM1K_Queue>(currentNode_, startNode_, t.serviceRate, t.bufferSize,
                                                     t.propagationDelay);
      auto link = std::make_unique<CGraphicLink>(startNode_, currentNode_, std::move(forward),
                                                 std::move(backward), DefaultLinkStyle());
      // The new link is not yet the document's: the dialog edits it directly.
      if (EditLinkProperties(*link, this)) {
        DefaultLinkStyle() = link->GetStyle();
        edits::AddLink(*doc_, std::move(link));  // the template queue follows the forward queue
      }
    }
  }
  OnCancel();
}

void CVarloView::OnDestination() {
  if (startNode_ && currentNode_) {
    CTrafficClassDlg dialog(this);
    dialog.useUdp = 1;
    dialog.useTcp = 0;
    dialog.useTdPoisson = 0;
    dialog.useTrace = 0;
    if (ExecDialog(dialog) == QDialog::Accepted) {
      std::unique_ptr<CTrafficClass> created;
      try {
        KindValues values;
        if (const TrafficClassKind* kind = dialog.ChosenKind(values))
          created = kind->create(startNode_, currentNode_, dialog.startTime, dialog.stopTime, values);
      } catch (const CFileException& e) {
        ShowMessageBox(this, QString::fromStdString(e.Message()));
      }
      if (created) edits::AddClass(*doc_, std::move(created), this);
    }
  }
  OnCancel();
}

void CVarloView::OnCancel() {
  clickPoint_ = QPoint();
  currentNode_ = nullptr;
  currentLink_ = nullptr;
  startNode_ = nullptr;
  mode_ = kModeIdle;
}

void CVarloView::OnProperties() {
  // Both dialogs first (the link's), then one edit with what was confirmed.
  CChangeSet changes;
  if (currentLink_) {
    LinkProperties values;
    if (EditLinkProperties(*currentLink_, values, this)) changes.SetLink(currentLink_, values);
  }
  if (currentNode_) {
    NodeProperties values;
    if (EditNodeProperties(*currentNode_, values, this)) changes.SetNode(currentNode_, values);
  }
  const char* name = currentLink_ && currentNode_ ? "Properties"
                     : currentLink_               ? "Link Properties"
                                                  : "Node Properties";
  edits::ChangeProperties(*doc_, name, std::move(changes));
  currentNode_ = nullptr;
  currentLink_ = nullptr;
  startNode_ = nullptr;
}

void CVarloView::OnCopyStyle() {
  copiedLink_ = currentLink_;
  copiedNode_ = currentNode_;
}

void CVarloView::OnPasteStyle() {
  CChangeSet changes;
  if (copiedLink_ && currentLink_) {
    LinkProperties values = PropertiesOf(*currentLink_);
    values.style = copiedLink_->GetStyle();
    changes.SetLink(currentLink_, values);
  }
  if (copiedNode_ && currentNode_) {
    NodeProperties values = PropertiesOf(*currentNode_);
    values.backColor = copiedNode_->backColor;
    values.foreColor = copiedNode_->foreColor;
    values.textColor = copiedNode_->textColor;
    values.size = copiedNode_->size;
    values.shape = copiedNode_->shape;
    changes.SetNode(currentNode_, values);
  }
  edits::ChangeProperties(*doc_, "Paste Style", std::move(changes));
  currentNode_ = nullptr;
  currentLink_ = nullptr;
}

void CVarloView::OnDeleteLink() {
  if (CGraphicLink* link = currentLink_) {
    currentLink_ = nullptr;
    if (copiedLink_ == link) copiedLink_ = nullptr;
    edits::DeleteLink(*doc_, link);
  }
}

void CVarloView::OnDeleteNode() {
  // Hint 2 makes every canvas forget it.
  if (CGraphicNode* node = currentNode_) edits::DeleteNode(*doc_, node);
}

void CVarloView::OnZoomIn() {
  if (doc_->zoomFactor <= kMinZoom) return;
  doc_->zoomFactor -= kZoomStep;
  doc_->UpdateAllViews(nullptr, kHintGeneral);
}

void CVarloView::OnZoomOut() {
  if (doc_->zoomFactor >= kMaxZoom) return;
  doc_->zoomFactor += kZoomStep;
  doc_->UpdateAllViews(nullptr, kHintGeneral);
}

void CVarloView::OnPrint() {
  PrintWithSharedPrinter(this, QString::fromStdString(doc_->GetTitle()), true, [this](QPrinter* p) { PrintTo(p); });
}

void CVarloView::OnPrintDirect() {
  // The printer as set up, without asking (the command line's print switch).
  PrintWithSharedPrinter(this, QString::fromStdString(doc_->GetTitle()), false, [this](QPrinter* p) { PrintTo(p); });
}

void CVarloView::OnPrintPreview() {
  PreviewWithSharedPrinter(this, QString::fromStdString(doc_->GetTitle()), [this](QPrinter* p) { PrintTo(p); });
}

void CVarloView::OnCreateMetafile() {
  QFileDialog dialog(this);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setDefaultSuffix(QStringLiteral("wmf"));
  dialog.setNameFilter(QStringLiteral("Metafiles (*.wmf)"));
  dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
  WriteMetafile(dialog.selectedFiles().first());  // a failure to write is not reported
}

void CVarloView::OnExportPicture() {
  const QString path = PromptFileName(
      this, FilePromptKind::kSave,
      QStringLiteral("SVG Drawings (*.svg);;PNG Images (*.png);;PDF Documents (*.pdf)"), QStringLiteral("svg"));
  if (path.isEmpty()) return;
  if (!ExportImage(path)) ShowMessageBox(this, QStringLiteral("Could not write %1.").arg(path));
}

}  // namespace varlo
