#include "app/help_window.h"

#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QListWidget>
#include <QPointer>
#include <QRegularExpression>
#include <QSplitter>
#include <QTextBrowser>
#include <QToolButton>
#include <QVBoxLayout>

namespace varlo {

namespace {

// The page's <title>, or its file name when it has none.
QString PageTitle(const QString& path) {
  QFile file(path);
  if (file.open(QIODevice::ReadOnly)) {
    static const QRegularExpression title(QStringLiteral("<title>(.*?)</title>"),
                                          QRegularExpression::CaseInsensitiveOption |
                                              QRegularExpression::DotMatchesEverythingOption);
    const QRegularExpressionMatch match = title.match(QString::fromUtf8(file.read(4096)));
    if (match.hasMatch()) return match.captured(1).trimmed();
  }
  return QFileInfo(path).completeBaseName();
}

}  // namespace

CHelpWindow::CHelpWindow(const QString& index, QWidget* parent)
    : QWidget(parent, Qt::Window), folder_(QFileInfo(index).absolutePath()), index_(index) {
  setWindowTitle(QStringLiteral("Varlo Help"));
  setAttribute(Qt::WA_DeleteOnClose);

  browser_ = new QTextBrowser(this);
  browser_->setSearchPaths({folder_});
  // Pages of the help folder open here; links out of it (web addresses) go to the desktop.
  browser_->setOpenLinks(false);
  connect(browser_, &QTextBrowser::anchorClicked, this, [this](const QUrl& url) {
    if (url.isRelative() || url.isLocalFile()) {
      browser_->setSource(browser_->source().resolved(url));
    } else {
      QDesktopServices::openUrl(url);
    }
  });

  contents_ = new QListWidget(this);
  // The index first, then the other pages by title.
  QStringList pages = QDir(folder_).entryList({QStringLiteral("*.html")}, QDir::Files, QDir::Name);
  const QString indexName = QFileInfo(index).fileName();
  if (pages.removeAll(indexName) > 0 || QFileInfo::exists(index)) pages.prepend(indexName);
  for (const QString& page : pages) {
    auto* item = new QListWidgetItem(PageTitle(QDir(folder_).filePath(page)), contents_);
    item->setData(Qt::UserRole, page);
  }
  connect(contents_, &QListWidget::itemActivated, this,
          [this](QListWidgetItem* item) { ShowPage(item->data(Qt::UserRole).toString()); });
  connect(contents_, &QListWidget::itemClicked, this,
          [this](QListWidgetItem* item) { ShowPage(item->data(Qt::UserRole).toString()); });

  auto button = [this](const QString& text, QStyle::StandardPixmap icon) {
    auto* b = new QToolButton(this);
    b->setText(text);
    b->setIcon(style()->standardIcon(icon));
    b->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    b->setAutoRaise(true);
    return b;
  };
  back_ = button(QStringLiteral("Back"), QStyle::SP_ArrowBack);
  forward_ = button(QStringLiteral("Forward"), QStyle::SP_ArrowForward);
  home_ = button(QStringLiteral("Contents"), QStyle::SP_DirHomeIcon);
  back_->setEnabled(false);
  forward_->setEnabled(false);
  connect(back_, &QToolButton::clicked, browser_, &QTextBrowser::backward);
  connect(forward_, &QToolButton::clicked, browser_, &QTextBrowser::forward);
  connect(home_, &QToolButton::clicked, this, [this] { ShowPage(index_); });
  connect(browser_, &QTextBrowser::backwardAvailable, back_, &QToolButton::setEnabled);
  connect(browser_, &QTextBrowser::forwardAvailable, forward_, &QToolButton::setEnabled);
  // (The signal's URL, not source(): the browser's history, which source() reads, takes the new
  // page only after it has told of it, so the list would show the page before.)
  connect(browser_, &QTextBrowser::sourceChanged, this, [this](const QUrl& url) {
    SelectInContents(url);
    const QString title = browser_->documentTitle();
    // The pages' own titles already begin with "Varlo Help".
    setWindowTitle(title.isEmpty() ? QStringLiteral("Varlo Help") : title);
  });

  auto* bar = new QHBoxLayout;
  bar->addWidget(back_);
  bar->addWidget(forward_);
  bar->addWidget(home_);
  bar->addStretch(1);

  auto* splitter = new QSplitter(this);
  splitter->addWidget(contents_);
  splitter->addWidget(browser_);
  splitter->setStretchFactor(1, 1);
  splitter->setSizes({200, 640});

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(bar);
  layout->addWidget(splitter, 1);
  resize(900, 640);

  if (QFileInfo::exists(index)) {
    ShowPage(index);
  } else {
    browser_->setHtml(QStringLiteral("<p>The help pages were not found at %1.</p>").arg(index.toHtmlEscaped()));
  }
}

void CHelpWindow::ShowPage(const QString& page) {
  const QString path = QFileInfo(page).isAbsolute() ? page : QDir(folder_).filePath(page);
  browser_->setSource(QUrl::fromLocalFile(path));
}

QUrl CHelpWindow::CurrentPage() const {
  return browser_->source();
}

void CHelpWindow::SelectInContents(const QUrl& page) {
  const QString current = QFileInfo(page.toLocalFile()).fileName();
  for (int i = 0; i < contents_->count(); ++i) {
    if (contents_->item(i)->data(Qt::UserRole).toString() == current) {
      contents_->setCurrentRow(i);
      return;
    }
  }
}

CHelpWindow* ShowHelpWindow(const QString& index, QWidget* parent) {
  static QPointer<CHelpWindow> window;
  if (!window) window = new CHelpWindow(index, parent);
  window->show();
  window->raise();
  window->activateWindow();
  return window;
}

}  // namespace varlo
