// The ".net" document type and the uninstall entry, registered the freedesktop way under the
// user's data folder (XDG_DATA_HOME, ~/.local/share by default): a shared-MIME package with the
// "*.net" glob, "varlo.desktop" opening the installed varlo on a file, "varlo-uninstall.desktop"
// running "setup Uninstall" from the destination, and the icon in the hicolor theme.
#pragma once

#include <QString>

namespace varlo {

// The MIME type of ".net" networks.
inline constexpr char kNetworkMimeType[] = "application/x-varlo-network";

class CDesktopRegistration {
 public:
  // `dataHome` empty: the writable generic data folder (XDG_DATA_HOME).
  explicit CDesktopRegistration(const QString& dataHome = QString());

  // Writes the four files for a program installed in `destinationPath` and refreshes the MIME and
  // desktop databases when their tools are present. False when a file could not be written.
  bool Register(const QString& destinationPath);
  // Removes the files again and refreshes the databases; missing files are not an error.
  void Unregister();

  QString MimePackagePath() const;
  QString DesktopFilePath() const;
  QString UninstallDesktopFilePath() const;
  QString IconPath() const;

 private:
  void RefreshDatabases() const;

  QString dataHome;
};

// One argument of a desktop entry's Exec line, quoted and escaped so that any path survives:
// inside the quotes '"', '`', '$' and '\' are escaped, '%' doubles, and the value's own escaping
// doubles every backslash once more.
QString DesktopExecArgument(const QString& argument);

// The desktop entry that opens the program at `varloPath` on a ".net" file.
QString VarloDesktopEntry(const QString& varloPath, const QString& iconPath);
// The desktop entry that uninstalls with the setup program at `setupPath`.
QString UninstallDesktopEntry(const QString& setupPath, const QString& iconPath);
// The shared-MIME package of the document type (the same file the Debian package installs).
QString MimePackageXml();

}  // namespace varlo
