#include "platform/qt/file_dialogs.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QRegularExpression>

namespace varlo {

namespace {

FilePromptHook& Hook() {
  static FilePromptHook hook;
  return hook;
}

}  // namespace

QString FilterSuffix(const QString& nameFilter) {
  static const QRegularExpression pattern(QStringLiteral("\\*\\.([A-Za-z0-9]+)"));
  const QRegularExpressionMatch match = pattern.match(nameFilter);
  return match.hasMatch() ? match.captured(1) : QString();
}

QString WithFilterSuffix(const QString& path, const QString& nameFilter) {
  if (path.isEmpty() || !QFileInfo(path).suffix().isEmpty()) return path;
  const QString suffix = FilterSuffix(nameFilter);
  return suffix.isEmpty() ? path : path + QLatin1Char('.') + suffix;
}

QString PromptFileName(QWidget* parent, FilePromptKind kind, const QString& filter,
                       const QString& defaultSuffix, const QString& proposed) {
  if (Hook()) return Hook()(kind, filter, defaultSuffix, proposed);
  QFileDialog dialog(parent, QString(), QString(), filter);
  dialog.setAcceptMode(kind == FilePromptKind::kSave ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  dialog.setFileMode(kind == FilePromptKind::kSave ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
  // The read-only box of the original prompts is hidden; Qt's dialog has none to hide.
  dialog.setDefaultSuffix(defaultSuffix);
  // A name typed without an extension takes the extension of the file type chosen in the dialog,
  // not the first type's: "graph1" under "SVG Drawings (*.svg)" is graph1.svg.
  QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog](const QString& selected) {
    const QString suffix = FilterSuffix(selected);
    if (!suffix.isEmpty()) dialog.setDefaultSuffix(suffix);
  });
  if (!proposed.isEmpty()) dialog.selectFile(proposed);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return QString();
  if (kind == FilePromptKind::kOpen) return dialog.selectedFiles().constFirst();
  return WithFilterSuffix(dialog.selectedFiles().constFirst(), dialog.selectedNameFilter());
}

FilePromptHook SetFilePromptHook(FilePromptHook hook) {
  FilePromptHook previous = std::move(Hook());
  Hook() = std::move(hook);
  return previous;
}

}  // namespace varlo
