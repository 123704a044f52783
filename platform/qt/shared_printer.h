// The program's one printer setup: File > Print Setup changes it, and printing and print preview
// start from it, so the paper and orientation chosen there are the ones used. The application
// owns the printer and registers it here for the views.
#pragma once

#include <QString>
#include <functional>

class QPrinter;
class QWidget;

namespace varlo {

// The registered printer, or nullptr when none is (tests, tools): callers then use a default one.
QPrinter* SharedPrinter();
// Registers the program's printer (nullptr unregisters). The caller keeps ownership.
void SetSharedPrinter(QPrinter* printer);

// Prints one document through the shared printer (a default one when none is registered), after the
// print dialog when withDialog is set; draw paints the page.
void PrintWithSharedPrinter(QWidget* parent, const QString& documentName, bool withDialog,
                            const std::function<void(QPrinter*)>& draw);
// Print preview of the same page on the shared printer.
void PreviewWithSharedPrinter(QWidget* parent, const QString& documentName,
                              const std::function<void(QPrinter*)>& draw);

}  // namespace varlo
