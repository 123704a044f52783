#include "tools/simulator_running_dlg.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include "platform/qt/dialog_exchange.h"

namespace varlo {

namespace {
constexpr int kPollIntervalMs = 100;
}

CSimulatorRunningDlg::CSimulatorRunningDlg(CSimulatorRun& run, const QString& caption, QWidget* parent)
    : QDialog(parent), run_(run) {
  setWindowTitle(caption);
  setModal(true);
  auto* message = new QLabel(caption, this);
  elapsed_ = new QLabel(QStringLiteral("Elapsed time (sec) : 0"), this);
  cancelButton_ = new QPushButton(QStringLiteral("Cancel"), this);
  connect(cancelButton_, &QPushButton::clicked, this, &CSimulatorRunningDlg::reject);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(message);
  layout->addWidget(elapsed_);
  auto* row = new QHBoxLayout;
  row->addStretch();
  row->addWidget(cancelButton_);
  layout->addLayout(row);
  setMinimumWidth(260);

  timer_ = new QTimer(this);
  timer_->setInterval(kPollIntervalMs);
  connect(timer_, &QTimer::timeout, this, &CSimulatorRunningDlg::OnTick);
  clock_.start();
  timer_->start();
}

SimulatorReport CSimulatorRunningDlg::Execute() {
  if (run_.Poll()) {
    report_ = run_.Wait();
    finished_ = true;
    return report_;
  }
  ExecDialog(*this);
  // A window closed some other way (a test hook) leaves no simulator behind.
  if (!finished_) {
    report_ = run_.Cancel();
    finished_ = true;
  }
  return report_;
}

void CSimulatorRunningDlg::OnTick() {
  elapsed_->setText(QStringLiteral("Elapsed time (sec) : %1").arg(clock_.elapsed() / 1000));
  if (finished_ || !run_.Poll()) return;
  timer_->stop();
  report_ = run_.Wait();
  finished_ = true;
  QDialog::accept();
}

void CSimulatorRunningDlg::reject() {
  timer_->stop();
  if (!finished_) {
    report_ = run_.Cancel();
    finished_ = true;
  }
  QDialog::reject();
}

}  // namespace varlo
