// Help > Contents: the help pages installed with the program, opened in the user's browser.
#pragma once

#include <QString>
#include <QUrl>
#include <functional>

namespace varlo {

// The help index to open. The installer's "DestinationPath" comes first; when it is missing or
// holds no help pages, the folders beside the program (a build or an installed tree) and then the
// source tree's help/ are tried. When none holds the pages, the installer's path is returned
// anyway (relative "help/index.html" when that value is missing), and opening it just fails.
QString HelpIndexPath();

// Opens the help index in the browser. Nothing is reported when that fails.
void OpenHelpContents();

using UrlOpener = std::function<bool(const QUrl& url)>;
// Replaces the browser launch (tests); an empty function restores it. Returns the previous one.
UrlOpener SetUrlOpener(UrlOpener opener);

}  // namespace varlo
