// "Link parameters": edits both queues of a link (buffer space, service rate, propagation delay)
// and the link's thickness and colours, on copies written back only when the user confirms.
#pragma once

#include <string>

#include "platform/core/colors.h"
#include "platform/qt/dialog_exchange.h"

class QGroupBox;
class QLineEdit;
class QPushButton;

namespace varlo {

class CGraphicLink;
struct LinkProperties;

class CLinkDialog : public CExchangeDialog {
 public:
  explicit CLinkDialog(QWidget* parent = nullptr);

  // Working values; index 0 is the forward queue (first -> second node), 1 the backward queue.
  int bufferSpace[2] = {0, 0};     // packets
  double serviceRate[2] = {0, 0};  // packets/s
  double delay[2] = {0, 0};        // s
  int thickness = 1;
  ColorRef lineColor = 0;
  ColorRef bufferColor1 = 0;
  ColorRef bufferColor2 = 0;
  std::string firstName, secondName;

  QGroupBox* queueGroup[2] = {nullptr, nullptr};  // 1012, 1017
  QLineEdit* rateEdit[2] = {nullptr, nullptr};    // 1013, 1018
  QLineEdit* bufferEdit[2] = {nullptr, nullptr};  // 1014, 1019
  QLineEdit* delayEdit[2] = {nullptr, nullptr};   // 1016, 1021
  QLineEdit* thicknessEdit = nullptr;             // 1022, spin buttons 1023
  QPushButton* lineColorButton = nullptr;         // 1024
  QPushButton* buffer1Button = nullptr;           // 1025
  QPushButton* buffer2Button = nullptr;           // 1026
  QPushButton* okButton = nullptr;
  QPushButton* cancelButton = nullptr;

  void OnInitDialog() override;
  void LoadFrom(const CGraphicLink& link);
  void StoreTo(CGraphicLink& link) const;
  void StoreTo(LinkProperties& values) const;
};

// Opens the link dialog on a new link, not yet in a document, and writes the values back on OK.
bool EditLinkProperties(CGraphicLink& link, QWidget* parent);
// Opens the link dialog on a link of a document; on OK returns the confirmed values in values
// (the link itself is left to the edit that applies them).
bool EditLinkProperties(const CGraphicLink& link, LinkProperties& values, QWidget* parent);

}  // namespace varlo
