#include "editor/link_dialog.h"

#include <limits>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <climits>
#include <cmath>

#include "model/document_edits.h"
#include "model/mm1k_queue.h"
#include "model/graphic_link.h"
#include "model/graphic_node.h"
#include "platform/core/text_format.h"

namespace varlo {

namespace {

constexpr const char* kQueueCaption = "Settings for Queue from %s to %s";

// A buffer size is a double in the model and an integer in the dialog: truncated, and held
// within the integer range so that an absurd value from a file cannot overflow.
int BufferAsInt(double packets) {
  if (!(packets > INT_MIN)) return packets != packets ? 0 : INT_MIN;
  if (packets >= static_cast<double>(INT_MAX)) return INT_MAX;
  return static_cast<int>(std::trunc(packets));
}

}  // namespace

CLinkDialog::CLinkDialog(QWidget* parent) : CExchangeDialog(parent) {
  setWindowTitle(QStringLiteral("Link parameters"));
  static const char* const kIds[2][4] = {{"1012", "1013", "1014", "1016"}, {"1017", "1018", "1019", "1021"}};
  auto* groups = new QHBoxLayout();
  for (int i = 0; i < 2; ++i) {
    queueGroup[i] = new QGroupBox(this);
    queueGroup[i]->setObjectName(QString::fromLatin1(kIds[i][0]));
    rateEdit[i] = new QLineEdit(queueGroup[i]);
    rateEdit[i]->setObjectName(QString::fromLatin1(kIds[i][1]));
    bufferEdit[i] = CreateDigitsEdit(queueGroup[i]);
    bufferEdit[i]->setObjectName(QString::fromLatin1(kIds[i][2]));
    delayEdit[i] = new QLineEdit(queueGroup[i]);
    delayEdit[i]->setObjectName(QString::fromLatin1(kIds[i][3]));
    auto* form = new QFormLayout(queueGroup[i]);
    form->addRow(QStringLiteral("Service Rate (pkts / sec)"), rateEdit[i]);
    form->addRow(QStringLiteral("Buffer Space (pkts)"), bufferEdit[i]);
    form->addRow(QStringLiteral("Propogation Delay (sec)"), delayEdit[i]);
    groups->addWidget(queueGroup[i]);
  }

  thicknessEdit = CreateDigitsEdit(this);
  thicknessEdit->setObjectName(QStringLiteral("1022"));
  QWidget* thicknessRow = WithSpinButtons(thicknessEdit, this);
  lineColorButton = new QPushButton(QStringLiteral("Set Line Color"), this);
  buffer1Button = new QPushButton(QStringLiteral("Set Buff Color 1"), this);
  buffer2Button = new QPushButton(QStringLiteral("Set Buff Color 2"), this);
  for (QPushButton* b : {lineColorButton, buffer1Button, buffer2Button}) b->setAutoDefault(false);
  connect(lineColorButton, &QPushButton::clicked, this, [this] { PickColor(this, lineColor); });
  connect(buffer1Button, &QPushButton::clicked, this, [this] { PickColor(this, bufferColor1); });
  connect(buffer2Button, &QPushButton::clicked, this, [this] { PickColor(this, bufferColor2); });
  auto* linkRow = new QHBoxLayout();
  auto* thicknessForm = new QFormLayout();
  thicknessForm->addRow(QStringLiteral("Line Thickness"), thicknessRow);
  linkRow->addLayout(thicknessForm);
  linkRow->addWidget(lineColorButton);
  linkRow->addWidget(buffer1Button);
  linkRow->addWidget(buffer2Button);

  auto* left = new QVBoxLayout();
  left->addLayout(groups);
  left->addLayout(linkRow);
  LayOutWithButtons(left, okButton, cancelButton);

  // A buffer holds at least the packet in service (kLeastBufferSize).
  exchange_.Int(bufferEdit[0], &bufferSpace[0], 1, std::numeric_limits<int>::max())
      .Int(bufferEdit[1], &bufferSpace[1], 1, std::numeric_limits<int>::max())
      .Double(rateEdit[0], &serviceRate[0], 0.0, 1e12)
      .Double(rateEdit[1], &serviceRate[1], 0.0, 1e12)
      .Int(thicknessEdit, &thickness, 1, 20)
      .Double(delayEdit[0], &delay[0], 0.0, 1e12)
      .Double(delayEdit[1], &delay[1], 0.0, 1e12);
}

void CLinkDialog::OnInitDialog() {
  queueGroup[0]->setTitle(
      QString::fromStdString(Format(kQueueCaption, firstName.c_str(), secondName.c_str())));
  queueGroup[1]->setTitle(
      QString::fromStdString(Format(kQueueCaption, secondName.c_str(), firstName.c_str())));
  CExchangeDialog::OnInitDialog();
}

void CLinkDialog::LoadFrom(const CGraphicLink& link) {
  lineColor = link.lineColor;
  bufferColor1 = link.bufferColor1;
  bufferColor2 = link.bufferColor2;
  thickness = link.thickness;
  const C_MM1K_Queue* queues[2] = {link.GetForwardQueue(), link.GetBackwardQueue()};
  for (int i = 0; i < 2; ++i) {
    bufferSpace[i] = BufferAsInt(queues[i]->bufferSize);
    serviceRate[i] = queues[i]->serviceRate;
    delay[i] = queues[i]->propagationDelay;
  }
  firstName = link.GetFirstNode() ? link.GetFirstNode()->GetName() : std::string();
  secondName = link.GetSecondNode() ? link.GetSecondNode()->GetName() : std::string();
}

void CLinkDialog::StoreTo(CGraphicLink& link) const {
  link.bufferColor1 = bufferColor1;
  link.lineColor = lineColor;
  link.bufferColor2 = bufferColor2;
  link.thickness = thickness;
  C_MM1K_Queue* queues[2] = {link.GetForwardQueue(), link.GetBackwardQueue()};
  for (int i = 0; i < 2; ++i) {
    queues[i]->bufferSize = static_cast<double>(bufferSpace[i]);
    queues[i]->serviceRate = serviceRate[i];
    queues[i]->propagationDelay = delay[i];
  }
}

void CLinkDialog::StoreTo(LinkProperties& values) const {
  values.style = LinkStyle{thickness, lineColor, bufferColor1, bufferColor2};
  QueueProperties* queues[2] = {&values.forward, &values.backward};
  for (int i = 0; i < 2; ++i) {
    queues[i]->bufferSize = static_cast<double>(bufferSpace[i]);
    queues[i]->serviceRate = serviceRate[i];
    queues[i]->propagationDelay = delay[i];
  }
}

bool EditLinkProperties(const CGraphicLink& link, LinkProperties& values, QWidget* parent) {
  CLinkDialog dialog(parent);
  dialog.LoadFrom(link);
  if (ExecDialog(dialog) != QDialog::Accepted) return false;
  values = PropertiesOf(link);
  dialog.StoreTo(values);
  return true;
}

bool EditLinkProperties(CGraphicLink& link, QWidget* parent) {
  CLinkDialog dialog(parent);
  dialog.LoadFrom(link);
  if (ExecDialog(dialog) != QDialog::Accepted) return false;
  dialog.StoreTo(link);
  return true;
}

}  // namespace varlo
