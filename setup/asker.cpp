#include "setup/asker.h"

#include <QFileDialog>
#include <QMessageBox>

namespace varlo {

bool CDialogAsker::AskYesNo(QWidget* parent, const QString& caption, const QString& text) {
  return QMessageBox::question(parent, caption, text, QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes) ==
         QMessageBox::Yes;
}

void CDialogAsker::ShowMessage(QWidget* parent, const QString& caption, const QString& text, Icon icon) {
  switch (icon) {
    case Icon::kInformation:
      QMessageBox::information(parent, caption, text);
      break;
    case Icon::kWarning:
      QMessageBox::warning(parent, caption, text);
      break;
    case Icon::kError:
      QMessageBox::critical(parent, caption, text);
      break;
  }
}

QString CDialogAsker::PickFolder(QWidget* parent, const QString& title, const QString& startFolder) {
  return QFileDialog::getExistingDirectory(parent, title, startFolder);
}

}  // namespace varlo
