#include "editor/node_dialog.h"

#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "model/document_edits.h"
#include "model/graphic_node.h"

namespace varlo {

CNodeDialog::CNodeDialog(QWidget* parent) : CExchangeDialog(parent) {
  setWindowTitle(QStringLiteral("Set Node Options"));
  nameEdit = new QLineEdit(this);
  nameEdit->setObjectName(QStringLiteral("1003"));
  shapeList = new QComboBox(this);
  shapeList->setObjectName(QStringLiteral("1011"));
  for (const char* shapeName : kShapeNames) shapeList->addItem(QString::fromLatin1(shapeName));
  sizeEdit = CreateDigitsEdit(this);
  sizeEdit->setObjectName(QStringLiteral("1005"));
  QWidget* sizeRow = WithSpinButtons(sizeEdit, this);

  auto* form = new QFormLayout();
  form->addRow(QStringLiteral("Name :"), nameEdit);
  form->addRow(QStringLiteral("Shape :"), shapeList);
  form->addRow(QStringLiteral("Size:"), sizeRow);

  foreButton = new QPushButton(QStringLiteral("Set Fore Color"), this);
  backButton = new QPushButton(QStringLiteral("Set Back Color"), this);
  textButton = new QPushButton(QStringLiteral("Set Text Color"), this);
  for (QPushButton* b : {foreButton, backButton, textButton}) b->setAutoDefault(false);
  connect(foreButton, &QPushButton::clicked, this, [this] { PickColor(this, foreColor); });
  connect(backButton, &QPushButton::clicked, this, [this] { PickColor(this, backColor); });
  connect(textButton, &QPushButton::clicked, this, [this] { PickColor(this, textColor); });
  auto* colours = new QVBoxLayout();
  colours->addWidget(foreButton);
  colours->addWidget(backButton);
  colours->addWidget(textButton);

  auto* left = new QVBoxLayout();
  left->addLayout(form);
  left->addLayout(colours);
  LayOutWithButtons(left, okButton, cancelButton);

  exchange_.Int(sizeEdit, &size, 3, 20).Text(nameEdit, &name).ComboIndex(shapeList, &shape);
}

void CNodeDialog::LoadFrom(const CGraphicNode& node) {
  textColor = node.textColor;
  foreColor = node.foreColor;
  backColor = node.backColor;
  size = node.size;
  name = node.GetName();
  shape = node.shape;
}

void CNodeDialog::StoreTo(CGraphicNode& node) const {
  node.textColor = textColor;
  node.backColor = backColor;
  node.foreColor = foreColor;
  node.SetName(name);
  node.shape = shape;
  // The host, join and net icons are drawn at their own 32-pixel size; the switch icon and the
  // drawn shapes keep the size entered.
  const bool fixedIcon = shape == kShapeIconHost || shape == kShapeIconJoin || shape == kShapeIconNet;
  node.size = fixedIcon ? 16 : size;
}

void CNodeDialog::StoreTo(NodeProperties& values) const {
  values.textColor = textColor;
  values.backColor = backColor;
  values.foreColor = foreColor;
  values.name = name;
  values.shape = shape;
  const bool fixedIcon = shape == kShapeIconHost || shape == kShapeIconJoin || shape == kShapeIconNet;
  values.size = fixedIcon ? 16 : size;
}

bool EditNodeProperties(const CGraphicNode& node, NodeProperties& values, QWidget* parent) {
  CNodeDialog dialog(parent);
  dialog.LoadFrom(node);
  if (ExecDialog(dialog) != QDialog::Accepted) return false;
  dialog.StoreTo(values);
  return true;
}

bool EditNodeProperties(CGraphicNode& node, QWidget* parent) {
  CNodeDialog dialog(parent);
  dialog.LoadFrom(node);
  if (ExecDialog(dialog) != QDialog::Accepted) return false;
  dialog.StoreTo(node);
  return true;
}

}  // namespace varlo
