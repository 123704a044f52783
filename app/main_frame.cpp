#include "app/main_frame.h"

#include <QAction>
#include <QActionGroup>
#include <QCloseEvent>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPointer>
#include <QScreen>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QTimer>
#include <QToolBar>

#include "app/document_host.h"
#include "app/mdi_frame.h"
#include "tools/simulator_commands.h"
#include "app/varlo_app.h"
#include "resources/command_ids.h"
#include "resources/string_table.h"

namespace varlo {

namespace {

constexpr int kSeparator = 0;
// How often the toolbar and menus ask the command route for their state while the program is
// idle, in milliseconds (the toolbar must follow, say, the zoom factor without a menu opening).
constexpr int kIdleUpdateMs = 250;

const QString kReady = QStringLiteral("Ready");

// Menus of the File menu shared by the network and graph windows.
const std::vector<int> kDocumentFileMenu = {
    kIdFileNew,          kIdFileOpen,      kIdFileClose,        kIdFileSave,       kIdFileSaveAs,
    kSeparator,          kIdFilePrint,     kIdFilePrintPreview, kIdFilePrintSetup, kSeparator,
    kIdCreateMetafile,   kIdExportPicture, kIdExportSummary,    kIdOpenSweepSummary, kSeparator,
    kIdFileMruFirst,     kIdFileMruFirst + 1, kIdFileMruFirst + 2, kIdFileMruLast,  kSeparator,
    kIdAppExit};
const std::vector<int> kEditMenu = {kIdEditUndo, kIdEditRedo};
const std::vector<int> kComputationMenu = {kIdComputeRoutes,    kIdComputeMetrics,    kIdMM1KZIteration,
                                           kIdGenerateNSScript, kIdGenerateQNSScript, kIdParameters};
const std::vector<int> kWindowMenu = {kIdWindowNew, kIdWindowCascade, kIdWindowTile, kIdWindowArrange,
                                      kIdWindowSplit};
const std::vector<int> kHelpMenu = {kIdHelpContents, kIdAppAbout};

}  // namespace

CMainFrame::CMainFrame(CVarloApp* app) : app_(app) {
  setWindowTitle(AppTitle());
  setWindowIcon(QIcon(QStringLiteral(":/app/varlo.png")));
  setAcceptDrops(true);
  setDockOptions(QMainWindow::AnimatedDocks | QMainWindow::AllowTabbedDocks);

  mdiArea_ = new QMdiArea(this);
  mdiArea_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  mdiArea_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  setCentralWidget(mdiArea_);

  CreateActions();
  CreateMenus();
  CreateToolBar();
  CreateStatusBar();

  connect(mdiArea_, &QMdiArea::subWindowActivated, this, [this] {
    UpdateMenuLayout();
    UpdateFrameTitle();
    UpdateCommandUI();
  });
  idleTimer_ = new QTimer(this);
  connect(idleTimer_, &QTimer::timeout, this, [this] {
    UpdateMenuLayout();
    UpdateFrameTitle();
    UpdateCommandUI();
  });
  idleTimer_->start(kIdleUpdateMs);

  UpdateMenuLayout();
  UpdateCommandUI();
  // Most of the screen, as a new top-level window of the desktop opens.
  const QScreen* screen = QGuiApplication::primaryScreen();
  const QRect available = screen != nullptr ? screen->availableGeometry() : QRect(0, 0, 1280, 800);
  resize(available.width() * 9 / 10, available.height() * 9 / 10);
}

CMainFrame::~CMainFrame() = default;

// --- actions -------------------------------------------------------------------------------------

QAction* CMainFrame::AddAction(int id, const QString& text, const QKeySequence& shortcut) {
  // Two commands on one number would both answer to it and share one menu entry's state.
  if (actions_.count(id) != 0) {
    qFatal("The command number %d is given to both \"%s\" and \"%s\"", id,
           qPrintable(actions_[id]->property("defaultText").toString()), qPrintable(text));
  }
  auto* action = new QAction(text, this);
  action->setData(id);
  // Entries whose text follows the document ("Undo Move Node") go back to this one without it.
  action->setProperty("defaultText", text);
  action->setStatusTip(StatusPrompt(id));
  const QString tip = ToolTipText(id);
  if (!tip.isEmpty()) action->setToolTip(tip);
  if (!shortcut.isEmpty()) action->setShortcut(shortcut);
  // Accelerators work whatever menu layout is showing.
  addAction(action);
  connect(action, &QAction::triggered, this, [this, id] {
    RouteCommand(id);
    UpdateCommandUI();
  });
  actions_[id] = action;
  return action;
}

void CMainFrame::CreateActions() {
  auto icon = [](const char* name) {
    return QIcon(QStringLiteral(":/toolbar/%1.png").arg(QLatin1String(name)));
  };

  AddAction(kIdFileNew, QStringLiteral("&New\tCtrl+N"), QKeySequence(Qt::CTRL | Qt::Key_N))
      ->setIcon(icon("new"));
  AddAction(kIdFileOpen, QStringLiteral("&Open...\tCtrl+O"), QKeySequence(Qt::CTRL | Qt::Key_O))
      ->setIcon(icon("open"));
  AddAction(kIdFileClose, QStringLiteral("&Close"));
  AddAction(kIdFileSave, QStringLiteral("&Save\tCtrl+S"), QKeySequence(Qt::CTRL | Qt::Key_S))
      ->setIcon(icon("save"));
  AddAction(kIdFileSaveAs, QStringLiteral("Save &As..."));
  AddAction(kIdEditUndo, QStringLiteral("&Undo\tCtrl+Z"))
      ->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_Z), QKeySequence(Qt::ALT | Qt::Key_Backspace)});
  Action(kIdEditUndo)->setIcon(icon("undo"));
  AddAction(kIdEditRedo, QStringLiteral("&Redo\tCtrl+Y"))
      ->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_Y), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z)});
  Action(kIdEditRedo)->setIcon(icon("redo"));
  AddAction(kIdFilePrint, QStringLiteral("&Print...\tCtrl+P"), QKeySequence(Qt::CTRL | Qt::Key_P))
      ->setIcon(icon("print"));
  AddAction(kIdFilePrintPreview, QStringLiteral("Print Pre&view"));
  AddAction(kIdFilePrintSetup, QStringLiteral("P&rint Setup..."));
  AddAction(kIdCreateMetafile, QStringLiteral("Create Metafile.."));
  AddAction(kIdExportPicture, QStringLiteral("&Export Picture..."));
  AddAction(kIdExportSummary, QStringLiteral("Export S&ummary..."));
  AddAction(kIdOpenSweepSummary, QStringLiteral("Open S&weep Summary..."));
  for (int id = kIdFileMruFirst; id <= kIdFileMruLast; ++id) AddAction(id, QString());
  AddAction(kIdAppExit, QStringLiteral("E&xit"));

  AddAction(kIdComputeRoutes, QStringLiteral("&Compute Routes"))->setIcon(icon("routes"));
  AddAction(kIdComputeMetrics, QStringLiteral("&Compute Metrics"))->setIcon(icon("metrics"));
  AddAction(kIdGenerateNSScript, QStringLiteral("&Generate NS Script..."))->setIcon(icon("nsscript"));
  AddAction(kIdGenerateQNSScript, QStringLiteral("Generate &QNS Script..."));
  AddAction(kIdParameters, QStringLiteral("&Parameters..."));
  AddAction(kIdMM1KZIteration, QStringLiteral("M/M/1/K &Z-iteration"));
  AddAction(kIdAnimateDump, QStringLiteral("&Animate Dump..."));

  AddAction(kIdLoadTraffic, QStringLiteral("&Load Traffic..."));
  AddAction(kIdSaveTraffic, QStringLiteral("&Save Traffic..."));
  AddAction(kIdGenerateTCPTraffic, QStringLiteral("&Generate TCP Traffic..."));
  AddAction(kIdGenerateTraceClasses, QStringLiteral("Generate T&race Classes..."));
  AddAction(kIdDeleteAllTraffic, QStringLiteral("&Delete All Traffic"));
  AddAction(kIdModifyLinks, QStringLiteral("&Modify Links ..."));

  AddAction(kIdCreateGraphic, QStringLiteral("Create Graphic ..."))->setIcon(icon("graph"));
  AddAction(kIdZoomIn, QStringLiteral("Zoom &In"))->setIcon(icon("zoomin"));
  AddAction(kIdZoomOut, QStringLiteral("Zoom &Out"))->setIcon(icon("zoomout"));
  AddAction(kIdZoomToFit, QStringLiteral("Zoom to &Fit"));
  AddAction(kIdViewGrid, QStringLiteral("View &Grid"))->setCheckable(true);
  AddAction(kIdViewToolbar, QStringLiteral("&Toolbar"))->setCheckable(true);
  AddAction(kIdViewStatusBar, QStringLiteral("&Status Bar"))->setCheckable(true);

  AddAction(kIdWindowNew, QStringLiteral("&New Window"));
  AddAction(kIdWindowCascade, QStringLiteral("&Cascade"));
  AddAction(kIdWindowTile, QStringLiteral("&Tile"));
  AddAction(kIdWindowArrange, QStringLiteral("&Arrange Icons"));
  AddAction(kIdWindowSplit, QStringLiteral("S&plit"));

  AddAction(kIdToolsOptions, QStringLiteral("&Options..."));

  AddAction(kIdHelpContents, QStringLiteral("Contents"));
  AddAction(kIdAppAbout, QStringLiteral("&About Varlo..."))->setIcon(icon("about"));

  // Accelerators without a menu entry of their own.
  AddAction(kIdEditCut, QString())
      ->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_X), QKeySequence(Qt::SHIFT | Qt::Key_Delete)});
  AddAction(kIdEditCopy, QString())
      ->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_C), QKeySequence(Qt::CTRL | Qt::Key_Insert)});
  AddAction(kIdEditPaste, QString())
      ->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_V), QKeySequence(Qt::SHIFT | Qt::Key_Insert)});
  AddAction(kIdNextPane, QString(), QKeySequence(Qt::Key_F6));
  AddAction(kIdPrevPane, QString(), QKeySequence(Qt::SHIFT | Qt::Key_F6));
}

