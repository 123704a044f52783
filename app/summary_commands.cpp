#include "app/summary_commands.h"

#include <QDialog>
#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QPainter>
#include <QSvgRenderer>
#include <QTabWidget>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/qt/file_dialogs.h"
#include "platform/core/file_errors.h"
#include "model/document.h"
#include "platform/core/file_io.h"
#include "platform/qt/dialog_exchange.h"
#include "results/computation_commands.h"
#include "simulators/summary.h"

namespace varlo {
namespace {

// RFC 4180 rows: quoted fields may hold commas, doubled quotes and line breaks.
std::vector<std::vector<QString>> ParseCsv(const std::string& text) {
  std::vector<std::vector<QString>> rows;
  std::vector<QString> row;
  std::string field;
  bool quoted = false;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (quoted) {
      if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
        field += '"';
        ++i;
      } else if (c == '"') {
        quoted = false;
      } else {
        field += c;
      }
    } else if (c == '"') {
      quoted = true;
    } else if (c == ',') {
      row.push_back(QString::fromStdString(field));
      field.clear();
    } else if (c == '\n' || c == '\r') {
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      row.push_back(QString::fromStdString(field));
      field.clear();
      rows.push_back(std::move(row));
      row.clear();
    } else {
      field += c;
    }
  }
  if (!field.empty() || !row.empty()) {
    row.push_back(QString::fromStdString(field));
    rows.push_back(std::move(row));
  }
  return rows;
}

// A sweep's chart, drawn from its SVG file at the largest size that fits, its proportions kept.
class SweepChartView : public QWidget {
 public:
  SweepChartView(const QString& path, QWidget* parent) : QWidget(parent), renderer_(path) {
    setObjectName(QStringLiteral("sweepSummaryChart"));
    setAutoFillBackground(true);
    QPalette white = palette();
    white.setColor(QPalette::Window, Qt::white);
    setPalette(white);
  }
  bool IsValid() const { return renderer_.isValid(); }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    const QSizeF size = renderer_.defaultSize().isEmpty() ? QSizeF(720, 480) : QSizeF(renderer_.defaultSize());
    const double scale = std::min(width() / size.width(), height() / size.height());
    const QSizeF shown = size * scale;
    renderer_.render(&painter, QRectF(QPointF((width() - shown.width()) / 2, (height() - shown.height()) / 2), shown));
  }

 private:
  QSvgRenderer renderer_;
};

// The folder of variant number variant under variants: "variant-" and the number, zero-padded to
// four digits or more (more when the sweep has more variants); the one on disk when it exists.
QString VariantFolder(const QString& variants, int variant) {
  const QDir dir(variants);
  for (const QString& name : dir.entryList({QStringLiteral("variant-*")}, QDir::Dirs)) {
    bool number = false;
    if (name.mid(8).toInt(&number) == variant && number) return dir.filePath(name);
  }
  return dir.filePath(QStringLiteral("variant-%1").arg(variant, 4, 10, QLatin1Char('0')));
}

}  // namespace

void OnExportSummary(CVarloDoc& doc, QWidget* parent) {
  // A network just opened has no dump of its own: the one its runs write is summarised when it
  // exists. (Read as an empty path, the missing dump gave " was not found.", naming no file.)
  const std::string dumpPath = OfferedDumpFile(doc);
  if (dumpPath.empty()) {
    ShowMessageBox(parent, QStringLiteral("%1 has no dump file yet: run Compute Metrics or M/M/1/K Z-iteration "
                                          "first, or choose a dump file in Create Graphic ...")
                               .arg(QString::fromStdString(doc.GetTitle())));
    return;
  }
  DumpSummary summary;
  try {
    summary = SummarizeDump(doc, dumpPath);
  } catch (const std::exception& e) {
    ShowMessageBox(parent, QString::fromStdString(e.what()));
    return;
  }
  const QFileInfo dump(QString::fromStdString(dumpPath));
  const QString proposed = dump.dir().filePath(dump.completeBaseName() + QStringLiteral("-summary.csv"));
  const QString path = PromptFileName(parent, FilePromptKind::kSave, QStringLiteral("CSV Files (*.csv)"),
                                      QStringLiteral("csv"), proposed);
  if (path.isEmpty()) return;
  const std::string text = SummaryCsv(summary);
  try {
    WriteFileAtomically(path.toStdString(), std::vector<std::uint8_t>(text.begin(), text.end()));
  } catch (const CFileException& e) {
    ShowMessageBox(parent, QString::fromStdString(e.Message()));
  }
}

