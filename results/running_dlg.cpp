#include "results/running_dlg.h"

#include <QEventLoop>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

#include "model/document.h"

namespace varlo {

namespace {

// How often the window takes the run's latest progress, ms: the run may write rows far faster
// than a window can show them.
constexpr int kProgressPollMs = 50;
constexpr int kBarSteps = 1000;

}  // namespace

CRunningDlg::CRunningDlg(CVarloDoc& doc, RunMethod method, QWidget* parent)
    : QDialog(parent), doc_(doc), method_(method) {
  setWindowTitle(QStringLiteral("Computation is running"));
  setModal(true);
  text_ = new QLabel(this);
  text_->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  text_->setMinimumWidth(240);
  bar_ = new QProgressBar(this);
  bar_->setRange(0, kBarSteps);
  bar_->setValue(0);
  cancelButton_ = new QPushButton(QStringLiteral("Cancel"), this);
  connect(cancelButton_, &QPushButton::clicked, this, &CRunningDlg::Cancel);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(text_);
  layout->addWidget(bar_);
  auto* row = new QHBoxLayout;
  row->addStretch();
  row->addWidget(cancelButton_);
  layout->addLayout(row);
  timer_ = new QTimer(this);
  timer_->setInterval(kProgressPollMs);
  connect(timer_, &QTimer::timeout, this, &CRunningDlg::ShowProgress);
}

CRunningDlg::~CRunningDlg() {
  if (worker_.joinable()) {
    cancel_ = true;
    worker_.join();
  }
}

void CRunningDlg::Cancel() {
  cancel_ = true;
  cancelButton_->setEnabled(false);
}

void CRunningDlg::reject() {
  if (finished_) {
    QDialog::reject();
    return;
  }
  Cancel();
}

void CRunningDlg::ShowProgress() {
  QString text;
  double time = 0.0;
  {
    std::lock_guard<std::mutex> lock(progressMutex_);
    if (!progressChanged_) return;
    progressChanged_ = false;
    text = QString::fromStdString(progressText_);
    time = progressTime_;
  }
  text_->setText(text);
  const double total = doc_.totalTime > 0.0 ? doc_.totalTime : 1.0;
  bar_->setValue(static_cast<int>(std::clamp(time / total, 0.0, 1.0) * kBarSteps));
  if (statusSink_) statusSink_(text);
}

RunResult CRunningDlg::Execute() {
  RunOptions options;
  options.cancel = &cancel_;
  options.progress = [this](const std::string& text, double nextDumpTime) {
    std::lock_guard<std::mutex> lock(progressMutex_);
    progressText_ = text;
    progressTime_ = nextDumpTime;
    progressChanged_ = true;
  };
  finished_ = false;
  worker_ = std::thread([this, options] {
    result_ = Run(doc_, method_, options);
    finished_ = true;
    QMetaObject::invokeMethod(
        this, [this] { done(QDialog::Accepted); }, Qt::QueuedConnection);
  });
  timer_->start();
  exec();
  timer_->stop();
  if (worker_.joinable()) worker_.join();
  ShowProgress();

  // The engine notifies nobody; the views belong to this thread and learn of the new state here.
  doc_.UpdateAllViews(nullptr, kHintGeneral);
  return result_;
}

}  // namespace varlo
