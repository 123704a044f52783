// What the "Generate NS Script" and "Generate QNS Script" dialogs share: the script file with its
// "..." prompt, the simulation length, the queues to monitor and the run-at-once box, laid out in
// one grid whose further rows each dialog adds. The fields start from the document every time a
// dialog is made; each dialog sets its own exchange order.
#pragma once

#include <QString>
#include <string>
#include <vector>

#include "platform/qt/dialog_exchange.h"

class QCheckBox;
class QGridLayout;
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

class CScriptDlg : public CExchangeDialog {
 public:
  std::string scriptFile;
  double simulationLength = 15.0;  // s
  std::vector<CQueue*> monitoredQueues;

  QLineEdit* ScriptFileEdit() const { return scriptEdit_; }
  QPushButton* BrowseButton() const { return browseButton_; }
  QLineEdit* SimulationLengthEdit() const { return lengthEdit_; }
  QListWidget* QueueList() const { return queueList_; }
  QCheckBox* RunBox() const { return runBox_; }

  void accept() override;
  // "...": takes the values from the controls, then asks for the script file to save to.
  void OnBrowse();

 protected:
  struct ScriptKind {
    QString title;          // the window title
    std::string script;     // the default script file
    const char* extension;  // given to a script name without one
    QString filter;         // of the "..." prompt
    QString suffix;         // default suffix of the prompt
    QString runText;        // the run-at-once box
    QString lengthLabel;
  };
  CScriptDlg(CVarloDoc& doc, ScriptKind kind, QWidget* parent);

  // Puts a label and its field on the grid's next row.
  void AddRow(const QString& label, QWidget* field, Qt::Alignment labelAlignment = {});
  // Puts the run-at-once box on a row of its own.
  void AddRunBox();
  // Ends the layout with the OK/Cancel column and fills the queue list.
  void FinishLayout();
  void OnExchangeDone() override;

  CVarloDoc& doc_;
  QLineEdit* scriptEdit_;
  QPushButton* browseButton_;
  QLineEdit* lengthEdit_;
  QListWidget* queueList_;
  QCheckBox* runBox_;

 private:
  ScriptKind kind_;
  QGridLayout* grid_;
  int nextRow_ = 0;
};

}  // namespace varlo