QAction* CMainFrame::Action(int id) const {
  auto it = actions_.find(id);
  return it == actions_.end() ? nullptr : it->second;
}

// --- menus ---------------------------------------------------------------------------------------

QMenu* CMainFrame::NewMenu(MenuLayout layout, const QString& title, const std::vector<int>& ids) {
  auto* menu = new QMenu(title, this);
  for (int id : ids) {
    if (id == kSeparator) {
      menu->addSeparator();
    } else {
      menu->addAction(Action(id));
    }
  }
  connect(menu, &QMenu::aboutToShow, this, &CMainFrame::UpdateCommandUI);
  menus_[layout].push_back(menu);
  return menu;
}

void CMainFrame::CreateMenus() {
  const std::vector<int> noDocumentFile = {
      kIdFileNew,          kIdFileOpen,         kIdOpenSweepSummary, kIdFilePrintSetup, kSeparator, kIdFileMruFirst,
      kIdFileMruFirst + 1, kIdFileMruFirst + 2, kIdFileMruLast,    kSeparator, kIdAppExit};
  fileMenus_.push_back(NewMenu(MenuLayout::kNoDocument, QStringLiteral("&File"), noDocumentFile));
  NewMenu(MenuLayout::kNoDocument, QStringLiteral("&View"), {kIdViewToolbar, kIdViewStatusBar});
  NewMenu(MenuLayout::kNoDocument, QStringLiteral("&Tools"), {kIdToolsOptions});
  NewMenu(MenuLayout::kNoDocument, QStringLiteral("&Help"), kHelpMenu);

  fileMenus_.push_back(NewMenu(MenuLayout::kNetwork, QStringLiteral("&File"), kDocumentFileMenu));
  NewMenu(MenuLayout::kNetwork, QStringLiteral("&Edit"), kEditMenu);
  NewMenu(MenuLayout::kNetwork, QStringLiteral("&Computation"), kComputationMenu);
  NewMenu(MenuLayout::kNetwork, QStringLiteral("&Productivity"),
          {kIdLoadTraffic, kIdSaveTraffic, kIdGenerateTCPTraffic, kIdGenerateTraceClasses,
           kIdDeleteAllTraffic, kIdModifyLinks});
  NewMenu(MenuLayout::kNetwork, QStringLiteral("&View"),
          {kIdCreateGraphic, kIdAnimateDump, kIdZoomIn, kIdZoomOut, kIdZoomToFit, kSeparator, kIdViewToolbar,
           kIdViewStatusBar});
  FillWindowMenu(NewMenu(MenuLayout::kNetwork, QStringLiteral("&Window"), kWindowMenu));
  NewMenu(MenuLayout::kNetwork, QStringLiteral("&Tools"), {kIdToolsOptions});
  NewMenu(MenuLayout::kNetwork, QStringLiteral("&Help"), kHelpMenu);

  fileMenus_.push_back(NewMenu(MenuLayout::kGraph, QStringLiteral("&File"), kDocumentFileMenu));
  NewMenu(MenuLayout::kGraph, QStringLiteral("&Edit"), kEditMenu);
  NewMenu(MenuLayout::kGraph, QStringLiteral("&Computation"), kComputationMenu);
  NewMenu(MenuLayout::kGraph, QStringLiteral("&View"),
          {kIdCreateGraphic, kIdAnimateDump, kIdViewGrid, kSeparator, kIdViewToolbar, kIdViewStatusBar});
  FillWindowMenu(NewMenu(MenuLayout::kGraph, QStringLiteral("&Window"), kWindowMenu));
  NewMenu(MenuLayout::kGraph, QStringLiteral("&Tools"), {kIdToolsOptions});
  NewMenu(MenuLayout::kGraph, QStringLiteral("&Help"), kHelpMenu);

  layout_ = MenuLayout::kGraph;  // forces the first UpdateMenuLayout to build the bar
}

