#include "results/computation_dlg.h"

#include <QComboBox>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "platform/qt/file_dialogs.h"

namespace varlo {

CComputationDlg::CComputationDlg(QWidget* parent) : CExchangeDialog(parent) {
  setWindowTitle(QStringLiteral("Computation Properties"));
  auto makeEdit = [this] {
    auto* edit = new QLineEdit(this);
    edit->setAlignment(Qt::AlignRight);
    return edit;
  };
  totalTimeEdit_ = makeEdit();
  runningStepEdit_ = makeEdit();
  dumpIntervalEdit_ = makeEdit();
  fileEdit_ = makeEdit();
  browseButton_ = new QPushButton(QStringLiteral("..."), this);
  browseButton_->setFixedWidth(28);
  browseButton_->setAutoDefault(false);
  profileList_ = new QComboBox(this);
  profileList_->addItem(QStringLiteral("NetBSD 1.2 Profile"));
  profileList_->addItem(QStringLiteral("NS Profile"));
  // The runs give the same numbers on any number of threads; this only sets how many cores they use.
  threadsSpin_ = new QSpinBox(this);
  threadsSpin_->setRange(0, 256);
  threadsSpin_->setSpecialValueText(QStringLiteral("All cores"));
  modelList_ = new QComboBox(this);
  modelList_->addItem(QStringLiteral("Classic"));
  modelList_->addItem(QStringLiteral("Refined (M/M/1/K, shared bottlenecks)"));
  modelList_->setToolTip(
      QStringLiteral("Classic: the formulas as first described, for comparison with earlier dumps.\n"
                     "Refined: queues agree with M/M/1/K theory and TCP classes share their bottlenecks."));

  auto* grid = new QGridLayout;
  grid->addWidget(new QLabel(QStringLiteral("Total Time:"), this), 0, 0);
  grid->addWidget(totalTimeEdit_, 0, 1, 1, 2);
  grid->addWidget(new QLabel(QStringLiteral("Running step:"), this), 1, 0);
  grid->addWidget(runningStepEdit_, 1, 1, 1, 2);
  grid->addWidget(new QLabel(QStringLiteral("Dump Interval:"), this), 2, 0);
  grid->addWidget(dumpIntervalEdit_, 2, 1, 1, 2);
  grid->addWidget(new QLabel(QStringLiteral("Output File:"), this), 3, 0);
  grid->addWidget(fileEdit_, 3, 1);
  grid->addWidget(browseButton_, 3, 2);
  grid->addWidget(new QLabel(QStringLiteral("Profile to use:"), this), 4, 0);
  grid->addWidget(profileList_, 4, 1, 1, 2);
  grid->addWidget(new QLabel(QStringLiteral("Model:"), this), 5, 0);
  grid->addWidget(modelList_, 5, 1, 1, 2);
  grid->addWidget(new QLabel(QStringLiteral("Threads:"), this), 6, 0);
  grid->addWidget(threadsSpin_, 6, 1, 1, 2);

  connect(browseButton_, &QPushButton::clicked, this, &CComputationDlg::OnBrowse);
  LayOutWithButtons(grid);

  exchange_.Double(dumpIntervalEdit_, &dumpInterval, kDumpIntervalRange.minimum, kDumpIntervalRange.maximum)
      .Text(fileEdit_, &dumpFilePath)
      .Double(runningStepEdit_, &runningStep, kRunningStepRange.minimum, kRunningStepRange.maximum)
      .Double(totalTimeEdit_, &totalTime, kTotalTimeRange.minimum, kTotalTimeRange.maximum)
      .ComboIndex(profileList_, &profile)
      .ComboIndex(modelList_, &model);
}

void CComputationDlg::SetParameters(const ComputationParameters& parameters) {
  totalTime = parameters.totalTime;
  runningStep = parameters.runningStep;
  dumpInterval = parameters.dumpInterval;
  dumpFilePath = parameters.dumpFilePath;
  profile = parameters.tcpProfile;
  workerThreads = parameters.workerThreads;
  threadsSpin_->setValue(workerThreads);
  model = static_cast<int>(parameters.model);
}

ComputationParameters CComputationDlg::Parameters() const {
  ComputationParameters parameters;
  parameters.totalTime = totalTime;
  parameters.runningStep = runningStep;
  parameters.dumpInterval = dumpInterval;
  parameters.dumpFilePath = dumpFilePath;
  parameters.tcpProfile = profile;
  parameters.workerThreads = threadsSpin_->value();
  parameters.model = model == 1 ? EvaluationModel::kRefined : EvaluationModel::kClassic;
  return parameters;
}

void CComputationDlg::OnExchangeDone() {
  dumpFilePath = ApplyDumpExtension(dumpFilePath);
}

void CComputationDlg::OnBrowse() {
  if (!exchange_.FromControls(this)) return;
  OnExchangeDone();
  const QString path =
      PromptFileName(this, FilePromptKind::kSave, QStringLiteral("Dump Files (*.dmp);;All Files (*)"),
                     QStringLiteral("dmp"), QString::fromStdString(dumpFilePath));
  if (path.isEmpty()) return;
  dumpFilePath = QFileInfo(path).absoluteFilePath().toStdString();
  exchange_.ToControls();
}

}  // namespace varlo
