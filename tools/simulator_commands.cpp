#include "tools/simulator_commands.h"

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
#include "tools/qns_script_dlg.h"
#include "tools/report_dlgs.h"
#include "tools/simulator_running_dlg.h"
#include "simulators/link_modifier.h"
#include "simulators/ns_script.h"
#include "simulators/qns_script.h"
#include "simulators/traffic_generators.h"

namespace varlo {

const char* const kNSScriptDisabledToolTip =
    "NS Script (not available: choose the ns option when installing Varlo to enable it)";

namespace {

QString ErrorText(const std::exception& error) {
  if (const auto* file = dynamic_cast<const CFileException*>(&error)) {
    return QString::fromStdString(file->Message());
  }
  return QString::fromLocal8Bit(error.what());
}

}  // namespace

SimulatorReport RunSimulatorWithReport(const SimulatorRequest& request, SimulatorKind kind, QWidget* parent) {
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
    CReportNSDlg dialog(report, parent);
    ExecDialog(dialog);
  } else {
    CReportQNSDlg dialog(report, parent);
    ExecDialog(dialog);
  }
  return report;
}

void OnGenerateNSScript(CVarloDoc& doc, QWidget* parent, const ScriptCommandHooks& hooks) {
  if (hooks.saveUnderTitle) hooks.saveUnderTitle();
  CNSScriptDlg dialog(doc, parent);
  if (ExecDialog(dialog) != QDialog::Accepted) return;

  NSScriptOptions options;
  options.title = doc.GetTitle();
  options.scriptPath = dialog.scriptFile;
  options.simulationLength = dialog.simulationLength;
  options.monitoredQueues = dialog.monitoredQueues;
  options.maxStartDelay = dialog.maxStartDelay;
  try {
    WriteNSScript(doc, options);
  } catch (const std::exception& error) {
    ShowMessageBox(parent, ErrorText(error), MessageKind::kError);
    return;
  }
  if (dialog.runNS)
    RunSimulatorWithReport(MakeNSRunRequest(doc, options.scriptPath), SimulatorKind::kNS, parent);
}

void OnGenerateQNSScript(CVarloDoc& doc, QWidget* parent, const ScriptCommandHooks& hooks) {
  if (hooks.saveUnderTitle) hooks.saveUnderTitle();
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
