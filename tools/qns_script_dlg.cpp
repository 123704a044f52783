#include "tools/qns_script_dlg.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <limits>

#include "model/document.h"
#include "simulators/qns_script.h"

namespace varlo {

CQNSScriptDlg::CQNSScriptDlg(CVarloDoc& doc, QWidget* parent)
    : CScriptDlg(doc,
                 ScriptKind{QStringLiteral("Generate QNS Script"), DefaultQNSScriptName(doc.GetTitle()),
                            kQNSScriptExtension, QStringLiteral("Script Files (*.qns)"),
                            QStringLiteral("qns"), QStringLiteral("Run QNS after generating the script"),
                            QStringLiteral("Simulation Length (sec)")},
                 parent) {
  countEdit_ = new QLineEdit(this);
  resolutionEdit_ = new QLineEdit(this);
  serviceEdit_ = new QLineEdit(this);
  AddRow(QStringLiteral("Number of Simulations"), countEdit_);
  AddRow(QStringLiteral("Dump Resolution"), resolutionEdit_);
  AddRow(QStringLiteral("Link Service (2/3)"), serviceEdit_);
  AddRow(QStringLiteral("Monitor Queues"), queueList_, Qt::AlignTop);
  AddRunBox();
  FinishLayout();

  exchange_.Text(scriptEdit_, &scriptFile)
      .Double(lengthEdit_, &simulationLength, 0, 1e17)
      .Int(countEdit_, &simulationCount, 1, std::numeric_limits<int>::max())
      .Double(resolutionEdit_, &dumpResolution, 1e-11, 1e10)
      .Int(serviceEdit_, &linkService, 2, 3)
      .Check(runBox_, &runQNS);
}

}  // namespace varlo
