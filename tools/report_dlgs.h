// The reports after a simulator run: "NS Run Report" and "QNS Run Report" with the exit code and
// the running time in whole seconds, and the simulator's error output in a section that opens on
// demand (the first thing to read when a run fails).
#pragma once

#include <QDialog>

#include "platform/core/process_runner.h"

class QLabel;
class QPlainTextEdit;
class QToolButton;

namespace varlo {

class CSimulatorReportDlg : public QDialog {
  Q_OBJECT

 public:
  QLabel* ExitCodeText() const { return exitCode_; }
  QLabel* RunningTimeText() const { return runningTime_; }
  QToolButton* OutputToggle() const { return outputToggle_; }
  QPlainTextEdit* OutputEdit() const { return output_; }
  QLabel* FilesNote() const { return filesNote_; }  // null without a note

 protected:
  CSimulatorReportDlg(const SimulatorReport& report, const QString& caption, const QString& exitLabel,
                      const QString& outputLabel, QWidget* parent, const QString& filesNote = QString());

 private:
  QLabel* exitCode_;
  QLabel* runningTime_;
  QToolButton* outputToggle_;
  QPlainTextEdit* output_;
  QLabel* filesNote_ = nullptr;
};

class CReportNSDlg : public CSimulatorReportDlg {
  Q_OBJECT

 public:
  // filesNote (where the script and the monitor files are) is shown under the running time.
  explicit CReportNSDlg(const SimulatorReport& report, QWidget* parent = nullptr,
                        const QString& filesNote = QString());
};

class CReportQNSDlg : public CSimulatorReportDlg {
  Q_OBJECT

 public:
  explicit CReportQNSDlg(const SimulatorReport& report, QWidget* parent = nullptr);
};

}  // namespace varlo
