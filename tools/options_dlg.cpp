#include "tools/options_dlg.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "platform/qt/settings_store.h"

namespace varlo {

NSOptions ReadNSOptions() {
  NSOptions options;
  bool ok = false;
  const int useNS = CSettingsStore::ReadOption(QString::fromLatin1(CSettingsStore::kUseNS)).toInt(&ok);
  options.useNS = ok && useNS != 0;
  options.nsDirectory = CSettingsStore::ReadOption(QString::fromLatin1(CSettingsStore::kNSDirectory)).toString();
  return options;
}

bool WriteNSOptions(const NSOptions& options) {
  return CSettingsStore::WriteOption(QString::fromLatin1(CSettingsStore::kUseNS), options.useNS ? 1 : 0) &&
         CSettingsStore::WriteOption(QString::fromLatin1(CSettingsStore::kNSDirectory), options.nsDirectory);
}

QString NSProgram(const NSOptions& options) {
  if (!options.nsDirectory.isEmpty()) {
    QString folder = options.nsDirectory;
    folder.replace(QLatin1Char('\\'), QLatin1Char('/'));  // the installer may have written backslashes
    const QFileInfo program(QDir(folder).filePath(QStringLiteral("ns")));
    if (program.isFile() && program.isExecutable()) return program.absoluteFilePath();
  }
  return QStringLiteral("ns");
}

COptionsDlg::COptionsDlg(const NSOptions& options, QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("Options"));
  useNS_ = new QCheckBox(QStringLiteral("&Offer \"Generate NS Script...\" (ns is installed)"), this);
  useNS_->setChecked(options.useNS);
  directory_ = new QLineEdit(options.nsDirectory, this);
  directory_->setPlaceholderText(QStringLiteral("found on the PATH"));
  directory_->setMinimumWidth(280);
  auto* browse = new QPushButton(QStringLiteral("..."), this);
  browse->setMaximumWidth(32);
  connect(browse, &QPushButton::clicked, this, [this] {
    const QString folder =
        QFileDialog::getExistingDirectory(this, QStringLiteral("Folder of the ns program"), directory_->text());
    if (!folder.isEmpty()) directory_->setText(QDir::toNativeSeparators(folder));
  });
  auto* folderRow = new QHBoxLayout;
  folderRow->addWidget(directory_, 1);
  folderRow->addWidget(browse);

  auto* form = new QFormLayout;
  form->addRow(useNS_);
  form->addRow(QStringLiteral("ns folder:"), folderRow);
  auto* note = new QLabel(QStringLiteral("The folder that holds the ns program; leave it empty to run the ns "
                                         "found on the PATH."),
                          this);
  note->setWordWrap(true);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(note);
  layout->addWidget(buttons);
}

NSOptions COptionsDlg::Options() const {
  return NSOptions{useNS_->isChecked(), directory_->text().trimmed()};
}

}  // namespace varlo
