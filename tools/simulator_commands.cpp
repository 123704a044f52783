#include "tools/simulator_commands.h"

#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QString>
#include <exception>
#include <stdexcept>

#include "model/archive.h"
#include "model/document.h"
#include "model/document_edits.h"
#include "platform/qt/dialog_exchange.h"
#include "tools/gen_trace_dlg.h"
#include "tools/gen_traffic_dlg.h"
#include "tools/modify_links_dlg.h"
#include "tools/ns_script_dlg.h"
#include "tools/options_dlg.h"
#include "tools/qns_script_dlg.h"
#include "tools/report_dlgs.h"
#include "tools/simulator_running_dlg.h"
#include "simulators/link_modifier.h"
#include "simulators/ns_script.h"
#include "simulators/qns_script.h"
#include "simulators/traffic_generators.h"

namespace varlo {

const char* const kNSScriptDisabledToolTip =
    "NS Script (not available: turn it on in Tools > Options)";
const char* const kNSScriptDisabledPrompt =
    "Not available: turn on \"Offer Generate NS Script\" in Tools > Options (ns must be installed)";

namespace {

QString ErrorText(const std::exception& error) {
  if (const auto* file = dynamic_cast<const CFileException*>(&error)) {
    return QString::fromStdString(file->Message());
  }
  return QString::fromLocal8Bit(error.what());
}

}  // namespace

QString NSFilesNote(const std::string& scriptPath, const std::string& documentFolder, const std::string& title,
                    bool monitors) {
  const QString script = QDir(QString::fromStdString(documentFolder)).absoluteFilePath(QString::fromStdString(scriptPath));
  QString note = QStringLiteral("Script: %1").arg(QDir::toNativeSeparators(QDir::cleanPath(script)));
  if (monitors) {
    note += QStringLiteral("\nQueue monitor files: %1_*.tr in %2")
                .arg(QString::fromStdString(title), QDir::toNativeSeparators(QFileInfo(script).absolutePath()));
  }
  return note;
}

SimulatorReport RunSimulatorWithReport(const SimulatorRequest& request, SimulatorKind kind, QWidget* parent,
                                       const QString& filesNote) {
  const bool ns = kind == SimulatorKind::kNS;
  std::unique_ptr<CSimulatorRun> run = CSimulatorRun::Start(request);
  SimulatorReport report;
  {
    CSimulatorRunningDlg running(
        *run, ns ? QStringLiteral("ns is running") : QStringLiteral("qns is running"), parent);
    report = running.Execute();
  }
  if (!report.failureMessage.empty()) {
    ShowMessageBox(parent, QString::fromStdString(report.failureMessage));
  }
  if (ns) {
    CReportNSDlg dialog(report, parent, filesNote);
    ExecDialog(dialog);
  } else {
    CReportQNSDlg dialog(report, parent);
    ExecDialog(dialog);
  }
  return report;
}

void OnGenerateNSScript(CVarloDoc& doc, QWidget* parent, const ScriptCommandHooks& hooks) {
  if (hooks.saveUnderTitle && !hooks.saveUnderTitle()) return;
  CNSScriptDlg dialog(doc, parent);
  if (ExecDialog(dialog) != QDialog::Accepted) return;

  NSScriptOptions options;
  options.title = doc.GetTitle();
  options.scriptPath = dialog.scriptFile;
  options.simulationLength = dialog.simulationLength;
  options.monitoredQueues = dialog.monitoredQueues;
  options.maxStartDelay = dialog.maxStartDelay;
  options.poissonSources = dialog.poissonSources != 0;
  options.varloRoutes = dialog.varloRoutes != 0;
  try {
    WriteNSScript(doc, options);
  } catch (const std::exception& error) {
    ShowMessageBox(parent, ErrorText(error), MessageKind::kError);
    return;
  }
  if (dialog.runNS) {
    SimulatorRequest request = MakeNSRunRequest(doc, options.scriptPath);
    // The ns of the folder chosen in Tools > Options (or by the installer), else the one on the PATH.
    request.arguments.front() = NSProgram(ReadNSOptions()).toStdString();
    RunSimulatorWithReport(request, SimulatorKind::kNS, parent,
                           NSFilesNote(options.scriptPath, doc.GetFolder(), options.title,
                                       !options.monitoredQueues.empty()));
  }
}

void OnGenerateQNSScript(CVarloDoc& doc, QWidget* parent, const ScriptCommandHooks& hooks) {
  if (hooks.saveUnderTitle && !hooks.saveUnderTitle()) return;
  CQNSScriptDlg dialog(doc, parent);
  if (ExecDialog(dialog) != QDialog::Accepted) return;

  QNSScriptOptions options;
  options.title = doc.GetTitle();
  options.scriptPath = dialog.scriptFile;
  options.simulationLength = dialog.simulationLength;
  options.simulationCount = dialog.simulationCount;
  options.dumpResolution = dialog.dumpResolution;
  options.linkService = dialog.linkService;
  options.monitoredQueues = dialog.monitoredQueues;
  QNSScriptResult result;
  try {
    result = WriteQNSScript(doc, options);
  } catch (const std::exception& error) {
    ShowMessageBox(parent, ErrorText(error), MessageKind::kError);
    return;
  }
  if (result.status == QNSScriptStatus::kUnsupportedClass) {
    ShowMessageBox(parent, QString::fromLatin1(kQNSUnsupportedClassMessage));
    return;
  }
  if (dialog.runQNS) RunSimulatorWithReport(MakeQNSRunRequest(doc, options), SimulatorKind::kQNS, parent);
}

void OnGenerateTCPTraffic(CVarloDoc& doc, QWidget* parent) {
  CGenTrafficDlg dialog(parent);
  if (ExecDialog(dialog) != QDialog::Accepted) return;
  edits::AppendClasses(doc, "Generate TCP Traffic", [&] { GenerateTCPTraffic(doc, dialog.Options()); });
}

void OnGenerateTraceClasses(CVarloDoc& doc, QWidget* parent) {
  CGenTraceDlg dialog(parent);
  if (ExecDialog(dialog) != QDialog::Accepted) return;
  try {
    edits::AppendClasses(doc, "Generate Trace Classes", [&] { GenerateTraceClasses(doc, dialog.Options()); });
  } catch (const std::exception& error) {
    // The classes made before a trace file that cannot be read stay; the user is told which file.
    ShowMessageBox(parent, ErrorText(error), MessageKind::kError);
  }
}

void OnDeleteAllTraffic(CVarloDoc& doc, QWidget* parent) {
  const int answer = ShowMessageBox(parent, QString::fromLatin1(kDeleteAllTrafficQuestion),
                                    MessageKind::kQuestion, QMessageBox::Yes | QMessageBox::No);
  if (answer != QMessageBox::Yes) return;
  edits::DeleteAllTraffic(doc);
}

void OnModifyLinks(CVarloDoc& doc, QWidget* parent) {
  CModifyLinksDlg dialog(parent);
  if (ExecDialog(dialog) != QDialog::Accepted) return;
  ModifyLinksEdit(doc, dialog.firstFilter, dialog.secondFilter, dialog.type, dialog.parameter);
}

}  // namespace varlo