void CMainFrame::FillWindowMenu(QMenu* menu) {
  // The open windows follow the fixed entries, numbered, the active one checked.
  connect(menu, &QMenu::aboutToShow, this, [this, menu] {
    const auto actions = menu->actions();
    for (QAction* action : actions) {
      if (action->property("windowEntry").toBool()) {
        menu->removeAction(action);
        action->deleteLater();
      }
    }
    const auto windows = mdiArea_->subWindowList();
    if (windows.isEmpty()) return;
    QAction* separator = menu->addSeparator();
    separator->setProperty("windowEntry", true);
    int n = 1;
    for (QMdiSubWindow* window : windows) {
      QAction* entry = menu->addAction(QStringLiteral("&%1 %2").arg(n++).arg(window->windowTitle()));
      entry->setProperty("windowEntry", true);
      entry->setCheckable(true);
      entry->setChecked(window == mdiArea_->currentSubWindow());
      QPointer<QMdiSubWindow> target(window);
      connect(entry, &QAction::triggered, this, [this, target] {
        if (target) mdiArea_->setActiveSubWindow(target);
      });
    }
  });
}

void CMainFrame::UpdateMenuLayout() {
  MenuLayout wanted = MenuLayout::kNoDocument;
  if (CMdiFrame* frame = ActiveFrame()) {
    wanted = frame->GetKind() == CMdiFrame::Kind::kGraph ? MenuLayout::kGraph : MenuLayout::kNetwork;
  }
  if (wanted == layout_ && !menuBar()->actions().isEmpty()) return;
  layout_ = wanted;
  menuBar()->clear();
  for (QMenu* menu : menus_[layout_]) menuBar()->addMenu(menu);
}

