// Our reader of the subset of the INF format that setup needs: sections, "key = value" and plain
// lines, comma-separated fields, quoted fields, "%name%" strings from [Strings] and "%dirid%"
// directory identifiers bound by the installer (102030 is the destination folder).
#pragma once

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

namespace varlo {

// The directory identifier that the installer binds to the destination folder.
inline constexpr int kDestinationDirId = 102030;

// One line of a section: the text before '=' (empty when the line has none) and the fields after it,
// still unexpanded.
struct CInfLine {
  QString key;
  QStringList fields;
};

class CInfFile {
 public:
  // Reads the file; false when it cannot be read or holds no section at all.
  bool Open(const QString& path);
  // Parses INF text directly (line ends CR LF or LF).
  void Parse(const QString& text);

  // Section names and keys compare without regard to case, as in every INF.
  bool HasSection(const QString& name) const;
  QList<CInfLine> Section(const QString& name) const;
  // The fields of the first line of a section whose key is `key`; empty when there is none.
  QStringList Values(const QString& section, const QString& key) const;

  // Binds a directory identifier to a folder; "%id%" in a field expands to it.
  void SetDirectoryId(int id, const QString& folder);
  QString DirectoryId(int id) const;

  // Replaces "%name%" by the [Strings] entry or the bound directory, "%%" by '%'. Unknown names
  // stay as they are written.
  QString Expand(const QString& field) const;

 private:
  QHash<QString, QList<CInfLine>> sections;  // keyed by lower-case section name
  QHash<QString, QString> strings;           // [Strings], keyed by lower-case name
  QHash<int, QString> directoryIds;
};

// Splits the value part of an INF line into fields at commas outside double quotes; quotes are
// removed and "" inside quotes stands for one quotation mark. Fields are trimmed unless quoted.
QStringList SplitInfFields(const QString& text);

}  // namespace varlo
