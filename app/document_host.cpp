#include "app/document_host.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMdiArea>
#include <QStyle>
#include <QMdiSubWindow>
#include <QPointer>
#include <QMessageBox>
#include <exception>

#include "platform/qt/file_dialogs.h"
#include "app/main_frame.h"
#include "app/mdi_frame.h"
#include "app/summary_commands.h"
#include "editor/undo_stack.h"
#include "tools/simulator_commands.h"
#include "editor/varlo_view.h"
#include "model/archive.h"
#include "model/document.h"
#include "model/document_edits.h"
#include "platform/qt/dialog_exchange.h"
#include "platform/qt/settings_store.h"
#include "resources/command_ids.h"
#include "results/computation_commands.h"
#include "results/graph_view.h"
#include "tools/options_dlg.h"

namespace varlo {

namespace {

const QString kNetFilter = QStringLiteral("Varlo Files (*.net)");
const QString kClassFilter = QStringLiteral("Class Files (*.cls)");

std::string ToFileSystemPath(const QString& path) {
  return QFile::encodeName(path).toStdString();
}
QString FromFileSystemPath(const std::string& path) {
  return QFile::decodeName(QByteArray::fromStdString(path));
}

// The text the user sees for a failed read or write of the network file.
QString FileErrorText(const std::exception& error, const QString& path) {
  if (const auto* archive = dynamic_cast<const CArchiveException*>(&error)) {
    return QString::fromStdString(archive->Message());
  }
  if (const auto* file = dynamic_cast<const CFileException*>(&error)) {
    return QString::fromStdString(file->Message());
  }
  return QStringLiteral("An unknown error occurred while accessing %1.").arg(path);
}

}  // namespace

CDocumentHost::CDocumentHost(QMdiArea* area)
    : area_(area), doc_(std::make_unique<CVarloDoc>()), undo_(std::make_unique<CDocumentUndo>(*doc_)) {
  // The installer's "UseNS", unless the user changed it in Tools > Options.
  doc_->useNS = ReadNSOptions().useNS;
  undo_->modifiedChanged = [this] { UpdateFrameTitles(); };
}

CDocumentHost::~CDocumentHost() {
  // The views refer to the document: they go first.
  closingAll_ = true;
  for (auto& frame : frames_) {
    if (frame) {
      frame->disconnect(this);
      delete frame.data();
    }
  }
  frames_.clear();
  for (QObject* frame : closingFrames_) {
    frame->disconnect(this);
    delete frame;
  }
  closingFrames_.clear();
  undo_.reset();
}

void CDocumentHost::Open(const QString& path) {
  doc_->OnOpenDocument(ToFileSystemPath(path));
  doc_->SetTitle(QFileInfo(path).fileName().toStdString());
}

QString CDocumentHost::Title() const {
  return QString::fromStdString(doc_->GetTitle());
}

QString CDocumentHost::PathName() const {
  return FromFileSystemPath(doc_->GetPathName());
}

// --- windows -------------------------------------------------------------------------------------

CChildFrame* CDocumentHost::CreateNetworkFrame() {
  auto* frame = new CChildFrame(this);
  AddFrame(frame);
  return frame;
}

CGraphFrame* CDocumentHost::CreateGraphFrame() {
  auto* frame = new CGraphFrame(this);
  AddFrame(frame);
  return frame;
}

void CDocumentHost::AddFrame(CMdiFrame* frame) {
  // While the active window is maximised, a new one opens maximised too, as MDI windows do.
  const QMdiSubWindow* active = area_->activeSubWindow();
  const bool maximised = active != nullptr && active->isMaximized();
  area_->addSubWindow(frame);
  frames_.emplace_back(frame);
  connect(frame, &QObject::destroyed, this, &CDocumentHost::OnFrameDestroyed);
  connect(frame, &QObject::destroyed, area_, [area = QPointer<QMdiArea>(area_)] {
    if (area) RepaintSubWindows(area);
  });
  // Network and graph windows alike: nearly the whole client area, leaving room for the cascade
  // of later windows. Before the main window is first shown its client area has no size yet; the
  // window's own size stands in.
  const QSize client = area_->isVisible() ? area_->viewport()->size() : area_->window()->size() - QSize(8, 110);
  frame->resize(std::max(640, client.width() - 40), std::max(420, client.height() - 40));
  UpdateFrameTitles();
  if (maximised) {
    frame->showMaximized();
  } else {
    frame->show();
    // Left to itself the area puts a window this large wherever it finds room, often mostly out of
    // sight; it goes on a cascade from the top left instead, each window a title bar below the last.
    const int step = frame->style()->pixelMetric(QStyle::PM_TitleBarHeight) + 4;
    const int others = static_cast<int>(area_->subWindowList().size()) - 1;
    const QPoint at(step * (others % 8), step * (others % 8));
    const bool fits = at.x() + frame->width() <= client.width() && at.y() + frame->height() <= client.height();
    frame->move(fits ? at : QPoint(0, 0));
  }
  area_->setActiveSubWindow(frame);
}

void RepaintSubWindows(QMdiArea* area) {
  // What a closed window uncovered is drawn again at once, canvases included (they repaint
  // only what they are told to).
  area->viewport()->update();
  for (QMdiSubWindow* window : area->subWindowList()) {
    window->update();
    for (QWidget* child : window->findChildren<QWidget*>()) child->update();
  }
}

void CDocumentHost::FrameClosed(CMdiFrame* frame) {
  const auto before = frames_.size();
  std::erase_if(frames_, [frame](const QPointer<CMdiFrame>& f) { return f.isNull() || f.data() == frame; });
  if (frames_.size() != before) closingFrames_.push_back(frame);
  if (!frames_.empty()) UpdateFrameTitles();
}

void CDocumentHost::OnFrameDestroyed(QObject* frame) {
  std::erase_if(frames_, [frame](const QPointer<CMdiFrame>& f) {
    return f.isNull() || static_cast<QObject*>(f.data()) == frame;
  });
  std::erase(closingFrames_, frame);
  if (!frames_.empty()) {
    UpdateFrameTitles();
  } else if (closingFrames_.empty()) {
    // Released by the application once the window is fully gone (its views unregister first).
    QMetaObject::invokeMethod(
        this, [this] { emit Finished(this); }, Qt::QueuedConnection);
  }
}

CVarloView* CDocumentHost::FirstCanvas() const {
  for (const auto& frame : frames_) {
    if (auto* child = qobject_cast<CChildFrame*>(frame.data())) return child->Canvas();
  }
  return nullptr;
}

void CDocumentHost::UpdateFrameTitles() {
  const QString title = Title() + (doc_->IsModified() ? QStringLiteral("*") : QString());
  std::vector<CMdiFrame*> live;
  for (const auto& frame : frames_) {
    if (frame) live.push_back(frame.data());
  }
  for (size_t i = 0; i < live.size(); ++i) {
    const QString caption = live.size() == 1 ? title : QStringLiteral("%1:%2").arg(title).arg(i + 1);
    if (live[i]->windowTitle() != caption) live[i]->setWindowTitle(caption);
  }
}

void CDocumentHost::ActivateFirstFrame() {
  for (const auto& frame : frames_) {
    if (frame) {
      if (frame->isMinimized()) frame->showNormal();
      area_->setActiveSubWindow(frame.data());
      return;
    }
  }
}

QWidget* CDocumentHost::DialogParent() const {
  return area_->window();
}

// --- closing -------------------------------------------------------------------------------------

bool CDocumentHost::SaveModified() {
  if (!doc_->IsModified()) return true;
  const QString name = doc_->GetPathName().empty() ? Title() : PathName();
  const int answer =
      ShowMessageBox(DialogParent(), QStringLiteral("Save changes to %1?").arg(name), MessageKind::kWarning,
                     QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
  if (answer == QMessageBox::Cancel) return false;
  if (answer == QMessageBox::Yes) return DoFileSave();
  return true;
}

bool CDocumentHost::CanCloseFrame(CMdiFrame* frame) {
  if (closingAll_) return true;
  const bool otherWindows =
      std::any_of(frames_.begin(), frames_.end(),
                  [frame](const QPointer<CMdiFrame>& f) { return f && f.data() != frame && !f->isHidden(); });
  if (otherWindows) return true;
  if (!SaveModified()) return false;
  closingAll_ = true;
  return true;
}

void CDocumentHost::CloseAllFrames() {
  closingAll_ = true;
  const auto frames = frames_;
  for (const auto& frame : frames) {
    if (frame) frame->close();
  }
}

// --- commands ------------------------------------------------------------------------------------

bool CDocumentHost::OnCommand(int id) {
  switch (id) {
    case kIdFileClose:
      if (SaveModified()) CloseAllFrames();
      return true;
    case kIdFileSave:
      DoFileSave();
      return true;
    case kIdFileSaveAs:
      DoSaveAs();
      return true;
    case kIdWindowNew:
      CreateNetworkFrame();
      return true;
    case kIdEditUndo:
      undo_->Undo();
      return true;
    case kIdEditRedo:
      undo_->Redo();
      return true;
    case kIdComputeRoutes:
      OnComputeRoutes();
      return true;
    case kIdComputeMetrics:
    case kIdMM1KZIteration:
      OnRunCommand(id);
      return true;
    case kIdParameters:
      OnParameters(*doc_, DialogParent());
      return true;
    case kIdCreateGraphic:
      OnCreateGraphic();
      return true;
    case kIdExportSummary:
      OnExportSummary(*doc_, DialogParent());
      return true;
    case kIdAnimateDump:
      OnAnimateDump(*doc_, DialogParent());
      return true;
    case kIdLoadTraffic:
      OnLoadTraffic();
      return true;
    case kIdSaveTraffic:
      OnSaveTraffic();
      return true;
    case kIdGenerateNSScript:
    case kIdGenerateQNSScript: {
      ScriptCommandHooks hooks;
      hooks.saveUnderTitle = [this] { return SaveBeforeRun(); };
      if (id == kIdGenerateNSScript) {
        OnGenerateNSScript(*doc_, DialogParent(), hooks);
      } else {
        OnGenerateQNSScript(*doc_, DialogParent(), hooks);
      }
      return true;
    }
    case kIdGenerateTCPTraffic:
      OnGenerateTCPTraffic(*doc_, DialogParent());
      return true;
    case kIdGenerateTraceClasses:
      OnGenerateTraceClasses(*doc_, DialogParent());
      return true;
    case kIdDeleteAllTraffic:
      OnDeleteAllTraffic(*doc_, DialogParent());
      return true;
    case kIdModifyLinks:
      OnModifyLinks(*doc_, DialogParent());
      return true;
    case kIdFilePrint:
    case kIdFilePrintDirect:
    case kIdFilePrintPreview:
    case kIdCreateMetafile:
    case kIdExportPicture:
      // From a window without a canvas of its own: the document's first canvas does it.
      if (CVarloView* canvas = FirstCanvas()) return canvas->OnCommand(id);
      return false;
    default:
      return false;
  }
}

bool CDocumentHost::OnUpdateCommand(int id, CCmdUI& ui) {
  switch (id) {
    case kIdEditUndo:
      ui.enabled = undo_->CanUndo();
      ui.text = undo_->UndoText().toStdString();
      return true;
    case kIdEditRedo:
      ui.enabled = undo_->CanRedo();
      ui.text = undo_->RedoText().toStdString();
      return true;
    case kIdFileClose:
    case kIdFileSave:
    case kIdFileSaveAs:
    case kIdWindowNew:
    case kIdComputeRoutes:
    case kIdLoadTraffic:
    case kIdSaveTraffic:
    case kIdComputeMetrics:
    case kIdMM1KZIteration:
    case kIdParameters:
    case kIdCreateGraphic:
    case kIdAnimateDump:
    case kIdExportSummary:
      ui.enabled = true;
      return true;
    case kIdFilePrint:
    case kIdFilePrintDirect:
    case kIdFilePrintPreview:
    case kIdCreateMetafile:
    case kIdExportPicture:
      if (CVarloView* canvas = FirstCanvas()) {
        if (!canvas->OnUpdateCommand(id, ui)) ui.enabled = true;
      } else {
        ui.enabled = false;
      }
      return true;
    // Offered only where the installer's ns option was chosen ("UseNS").
    case kIdGenerateNSScript:
      ui.enabled = doc_->useNS;
      return true;
    case kIdGenerateQNSScript:
    case kIdGenerateTCPTraffic:
    case kIdGenerateTraceClasses:
    case kIdDeleteAllTraffic:
    case kIdModifyLinks:
      ui.enabled = true;
      return true;
    default:
      return false;
  }
}

bool CDocumentHost::DoFileSave() {
  if (doc_->GetPathName().empty()) return DoSaveAs();
  return DoSave(PathName());
}

bool CDocumentHost::DoSaveAs() {
  QString proposed = PathName();
  if (proposed.isEmpty()) proposed = Title();
  const QString path =
      PromptFileName(DialogParent(), FilePromptKind::kSave, kNetFilter, QStringLiteral("net"), proposed);
  if (path.isEmpty()) return false;
  return DoSave(path);
}

bool CDocumentHost::DoSave(const QString& path) {
  // An Output File that is still the one offered for the old name, and that no run has written,
  // follows the new name: Parameters... confirmed before the first save would otherwise leave a
  // network saved as first.net writing Untitled.dmp. A dump that exists stays with the network.
  const QString oldDefault = QFileInfo(DefaultDumpFilePath(*doc_)).absoluteFilePath();
  const bool dumpFollowsName =
      !doc_->dumpFilePath.empty() && !QFileInfo::exists(oldDefault) &&
      QFileInfo(QString::fromStdString(doc_->dumpFilePath)).absoluteFilePath() == oldDefault;
  try {
    doc_->OnSaveDocument(ToFileSystemPath(path));
  } catch (const std::exception& error) {
    ShowMessageBox(DialogParent(), FileErrorText(error, path), MessageKind::kError);
    return false;
  }
  doc_->SetTitle(QFileInfo(path).fileName().toStdString());
  if (dumpFollowsName) doc_->dumpFilePath = DefaultDumpFilePath(*doc_).toStdString();
  undo_->SetSaved();
  UpdateFrameTitles();
  emit Saved(QFileInfo(path).absoluteFilePath());
  return true;
}

bool CDocumentHost::SaveBeforeRun() {
  // A network never saved would be written as an extension-less "Untitled" in whatever folder the
  // program runs in, where nothing offers it again: it goes through Save As first.
  if (doc_->GetPathName().empty()) return DoSaveAs();
  // A failed save is reported and the run goes on.
  DoSave(QDir(QString::fromStdString(doc_->GetFolder())).filePath(Title()));
  return true;
}

void CDocumentHost::OnComputeRoutes() {
  doc_->ComputeRoutes();
  doc_->routesValid = true;
  if (auto* main = qobject_cast<CMainFrame*>(area_->window())) main->SetStatusText(RoutesComputedText(*doc_));
}

void CDocumentHost::OnLoadTraffic() {
  const QString path =
      PromptFileName(DialogParent(), FilePromptKind::kOpen, kClassFilter, QStringLiteral("cls"));
  if (path.isEmpty()) return;
  bool complete = false;
  try {
    edits::AppendClasses(*doc_, "Load Traffic",
                         [&] { complete = doc_->LoadTraffic(ToFileSystemPath(path)); });
  } catch (const std::exception&) {
    complete = false;
  }
  if (!complete) ShowMessageBox(DialogParent(), QStringLiteral("Error loading traffic file..."));
}

void CDocumentHost::OnSaveTraffic() {
  const QString path =
      PromptFileName(DialogParent(), FilePromptKind::kSave, kClassFilter, QStringLiteral("cls"));
  if (path.isEmpty()) return;
  try {
    doc_->SaveTraffic(ToFileSystemPath(path));
  } catch (const std::exception&) {
    ShowMessageBox(DialogParent(), QStringLiteral("Error saving traffic..."));
  }
}

// --- evaluation and results -----------------------------------------------------------------------

void CDocumentHost::OnRunCommand(int id) {
  RunCommandHooks hooks;
  hooks.saveUnderTitle = [this] { return SaveBeforeRun(); };
  hooks.status = [this](const QString& text) {
    if (auto* main = qobject_cast<CMainFrame*>(area_->window())) main->SetStatusText(text);
  };
  const RunMethod method = id == kIdMM1KZIteration ? RunMethod::kZIteration : RunMethod::kComputeMetrics;
  ::varlo::OnRunCommand(*doc_, method, DialogParent(), hooks);
}

void CDocumentHost::OnCreateGraphic() {
  GraphWindowHooks hooks;
  hooks.activate = [this] {
    for (const auto& frame : frames_) {
      if (frame && frame->GetKind() == CMdiFrame::Kind::kGraph) {
        area_->setActiveSubWindow(frame);
        return;
      }
    }
  };
  hooks.open = [this](CVarloGraphView* view) {
    CGraphFrame* frame = CreateGraphFrame();
    if (frame == nullptr) return false;
    frame->SetView(view);
    return true;
  };
  ::varlo::OnCreateGraphic(*doc_, DialogParent(), hooks);
}

}  // namespace varlo