void CMainFrame::UpdateFrameTitle() {
  const CMdiFrame* frame = ActiveFrame();
  const QString title =
      frame == nullptr ? AppTitle() : AppTitle() + QStringLiteral(" - ") + frame->windowTitle();
  if (windowTitle() != title) setWindowTitle(title);
}

QStringList CMainFrame::MenuTitles() const {
  QStringList titles;
  for (QAction* action : menuBar()->actions()) titles << action->text();
  return titles;
}

std::vector<int> CMainFrame::MenuCommands(const QString& title) const {
  std::vector<int> ids;
  auto it = menus_.find(layout_);
  if (it == menus_.end()) return ids;
  for (QMenu* menu : it->second) {
    if (menu->title() != title) continue;
    for (QAction* action : menu->actions()) {
      if (action->property("windowEntry").toBool()) continue;
      ids.push_back(action->isSeparator() ? kSeparator : action->data().toInt());
    }
  }
  return ids;
}

void CMainFrame::UpdateRecentFileMenu(const QStringList& files) {
  for (int i = 0; i < 4; ++i) {
    QAction* action = Action(kIdFileMruFirst + i);
    if (i < files.size()) {
      const QString shown = QDir::toNativeSeparators(files[i]);
      action->setText(QStringLiteral("&%1 %2").arg(i + 1).arg(shown));
      action->setVisible(true);
    } else if (i == 0) {
      // With no recent file the first entry stands, disabled, as a placeholder.
      action->setText(QStringLiteral("Recent File"));
      action->setVisible(true);
    } else {
      action->setVisible(false);
    }
  }
  UpdateCommandUI();
}

// --- toolbar and status bar ----------------------------------------------------------------------

