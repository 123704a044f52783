#include "app/varlo_app.h"

#include <QApplication>
#include <QFileInfo>
#include <QMdiArea>
#include <QPageSetupDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QRegularExpression>
#include <cstdio>
#include <exception>

#include "app/about_dlg.h"
#include "app/document_host.h"
#include "platform/qt/file_dialogs.h"
#include "app/help.h"
#include "app/summary_commands.h"
#include "app/main_frame.h"
#include "app/mdi_frame.h"
#include "editor/varlo_view.h"
#include "engine/tcp_profile.h"
#include "platform/core/thread_pool.h"
#include "model/archive.h"
#include "model/persistent.h"
#include "platform/qt/dialog_exchange.h"
#include "platform/qt/icons.h"
#include "engine/evaluation_model.h"
#include "platform/qt/settings_store.h"
#include "platform/qt/shared_printer.h"
#include "resources/command_ids.h"
#include "tools/options_dlg.h"

// The shell's compiled-in artwork lives in a static library; its registration must be pulled in.
static void InitShellResources() {
  Q_INIT_RESOURCE(shell);
  Q_INIT_RESOURCE(icons);
}

namespace varlo {

CVarloApp* CVarloApp::instance_ = nullptr;

namespace {

QString CanonicalPath(const QString& path) {
  const QFileInfo info(path);
  const QString canonical = info.canonicalFilePath();
  return canonical.isEmpty() ? info.absoluteFilePath() : canonical;
}

}  // namespace

CVarloApp::CVarloApp() {
  instance_ = this;
  InitShellResources();
  // Files name their objects' classes; the reader creates them through this registry.
  RegisterPersistentClasses();
  (void)CTcpProfiles::Instance();
  SetWorkerThreads(CSettingsStore::ReadWorkerThreads());
}

CVarloApp::~CVarloApp() {
  // Documents (and their windows) go before the main frame that holds the windows.
  documents_.clear();
  mainFrame_.reset();
  if (printer_ && SharedPrinter() == printer_.get()) SetSharedPrinter(nullptr);
  if (instance_ == this) instance_ = nullptr;
}

CCommandLineInfo CVarloApp::ParseCommandLine(const QStringList& arguments) {
  CCommandLineInfo info;
  for (int i = 0; i < arguments.size(); ++i) {
    const QString& arg = arguments[i];
    // "/p", "/pt" (or "-p", "-pt"); an absolute path such as "/home/a.net" is no switch.
    static const QRegularExpression kSwitch(QStringLiteral("^[/-][A-Za-z]+$"));
    const bool isSwitch = kSwitch.match(arg).hasMatch() && !QFileInfo::exists(arg);
    if (isSwitch) {
      const QString name = arg.mid(1).toLower();
      if (name == QLatin1String("p")) {
        info.shell = CCommandLineInfo::Shell::kFilePrint;
      } else if (name == QLatin1String("pt")) {
        info.shell = CCommandLineInfo::Shell::kFilePrintTo;
      }
      continue;
    }
    if (info.fileName.isEmpty()) {
      info.fileName = arg;
      if (info.shell == CCommandLineInfo::Shell::kFileNew) info.shell = CCommandLineInfo::Shell::kFileOpen;
    } else if (info.shell == CCommandLineInfo::Shell::kFilePrintTo && info.printerName.isEmpty()) {
      info.printerName = arg;
    }
    // Further arguments of "/pt" (driver and port) have no meaning here.
  }
  if (info.fileName.isEmpty() && info.shell != CCommandLineInfo::Shell::kFileOpen) {
    info.shell = CCommandLineInfo::Shell::kFileNew;
  }
  return info;
}

bool CVarloApp::InitInstance(const QStringList& arguments) {
  recentFiles_ = CSettingsStore::ReadRecentFiles();
  SetEvaluationModel(ParseEvaluationModel(CSettingsStore::ReadEvaluationModel().toStdString())
                         .value_or(EvaluationModel::kClassic));

  (void)Printer();
  mainFrame_ = std::make_unique<CMainFrame>(this);
  mainFrame_->UpdateRecentFileMenu(recentFiles_);

  const CCommandLineInfo info = ParseCommandLine(arguments);
  switch (info.shell) {
    case CCommandLineInfo::Shell::kFileNew:
      if (OnFileNew() == nullptr) return false;
      break;
    case CCommandLineInfo::Shell::kFileOpen:
      if (OpenDocumentFile(info.fileName) == nullptr) {
        exitCode_ = 1;
        return false;
      }
      break;
    case CCommandLineInfo::Shell::kFilePrint:
    case CCommandLineInfo::Shell::kFilePrintTo:
      exitCode_ = PrintFromCommandLine(info) ? 0 : 1;
      return false;
  }

  mainFrame_->show();
  mainFrame_->UpdateMenuLayout();
  mainFrame_->UpdateCommandUI();

  // The canvas draws nodes with these; load them once, now that there is a screen.
  for (int id = 0; id < 4; ++id) (void)NodeIconPixmap(id);
  return true;
}

// --- documents -----------------------------------------------------------------------------------

CDocumentHost* CVarloApp::AdoptHost(std::unique_ptr<CDocumentHost> host) {
  CDocumentHost* raw = host.get();
  connect(raw, &CDocumentHost::Finished, this, &CVarloApp::OnHostFinished, Qt::QueuedConnection);
  connect(raw, &CDocumentHost::Saved, this, &CVarloApp::AddToRecentFileList);
  documents_.push_back(std::move(host));
  return raw;
}

CDocumentHost* CVarloApp::OnFileNew() {
  CDocumentHost* host = AdoptHost(std::make_unique<CDocumentHost>(mainFrame_->MdiArea()));
  host->CreateNetworkFrame();
  return host;
}

CDocumentHost* CVarloApp::OpenDocumentFile(const QString& path) {
  const QString canonical = CanonicalPath(path);
  for (const auto& host : documents_) {
    if (!host->PathName().isEmpty() && CanonicalPath(host->PathName()) == canonical) {
      host->ActivateFirstFrame();
      return host.get();
    }
  }
  auto host = std::make_unique<CDocumentHost>(mainFrame_->MdiArea());
  try {
    host->Open(QFileInfo(path).absoluteFilePath());
  } catch (const CArchiveException& error) {
    ShowMessageBox(mainFrame_.get(), QString::fromStdString(error.Message()), MessageKind::kError);
    RemoveFromRecentFileList(path);
    return nullptr;
  } catch (const CFileException& error) {
    ShowMessageBox(mainFrame_.get(), QString::fromStdString(error.Message()), MessageKind::kError);
    RemoveFromRecentFileList(path);
    return nullptr;
  } catch (const std::exception&) {
    ShowMessageBox(
        mainFrame_.get(),
        QStringLiteral("An unknown error occurred while accessing %1.").arg(QFileInfo(path).fileName()),
        MessageKind::kError);
    RemoveFromRecentFileList(path);
    return nullptr;
  }
  CDocumentHost* raw = AdoptHost(std::move(host));
  raw->CreateNetworkFrame();
  AddToRecentFileList(QFileInfo(path).absoluteFilePath());
  return raw;
}

void CVarloApp::OnFileOpen() {
  const QString path = PromptFileName(mainFrame_.get(), FilePromptKind::kOpen,
                                      QStringLiteral("Varlo Files (*.net)"), QStringLiteral("net"));
  if (!path.isEmpty()) OpenDocumentFile(path);
}

void CVarloApp::OnHostFinished(CDocumentHost* host) {
  std::erase_if(documents_, [host](const std::unique_ptr<CDocumentHost>& h) { return h.get() == host; });
  if (mainFrame_) {
    mainFrame_->UpdateMenuLayout();
    mainFrame_->UpdateCommandUI();
  }
}

bool CVarloApp::SaveAllModified() {
  for (const auto& host : documents_) {
    if (!host->SaveModified()) return false;
  }
  return true;
}

void CVarloApp::CloseAllDocuments() {
  documents_.clear();
}

// --- recent files --------------------------------------------------------------------------------

void CVarloApp::AddToRecentFileList(const QString& path) {
  const QString absolute = QFileInfo(path).absoluteFilePath();
  recentFiles_.removeAll(absolute);
  recentFiles_.prepend(absolute);
  while (recentFiles_.size() > CSettingsStore::kRecentFileCount) recentFiles_.removeLast();
  CSettingsStore::WriteRecentFiles(recentFiles_);
  if (mainFrame_) mainFrame_->UpdateRecentFileMenu(recentFiles_);
}

void CVarloApp::RemoveFromRecentFileList(const QString& path) {
  const QString absolute = QFileInfo(path).absoluteFilePath();
  if (recentFiles_.removeAll(absolute) == 0) return;
  CSettingsStore::WriteRecentFiles(recentFiles_);
  if (mainFrame_) mainFrame_->UpdateRecentFileMenu(recentFiles_);
}

// --- printing ------------------------------------------------------------------------------------

QPrinter* CVarloApp::Printer() {
  if (!printer_) {
    printer_ = std::make_unique<QPrinter>(QPrinter::HighResolution);
    SetSharedPrinter(printer_.get());
  }
  return printer_.get();
}

bool CVarloApp::PrintFromCommandLine(const CCommandLineInfo& info) {
  CDocumentHost* host = OpenDocumentFile(info.fileName);
  if (host == nullptr) return false;
  QPrinter* printer = Printer();
  if (info.shell == CCommandLineInfo::Shell::kFilePrintTo) {
    // A printer name ending in ".pdf" prints into that file: handy where no printer is set up.
    if (info.printerName.endsWith(QLatin1String(".pdf"), Qt::CaseInsensitive)) {
      printer->setOutputFormat(QPrinter::PdfFormat);
      printer->setOutputFileName(info.printerName);
    } else {
      printer->setPrinterName(info.printerName);
    }
  }
  bool printed = false;
  if (!printer->isValid()) {
    std::fprintf(stderr, "varlo: no printer is available\n");
  } else if (CVarloView* canvas = host->FirstCanvas()) {
    canvas->PrintTo(printer);
    printed = true;
  }
  CloseAllDocuments();
  return printed;
}

void CVarloApp::OnPrintSetup() {
  QPageSetupDialog dialog(Printer(), mainFrame_.get());
  ExecDialog(dialog);
}

void CVarloApp::OnToolsOptions() {
  COptionsDlg dialog(ReadNSOptions(), mainFrame_.get());
  if (ExecDialog(dialog) != QDialog::Accepted) return;
  const NSOptions options = dialog.Options();
  if (!WriteNSOptions(options)) {
    ShowMessageBox(mainFrame_.get(), QStringLiteral("The options could not be saved in the settings file."),
                   MessageKind::kWarning);
  }
  // Open networks follow at once, not only the next one opened.
  for (const auto& host : documents_) host->Doc()->useNS = options.useNS;
}

void CVarloApp::OnAppAbout() {
  CAboutDlg dialog(mainFrame_.get());
  ExecDialog(dialog);
}

// --- commands ------------------------------------------------------------------------------------

bool CVarloApp::OnCommand(int id) {
  switch (id) {
    case kIdFileNew:
      OnFileNew();
      return true;
    case kIdFileOpen:
      OnFileOpen();
      return true;
    case kIdFilePrintSetup:
      OnPrintSetup();
      return true;
    case kIdAppAbout:
      OnAppAbout();
      return true;
    case kIdOpenSweepSummary:
      OnOpenSweepSummary(MainFrame(), [this](const QString& network, const QString& dump) {
        CDocumentHost* host = OpenDocumentFile(network);
        if (host != nullptr && !dump.isEmpty()) host->Doc()->dumpFilePath = dump.toStdString();
      });
      return true;
    case kIdHelpContents:
      OpenHelpContents(MainFrame());
      return true;
    case kIdToolsOptions:
      OnToolsOptions();
      return true;
    default:
      break;
  }
  if (id >= kIdFileMruFirst && id <= kIdFileMruLast) {
    const int index = id - kIdFileMruFirst;
    if (index < recentFiles_.size()) OpenDocumentFile(recentFiles_[index]);
    return true;
  }
  return false;
}

bool CVarloApp::OnUpdateCommand(int id, CCmdUI& ui) {
  switch (id) {
    case kIdFileNew:
    case kIdFileOpen:
    case kIdFilePrintSetup:
    case kIdAppAbout:
    case kIdOpenSweepSummary:
    case kIdHelpContents:
    case kIdToolsOptions:
      ui.enabled = true;
      return true;
    default:
      break;
  }
  if (id >= kIdFileMruFirst && id <= kIdFileMruLast) {
    ui.enabled = id - kIdFileMruFirst < recentFiles_.size();
    return true;
  }
  return false;
}

}  // namespace varlo