QWidget* ShowSweepSummary(QWidget* parent, const QString& path, const VariantOpener& open) {
  std::vector<std::vector<QString>> rows;
  try {
    const std::vector<std::uint8_t> bytes = ReadWholeFile(path.toStdString());
    rows = ParseCsv(std::string(bytes.begin(), bytes.end()));
  } catch (const CFileException& e) {
    ShowMessageBox(parent, QString::fromStdString(e.Message()));
    return nullptr;
  }
  if (rows.empty()) {
    ShowMessageBox(parent, path + QStringLiteral(" is empty."));
    return nullptr;
  }
  auto* window = new QDialog(parent);
  window->setAttribute(Qt::WA_DeleteOnClose);
  window->setWindowTitle(QStringLiteral("Sweep Summary - ") + QFileInfo(path).absoluteFilePath());
  auto* layout = new QVBoxLayout(window);
  const QString variants = QFileInfo(path).absoluteDir().filePath(QStringLiteral("variants"));
  layout->addWidget(new QLabel(QStringLiteral("Each variant's network and dump: ") + variants +
                                   QStringLiteral(" (double-click a row to open its network)"),
                               window));
  auto* table = new QTableWidget(static_cast<int>(rows.size() - 1), static_cast<int>(rows[0].size()), window);
  table->setObjectName(QStringLiteral("sweepSummaryTable"));
  table->setEditTriggers(QAbstractItemView::NoEditTriggers);
  QStringList headings;
  for (const QString& h : rows[0]) headings << h;
  table->setHorizontalHeaderLabels(headings);
  for (size_t r = 1; r < rows.size(); ++r) {
    for (size_t c = 0; c < rows[r].size() && c < rows[0].size(); ++c)
      table->setItem(static_cast<int>(r - 1), static_cast<int>(c), new QTableWidgetItem(rows[r][c]));
  }
  table->resizeColumnsToContents();
  table->verticalHeader()->hide();
  QObject::connect(table, &QAbstractItemView::activated, window, [window, table, variants, open](const QModelIndex& at) {
    const QTableWidgetItem* first = table->item(at.row(), 0);
    bool number = false;
    const int variant = first != nullptr ? first->text().toInt(&number) : -1;
    if (!number || variant < 0) return;
    const QString folder = VariantFolder(variants, variant);
    const QString network = QDir(folder).filePath(QStringLiteral("network.net"));
    if (!QFileInfo::exists(network)) {
      ShowMessageBox(window, QStringLiteral("Variant %1 has no network: %2 was not found.").arg(variant).arg(network));
      return;
    }
    const QString dump = QDir(folder).filePath(QStringLiteral("run.dmp"));
    if (open) open(network, QFileInfo::exists(dump) ? dump : QString());
  });
  // The sweep's chart (summary.svg beside the table's file), when it has one, on a second tab.
  const QString chartPath = QFileInfo(path).absoluteDir().filePath(QStringLiteral("summary.svg"));
  auto* chart = QFileInfo::exists(chartPath) ? new SweepChartView(chartPath, window) : nullptr;
  if (chart != nullptr && chart->IsValid()) {
    auto* tabs = new QTabWidget(window);
    tabs->setObjectName(QStringLiteral("sweepSummaryTabs"));
    tabs->addTab(table, QStringLiteral("Table"));
    tabs->addTab(chart, QStringLiteral("Chart"));
    layout->addWidget(tabs);
  } else {
    delete chart;
    layout->addWidget(table);
  }
  window->resize(900, 520);
  window->show();
  return window;
}

void OnOpenSweepSummary(QWidget* parent, const VariantOpener& open) {
  const QString path = PromptFileName(parent, FilePromptKind::kOpen,
                                      QStringLiteral("Sweep Summaries (summary.csv);;CSV Files (*.csv)"),
                                      QStringLiteral("csv"));
  if (!path.isEmpty()) ShowSweepSummary(parent, path, open);
}

}  // namespace varlo
