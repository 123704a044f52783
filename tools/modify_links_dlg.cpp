#include "tools/modify_links_dlg.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include "simulators/link_modifier.h"

namespace varlo {

CModifyLinksDlg::CModifyLinksDlg(QWidget* parent) : CExchangeDialog(parent) {
  setWindowTitle(QStringLiteral("Change link speeds"));
  firstEdit_ = new QLineEdit(this);
  secondEdit_ = new QLineEdit(this);
  parameterEdit_ = new QLineEdit(this);
  typeList_ = new QComboBox(this);
  for (const char* name : kLinkModificationNames) typeList_->addItem(QString::fromLatin1(name));

  auto* group = new QGroupBox(QStringLiteral("Modify the link speed"), this);
  auto* grid = new QGridLayout(group);
  grid->addWidget(new QLabel(QStringLiteral("Between all nodes containing"), group), 0, 0);
  grid->addWidget(firstEdit_, 0, 1);
  grid->addWidget(new QLabel(QStringLiteral("in their names "), group), 0, 2);
  grid->addWidget(new QLabel(QStringLiteral("and nodes containing"), group), 1, 0);
  grid->addWidget(secondEdit_, 1, 1);
  grid->addWidget(new QLabel(QStringLiteral("in their names "), group), 1, 2);
  grid->addWidget(new QLabel(QStringLiteral("Parameter of modification:"), group), 2, 0);
  grid->addWidget(parameterEdit_, 2, 1, 1, 2);
  grid->addWidget(new QLabel(QStringLiteral("Type of modification:"), group), 3, 0);
  grid->addWidget(typeList_, 3, 1, 1, 2);

  auto* content = new QVBoxLayout;
  content->addWidget(group);
  LayOutWithButtons(content);

  exchange_.Text(firstEdit_, &firstFilter)
      .Text(secondEdit_, &secondFilter)
      .Double(parameterEdit_, &parameter, 0, 1000000000)
      .ComboIndex(typeList_, &type);
}

}  // namespace varlo
