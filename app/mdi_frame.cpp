#include "app/mdi_frame.h"

#include <QCloseEvent>
#include <QSplitter>

#include "app/document_host.h"
#include "editor/varlo_view.h"
#include "resources/command_ids.h"
#include "editor/class_view.h"

namespace varlo {

// --- CMdiFrame -------------------------------------------------------------------------------------

CMdiFrame::CMdiFrame(CDocumentHost* host, Kind kind, QWidget* parent)
    : QMdiSubWindow(parent), host_(host), kind_(kind) {
  setAttribute(Qt::WA_DeleteOnClose);
}

CMdiFrame::~CMdiFrame() = default;

bool CMdiFrame::OnCommand(int id) {
  (void)id;
  return false;
}

bool CMdiFrame::OnUpdateCommand(int id, CCmdUI& ui) {
  (void)id;
  (void)ui;
  return false;
}

void CMdiFrame::closeEvent(QCloseEvent* event) {
  if (!host_->CanCloseFrame(this)) {
    event->ignore();
    return;
  }
  QMdiSubWindow::closeEvent(event);
  if (event->isAccepted()) host_->FrameClosed(this);
}

// --- CChildFrame -----------------------------------------------------------------------------------

CChildFrame::CChildFrame(CDocumentHost* host, QWidget* parent) : CMdiFrame(host, Kind::kNetwork, parent) {
  splitter_ = new QSplitter(Qt::Horizontal, this);
  classView_ = new CClassView(host->Doc(), splitter_);
  canvas_ = new CVarloView(host->Doc(), splitter_);
  splitter_->addWidget(classView_);
  splitter_->addWidget(canvas_);
  // A node picked in the tree is brought into the canvas's view.
  classView_->nodeSelected = [this](const CGraphicNode& node) { canvas_->EnsureNodeVisible(node); };
  splitter_->setStretchFactor(0, 0);
  splitter_->setStretchFactor(1, 1);
  splitter_->setChildrenCollapsible(false);
  setWidget(splitter_);
  // The tree keeps its 250 pixels; the canvas takes whatever the window has left.
  splitter_->setSizes({kTreeWidth, QWIDGETSIZE_MAX / 2});
  setWindowIcon(QIcon(QStringLiteral(":/app/network_window.png")));
  canvas_->setFocus();
}

CChildFrame::~CChildFrame() = default;

ICommandTarget* CChildFrame::ActiveViewTarget() {
  const QWidget* focus = focusWidget();
  if (focus != nullptr && classView_ != nullptr && (focus == classView_ || classView_->isAncestorOf(focus))) {
    return classView_;
  }
  return canvas_;
}

bool CChildFrame::OnCommand(int id) {
  if (id == kIdNextPane || id == kIdPrevPane) {
    ActivateOtherPane();
    return true;
  }
  return CMdiFrame::OnCommand(id);
}

bool CChildFrame::OnUpdateCommand(int id, CCmdUI& ui) {
  if (id == kIdNextPane || id == kIdPrevPane) {
    ui.enabled = true;
    return true;
  }
  if (id == kIdWindowSplit) {
    // The panes are fixed: the window cannot be split any further.
    ui.enabled = false;
    return true;
  }
  return CMdiFrame::OnUpdateCommand(id, ui);
}

void CChildFrame::ActivateOtherPane() {
  if (ActiveViewTarget() == static_cast<ICommandTarget*>(classView_)) {
    canvas_->setFocus(Qt::OtherFocusReason);
  } else {
    classView_->setFocus(Qt::OtherFocusReason);
  }
}

// --- CGraphFrame -----------------------------------------------------------------------------------

CGraphFrame::CGraphFrame(CDocumentHost* host, QWidget* parent) : CMdiFrame(host, Kind::kGraph, parent) {
  SetView(new QWidget);
  setWindowIcon(QIcon(QStringLiteral(":/app/graph_window.png")));
  resize(500, 350);
}

void CGraphFrame::SetView(QWidget* view) {
  QWidget* old = widget();
  setWidget(view);
  view_ = view;
  if (old != nullptr && old != view) old->deleteLater();
}

ICommandTarget* CGraphFrame::ActiveViewTarget() {
  return dynamic_cast<ICommandTarget*>(view_.data());
}

}  // namespace varlo
