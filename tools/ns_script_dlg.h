// "Generate NS Script": the script file, the simulation length, the queues to monitor, whether to
// run ns at once and the largest random start delay of a class. The fields start from the
// document (title + ".tcl", its total time) every time the dialog is made.
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

// The queue list of both script dialogs: for every link in list order the forward then the
// backward queue, each shown as "from\t -> to" and carrying its queue.
void FillMonitorQueueList(QListWidget* list, const CVarloDoc& doc);
// The selected queues, each once, in list order.
std::vector<CQueue*> SelectedMonitorQueues(const QListWidget* list);

class CNSScriptDlg : public CExchangeDialog {
  Q_OBJECT

 public:
  explicit CNSScriptDlg(CVarloDoc& doc, QWidget* parent = nullptr);

  std::string scriptFile;
  double simulationLength = 15.0;  // s
  int runNS = 1;
  double maxStartDelay = 0.0;  // s
  std::vector<CQueue*> monitoredQueues;

  QLineEdit* ScriptFileEdit() const { return scriptEdit_; }
  QPushButton* BrowseButton() const { return browseButton_; }
  QLineEdit* SimulationLengthEdit() const { return lengthEdit_; }
  QListWidget* QueueList() const { return queueList_; }
  QCheckBox* RunBox() const { return runBox_; }
  QLineEdit* DelayEdit() const { return delayEdit_; }

  void accept() override;
  // "...": takes the values from the controls, then asks for the script file to save to.
  void OnBrowse();

 protected:
  void OnExchangeDone() override;

 private:
  CVarloDoc& doc_;
  QLineEdit* scriptEdit_;
  QPushButton* browseButton_;
  QLineEdit* lengthEdit_;
  QListWidget* queueList_;
  QCheckBox* runBox_;
  QLineEdit* delayEdit_;
};

}  // namespace varlo
