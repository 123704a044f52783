#include "results/class_times_dlg.h"

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

  okButton = new QPushButton(QStringLiteral("OK"), this);
  okButton->setDefault(true);
  cancelButton = new QPushButton(QStringLiteral("Cancel"), this);
  connect(okButton, &QPushButton::clicked, this, &QDialog::accept);
  connect(cancelButton, &QPushButton::clicked, this, &QDialog::reject);
  auto* buttons = new QVBoxLayout();
  buttons->addWidget(okButton);
  buttons->addWidget(cancelButton);
  buttons->addStretch();
  auto* top = new QHBoxLayout(this);
  top->addLayout(form);
  top->addLayout(buttons);

  exchange_.Double(startEdit, &startTime, 0.0, 100000000.0).Double(stopEdit, &stopTime, 0.0, 100000000.0);
}

}  // namespace varlo
