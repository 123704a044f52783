// The dump animation: replays a dump file on the canvas one row per button press, or one row per
// tick of a timer while "Play" runs. Each step loads the three metrics of one row into every queue
// and notifies the views with hint 7, so the canvas shows each link's queue fill as it was at that
// time. The window has no title bar and is dragged by its body.
#pragma once

#include <QDialog>
#include <QPoint>
#include <QString>
#include <memory>
#include <string>

#include "platform/qt/dialog_exchange.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;

namespace varlo {

class CDumpReader;
class CVarloDoc;

class CDumpAnimationDlg : public QDialog, public CInitDialog {
  Q_OBJECT

 public:
  explicit CDumpAnimationDlg(CVarloDoc& doc, QWidget* parent = nullptr);
  ~CDumpAnimationDlg() override;

  std::string dumpFilePath;
  QString timeText;  // the row's time as written in the file, or "END"

  void OnInitDialog() override;

  // ">": the next row.
  void OnStep();
  // ">>": skips four rows, then one step.
  void OnFastForward();
  // "...": closes the open file and asks for another.
  void OnBrowse();
  // "Stop": closes the file and the window.
  void OnStop();
  // "Play" / "Pause": steps on the timer at the chosen speed until the end of the file.
  void OnPlayPause();
  bool IsPlaying() const;

  bool IsFileOpen() const { return reader_ != nullptr; }
  // Rows per second of "Play".
  static constexpr int kSpeeds[] = {1, 2, 5, 10, 25};

  QLineEdit* FileEdit() const { return fileEdit_; }
  QLabel* TimeLabel() const { return timeLabel_; }
  QPushButton* PlayButton() const { return playButton_; }
  QComboBox* SpeedBox() const { return speedBox_; }
  QTimer* PlayTimer() const { return playTimer_; }
  // Says when the file ended before the rows its header announced (a run that was cancelled).
  QLabel* NoteLabel() const { return noteLabel_; }
  // Names the model of a refined dump; hidden for a classic one.
  QLabel* ModelLabel() const { return modelLabel_; }

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  // Opens the dump path and checks its header; false (nothing open) when refused.
  bool OpenFile();
  void CloseFile();
  void Step();
  void ToControls();
  void FromControls();
  void Pause();

  CVarloDoc& doc_;
  std::unique_ptr<CDumpReader> reader_;
  bool atEnd_ = false;
  int rowsRead_ = 0;  // rows consumed since the file was opened
  QLineEdit* fileEdit_;
  QLabel* timeLabel_;
  QLabel* modelLabel_;
  QPushButton* browseButton_;
  QPushButton* stepButton_;
  QPushButton* fastButton_;
  QPushButton* stopButton_;
  QPushButton* playButton_;
  QComboBox* speedBox_;
  QLabel* noteLabel_;
  QTimer* playTimer_;
  QPoint dragOffset_;
};

}  // namespace varlo
