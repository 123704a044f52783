// "Generate QNS Script": the script file, the simulation length, the number of simulations, the
// dump resolution, the link service (2 or 3), the queues to monitor and whether to run qns. The
// fields start from the document (title + ".qns", its total time) every time the dialog is made.
#pragma once

#include <string>
#include <vector>

#include "platform/qt/dialog_exchange.h"

class QCheckBox;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace varlo {

class CQueue;
class CVarloDoc;

class CQNSScriptDlg : public CExchangeDialog {
  Q_OBJECT

 public:
  explicit CQNSScriptDlg(CVarloDoc& doc, QWidget* parent = nullptr);

  std::string scriptFile;
  double simulationLength = 15.0;  // s
  int simulationCount = 1;
  double dumpResolution = 0.1;  // s
  int linkService = 3;
  int runQNS = 1;
  std::vector<CQueue*> monitoredQueues;

  QLineEdit* ScriptFileEdit() const { return scriptEdit_; }
  QPushButton* BrowseButton() const { return browseButton_; }
  QLineEdit* SimulationLengthEdit() const { return lengthEdit_; }
  QLineEdit* SimulationCountEdit() const { return countEdit_; }
  QLineEdit* DumpResolutionEdit() const { return resolutionEdit_; }
  QLineEdit* LinkServiceEdit() const { return serviceEdit_; }
  QListWidget* QueueList() const { return queueList_; }
  QCheckBox* RunBox() const { return runBox_; }

  void accept() override;
  void OnBrowse();

 protected:
  void OnExchangeDone() override;

 private:
  CVarloDoc& doc_;
  QLineEdit* scriptEdit_;
  QPushButton* browseButton_;
  QLineEdit* lengthEdit_;
  QLineEdit* countEdit_;
  QLineEdit* resolutionEdit_;
  QLineEdit* serviceEdit_;
  QListWidget* queueList_;
  QCheckBox* runBox_;
};

}  // namespace varlo
