// Help > Contents: the help pages installed with the program, shown in the program's help window.
#pragma once

#include <QString>
#include <QUrl>
#include <functional>

class QWidget;

namespace varlo {

// The help index to open. The installer's "DestinationPath" comes first; when it is missing or
// holds no help pages, the folders beside the program (a build or an installed tree) and then the
// source tree's help/ are tried. When none holds the pages, the installer's path is returned
// anyway (relative "help/index.html" when that value is missing), and opening it just fails.
QString HelpIndexPath();

// Shows the help index in the help window (no web browser needed).
void OpenHelpContents(QWidget* parent = nullptr);

using UrlOpener = std::function<bool(const QUrl& url)>;
// Replaces the help window (tests); an empty function restores it. Returns the previous one.
UrlOpener SetUrlOpener(UrlOpener opener);

}  // namespace varlo
