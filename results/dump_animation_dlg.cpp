#include "results/dump_animation_dlg.h"

#include <QComboBox>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QTimer>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/qt/file_dialogs.h"
#include "engine/dump_file.h"
#include "model/archive.h"
#include "model/document.h"
#include "engine/graph_creation.h"
#include "results/computation_commands.h"

namespace varlo {

CDumpAnimationDlg::CDumpAnimationDlg(CVarloDoc& doc, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint), dumpFilePath(OfferedDumpFile(doc)), doc_(doc) {
  setModal(true);
  fileEdit_ = new QLineEdit(this);
  timeLabel_ = new QLabel(QStringLiteral("0:00"), this);
  timeLabel_->setMinimumWidth(90);
  browseButton_ = new QPushButton(QStringLiteral("..."), this);
  stepButton_ = new QPushButton(QStringLiteral(">"), this);
  fastButton_ = new QPushButton(QStringLiteral(">>"), this);
  stopButton_ = new QPushButton(QStringLiteral("Stop"), this);
  stopButton_->setDefault(true);
  playButton_ = new QPushButton(QStringLiteral("Play"), this);
  speedBox_ = new QComboBox(this);
  for (int speed : kSpeeds) speedBox_->addItem(QStringLiteral("%1 rows/s").arg(speed), speed);
  speedBox_->setCurrentIndex(2);
  noteLabel_ = new QLabel(this);
  noteLabel_->setWordWrap(true);
  noteLabel_->hide();
  playTimer_ = new QTimer(this);
  for (QPushButton* b : {browseButton_, stepButton_, fastButton_, playButton_}) b->setAutoDefault(false);
  browseButton_->setFixedWidth(28);

  auto* layout = new QGridLayout(this);
  layout->addWidget(new QLabel(QStringLiteral("Trace File:"), this), 0, 0);
  layout->addWidget(fileEdit_, 0, 1, 1, 3);
  layout->addWidget(browseButton_, 0, 4);
  layout->addWidget(new QLabel(QStringLiteral("Time:"), this), 1, 0);
  layout->addWidget(timeLabel_, 1, 1);
  layout->addWidget(stepButton_, 1, 2);
  layout->addWidget(fastButton_, 1, 3);
  layout->addWidget(stopButton_, 1, 4);
  modelLabel_ = new QLabel(this);
  modelLabel_->hide();
  layout->addWidget(modelLabel_, 2, 0, 1, 5);
  layout->addWidget(playButton_, 3, 2);
  layout->addWidget(speedBox_, 3, 3, 1, 2);
  layout->addWidget(noteLabel_, 4, 0, 1, 5);
  move(40, 200);

  connect(browseButton_, &QPushButton::clicked, this, &CDumpAnimationDlg::OnBrowse);
  connect(stepButton_, &QPushButton::clicked, this, &CDumpAnimationDlg::OnStep);
  connect(fastButton_, &QPushButton::clicked, this, &CDumpAnimationDlg::OnFastForward);
  connect(stopButton_, &QPushButton::clicked, this, &CDumpAnimationDlg::OnStop);
  connect(playButton_, &QPushButton::clicked, this, &CDumpAnimationDlg::OnPlayPause);
  connect(speedBox_, &QComboBox::currentIndexChanged, this,
          [this] { playTimer_->setInterval(1000 / speedBox_->currentData().toInt()); });
  connect(playTimer_, &QTimer::timeout, this, [this] {
    if (!reader_ && !OpenFile()) {
      Pause();
      return;
    }
    Step();
    if (atEnd_) Pause();  // the last row stays shown; ">" then shows "END"
  });
}

bool CDumpAnimationDlg::IsPlaying() const {
  return playTimer_->isActive();
}

void CDumpAnimationDlg::Pause() {
  playTimer_->stop();
  playButton_->setText(QStringLiteral("Play"));
}

void CDumpAnimationDlg::OnPlayPause() {
  if (IsPlaying()) {
    Pause();
    return;
  }
  playTimer_->start(1000 / speedBox_->currentData().toInt());
  playButton_->setText(QStringLiteral("Pause"));
}

CDumpAnimationDlg::~CDumpAnimationDlg() = default;

void CDumpAnimationDlg::OnInitDialog() {
  // The base handling shows the empty time text.
  ToControls();
}

void CDumpAnimationDlg::showEvent(QShowEvent* event) {
  InitOnce();
  QDialog::showEvent(event);
}

void CDumpAnimationDlg::ToControls() {
  fileEdit_->setText(QString::fromStdString(dumpFilePath));
  timeLabel_->setText(timeText);
}

void CDumpAnimationDlg::FromControls() {
  dumpFilePath = fileEdit_->text().toStdString();
}

void CDumpAnimationDlg::CloseFile() {
  reader_.reset();
  atEnd_ = false;
  rowsRead_ = 0;
  noteLabel_->hide();
}

bool CDumpAnimationDlg::OpenFile() {
  FromControls();
  try {
    reader_ = std::make_unique<CDumpReader>(dumpFilePath);
  } catch (const CFileException& e) {
    reader_.reset();
    ShowMessageBox(this, QString::fromStdString(e.Message()), MessageKind::kWarning);
    return false;
  }
  atEnd_ = false;
  rowsRead_ = 0;
  noteLabel_->hide();
  if (!reader_->Matches(doc_.GetLinks().size(), doc_.GetClasses().size())) {
    reader_.reset();
    ShowMessageBox(this, QString::fromLatin1(kBadDumpFileMessage), MessageKind::kWarning);
    return false;
  }
  // Sizes of a refined dump are M/M/1/K means; those of a classic Compute Metrics dump are the
  // fluid backlog (or the offered load when it is empty), so say which one is replayed.
  const bool refinedDump = reader_->GetHeader().model == "refined";
  modelLabel_->setText(refinedDump ? QStringLiteral("Computed with the refined model") : QString());
  modelLabel_->setVisible(refinedDump);
  return true;
}

void CDumpAnimationDlg::Step() {
  if (atEnd_) {
    timeText = QStringLiteral("END");
    ToControls();
    return;
  }
  // One whole row a step: a damaged row is named, never read into the wrong queues.
  std::vector<std::string> row;
  if (!reader_->ReadRowWords(row) || row.empty()) {
    atEnd_ = true;  // nothing changes until the next step shows "END"
    if (!reader_->Damage().empty()) {
      ShowMessageBox(this, QString::fromStdString(reader_->Damage()), MessageKind::kWarning);
    } else {
      const int announced = reader_->GetHeader().nominalRows;
      if (rowsRead_ < announced) {
        noteLabel_->setText(QStringLiteral("The file ends after %1 of the %2 rows its header announces "
                                           "(its run was cancelled or cut short).")
                                .arg(rowsRead_)
                                .arg(announced));
        noteLabel_->show();
      }
    }
    return;
  }
  ++rowsRead_;
  timeText = QString::fromStdString(row[0].substr(0, 100));
  size_t next = 1;
  // Every word of a row that reads is a number.
  auto value = [&]() { return std::strtod(row[next++].c_str(), nullptr); };
  auto load = [&](C_MM1K_Queue* queue) {
    queue->N = value();
    queue->U = value();
    queue->P = value();
  };
  for (const auto& link : doc_.GetLinks()) {
    load(link->GetForwardQueue());
    load(link->GetBackwardQueue());
  }
  ToControls();
  doc_.UpdateAllViews(nullptr, kHintGraphData);
}

void CDumpAnimationDlg::OnStep() {
  if (!reader_ && !OpenFile()) return;
  Step();
}

void CDumpAnimationDlg::OnFastForward() {
  if (!reader_ && !OpenFile()) return;
  // Four rows on from the one shown last (a row is read whole, so three lie between); on a fresh
  // file the first four rows are passed.
  const int skip = rowsRead_ == 0 ? 4 : 3;
  for (int i = 0; i < skip; ++i) reader_->SkipLine();
  rowsRead_ += skip;
  Step();
}

void CDumpAnimationDlg::OnBrowse() {
  Pause();
  CloseFile();
  FromControls();
  const QString path =
      PromptFileName(this, FilePromptKind::kOpen, QStringLiteral("Dump Files (*.dmp);;All Files (*)"),
                     QStringLiteral("dmp"));
  if (path.isEmpty()) return;
  dumpFilePath = QFileInfo(path).absoluteFilePath().toStdString();
  ToControls();
}

void CDumpAnimationDlg::OnStop() {
  Pause();
  CloseFile();
  accept();
}

void CDumpAnimationDlg::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton)
    dragOffset_ = event->globalPosition().toPoint() - frameGeometry().topLeft();
  QDialog::mousePressEvent(event);
}

void CDumpAnimationDlg::mouseMoveEvent(QMouseEvent* event) {
  if (event->buttons() & Qt::LeftButton) move(event->globalPosition().toPoint() - dragOffset_);
  QDialog::mouseMoveEvent(event);
}

}  // namespace varlo
