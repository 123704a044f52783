#include "platform/qt/shared_printer.h"

#include <QObject>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>

namespace varlo {

namespace {
QPrinter* registered = nullptr;
}  // namespace

QPrinter* SharedPrinter() {
  return registered;
}

void SetSharedPrinter(QPrinter* printer) {
  registered = printer;
}

}  // namespace varlo

namespace varlo {

namespace {

// Runs f on the shared printer, or on a default high-resolution printer when none is registered.
void WithPrinter(const QString& documentName, const std::function<void(QPrinter&)>& f) {
  QPrinter* shared = SharedPrinter();
  if (shared != nullptr) {
    shared->setDocName(documentName);
    f(*shared);
    return;
  }
  QPrinter printer(QPrinter::HighResolution);
  printer.setDocName(documentName);
  f(printer);
}

}  // namespace

void PrintWithSharedPrinter(QWidget* parent, const QString& documentName, bool withDialog,
                            const std::function<void(QPrinter*)>& draw) {
  WithPrinter(documentName, [&](QPrinter& printer) {
    if (withDialog) {
      QPrintDialog dialog(&printer, parent);
      if (dialog.exec() != QDialog::Accepted) return;
    }
    draw(&printer);
  });
}

void PreviewWithSharedPrinter(QWidget* parent, const QString& documentName,
                              const std::function<void(QPrinter*)>& draw) {
  WithPrinter(documentName, [&](QPrinter& printer) {
    QPrintPreviewDialog preview(&printer, parent);
    QObject::connect(&preview, &QPrintPreviewDialog::paintRequested, &preview,
                     [&draw](QPrinter* p) { draw(p); });
    preview.exec();
  });
}

}  // namespace varlo
