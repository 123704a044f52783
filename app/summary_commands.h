// "Export Summary..." of a network window (the summary of its last dump as CSV) and "Open Sweep
// Summary..." (a sweep's summary.csv as a table window).
#pragma once

#include <QString>

class QWidget;

namespace varlo {

class CVarloDoc;

// Asks for a CSV file and writes the summary of the document's dump (dumpFilePath) to it. A dump
// that cannot be read or does not fit the network gets a message box; nothing is written then.
void OnExportSummary(CVarloDoc& doc, QWidget* parent);

// Asks for a sweep's summary.csv and shows it in a table window (not modal); a file that cannot
// be read gets a message box.
void OnOpenSweepSummary(QWidget* parent);

// The table window itself, for a given file; nullptr (after the message) when it cannot be read.
QWidget* ShowSweepSummary(QWidget* parent, const QString& path);

}  // namespace varlo