void CMainFrame::CreateToolBar() {
  toolBar_ = new QToolBar(QStringLiteral("Standard"), this);
  toolBar_->setObjectName(QStringLiteral("MainToolBar"));
  toolBar_->setIconSize(QSize(16, 15));
  toolBar_->setAllowedAreas(Qt::AllToolBarAreas);
  toolBar_->setMovable(true);
  toolBar_->setFloatable(true);
  const int buttons[] = {
      kIdFileNew, kIdFileOpen,      kIdFileSave,       kSeparator,       kIdEditUndo,         kIdEditRedo,
      kSeparator, kIdComputeRoutes, kIdComputeMetrics, kIdCreateGraphic, kIdGenerateNSScript, kSeparator,
      kIdZoomIn,  kIdZoomOut,       kSeparator,        kIdFilePrint,     kIdAppAbout};
  for (int id : buttons) {
    if (id == kSeparator) {
      toolBar_->addSeparator();
    } else {
      toolBar_->addAction(Action(id));
    }
  }
  addToolBar(Qt::TopToolBarArea, toolBar_);
}

void CMainFrame::CreateStatusBar() {
  QStatusBar* bar = statusBar();
  messagePane_ = new QLabel(kReady, bar);
  messagePane_->setObjectName(QStringLiteral("MessagePane"));
  messagePane_->setMinimumWidth(100);
  bar->addWidget(messagePane_, 1);
  auto indicator = [bar](const QString& text) {
    auto* label = new QLabel(text, bar);
    label->setAlignment(Qt::AlignCenter);
    label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    label->setMinimumWidth(label->fontMetrics().horizontalAdvance(QStringLiteral("SCRL")) + 12);
    bar->addPermanentWidget(label);
    return label;
  };
  capIndicator_ = indicator(QStringLiteral("CAP"));
  numIndicator_ = indicator(QStringLiteral("NUM"));
  scrlIndicator_ = indicator(QStringLiteral("SCRL"));
  UpdateIndicators();
}

void CMainFrame::ShowPrompt(const QString& prompt) {
  messagePane_->setText(prompt.isEmpty() ? kReady : prompt);
}

QString CMainFrame::StatusText() const {
  return messagePane_->text();
}

void CMainFrame::SetStatusText(const QString& text) {
  messagePane_->setText(text);
  messagePane_->repaint();
}

void CMainFrame::UpdateIndicators() {
  // Qt offers no portable way to read the lock keys, so the panes follow the lock keys pressed
  // while the program has the keyboard; a pane is dimmed while its lock is off.
  capIndicator_->setEnabled(capsOn_);
  numIndicator_->setEnabled(numOn_);
  scrlIndicator_->setEnabled(scrollOn_);
}

void CMainFrame::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_CapsLock:
      capsOn_ = !capsOn_;
      break;
    case Qt::Key_NumLock:
      numOn_ = !numOn_;
      break;
    case Qt::Key_ScrollLock:
      scrollOn_ = !scrollOn_;
      break;
    default:
      QMainWindow::keyPressEvent(event);
      return;
  }
  UpdateIndicators();
}

void CMainFrame::keyReleaseEvent(QKeyEvent* event) {
  QMainWindow::keyReleaseEvent(event);
}

bool CMainFrame::event(QEvent* event) {
  if (event->type() == QEvent::StatusTip) {
    ShowPrompt(static_cast<QStatusTipEvent*>(event)->tip());
    return true;
  }
  return QMainWindow::event(event);
}

// --- command routing -----------------------------------------------------------------------------

CMdiFrame* CMainFrame::ActiveFrame() const {
  auto* frame = qobject_cast<CMdiFrame*>(mdiArea_->currentSubWindow());
  if (frame == nullptr || frame->isHidden()) return nullptr;
  return frame;
}

bool CMainFrame::RouteCommand(int id) {
  std::vector<ICommandTarget*> route;
  if (CMdiFrame* frame = ActiveFrame()) {
    if (ICommandTarget* view = frame->ActiveViewTarget()) route.push_back(view);
    route.push_back(frame->Host());
    route.push_back(frame);
  }
  route.push_back(this);
  route.push_back(app_);
  // A disabled command does not run, whether it came from a menu, a key or a caller.
  CCmdUI ui;
  for (ICommandTarget* target : route) {
    if (target->OnUpdateCommand(id, ui)) {
      if (!ui.enabled) return false;
      break;
    }
  }
  // A handler may close the window that routed it; the route was fixed before it ran.
  for (ICommandTarget* target : route) {
    if (target->OnCommand(id)) return true;
  }
  return false;
}

