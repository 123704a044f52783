// "Generate NS Script": the script file, the simulation length, the queues to monitor, whether to
// run ns at once, the largest random start delay of a class, whether the UDP Poisson sources are
// made truly Poisson and whether ns follows Varlo's routes. The fields start from the
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
  int poissonSources = 0;      // UDP Poisson sources truly Poisson (off: the script as first written)
  int varloRoutes = 0;         // ns routes along Varlo's routes (off: ns routes by itself)

  QLineEdit* DelayEdit() const { return delayEdit_; }
  QCheckBox* PoissonBox() const { return poissonBox_; }

 private:
  QLineEdit* delayEdit_;
  QCheckBox* poissonBox_;
  QCheckBox* routesBox_;
};

}  // namespace varlo
