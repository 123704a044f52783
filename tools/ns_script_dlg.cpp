#include "tools/ns_script_dlg.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>

#include "model/document.h"
#include "simulators/ns_script.h"

namespace varlo {

CNSScriptDlg::CNSScriptDlg(CVarloDoc& doc, QWidget* parent)
    : CScriptDlg(doc,
                 ScriptKind{QStringLiteral("Generate NS Script"), DefaultNSScriptName(doc.GetTitle()),
                            kNSScriptExtension, QStringLiteral("Script Files (*.tcl)"), QStringLiteral("tcl"),
                            QStringLiteral("Run NS after generating the script"),
                            QStringLiteral("Simulation Length(sec) ")},
                 parent) {
  delayEdit_ = new QLineEdit(this);
  AddRow(QStringLiteral("Monitor Queues:"), queueList_, Qt::AlignTop);
  AddRunBox();
  AddRow(QStringLiteral("Random delay from start to"), delayEdit_);
  poissonBox_ = new QCheckBox(QStringLiteral("True Poisson UDP sources (exponential gaps at the class rate)"), this);
  AddRow(QString(), poissonBox_);
  routesBox_ = new QCheckBox(QStringLiteral("Route along Varlo's routes (ties broken as Varlo does)"), this);
  AddRow(QString(), routesBox_);
  FinishLayout();

  exchange_.Text(scriptEdit_, &scriptFile)
      .Double(lengthEdit_, &simulationLength, 1, 100000)
      .Check(runBox_, &runNS)
      .Double(delayEdit_, &maxStartDelay, 0, 1000000)
      .Check(poissonBox_, &poissonSources)
      .Check(routesBox_, &varloRoutes);
}

}  // namespace varlo
