#include "platform/qt/file_dialogs.h"

#include <QFileDialog>

namespace varlo {

namespace {

FilePromptHook& Hook() {
  static FilePromptHook hook;
  return hook;
}

}  // namespace

QString PromptFileName(QWidget* parent, FilePromptKind kind, const QString& filter,
                       const QString& defaultSuffix, const QString& proposed) {
  if (Hook()) return Hook()(kind, filter, defaultSuffix, proposed);
  QFileDialog dialog(parent, QString(), QString(), filter);
  dialog.setAcceptMode(kind == FilePromptKind::kSave ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  dialog.setFileMode(kind == FilePromptKind::kSave ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
  // The read-only box of the original prompts is hidden; Qt's dialog has none to hide.
  dialog.setDefaultSuffix(defaultSuffix);
  if (!proposed.isEmpty()) dialog.selectFile(proposed);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return QString();
  return dialog.selectedFiles().constFirst();
}

FilePromptHook SetFilePromptHook(FilePromptHook hook) {
  FilePromptHook previous = std::move(Hook());
  Hook() = std::move(hook);
  return previous;
}

}  // namespace varlo
