// The main window: the MDI area with the document windows, the toolbar, the status bar with its
// message pane and key indicators, and the menu bar, whose layout follows the kind of the active
// window (no document, network window, graph window). Every menu item, toolbar button and
// accelerator is a QAction carrying its command number; the frame routes the command to the
// active view, its document, its window, the main frame and the application, in that order.
#pragma once

#include <QList>
#include <QMainWindow>
#include <QString>
#include <QUrl>
#include <map>
#include <vector>

#include "platform/qt/command_target.h"

class QAction;
class QLabel;
class QMdiArea;
class QMenu;
class QTimer;
class QToolBar;

namespace varlo {

class CMdiFrame;
class CVarloApp;

class CMainFrame : public QMainWindow, public ICommandTarget {
  Q_OBJECT

 public:
  enum class MenuLayout { kNoDocument, kNetwork, kGraph };

  explicit CMainFrame(CVarloApp* app);
  ~CMainFrame() override;

  QMdiArea* MdiArea() const { return mdiArea_; }
  QToolBar* ToolBar() const { return toolBar_; }
  // The window that commands go to: the current MDI child, or nullptr.
  CMdiFrame* ActiveFrame() const;
  MenuLayout CurrentMenuLayout() const { return layout_; }
  // The action of a command (menu, toolbar and accelerator share it); nullptr when none.
  QAction* Action(int id) const;
  // The titles of the top-level menus now in the menu bar, e.g. "&File", "&View", "&Help".
  QStringList MenuTitles() const;
  // The command numbers of a top-level menu of the current layout, 0 for a separator.
  std::vector<int> MenuCommands(const QString& title) const;

  // Sends a command along the route; returns whether some target handled it.
  bool RouteCommand(int id);
  // Asks the route for the state of every command and applies it to the actions.
  void UpdateCommandUI();
  // Rebuilds the menu bar for the active window's kind.
  void UpdateMenuLayout();
  // "Varlo - <title of the active window>", or "Varlo" with no window.
  void UpdateFrameTitle();
  // Refreshes the recent-file entries of the File menus.
  void UpdateRecentFileMenu(const QStringList& files);
  // Opens the local files among dropped URLs; returns whether there was one.
  bool OpenDroppedUrls(const QList<QUrl>& urls);
  // The text in the status bar's message pane.
  QString StatusText() const;
  // Puts text into the message pane and redraws it at once (the evaluation's progress and time).
  void SetStatusText(const QString& text);

  bool OnCommand(int id) override;
  bool OnUpdateCommand(int id, CCmdUI& ui) override;

 protected:
  bool event(QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void keyReleaseEvent(QKeyEvent* event) override;

 private:
  QAction* AddAction(int id, const QString& text, const QKeySequence& shortcut = {});
  void CreateActions();
  void CreateMenus();
  void CreateToolBar();
  void CreateStatusBar();
  QMenu* NewMenu(MenuLayout layout, const QString& title, const std::vector<int>& ids);
  void FillWindowMenu(QMenu* menu);
  void ArrangeIcons();
  void UpdateIndicators();
  void ShowPrompt(const QString& prompt);

  CVarloApp* app_;
  QMdiArea* mdiArea_ = nullptr;
  QToolBar* toolBar_ = nullptr;
  QLabel* messagePane_ = nullptr;
  QLabel* capIndicator_ = nullptr;
  QLabel* numIndicator_ = nullptr;
  QLabel* scrlIndicator_ = nullptr;
  QTimer* idleTimer_ = nullptr;
  std::map<int, QAction*> actions_;
  std::map<MenuLayout, std::vector<QMenu*>> menus_;
  std::vector<QMenu*> fileMenus_;  // the File menus carrying the recent-file entries
  MenuLayout layout_ = MenuLayout::kNoDocument;
  bool capsOn_ = false, numOn_ = false, scrollOn_ = false;
};

}  // namespace varlo
