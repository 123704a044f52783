#include "tools/gen_traffic_dlg.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include "simulators/traffic_generators.h"

namespace varlo {

CGenTrafficDlg::CGenTrafficDlg(QWidget* parent) : CExchangeDialog(parent) {
  setWindowTitle(QStringLiteral("Generate Traffic Classes"));
  sourceEdit_ = new QLineEdit(this);
  destinationEdit_ = new QLineEdit(this);
  lowerEdit_ = CreateDigitsEdit(this);
  upperEdit_ = CreateDigitsEdit(this);
  startEdit_ = new QLineEdit(this);
  stopEdit_ = new QLineEdit(this);

  auto* grid = new QGridLayout;
  grid->addWidget(new QLabel(QStringLiteral("From all nodes containg"), this), 0, 0);
  grid->addWidget(sourceEdit_, 0, 1);
  grid->addWidget(new QLabel(QStringLiteral("in their names "), this), 0, 2);
  grid->addWidget(new QLabel(QStringLiteral("To all nodes containg"), this), 1, 0);
  grid->addWidget(destinationEdit_, 1, 1);
  grid->addWidget(new QLabel(QStringLiteral("in their names "), this), 1, 2);
  auto* counts = new QHBoxLayout;
  counts->addWidget(new QLabel(QStringLiteral("between "), this));
  counts->addWidget(lowerEdit_);
  counts->addWidget(new QLabel(QStringLiteral("and"), this));
  counts->addWidget(upperEdit_);
  grid->addLayout(counts, 2, 0, 1, 3);
  grid->addWidget(new QLabel(QStringLiteral("Start time for generated classes:"), this), 3, 0);
  grid->addWidget(startEdit_, 3, 1);
  grid->addWidget(new QLabel(QStringLiteral("Stop time for generated classes:"), this), 4, 0);
  grid->addWidget(stopEdit_, 4, 1);

  LayOutWithButtons(grid);

  exchange_.Text(sourceEdit_, &sourceFilter)
      .Text(destinationEdit_, &destinationFilter)
      .Unsigned(lowerEdit_, &lowerCount)
      .Unsigned(upperEdit_, &upperCount)
      .Double(startEdit_, &startTime, 0, 1000000)
      .Double(stopEdit_, &stopTime, 0, 1000000);
}

TrafficGenerationOptions CGenTrafficDlg::Options() const {
  TrafficGenerationOptions options;
  options.sourceFilter = sourceFilter;
  options.destinationFilter = destinationFilter;
  options.lowerCount = lowerCount;
  options.upperCount = upperCount;
  options.startTime = startTime;
  options.stopTime = stopTime;
  return options;
}

void CGenTrafficDlg::accept() {
  if (!exchange_.FromControls(this)) return;
  if (const auto message = CheckCountInterval(lowerCount, upperCount)) {
    ShowMessageBox(this, QString::fromStdString(*message));
    upperEdit_->setFocus();
    upperEdit_->selectAll();
    return;
  }
  QDialog::accept();
}

}  // namespace varlo
