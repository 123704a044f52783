// The help pages shown inside Varlo: a browser pane over the installed help/ folder with a list of
// the pages, back, forward and home, so that help works on machines without a web browser.
#pragma once

#include <QUrl>
#include <QWidget>

class QListWidget;
class QTextBrowser;
class QToolButton;

namespace varlo {

class CHelpWindow : public QWidget {
 public:
  // index is the help index page; the contents list holds every page of its folder.
  explicit CHelpWindow(const QString& index, QWidget* parent = nullptr);

  // Shows a page of the help folder (a file name such as "commands.html", or a full URL).
  void ShowPage(const QString& page);
  QUrl CurrentPage() const;

  QTextBrowser* Browser() const { return browser_; }
  QListWidget* Contents() const { return contents_; }
  QToolButton* BackButton() const { return back_; }
  QToolButton* ForwardButton() const { return forward_; }

 private:
  void SelectInContents(const QUrl& page);

  QString folder_;
  QString index_;
  QTextBrowser* browser_;
  QListWidget* contents_;
  QToolButton* back_;
  QToolButton* forward_;
  QToolButton* home_;
};

// The program's one help window, created on first use, raised on later ones.
CHelpWindow* ShowHelpWindow(const QString& index, QWidget* parent = nullptr);

}  // namespace varlo
