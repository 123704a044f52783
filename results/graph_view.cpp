#include "results/graph_view.h"

#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QPageSize>
#include <QPainter>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <cmath>
#include <fstream>

#include "platform/qt/file_dialogs.h"
#include "engine/dump_file.h"
#include "platform/core/wmf_writer.h"
#include "platform/qt/dialog_exchange.h"
#include "platform/qt/shared_printer.h"
#include "platform/qt/qt_draw_context.h"
#include "platform/qt/picture_export.h"
#include "resources/command_ids.h"

namespace varlo {

namespace {

std::string LocalPath(const QString& path) {
  return QFile::encodeName(path).toStdString();
}

std::string CsvField(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string quoted = "\"";
  for (char c : text) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + "\"";
}

}  // namespace

std::string GraphCsv(const GraphData& graph) {
  std::vector<const GraphSeries*> series;
  graph.graphSeries.ForEach([&](std::uint16_t, const GraphSeries& s) { series.push_back(&s); });
  std::string out = "Time t";
  for (const GraphSeries* s : series) out += "," + CsvField(s->label);
  out += "\n";
  for (size_t i = 0; i < graph.graphTimes.size(); ++i) {
    out += FormatFixed6(graph.graphTimes[i]);
    for (const GraphSeries* s : series) {
      out += ",";
      // A point without a value (past the end of an ns trace) is an empty field.
      if (i < s->values.size() && std::isfinite(s->values[i])) out += FormatFixed6(s->values[i]);
      else if (i >= s->values.size()) out += FormatFixed6(0.0);
    }
    out += "\n";
  }
  return out;
}

CVarloGraphView::CVarloGraphView(CVarloDoc* doc, QWidget* parent) : QWidget(parent), doc_(doc) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  setFocusPolicy(Qt::StrongFocus);
  doc_->AddView(this);
}

CVarloGraphView::~CVarloGraphView() {
  doc_->graph.graphOpen = false;
  doc_->RemoveView(this);
}

void CVarloGraphView::OnUpdate(IDocumentView*, int hint, CPersistent*) {
  if (hint == kHintGraphData) ranges_ = ComputeGraphRanges(doc_->graph);
  update();
}

void CVarloGraphView::Draw(CDrawContext& dc) {
  DrawGraph(dc, doc_->graph, ranges_, showGrid_, Rect{0, 0, width(), height()});
}

void CVarloGraphView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), Qt::white);
  CQtDrawContext dc(painter);
  Draw(dc);
}

void CVarloGraphView::PrintTo(QPrinter* printer) {
  QPainter painter;
  if (!painter.begin(printer)) return;
  CQtDrawContext dc(painter, /*printing=*/true);
  Draw(dc);
}

bool CVarloGraphView::WriteMetafile(const QString& path) {
  CWmfWriter writer(ScreenTextMeasure());
  Draw(writer);
  return writer.WriteFile(LocalPath(path));
}

bool CVarloGraphView::ExportPicture(const QString& path) {
  if (QFileInfo(path).suffix().toLower() == QLatin1String("csv")) return ExportCsv(path);
  return varlo::ExportPicture(path, size(), QString::fromStdString(doc_->GetTitle()),
                              [this](CDrawContext& dc) { Draw(dc); });
}

bool CVarloGraphView::ExportCsv(const QString& path) const {
  std::ofstream out(LocalPath(path), std::ios::binary | std::ios::trunc);
  if (!out) return false;
  const std::string text = GraphCsv(doc_->graph);
  out.write(text.data(), static_cast<std::streamsize>(text.size()));
  out.close();
  return static_cast<bool>(out);
}

bool CVarloGraphView::OnCommand(int id) {
  switch (id) {
    case kIdViewGrid:
      showGrid_ = !showGrid_;
      repaint();
      return true;
    case kIdCreateMetafile:
      OnCreateMetafile();
      return true;
    case kIdExportPicture:
      OnExport();
      return true;
    case kIdFilePrint:
      OnPrint(true);
      return true;
    case kIdFilePrintDirect:
      OnPrint(false);
      return true;
    case kIdFilePrintPreview:
      OnPrintPreview();
      return true;
    default:
      return false;
  }
}

bool CVarloGraphView::OnUpdateCommand(int id, CCmdUI& ui) {
  switch (id) {
    case kIdViewGrid:
      ui.enabled = true;
      ui.checked = showGrid_;
      return true;
    case kIdCreateMetafile:
    case kIdExportPicture:
    case kIdFilePrint:
    case kIdFilePrintDirect:
    case kIdFilePrintPreview:
      ui.enabled = true;
      return true;
    default:
      return false;
  }
}

void CVarloGraphView::OnCreateMetafile() {
  const QString path =
      PromptFileName(this, FilePromptKind::kSave, QStringLiteral("Metafiles (*.wmf)"), QStringLiteral("wmf"));
  if (path.isEmpty()) return;
  WriteMetafile(path);  // a metafile that cannot be written yields no file and no message
}

void CVarloGraphView::OnExport() {
  const QString path = PromptFileName(
      this, FilePromptKind::kSave,
      QStringLiteral(
          "PNG Images (*.png);;SVG Drawings (*.svg);;PDF Documents (*.pdf);;Series as CSV (*.csv)"),
      QStringLiteral("png"));
  if (path.isEmpty()) return;
  if (!ExportPicture(path)) {
    ShowMessageBox(this, QStringLiteral("%1 could not be written.").arg(path), MessageKind::kWarning);
  }
}

void CVarloGraphView::OnPrint(bool withDialog) {
  PrintWithSharedPrinter(this, QString::fromStdString(doc_->GetTitle()), withDialog,
                         [this](QPrinter* p) { PrintTo(p); });
}

void CVarloGraphView::OnPrintPreview() {
  PreviewWithSharedPrinter(this, QString::fromStdString(doc_->GetTitle()), [this](QPrinter* p) { PrintTo(p); });
}

}  // namespace varlo
