#include "setup/inf_file.h"

#include <QFile>

namespace varlo {

namespace {

// The position of the first ';' that is not inside double quotes, or -1.
qsizetype CommentStart(const QString& line) {
  bool quoted = false;
  for (qsizetype i = 0; i < line.size(); ++i) {
    if (line[i] == u'"') quoted = !quoted;
    if (line[i] == u';' && !quoted) return i;
  }
  return -1;
}

// The position of the first '=' that is not inside double quotes, or -1.
qsizetype KeySeparator(const QString& line) {
  bool quoted = false;
  for (qsizetype i = 0; i < line.size(); ++i) {
    if (line[i] == u'"') quoted = !quoted;
    if (line[i] == u'=' && !quoted) return i;
  }
  return -1;
}

QString Unquote(const QString& text) {
  QString trimmed = text.trimmed();
  if (trimmed.size() >= 2 && trimmed.startsWith(u'"') && trimmed.endsWith(u'"')) {
    return trimmed.mid(1, trimmed.size() - 2).replace(QStringLiteral("\"\""), QStringLiteral("\""));
  }
  return trimmed;
}

}  // namespace

QStringList SplitInfFields(const QString& text) {
  QStringList fields;
  QString current;
  bool quoted = false;
  bool wasQuoted = false;
  for (qsizetype i = 0; i < text.size(); ++i) {
    const QChar c = text[i];
    if (c == u'"') {
      if (quoted && i + 1 < text.size() && text[i + 1] == u'"') {
        current += u'"';
        ++i;
      } else {
        quoted = !quoted;
        wasQuoted = true;
      }
    } else if (c == u',' && !quoted) {
      fields << (wasQuoted ? current : current.trimmed());
      current.clear();
      wasQuoted = false;
    } else {
      current += c;
    }
  }
  fields << (wasQuoted ? current : current.trimmed());
  return fields;
}

bool CInfFile::Open(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return false;
  Parse(QString::fromUtf8(file.readAll()));
  return !sections.isEmpty();
}

void CInfFile::Parse(const QString& text) {
  sections.clear();
  strings.clear();
  QString current;
  bool inSection = false;
  QString pending;  // a line continued with a trailing backslash
  const QStringList lines = text.split(u'\n');
  for (QString line : lines) {
    if (line.endsWith(u'\r')) line.chop(1);
    const qsizetype comment = CommentStart(line);
    if (comment >= 0) line.truncate(comment);
    line = line.trimmed();
    if (line.endsWith(u'\\') && !line.endsWith(QStringLiteral("\\\\"))) {
      pending += line.left(line.size() - 1);
      continue;
    }
    line = pending + line;
    pending.clear();
    if (line.isEmpty()) continue;
    if (line.startsWith(u'[')) {
      const qsizetype close = line.indexOf(u']');
      if (close < 0) continue;  // a broken header is not a section; its lines go nowhere
      current = line.mid(1, close - 1).trimmed().toLower();
      inSection = true;
      sections[current];  // an empty section still exists
      continue;
    }
    if (!inSection) continue;
    CInfLine entry;
    const qsizetype equals = KeySeparator(line);
    if (equals >= 0) {
      entry.key = Unquote(line.left(equals));
      entry.fields = SplitInfFields(line.mid(equals + 1));
    } else {
      entry.fields = SplitInfFields(line);
    }
    if (current == QStringLiteral("strings") && !entry.key.isEmpty()) {
      strings.insert(entry.key.toLower(), entry.fields.join(u','));
    }
    sections[current].append(entry);
  }
}

bool CInfFile::HasSection(const QString& name) const {
  return sections.contains(name.toLower());
}

QList<CInfLine> CInfFile::Section(const QString& name) const {
  return sections.value(name.toLower());
}

QStringList CInfFile::Values(const QString& section, const QString& key) const {
  for (const CInfLine& line : sections.value(section.toLower())) {
    if (line.key.compare(key, Qt::CaseInsensitive) == 0) return line.fields;
  }
  return {};
}

void CInfFile::SetDirectoryId(int id, const QString& folder) {
  directoryIds.insert(id, folder);
}

QString CInfFile::DirectoryId(int id) const {
  return directoryIds.value(id);
}

QString CInfFile::Expand(const QString& field) const {
  QString result;
  qsizetype i = 0;
  while (i < field.size()) {
    if (field[i] != u'%') {
      result += field[i++];
      continue;
    }
    const qsizetype close = field.indexOf(u'%', i + 1);
    if (close < 0) {
      result += field.mid(i);
      break;
    }
    const QString name = field.mid(i + 1, close - i - 1);
    bool isNumber = false;
    const int id = name.toInt(&isNumber);
    if (name.isEmpty()) {
      result += u'%';
    } else if (isNumber && directoryIds.contains(id)) {
      result += directoryIds.value(id);
    } else if (strings.contains(name.toLower())) {
      result += strings.value(name.toLower());
    } else {
      result += field.mid(i, close - i + 1);
    }
    i = close + 1;
  }
  return result;
}

}  // namespace varlo
