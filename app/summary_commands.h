// "Export Summary..." of a network window (the summary of its last dump as CSV) and "Open Sweep
// Summary..." (a sweep's summary.csv as a table window).
#pragma once

#include <QString>
#include <functional>

class QWidget;

namespace varlo {

class CVarloDoc;

// Asks for a CSV file and writes the summary of the document's dump (dumpFilePath) to it. A dump
// that cannot be read or does not fit the network gets a message box; nothing is written then.
void OnExportSummary(CVarloDoc& doc, QWidget* parent);

// Opens a variant's network (a path) with its dump (a path, empty when the run wrote none) as a
// document, as File > Open does.
using VariantOpener = std::function<void(const QString& network, const QString& dump)>;

// Asks for a sweep's summary.csv and shows it in a table window (not modal); a file that cannot
// be read gets a message box. Activating a row (a double click, or Enter) opens that variant's
// network through open, with its dump as the document's dump file; a variant whose folder holds
// no network gets a message box naming the file looked for.
void OnOpenSweepSummary(QWidget* parent, const VariantOpener& open);

// The table window itself, for a given file; nullptr (after the message) when it cannot be read.
QWidget* ShowSweepSummary(QWidget* parent, const QString& path, const VariantOpener& open);

}  // namespace varlo
