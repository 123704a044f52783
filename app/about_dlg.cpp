#include "app/about_dlg.h"

#include <QDialogButtonBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace varlo {

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("About Varlo"));
  setObjectName(QStringLiteral("AboutDlg"));

  auto* icon = new QLabel(this);
  icon->setObjectName(QStringLiteral("AppIcon"));
  icon->setPixmap(QIcon(QStringLiteral(":/app/varlo.png")).pixmap(32, 32));
  icon->setAlignment(Qt::AlignTop | Qt::AlignHCenter);

  auto* group = new QGroupBox(QStringLiteral("Varlo Version 1.0"), this);
  auto* text = new QLabel(
      QStringLiteral(
          "This program implements the Z-iteration evaluation method for a network with TCP and UDP "
          "flows."),
      group);
  text->setWordWrap(true);
  text->setMinimumWidth(330);
  auto* more = new QLabel(
      QStringLiteral("Draw a network of nodes and links, define its traffic classes, compute the routes and "
                     "evaluate queues and flows over time.\n\n"
                     "Networks are kept in \".net\" files and traffic in \".cls\" files. "
                     "Help > Contents explains every command."),
      group);
  more->setWordWrap(true);
  more->setMinimumWidth(330);
  auto* groupLayout = new QVBoxLayout(group);
  groupLayout->addWidget(text);
  groupLayout->addWidget(more);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

  auto* body = new QHBoxLayout;
  body->addWidget(icon);
  body->addWidget(group, 1);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(body);
  layout->addWidget(buttons);
  // Sized to its wrapped text; the box cannot be resized.
  layout->setSizeConstraint(QLayout::SetFixedSize);
}

}  // namespace varlo
