// The MDI child windows of the main frame. Each belongs to one document host and offers its
// active view to the command route.
//   CChildFrame: the network window, a splitter holding the class tree (250 wide) and the canvas.
//   CGraphFrame: the graph window, a plain child around the graph view.
#pragma once

#include <QMdiSubWindow>
#include <QPointer>

#include "platform/qt/command_target.h"

class QSplitter;

namespace varlo {

class CClassView;
class CDocumentHost;
class CVarloView;

class CMdiFrame : public QMdiSubWindow, public ICommandTarget {
  Q_OBJECT

 public:
  enum class Kind { kNetwork, kGraph };

  CMdiFrame(CDocumentHost* host, Kind kind, QWidget* parent = nullptr);
  ~CMdiFrame() override;

  Kind GetKind() const { return kind_; }
  CDocumentHost* Host() const { return host_; }
  // The view that receives commands first (the pane with the focus), or nullptr.
  virtual ICommandTarget* ActiveViewTarget() = 0;

  bool OnCommand(int id) override;
  bool OnUpdateCommand(int id, CCmdUI& ui) override;

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  CDocumentHost* host_;
  Kind kind_;
};

class CChildFrame : public CMdiFrame {
  Q_OBJECT

 public:
  // Width of the class tree pane when the window opens, in pixels.
  static constexpr int kTreeWidth = 250;

  explicit CChildFrame(CDocumentHost* host, QWidget* parent = nullptr);
  ~CChildFrame() override;

  CClassView* ClassView() const { return classView_; }
  CVarloView* Canvas() const { return canvas_; }
  QSplitter* Splitter() const { return splitter_; }

  ICommandTarget* ActiveViewTarget() override;
  bool OnCommand(int id) override;
  bool OnUpdateCommand(int id, CCmdUI& ui) override;

 private:
  // F6 and Shift+F6: the focus goes to the other pane.
  void ActivateOtherPane();

  QSplitter* splitter_ = nullptr;
  CClassView* classView_ = nullptr;
  CVarloView* canvas_ = nullptr;
};

class CGraphFrame : public CMdiFrame {
  Q_OBJECT

 public:
  explicit CGraphFrame(CDocumentHost* host, QWidget* parent = nullptr);

  // The graph view, once one is placed in the frame; until then an empty widget stands in.
  QWidget* View() const { return view_; }
  // Puts the graph view into the frame (the frame takes it over).
  void SetView(QWidget* view);

  ICommandTarget* ActiveViewTarget() override;

 private:
  QPointer<QWidget> view_;
};

}  // namespace varlo
