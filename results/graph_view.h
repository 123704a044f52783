// The graph window's view: plots the document's graph data (filled by "Create Graphic ...") with
// the drawing of graph_drawing.h. It holds only its axis ranges, recomputed on update hint 7, and
// the grid flag. Prints, previews, writes a Windows metafile, and exports the picture as SVG, PNG
// or PDF and the plotted series as CSV.
#pragma once

#include <QString>
#include <QWidget>

#include "platform/qt/command_target.h"
#include "model/document.h"
#include "engine/graph_drawing.h"

class QPrinter;

namespace varlo {

class CVarloGraphView : public QWidget, public IDocumentView, public ICommandTarget {
  Q_OBJECT

 public:
  // Registers with the document; the document must outlive the view.
  explicit CVarloGraphView(CVarloDoc* doc, QWidget* parent = nullptr);
  // Clears the document's graphOpen, so that the next "Create Graphic ..." opens a new window.
  ~CVarloGraphView() override;

  CVarloDoc* Doc() const { return doc_; }
  const GraphRanges& Ranges() const { return ranges_; }
  bool ShowGrid() const { return showGrid_; }

  void OnUpdate(IDocumentView* sender, int hint, CPersistent* object) override;
  bool OnCommand(int id) override;
  bool OnUpdateCommand(int id, CCmdUI& ui) override;

  // The picture as the window shows it, into a context of the client's size.
  void Draw(CDrawContext& dc);
  void PrintTo(QPrinter* printer);
  // A classic metafile of the picture; false when the file cannot be written.
  bool WriteMetafile(const QString& path);
  // The picture as PNG, SVG or PDF by the file's extension; false for another extension or when
  // the file cannot be written.
  bool ExportPicture(const QString& path);
  // The plotted series: a header row "Time t" and the labels, then one row per time point.
  bool ExportCsv(const QString& path) const;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  void OnCreateMetafile();
  void OnExport();
  void OnPrint(bool withDialog);
  void OnPrintPreview();

  CVarloDoc* doc_;
  GraphRanges ranges_;
  bool showGrid_ = true;
};

// "Time t" and the labels, then one line per time point with the values as "%lf" writes them;
// labels are quoted when they hold a comma or a quote.
std::string GraphCsv(const GraphData& graph);

}  // namespace varlo
