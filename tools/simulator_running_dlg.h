// "ns is running" / "qns is running": a modal window over a simulator run that shows the elapsed
// seconds and offers Cancel, which ends the simulator process. The window polls the process, so
// the program keeps painting while the simulator works.
#pragma once

#include <QDialog>
#include <QElapsedTimer>
#include <memory>

#include "platform/core/process_runner.h"

class QLabel;
class QPushButton;
class QTimer;

namespace varlo {

class CSimulatorRunningDlg : public QDialog {
  Q_OBJECT

 public:
  // caption: "ns is running" or "qns is running". The run must have been started.
  CSimulatorRunningDlg(CSimulatorRun& run, const QString& caption, QWidget* parent = nullptr);

  // Shows the window (through ExecDialog) until the run ends or is cancelled; returns the report.
  SimulatorReport Execute();

  QLabel* ElapsedText() const { return elapsed_; }
  QPushButton* CancelButton() const { return cancelButton_; }
  const SimulatorReport& Report() const { return report_; }
  bool Finished() const { return finished_; }

 protected:
  // Cancel, Escape and the close box end the simulator.
  void reject() override;

 private:
  void OnTick();

  CSimulatorRun& run_;
  SimulatorReport report_;
  bool finished_ = false;
  QElapsedTimer clock_;
  QLabel* elapsed_;
  QPushButton* cancelButton_;
  QTimer* timer_;
};

}  // namespace varlo
