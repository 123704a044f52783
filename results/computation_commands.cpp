#include "results/computation_commands.h"

#include <chrono>
#include <optional>

#include "engine/computation_parameters.h"
#include "model/document.h"
#include "platform/qt/dialog_exchange.h"
#include "platform/qt/settings_store.h"
#include "results/computation_dlg.h"
#include "results/dump_animation_dlg.h"
#include "engine/graph_creation.h"
#include "results/graph_display_dlg.h"
#include "results/graph_view.h"
#include "results/running_dlg.h"

namespace varlo {

QString RunningTimeText(long seconds) {
  return QString::asprintf("Running time(sec) : %ld", seconds);
}

namespace {

// Shows the computation dialog; on OK copies the values back. Returns whether it was confirmed.
bool EditParameters(CVarloDoc& doc, QWidget* parent) {
  CComputationDlg dialog(parent);
  dialog.SetParameters(GetComputationParameters(doc));
  if (ExecDialog(dialog) != QDialog::Accepted) return false;
  const ComputationParameters parameters = dialog.Parameters();
  SetComputationParameters(doc, parameters);
  CSettingsStore::WriteWorkerThreads(parameters.workerThreads);
  return true;
}

}  // namespace

void OnParameters(CVarloDoc& doc, QWidget* parent) {
  EditParameters(doc, parent);
}

std::optional<RunResult> OnRunCommand(CVarloDoc& doc, RunMethod method, QWidget* parent,
                                      const RunCommandHooks& hooks) {
  if (hooks.saveUnderTitle) hooks.saveUnderTitle();
  if (!EditParameters(doc, parent)) return std::nullopt;

  const auto start = std::chrono::steady_clock::now();
  RunResult result;
  {
    CRunningDlg running(doc, method, parent);
    running.SetStatusSink(hooks.status);
    result = running.Execute();
  }
  if (!result.unreachableMessage.empty()) {
    ShowMessageBox(parent, QString::fromStdString(result.unreachableMessage), MessageKind::kWarning);
  }
  switch (result.status) {
    case RunStatus::kCompleted:
    case RunStatus::kCancelled:
      break;
    default:
      ShowMessageBox(parent, QString::fromStdString(result.message), MessageKind::kWarning);
      return result;
  }
  const long seconds = static_cast<long>(
      std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - start).count());
  if (hooks.status) hooks.status(RunningTimeText(seconds));
  return result;
}

void OnCreateGraphic(CVarloDoc& doc, QWidget* parent, const GraphWindowHooks& hooks) {
  CGraphDisplayDlg dialog(doc, parent);
  if (ExecDialog(dialog) != QDialog::Accepted) return;
  doc.dumpFilePath = dialog.dumpFilePath;
  if (dialog.newSeries.empty()) return;
  const bool queueMode = dialog.queueMode != 0;
  const int metric = dialog.newSeries.front().metric;

  switch (LoadGraphData(doc, std::move(dialog.newSeries), doc.dumpFilePath)) {
    case GraphLoadStatus::kLoaded:
      break;
    case GraphLoadStatus::kNothingSelected:
      return;
    case GraphLoadStatus::kBadDump:
      ShowMessageBox(parent, QString::fromLatin1(kBadDumpFileMessage), MessageKind::kWarning);
      return;
    case GraphLoadStatus::kFileError:
      ShowMessageBox(parent, QString::fromLatin1(kDumpFileProblemMessage), MessageKind::kWarning);
      return;
  }
  if (queueMode && dialog.simulated && metric == kMetricAverageSize) AddSimulatedCompanions(doc);

  if (doc.graph.graphOpen) {
    if (hooks.activate) hooks.activate();
    doc.UpdateAllViews(nullptr, kHintGraphData);
    return;
  }
  auto* view = new CVarloGraphView(&doc);
  if (!hooks.open || !hooks.open(view)) {
    delete view;
    ShowMessageBox(parent, QStringLiteral("Failed to create empty document."), MessageKind::kWarning);
    return;
  }
  doc.UpdateAllViews(nullptr, kHintGraphData);
  doc.graph.graphOpen = true;
}

void OnAnimateDump(CVarloDoc& doc, QWidget* parent) {
  CDumpAnimationDlg dialog(doc, parent);
  ExecDialog(dialog);
}

}  // namespace varlo
