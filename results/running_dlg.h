// "Computation is running": the evaluation runs on a worker thread while this modal window shows
// the progress text ("Current Time : %lf"), a progress bar over the total time and a Cancel
// button. Being modal, it keeps the document from being edited during the run; cancelling stops
// the run between two steps and leaves the dump rows written so far.
#pragma once

#include <QDialog>
#include <QString>
#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "engine/run.h"

class QLabel;
class QProgressBar;
class QPushButton;
class QTimer;

namespace varlo {

class CVarloDoc;

class CRunningDlg : public QDialog {
  Q_OBJECT

 public:
  CRunningDlg(CVarloDoc& doc, RunMethod method, QWidget* parent = nullptr);
  ~CRunningDlg() override;

  // Receives every progress text too (the status bar's first pane).
  void SetStatusSink(std::function<void(const QString&)> sink) { statusSink_ = std::move(sink); }

  // Runs the evaluation on a worker thread and shows the window until it ends; then notifies the
  // document's views with hint 0 on the window thread.
  RunResult Execute();

  // Asks the run to stop after the current step (the Cancel button).
  void Cancel();
  bool CancelRequested() const { return cancel_.load(); }

  QLabel* TextField() const { return text_; }
  QProgressBar* ProgressBar() const { return bar_; }
  QPushButton* CancelButton() const { return cancelButton_; }

 protected:
  // Escape and the close box cancel the run; the window closes when the run has stopped.
  void reject() override;

 private:
  void ShowProgress();

  CVarloDoc& doc_;
  RunMethod method_;
  std::atomic<bool> cancel_{false};
  std::atomic<bool> finished_{false};
  std::mutex progressMutex_;
  std::string progressText_;   // guarded by progressMutex_
  double progressTime_ = 0.0;  // s, guarded by progressMutex_
  bool progressChanged_ = false;
  RunResult result_;
  std::thread worker_;
  QLabel* text_;
  QProgressBar* bar_;
  QPushButton* cancelButton_;
  QTimer* timer_;
  std::function<void(const QString&)> statusSink_;
};

}  // namespace varlo
