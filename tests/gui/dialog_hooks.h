// Test doubles for the program's modal interactions: message boxes, the colour picker and modal
// dialogs are answered by the test instead of waiting for a user.
#pragma once

#include <QDialog>
#include <QStringList>
#include <functional>
#include <typeinfo>
#include <vector>

#include "platform/qt/dialog_exchange.h"

namespace varlo::test {

// Collects every message box text while alive; each box is answered with OK.
class MessageCapture {
 public:
  MessageCapture() {
    previous_ = SetMessageBoxHook([this](const QString& text, MessageKind, int) {
      texts.append(text);
      return 0x00000400;  // QMessageBox::Ok
    });
  }
  ~MessageCapture() { SetMessageBoxHook(previous_); }
  QStringList texts;

 private:
  MessageBoxHook previous_;
};

// Answers modal dialogs with the given function (which may fill the controls and press OK or
// Cancel); records the type of every dialog that ran.
class DialogScript {
 public:
  explicit DialogScript(std::function<int(QDialog&)> answer) : answer_(std::move(answer)) {
    previous_ = SetDialogHook([this](QDialog& dialog) {
      ran.push_back(&typeid(dialog));
      return answer_(dialog);
    });
  }
  ~DialogScript() { SetDialogHook(previous_); }
  std::vector<const std::type_info*> ran;

 private:
  std::function<int(QDialog&)> answer_;
  DialogHook previous_;
};

// Presses OK the way a user does: the dialog validates and closes only when every field passes.
inline int PressOk(QDialog& dialog) {
  dialog.accept();
  return dialog.result();
}
inline int PressCancel(QDialog& dialog) {
  dialog.reject();
  return dialog.result();
}

}  // namespace varlo::test
