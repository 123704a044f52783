// The network canvas: paints the document's links and nodes at the document's zoom factor inside a
// 10000 x 10000 pixel scroll range, drags nodes with the left button and offers every editing
// command through the context menu of the right button. Links and traffic classes are made in
// two steps: a start node is picked with one command and the other end with a second.
#pragma once

#include <QAbstractScrollArea>
#include <QPoint>
#include <QRect>
#include <QString>
#include <cstdint>
#include <optional>
#include <vector>

#include "platform/qt/command_target.h"
#include "model/document.h"
#include "model/graphic_link.h"
#include "platform/core/drawing_context.h"

class QPainter;
class QPrinter;

namespace varlo {

// The style (thickness and colours) the next new link receives; each confirmed new link makes its
// own style the default. Program-wide, never saved.
LinkStyle& DefaultLinkStyle();

class CVarloView : public QAbstractScrollArea, public IDocumentView, public ICommandTarget {
 public:
  enum Mode : int { kModeIdle = 0, kModeLink = 1, kModeTraffic = 2, kModeDrag = 3 };
  static constexpr int kScrollRange = 10000;  // pixels, both directions
  // Zoom factors: model units per window pixel. Below 1 the network is magnified (up to 4 times).
  static constexpr double kMinZoom = 0.25;
  static constexpr double kMaxZoom = 6.0;
  static constexpr double kZoomStep = 0.25;
  static constexpr int kSeparator = 0;        // in ContextMenuItems

  explicit CVarloView(CVarloDoc* doc, QWidget* parent = nullptr);
  ~CVarloView() override;

  CVarloDoc* GetDocument() const { return doc_; }

  // --- IDocumentView / ICommandTarget ----------------------------------------------------------
  void OnUpdate(IDocumentView* sender, int hint, CPersistent* object) override;
  bool OnCommand(int id) override;
  bool OnUpdateCommand(int id, CCmdUI& ui) override;

  // --- output ---------------------------------------------------------------------------------
  // The whole network from the model origin to the document's largest coordinates, fitted to the
  // printable area of the page.
  void PrintTo(QPrinter* printer);
  // The printed page on any painter: page is the printable area in device units at dotsPerInch.
  void PaintPage(QPainter& painter, const QRect& page, int dotsPerInch);
  // The canvas as on screen (same zoom, scroll and client area) as a classic Windows metafile.
  bool WriteMetafile(const QString& path);
  // The same picture as SVG, PNG or PDF, chosen by the file's extension.
  bool ExportImage(const QString& path);
  // Paints what the client area shows into a context of the client's size (links, then nodes).
  // modelClip, when given, limits drawing to the elements that can touch that model rectangle.
  void PaintNetwork(CDrawContext& dc, QSize client, const std::optional<Rect>& modelClip = std::nullopt);

  // --- coordinates ----------------------------------------------------------------------------
  // window = model / zoom - scroll;  model = (window + scroll) * zoom, truncated.
  QPoint WindowToModel(QPoint window) const;
  QPoint ModelToWindow(QPoint model) const;
  QRect ModelToWindow(const Rect& model) const;

  // --- scrolling and zoom ---------------------------------------------------------------------
  // The scroll range: 10000 pixels from the origin, widened to reach every node (nodes stored at
  // negative coordinates, or beyond the range at a magnifying zoom).
  QRect ScrollRange() const;
  // Scrolls as little as needed (to centre it when it is out of sight) so the node shows.
  void EnsureNodeVisible(const CGraphicNode& node);
  // Sets the document's zoom so that the point under the window position stays where it is.
  void ZoomAround(double zoom, QPoint window);
  // The zoom (on the 0.25 grid) and scroll that show every node in the client area.
  void ZoomToFit();

  // --- interaction state, for the shell and for tests -------------------------------------------
  int GetMode() const { return mode_; }
  CGraphicNode* GetCurrentNode() const { return currentNode_; }
  CGraphicLink* GetCurrentLink() const { return currentLink_; }
  CGraphicNode* GetStartNode() const { return startNode_; }
  CGraphicNode* GetCopiedNode() const { return copiedNode_; }
  CGraphicLink* GetCopiedLink() const { return copiedLink_; }
  QPoint GetClickPoint() const { return clickPoint_; }

  // The context menu of a right-click at a window point: stores the click point, the current node
  // and the current link, and returns the command ids offered, in menu order, with kSeparator for
  // the separator. The right button runs this, shows the menu and runs the chosen command.
  std::vector<int> OnContextClick(QPoint window);

  // The rectangle, in window coordinates, that one drag step repaints for the node (its label
  // and frame, its links and its neighbours).
  QRect DragRepaintArea(const CGraphicNode& node);
  // Moves the dragged node to the window point and repaints the areas before and after the move.
  void DragTo(QPoint window);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void scrollContentsBy(int dx, int dy) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  // Ctrl + wheel zooms around the pointer; the wheel alone scrolls.
  void wheelEvent(QWheelEvent* event) override;

 private:
  void OnAddNode();
  void OnStartLink();
  void OnEndLink();
  void OnStartTraffic();
  void OnDestination();
  void OnCancel();
  void OnProperties();
  void OnCopyStyle();
  void OnPasteStyle();
  void OnDeleteLink();
  void OnDeleteNode();
  void OnZoomIn();
  void OnZoomOut();
  void OnPrint();
  void OnPrintDirect();
  void OnPrintPreview();
  void OnCreateMetafile();
  void OnExportPicture();

  // Drops every reference the canvas holds to the node (it is about to be destroyed).
  void ForgetNode(const CGraphicNode* node);
  // Drops references to links the document no longer holds.
  void ForgetDeletedLinks();
  void UpdateScrollBars();
  QPoint ScrollPosition() const;
  // Repaints the window rectangle at once (erasing unless told otherwise).
  void RepaintArea(const QRect& area, bool erase = true);

  CVarloDoc* doc_;
  int mode_ = kModeIdle;
  QPoint clickPoint_;
  CGraphicNode* currentNode_ = nullptr;
  CGraphicLink* currentLink_ = nullptr;
  CGraphicNode* startNode_ = nullptr;
  CGraphicLink* copiedLink_ = nullptr;
  CGraphicNode* copiedNode_ = nullptr;
  bool eraseNextPaint_ = true;
  std::uint64_t dragGesture_ = 0;  // the drag in progress, so that its moves merge into one edit
};

}  // namespace varlo