void CMainFrame::UpdateCommandUI() {
  std::vector<ICommandTarget*> route;
  if (CMdiFrame* frame = ActiveFrame()) {
    if (ICommandTarget* view = frame->ActiveViewTarget()) route.push_back(view);
    route.push_back(frame->Host());
    route.push_back(frame);
  }
  route.push_back(this);
  route.push_back(app_);
  for (auto& [id, action] : actions_) {
    CCmdUI ui;
    bool decided = false;
    for (ICommandTarget* target : route) {
      if (target->OnUpdateCommand(id, ui)) {
        decided = true;
        break;
      }
    }
    // A command nobody on the route answers for is not available here.
    if (!decided) ui.enabled = false;
    if (action->isEnabled() != ui.enabled) {
      action->setEnabled(ui.enabled);
      // A user who finds the ns command greyed learns how to get it.
      if (id == kIdGenerateNSScript) {
        action->setToolTip(ui.enabled ? ToolTipText(id) : QString::fromLatin1(kNSScriptDisabledToolTip));
        action->setStatusTip(ui.enabled ? StatusPrompt(id) : QString::fromLatin1(kNSScriptDisabledPrompt));
      }
    }
    if (action->isCheckable() && action->isChecked() != ui.checked) action->setChecked(ui.checked);
    QString text = action->property("defaultText").toString();
    if (!ui.text.empty()) {
      // The mnemonic and the accelerator shown stay as they were.
      const qsizetype tab = text.indexOf(QLatin1Char('\t'));
      text = QStringLiteral("&") + QString::fromStdString(ui.text) + (tab >= 0 ? text.mid(tab) : QString());
    }
    if (!text.isEmpty() && action->text() != text) {
      action->setText(text);
      // The toolbar button's tip names the edit too.
      const QString tip = ui.text.empty() ? ToolTipText(id) : QString::fromStdString(ui.text);
      if (!tip.isEmpty()) action->setToolTip(tip);
    }
  }
}

bool CMainFrame::OnCommand(int id) {
  switch (id) {
    case kIdViewToolbar:
      toolBar_->setVisible(toolBar_->isHidden());
      return true;
    case kIdViewStatusBar:
      statusBar()->setVisible(statusBar()->isHidden());
      return true;
    case kIdWindowCascade:
      mdiArea_->cascadeSubWindows();
      return true;
    case kIdWindowTile:
      mdiArea_->tileSubWindows();
      return true;
    case kIdWindowArrange:
      ArrangeIcons();
      return true;
    case kIdAppExit:
      close();
      return true;
    default:
      return false;
  }
}

bool CMainFrame::OnUpdateCommand(int id, CCmdUI& ui) {
  switch (id) {
    case kIdViewToolbar:
      ui.enabled = true;
      ui.checked = !toolBar_->isHidden();
      return true;
    case kIdViewStatusBar:
      ui.enabled = true;
      ui.checked = !statusBar()->isHidden();
      return true;
    case kIdWindowCascade:
    case kIdWindowTile:
    case kIdWindowArrange:
      ui.enabled = !mdiArea_->subWindowList().isEmpty();
      return true;
    case kIdAppExit:
      ui.enabled = true;
      return true;
    default:
      return false;
  }
}

void CMainFrame::ArrangeIcons() {
  // Minimised windows line up along the bottom edge of the client area, left to right.
  int x = 0;
  const int bottom = mdiArea_->viewport()->height();
  for (QMdiSubWindow* window : mdiArea_->subWindowList()) {
    if (!window->isMinimized()) continue;
    const QSize size = window->size();
    window->move(x, bottom - size.height());
    x += size.width();
  }
}

// --- closing and dropped files -------------------------------------------------------------------

void CMainFrame::closeEvent(QCloseEvent* event) {
  if (!app_->SaveAllModified()) {
    event->ignore();
    return;
  }
  app_->CloseAllDocuments();
  idleTimer_->stop();
  event->accept();
}

void CMainFrame::dragEnterEvent(QDragEnterEvent* event) {
  if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void CMainFrame::dropEvent(QDropEvent* event) {
  if (OpenDroppedUrls(event->mimeData()->urls())) {
    activateWindow();
    event->acceptProposedAction();
  }
}

bool CMainFrame::OpenDroppedUrls(const QList<QUrl>& urls) {
  bool any = false;
  for (const QUrl& url : urls) {
    if (!url.isLocalFile()) continue;
    app_->OpenDocumentFile(url.toLocalFile());
    any = true;
  }
  return any;
}

}  // namespace varlo
