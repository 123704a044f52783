// "Generate QNS Script": the script file, the simulation length, the number of simulations, the
// dump resolution, the link service (2 or 3), the queues to monitor and whether to run qns. The
// fields start from the document (title + ".qns", its total time) every time the dialog is made.
#pragma once

#include "tools/script_dlg.h"

namespace varlo {

class CQNSScriptDlg : public CScriptDlg {
  Q_OBJECT

 public:
  explicit CQNSScriptDlg(CVarloDoc& doc, QWidget* parent = nullptr);

  int simulationCount = 1;
  double dumpResolution = 0.1;  // s
  int linkService = 3;
  int runQNS = 1;

  QLineEdit* SimulationCountEdit() const { return countEdit_; }
  QLineEdit* DumpResolutionEdit() const { return resolutionEdit_; }
  QLineEdit* LinkServiceEdit() const { return serviceEdit_; }

 private:
  QLineEdit* countEdit_;
  QLineEdit* resolutionEdit_;
  QLineEdit* serviceEdit_;
};

}  // namespace varlo
