// The application object: starts the program (settings, the network and graph window kinds, the
// main frame, dropped files, the command line, showing the window, the node icons), keeps the
// open documents and the recent-file list, and handles the application commands (New, Open,
// Print Setup, About, Help Contents, the recent files).
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <memory>
#include <vector>

#include "platform/qt/command_target.h"

class QPrinter;

namespace varlo {

class CDocumentHost;
class CMainFrame;

// What the command line asks for.
struct CCommandLineInfo {
  enum class Shell { kFileNew, kFileOpen, kFilePrint, kFilePrintTo };
  Shell shell = Shell::kFileNew;
  QString fileName;
  QString printerName;  // "/pt": a printer, or a .pdf file to print into
};

class CVarloApp : public QObject, public ICommandTarget {
  Q_OBJECT

 public:
  // Builds the TCP throughput tables that every evaluation looks up.
  CVarloApp();
  ~CVarloApp() override;

  static CVarloApp* Instance() { return instance_; }

  // Start-up. arguments are the command-line arguments after the program name. Returns false
  // when the program should end at once (a failure, or the print switches have printed).
  bool InitInstance(const QStringList& arguments);
  // The exit code when InitInstance returned false.
  int ExitCode() const { return exitCode_; }

  static CCommandLineInfo ParseCommandLine(const QStringList& arguments);

  CMainFrame* MainFrame() const { return mainFrame_.get(); }
  const std::vector<std::unique_ptr<CDocumentHost>>& Documents() const { return documents_; }

  // --- documents ------------------------------------------------------------------------------
  // A new empty network in a new window.
  CDocumentHost* OnFileNew();
  // Opens the network file in a new window, or brings forward the window already showing it.
  // Reports a failure and returns nullptr. A recent-list entry that fails to open is removed.
  CDocumentHost* OpenDocumentFile(const QString& path);
  void OnFileOpen();
  // Asks each modified document whether to save it; false when the user cancelled.
  bool SaveAllModified();
  void CloseAllDocuments();

  // --- recent files ---------------------------------------------------------------------------
  QStringList RecentFiles() const { return recentFiles_; }
  void AddToRecentFileList(const QString& path);
  void RemoveFromRecentFileList(const QString& path);

  // The printer that Print Setup configures and printing uses.
  QPrinter* Printer();

  bool OnCommand(int id) override;
  bool OnUpdateCommand(int id, CCmdUI& ui) override;

 private:
  CDocumentHost* AdoptHost(std::unique_ptr<CDocumentHost> host);
  void OnHostFinished(CDocumentHost* host);
  bool PrintFromCommandLine(const CCommandLineInfo& info);
  void OnAppAbout();
  void OnToolsOptions();
  void OnPrintSetup();

  static CVarloApp* instance_;
  std::unique_ptr<CMainFrame> mainFrame_;
  std::vector<std::unique_ptr<CDocumentHost>> documents_;
  QStringList recentFiles_;
  std::unique_ptr<QPrinter> printer_;
  int exitCode_ = 0;
};

}  // namespace varlo
