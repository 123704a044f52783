// "Generate NS Script": the script file, the simulation length, the queues to monitor, whether to
// run ns at once and the largest random start delay of a class. The fields start from the
// document (title + ".tcl", its total time) every time the dialog is made.
#pragma once

#include "tools/script_dlg.h"

namespace varlo {

class CNSScriptDlg : public CScriptDlg {
  Q_OBJECT

 public:
  explicit CNSScriptDlg(CVarloDoc& doc, QWidget* parent = nullptr);

  int runNS = 1;
  double maxStartDelay = 0.0;  // s

  QLineEdit* DelayEdit() const { return delayEdit_; }

 private:
  QLineEdit* delayEdit_;
};

}  // namespace varlo
