#include "tools/report_dlgs.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QToolButton>
#include <QVBoxLayout>

namespace varlo {

CSimulatorReportDlg::CSimulatorReportDlg(const SimulatorReport& report, const QString& caption,
                                         const QString& exitLabel, const QString& outputLabel,
                                         QWidget* parent, const QString& filesNote)
    : QDialog(parent) {
  setWindowTitle(caption);
  exitCode_ = new QLabel(QString::number(static_cast<long>(report.exitCode)), this);
  runningTime_ = new QLabel(QString::number(report.runningTime), this);

  auto* grid = new QGridLayout;
  grid->addWidget(new QLabel(exitLabel, this), 0, 0);
  grid->addWidget(exitCode_, 0, 1);
  grid->addWidget(new QLabel(QStringLiteral("Running Time was (sec)"), this), 1, 0);
  grid->addWidget(runningTime_, 1, 1);
  int row = 2;
  if (report.cancelled) {
    grid->addWidget(new QLabel(QStringLiteral("The run was cancelled."), this), row++, 0, 1, 2);
  }
  if (!filesNote.isEmpty()) {
    filesNote_ = new QLabel(filesNote, this);
    filesNote_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    grid->addWidget(filesNote_, row++, 0, 1, 2);
  }

  outputToggle_ = new QToolButton(this);
  outputToggle_->setText(outputLabel);
  outputToggle_->setCheckable(true);
  outputToggle_->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  outputToggle_->setArrowType(Qt::RightArrow);
  outputToggle_->setAutoRaise(true);
  output_ = new QPlainTextEdit(this);
  output_->setReadOnly(true);
  output_->setLineWrapMode(QPlainTextEdit::NoWrap);
  output_->setPlainText(
      QString::fromLocal8Bit(report.outputLines.data(), static_cast<qsizetype>(report.outputLines.size())));
  output_->setVisible(false);
  output_->setMinimumSize(460, 160);
  connect(outputToggle_, &QToolButton::toggled, this, [this](bool open) {
    outputToggle_->setArrowType(open ? Qt::DownArrow : Qt::RightArrow);
    output_->setVisible(open);
    adjustSize();
  });

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(grid);
  layout->addWidget(outputToggle_);
  layout->addWidget(output_, 1);
  layout->addWidget(buttons);
  // A failed run opens with its output shown: that is what the user came to read.
  if (report.exitCode != 0 && !report.outputLines.empty()) outputToggle_->setChecked(true);
}

CReportNSDlg::CReportNSDlg(const SimulatorReport& report, QWidget* parent, const QString& filesNote)
    : CSimulatorReportDlg(report, QStringLiteral("NS Run Report"), QStringLiteral("NS Exit with error code"),
                          QStringLiteral("NS Output"), parent, filesNote) {}

CReportQNSDlg::CReportQNSDlg(const SimulatorReport& report, QWidget* parent)
    : CSimulatorReportDlg(report, QStringLiteral("QNS Run Report"),
                          QStringLiteral("QNS Exit with error code:"), QStringLiteral("QNS output"), parent) {
}

}  // namespace varlo
