// The document host: one open network and its windows. It owns the CVarloDoc, opens and closes
// its network and graph windows, titles them, and handles the document's file commands (Close,
// Save, Save As, New Window) and document commands (routes, traffic files, the runs and graphs
// of results/computation_commands.h, the scripts and generators of tools/simulator_commands.h).
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <memory>
#include <vector>

#include "platform/qt/command_target.h"

class QMdiArea;

namespace varlo {

class CChildFrame;
class CDocumentUndo;
class CGraphFrame;
class CMdiFrame;
class CVarloDoc;
class CVarloView;

// Repaints every window of the MDI area and everything in them (after a window closed).
void RepaintSubWindows(QMdiArea* area);

class CDocumentHost : public QObject, public ICommandTarget {
  Q_OBJECT

 public:
  // An empty network ("Untitled"). UseNS is read from the settings store.
  explicit CDocumentHost(QMdiArea* area);
  ~CDocumentHost() override;

  // Reads the network file into the (empty) document. Throws CArchiveException or
  // CFileException; the document then stays empty and no window is opened.
  void Open(const QString& path);

  CVarloDoc* Doc() const { return doc_.get(); }
  // The document's undo stack: every edit made in its windows.
  CDocumentUndo* Undo() const { return undo_.get(); }
  QString Title() const;
  QString PathName() const;

  // --- windows --------------------------------------------------------------------------------
  CChildFrame* CreateNetworkFrame();
  // Graph windows are opened by "Create Graphic ..." (a later command) and in tests.
  CGraphFrame* CreateGraphFrame();
  const std::vector<QPointer<CMdiFrame>>& Frames() const { return frames_; }
  // The first network canvas of the document, or nullptr.
  CVarloView* FirstCanvas() const;
  // Sets each window's caption: the title, ":n" after it when the document has several, and "*"
  // while the document has changes not saved.
  void UpdateFrameTitles();
  void ActivateFirstFrame();

  // --- closing --------------------------------------------------------------------------------
  // Asks "Save changes to %1?" when the document is modified (Yes saves, No discards, Cancel
  // keeps it open). Returns whether the document may close.
  bool SaveModified();
  // Called by a window about to close: only the document's last window asks to save.
  bool CanCloseFrame(CMdiFrame* frame);
  // Closes every window without asking again (the caller has asked).
  void CloseAllFrames();
  // A window has accepted its close: it leaves the numbering at once and goes when it is deleted.
  void FrameClosed(CMdiFrame* frame);

  // --- commands -------------------------------------------------------------------------------
  bool OnCommand(int id) override;
  bool OnUpdateCommand(int id, CCmdUI& ui) override;

  // Saves to the document's path, asking for one when it has none. Returns whether it saved.
  bool DoFileSave();
  // Asks for a path (proposing the title) and saves there. Returns whether it saved.
  bool DoSaveAs();
  // Writes the document to path (atomically); reports a failure. Returns whether it saved.
  bool DoSave(const QString& path);
  // Before a run or a script: saves the document under its title in its folder, or through Save As
  // when it was never saved. False when that Save As was cancelled.
  bool SaveBeforeRun();

  void OnComputeRoutes();
  // The evaluation runs (32801 "&Compute Metrics", 32789 "M/M/1/K Z-iteration"), "&Parameters...",
  // "Create Graphic ..." and the dump animation (32817); results/computation_commands.h.
  void OnRunCommand(int id);
  void OnCreateGraphic();
  void OnLoadTraffic();
  void OnSaveTraffic();

 signals:
  // The document's last window has gone; the application then releases the host.
  void Finished(CDocumentHost* host);
  // The document was saved under a path (for the recent-file list).
  void Saved(const QString& path);

 private:
  void AddFrame(CMdiFrame* frame);
  void OnFrameDestroyed(QObject* frame);
  QWidget* DialogParent() const;

  QMdiArea* area_;
  std::unique_ptr<CVarloDoc> doc_;
  std::unique_ptr<CDocumentUndo> undo_;  // after the document: it goes first
  std::vector<QPointer<CMdiFrame>> frames_;
  std::vector<QObject*> closingFrames_;  // closed, not yet deleted; their views still hold the document
  bool closingAll_ = false;
};

}  // namespace varlo
