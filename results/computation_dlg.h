// "Computation Properties": total time, running step, dump interval, dump file and the
// program-wide TCP profile, exchanged and checked in the order dump interval, file, running step,
// total time, profile. Taking the values applies the ".dmp" rule to the file name.
#pragma once

#include <string>

#include "engine/computation_parameters.h"
#include "platform/qt/dialog_exchange.h"

class QComboBox;
class QSpinBox;
class QLineEdit;
class QPushButton;

namespace varlo {

class CComputationDlg : public CExchangeDialog {
  Q_OBJECT

 public:
  explicit CComputationDlg(QWidget* parent = nullptr);

  // The members, one per control.
  double totalTime = kDefaultTotalTime;        // s
  double runningStep = kDefaultRunningStep;    // s
  double dumpInterval = kDefaultDumpInterval;  // s
  std::string dumpFilePath;
  int profile = 0;  // 0 "NetBSD 1.2 Profile", 1 "NS Profile"
  int workerThreads = 0;  // program-wide; 0 "All cores"
  int model = 0;    // 0 classic, 1 refined (EvaluationModel)

  void SetParameters(const ComputationParameters& parameters);
  ComputationParameters Parameters() const;

  QLineEdit* TotalTimeEdit() const { return totalTimeEdit_; }
  QLineEdit* RunningStepEdit() const { return runningStepEdit_; }
  QLineEdit* DumpIntervalEdit() const { return dumpIntervalEdit_; }
  QLineEdit* FileEdit() const { return fileEdit_; }
  QComboBox* ProfileList() const { return profileList_; }
  QSpinBox* ThreadsSpin() const { return threadsSpin_; }
  QComboBox* ModelList() const { return modelList_; }
  QPushButton* BrowseButton() const { return browseButton_; }

  // "...": takes the values from the controls, then asks for a dump file to save to.
  void OnBrowse();

 protected:
  void OnExchangeDone() override;

 private:
  QLineEdit* totalTimeEdit_;
  QLineEdit* runningStepEdit_;
  QLineEdit* dumpIntervalEdit_;
  QLineEdit* fileEdit_;
  QComboBox* profileList_;
  QSpinBox* threadsSpin_;
  QComboBox* modelList_;
  QPushButton* browseButton_;
};

}  // namespace varlo
