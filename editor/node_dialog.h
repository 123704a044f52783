// "Set Node Options": edits the name, shape, size and colours of one node. The dialog works on
// copies of the values; EditNodeProperties writes them back only when the user confirms.
#pragma once

#include <string>

#include "platform/core/colors.h"
#include "platform/qt/dialog_exchange.h"

class QComboBox;
class QLineEdit;
class QPushButton;

namespace varlo {

class CGraphicNode;
struct NodeProperties;

class CNodeDialog : public CExchangeDialog {
 public:
  explicit CNodeDialog(QWidget* parent = nullptr);

  // Working values.
  std::string name;
  int shape = 0;
  int size = 0;
  ColorRef foreColor = 0;
  ColorRef backColor = 0;
  ColorRef textColor = 0;

  QLineEdit* nameEdit = nullptr;      // 1003
  QComboBox* shapeList = nullptr;     // 1011
  QLineEdit* sizeEdit = nullptr;      // 1005, spin buttons 1004
  QPushButton* foreButton = nullptr;  // 1006
  QPushButton* backButton = nullptr;  // 1007
  QPushButton* textButton = nullptr;  // 1008
  QPushButton* okButton = nullptr;
  QPushButton* cancelButton = nullptr;

  // Loads the working values from the node / writes them back (the icon-size rule included).
  void LoadFrom(const CGraphicNode& node);
  void StoreTo(CGraphicNode& node) const;
  void StoreTo(NodeProperties& values) const;
};

// Opens the node dialog on the node; returns whether the user confirmed (the node is changed
// only then).
bool EditNodeProperties(CGraphicNode& node, QWidget* parent);
// The same on a node of a document: on OK returns the confirmed values in values and leaves the
// node to the edit that applies them.
bool EditNodeProperties(const CGraphicNode& node, NodeProperties& values, QWidget* parent);

}  // namespace varlo
