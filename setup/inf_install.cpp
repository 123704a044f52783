#include "setup/inf_install.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringList>
#include <QTextStream>

#include "setup/file_queue.h"
#include "setup/inf_file.h"
#include "setup/setup_settings.h"

namespace varlo {

namespace {

bool Fail(QString* error, const QString& text) {
  if (error) *error = text;
  return false;
}

CSetupSettings* SettingsForRoot(const QString& root, CSetupSettings& machine, CSetupSettings& user) {
  if (root.compare(QStringLiteral("HKLM"), Qt::CaseInsensitive) == 0) return &machine;
  if (root.compare(QStringLiteral("HKCU"), Qt::CaseInsensitive) == 0) return &user;
  return nullptr;
}

bool ParseFlags(const QString& text, unsigned* flags) {
  if (text.isEmpty()) {
    *flags = 0;
    return true;
  }
  bool ok = false;
  *flags = text.toUInt(&ok, 0);
  return ok;
}

bool ApplyAddReg(const CInfFile& inf, const QString& section, CSetupSettings& machine, CSetupSettings& user,
                 QString* error) {
  for (const CInfLine& line : inf.Section(section)) {
    QStringList fields;
    for (const QString& field : line.fields) fields << inf.Expand(field);
    CSetupSettings* store = SettingsForRoot(fields.value(0), machine, user);
    if (!store) continue;
    const QString key = fields.value(1);
    const QString name = fields.value(2);
    unsigned flags = 0;
    if (!ParseFlags(fields.value(3), &flags)) {
      return Fail(error, QStringLiteral("bad flags \"%1\" in [%2]").arg(fields.value(3), section));
    }
    if (flags & kAddRegDeleteValue) {
      store->RemoveValue(key, name);
      continue;
    }
    if (fields.size() < 5) continue;  // a key without a value: our store has no empty keys
    if ((flags & kAddRegNoClobber) && store->Value(key, name).isValid()) continue;
    QVariant value;
    if ((flags & kAddRegDword) == kAddRegDword) {
      bool ok = false;
      value = fields[4].toUInt(&ok, 0);
      if (!ok) return Fail(error, QStringLiteral("bad number \"%1\" in [%2]").arg(fields[4], section));
    } else if (flags & kAddRegMultiString) {
      value = fields.mid(4);
    } else {
      value = fields[4];
    }
    store->SetValue(key, name, value);
  }
  return true;
}

bool ApplyDelReg(const CInfFile& inf, const QString& section, CSetupSettings& machine, CSetupSettings& user) {
  for (const CInfLine& line : inf.Section(section)) {
    QStringList fields;
    for (const QString& field : line.fields) fields << inf.Expand(field);
    CSetupSettings* store = SettingsForRoot(fields.value(0), machine, user);
    if (!store) continue;
    if (fields.size() >= 3) {
      store->RemoveValue(fields[1], fields[2]);
    } else {
      store->RemoveKey(fields.value(1));
    }
  }
  return true;
}

// "key=value" into its parts; the key alone when there is no '='.
QPair<QString, QString> SplitEntry(const QString& entry) {
  const qsizetype equals = entry.indexOf(u'=');
  if (equals < 0) return {entry.trimmed(), QString()};
  return {entry.left(equals).trimmed(), entry.mid(equals + 1).trimmed()};
}

bool ApplyUpdateInis(const CInfFile& inf, const QString& section, QString* error) {
  const QString destination = InfPathToLocal(inf.DirectoryId(kDestinationDirId));
  for (const CInfLine& line : inf.Section(section)) {
    QStringList fields;
    for (const QString& field : line.fields) fields << inf.Expand(field);
    QString file = InfPathToLocal(fields.value(0));
    const QString iniSection = fields.value(1);
    if (file.isEmpty() || iniSection.isEmpty()) {
      return Fail(error, QStringLiteral("an entry of [%1] names no INI file or section").arg(section));
    }
    if (QDir::isRelativePath(file)) {
      if (destination.isEmpty()) return Fail(error, QStringLiteral("no folder for %1").arg(file));
      file = QDir(destination).filePath(file);
    }
    const auto oldEntry = SplitEntry(fields.value(2));
    const auto newEntry = SplitEntry(fields.value(3));
    bool ok = true;
    if (!oldEntry.first.isEmpty() && oldEntry.first.compare(newEntry.first, Qt::CaseInsensitive) != 0) {
      ok = UpdateIniEntry(file, iniSection, oldEntry.first, std::nullopt);
    }
    if (ok && !newEntry.first.isEmpty()) {
      ok = UpdateIniEntry(file, iniSection, newEntry.first, newEntry.second);
    }
    if (!ok) return Fail(error, QStringLiteral("cannot write %1").arg(file));
  }
  return true;
}

}  // namespace

bool UpdateIniEntry(const QString& path, const QString& section, const QString& key,
                    const std::optional<QString>& value) {
  QStringList lines;
  QFile in(path);
  if (in.exists()) {
    if (!in.open(QIODevice::ReadOnly)) return false;
    lines = QString::fromUtf8(in.readAll()).split(u'\n');
    in.close();
    if (!lines.isEmpty() && lines.last().isEmpty()) lines.removeLast();
    for (QString& line : lines) {
      if (line.endsWith(u'\r')) line.chop(1);
    }
  } else if (!value) {
    return true;  // nothing to remove
  }

  qsizetype sectionStart = -1;  // line after the header
  qsizetype sectionEnd = lines.size();
  for (qsizetype i = 0; i < lines.size(); ++i) {
    const QString trimmed = lines[i].trimmed();
    if (!trimmed.startsWith(u'[')) continue;
    if (sectionStart >= 0) {
      sectionEnd = i;
      break;
    }
    if (trimmed.mid(1, trimmed.indexOf(u']') - 1).trimmed().compare(section, Qt::CaseInsensitive) == 0) {
      sectionStart = i + 1;
    }
  }
  const QString newLine = key + u'=' + value.value_or(QString());
  if (sectionStart < 0) {
    if (!value) return true;
    lines << u'[' + section + u']' << newLine;
  } else {
    qsizetype found = -1;
    for (qsizetype i = sectionStart; i < sectionEnd; ++i) {
      if (SplitEntry(lines[i]).first.compare(key, Qt::CaseInsensitive) == 0 && lines[i].contains(u'=')) {
        found = i;
        break;
      }
    }
    if (found >= 0 && !value) {
      lines.removeAt(found);
    } else if (found >= 0) {
      lines[found] = newLine;
    } else if (value) {
      qsizetype at = sectionEnd;
      while (at > sectionStart && lines[at - 1].trimmed().isEmpty()) --at;  // before the blank lines
      lines.insert(at, newLine);
    }
  }
  if (!QDir().mkpath(QFileInfo(path).absolutePath())) return false;
  QSaveFile out(path);
  if (!out.open(QIODevice::WriteOnly)) return false;
  out.write((lines.join(u'\n') + u'\n').toUtf8());
  return out.commit();
}

bool ApplyInstallSection(const CInfFile& inf, const QString& section, CSetupSettings& machine,
                         CSetupSettings& user, QString* error) {
  if (!inf.HasSection(section)) return Fail(error, QStringLiteral("no section [%1]").arg(section));
  const auto named = [&](const QString& directive) {
    QStringList names;
    for (const CInfLine& line : inf.Section(section)) {
      if (line.key.compare(directive, Qt::CaseInsensitive) != 0) continue;
      for (const QString& name : line.fields) {
        if (!name.isEmpty()) names << name;
      }
    }
    return names;
  };
  const QStringList addReg = named(QStringLiteral("AddReg"));
  const QStringList delReg = named(QStringLiteral("DelReg"));
  const QStringList updateInis = named(QStringLiteral("UpdateInis"));
  for (const QStringList& list : {addReg, delReg, updateInis}) {
    for (const QString& name : list) {
      if (!inf.HasSection(name)) return Fail(error, QStringLiteral("no section [%1]").arg(name));
    }
  }
  // The Setup API deletes before it adds.
  for (const QString& name : delReg) ApplyDelReg(inf, name, machine, user);
  for (const QString& name : addReg) {
    if (!ApplyAddReg(inf, name, machine, user, error)) return false;
  }
  if (!machine.Sync() || !user.Sync()) return Fail(error, QStringLiteral("cannot write the settings"));
  for (const QString& name : updateInis) {
    if (!ApplyUpdateInis(inf, name, error)) return false;
  }
  return true;
}

}  // namespace varlo
