#include "editor/class_times_dlg.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace varlo {

CClassTimesDlg::CClassTimesDlg(QWidget* parent) : CExchangeDialog(parent) {
  setWindowTitle(QStringLiteral("Set some parameters for the class"));
  startEdit = new QLineEdit(this);
  startEdit->setObjectName(QStringLiteral("1034"));
  stopEdit = new QLineEdit(this);
  stopEdit->setObjectName(QStringLiteral("1035"));
  auto* form = new QFormLayout();
  form->addRow(QStringLiteral("Start Time (sec):"), startEdit);
  form->addRow(QStringLiteral("StopTime (sec):"), stopEdit);

  LayOutWithButtons(form, okButton, cancelButton);

  exchange_.Double(startEdit, &startTime, 0.0, 100000000.0).Double(stopEdit, &stopTime, 0.0, 100000000.0);
}

}  // namespace varlo
