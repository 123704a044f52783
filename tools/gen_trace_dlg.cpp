#include "tools/gen_trace_dlg.h"

#include <QFile>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "simulators/traffic_generators.h"

namespace varlo {

namespace {

TraceFilesPromptHook& PromptHook() {
  static TraceFilesPromptHook hook;
  return hook;
}

}  // namespace

TraceFilesPromptHook SetTraceFilesPromptHook(TraceFilesPromptHook hook) {
  TraceFilesPromptHook previous = std::move(PromptHook());
  PromptHook() = std::move(hook);
  return previous;
}

CGenTraceDlg::CGenTraceDlg(QWidget* parent) : CExchangeDialog(parent) {
  setWindowTitle(QStringLiteral("Generate Trace Classes"));
  sourceEdit_ = new QLineEdit(this);
  destinationEdit_ = new QLineEdit(this);
  slotEdit_ = new QLineEdit(this);
  selectButton_ = new QPushButton(QStringLiteral("Select Files..."), this);
  selectButton_->setAutoDefault(false);
  fileList_ = new QListWidget(this);
  fileList_->setSelectionMode(QAbstractItemView::NoSelection);
  fileList_->setMaximumHeight(90);
  lowerEdit_ = CreateDigitsEdit(this);
  upperEdit_ = CreateDigitsEdit(this);
  startEdit_ = new QLineEdit(this);
  stopEdit_ = new QLineEdit(this);

  auto* grid = new QGridLayout;
  grid->addWidget(new QLabel(QStringLiteral("From all nodes containing"), this), 0, 0);
  grid->addWidget(sourceEdit_, 0, 1);
  grid->addWidget(new QLabel(QStringLiteral("in their names "), this), 0, 2);
  grid->addWidget(new QLabel(QStringLiteral("To all nodes containing"), this), 1, 0);
  grid->addWidget(destinationEdit_, 1, 1);
  grid->addWidget(new QLabel(QStringLiteral("in their names "), this), 1, 2);
  grid->addWidget(new QLabel(QStringLiteral("Slot Size"), this), 2, 0);
  grid->addWidget(slotEdit_, 2, 1);
  grid->addWidget(selectButton_, 3, 0);
  grid->addWidget(new QLabel(QStringLiteral("The files selected will be used in round-robin."), this), 3, 1,
                  1, 2);
  grid->addWidget(fileList_, 4, 0, 1, 3);
  auto* counts = new QHBoxLayout;
  counts->addWidget(new QLabel(QStringLiteral("between "), this));
  counts->addWidget(lowerEdit_);
  counts->addWidget(new QLabel(QStringLiteral("and"), this));
  counts->addWidget(upperEdit_);
  grid->addLayout(counts, 5, 0, 1, 3);
  grid->addWidget(new QLabel(QStringLiteral("Start time for generated classes:"), this), 6, 0);
  grid->addWidget(startEdit_, 6, 1);
  grid->addWidget(new QLabel(QStringLiteral("Stop time for generated classes:"), this), 7, 0);
  grid->addWidget(stopEdit_, 7, 1);

  connect(selectButton_, &QPushButton::clicked, this, &CGenTraceDlg::OnSelectFiles);
  LayOutWithButtons(grid);

  exchange_.Text(sourceEdit_, &sourceFilter)
      .Text(destinationEdit_, &destinationFilter)
      .Double(slotEdit_, &slotSize, 0, 1000000)
      .Unsigned(lowerEdit_, &lowerCount)
      .Unsigned(upperEdit_, &upperCount)
      .Double(startEdit_, &startTime)
      .Double(stopEdit_, &stopTime, 0, 1000000);
}

TraceGenerationOptions CGenTraceDlg::Options() const {
  TraceGenerationOptions options;
  options.sourceFilter = sourceFilter;
  options.destinationFilter = destinationFilter;
  options.lowerCount = lowerCount;
  options.upperCount = upperCount;
  options.startTime = startTime;
  options.stopTime = stopTime;
  options.slotSize = slotSize;
  options.traceFiles = traceFiles;
  return options;
}

void CGenTraceDlg::OnSelectFiles() {
  QStringList chosen;
  if (PromptHook()) {
    chosen = PromptHook()();
  } else {
    QFileDialog dialog(this);
    dialog.setFileMode(QFileDialog::ExistingFiles);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setOption(QFileDialog::ReadOnly, false);
    dialog.setDefaultSuffix(QStringLiteral("vlt"));
    dialog.setNameFilters({QStringLiteral("Varlo Trace Files (*.vlt)"), QStringLiteral("All Files (*)")});
    if (dialog.exec() == QDialog::Accepted) chosen = dialog.selectedFiles();
  }
  for (const QString& path : chosen) {
    traceFiles.push_back(QFile::encodeName(path).toStdString());
    fileList_->addItem(path);
  }
}

void CGenTraceDlg::accept() {
  if (!exchange_.FromControls(this)) return;
  if (const auto message = CheckCountInterval(lowerCount, upperCount)) {
    ShowMessageBox(this, QString::fromStdString(*message));
    upperEdit_->setFocus();
    upperEdit_->selectAll();
    return;
  }
  // Without a file the classes would have no trace to follow; refusing here creates nothing half.
  if (traceFiles.empty() && upperCount > 0) {
    ShowMessageBox(this, QString::fromLatin1(kNoTraceFilesMessage));
    selectButton_->setFocus();
    return;
  }
  QDialog::accept();
}

}  // namespace varlo
