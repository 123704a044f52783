#include "results/computation_commands.h"

#include <QDir>
#include <QFileInfo>
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

}  // namespace

QString RoutesComputedText(const CVarloDoc& doc) {
  long routes = 0, unreachable = 0;
  doc.ForEachNode([&](const CGraphicNode* from) {
    doc.ForEachNode([&](const CGraphicNode* to) {
      if (from == to) return;
      if (from->GetRoute(to).first != nullptr) {
        ++routes;
      } else {
        ++unreachable;
      }
    });
  });
  return QStringLiteral("Routes computed: %1 routes, %2 unreachable pairs").arg(routes).arg(unreachable);
}

QString RunCancelledText(const RunResult& result) {
  // The dump's header announced the rows of the whole run; the file holds those written so far.
  return QString::asprintf("The run was cancelled at t = %lf", result.endTime) +
         QStringLiteral(". The dump file holds the %1 rows written until then.").arg(result.rowsWritten);
}

QString DefaultDumpFilePath(const CVarloDoc& doc) {
  QString name = QString::fromStdString(doc.GetTitle());
  if (name.endsWith(QLatin1String(".net"))) name.chop(4);
  return QDir(QString::fromStdString(doc.GetFolder())).filePath(name + QLatin1String(".dmp"));
}

std::string OfferedDumpFile(const CVarloDoc& doc) {
  if (!doc.dumpFilePath.empty()) return doc.dumpFilePath;
  const QString path = DefaultDumpFilePath(doc);
  return QFileInfo(path).isFile() ? path.toStdString() : std::string();
}

namespace {

// Shows the computation dialog; on OK copies the values back. Returns whether it was confirmed.
bool EditParameters(CVarloDoc& doc, QWidget* parent) {
  CComputationDlg dialog(parent);
  ComputationParameters parameters = GetComputationParameters(doc);
  // An empty field would become the hidden ".dmp" under the ".dmp" rule: it starts beside the network.
  if (parameters.dumpFilePath.empty()) parameters.dumpFilePath = DefaultDumpFilePath(doc).toStdString();
  dialog.SetParameters(parameters);
  if (ExecDialog(dialog) != QDialog::Accepted) return false;
  const ComputationParameters chosen = dialog.Parameters();
  SetComputationParameters(doc, chosen);
  CSettingsStore::WriteEvaluationModel(QString::fromLatin1(EvaluationModelName(GetEvaluationModel())));
  CSettingsStore::WriteWorkerThreads(chosen.workerThreads);
  return true;
}

}  // namespace

void OnParameters(CVarloDoc& doc, QWidget* parent) {
  EditParameters(doc, parent);
}

std::optional<RunResult> OnRunCommand(CVarloDoc& doc, RunMethod method, QWidget* parent,
                                      const RunCommandHooks& hooks) {
  if (hooks.saveUnderTitle && !hooks.saveUnderTitle()) return std::nullopt;
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
      break;
    case RunStatus::kCancelled:
      if (hooks.status) hooks.status(RunCancelledText(result));
      ShowMessageBox(parent, RunCancelledText(result), MessageKind::kInformation);
      return result;
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

  std::string damage;
  switch (LoadGraphData(doc, std::move(dialog.newSeries), doc.dumpFilePath, &damage)) {
    case GraphLoadStatus::kLoaded:
      // The rows before a damaged one are shown; the user learns where the dump ends.
      if (!damage.empty()) ShowMessageBox(parent, QString::fromStdString(damage), MessageKind::kWarning);
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
