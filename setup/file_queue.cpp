#include "setup/file_queue.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <algorithm>
#include <cstdio>

#include "setup/inf_file.h"

namespace varlo {

namespace {

// A name inside the destination: no absolute paths and no way out through "..".
bool IsSafeRelativeName(const QString& name) {
  if (name.isEmpty() || QDir::isAbsolutePath(name)) return false;
  const QStringList parts = name.split(u'/', Qt::SkipEmptyParts);
  for (const QString& part : parts) {
    if (part == QStringLiteral("..")) return false;
  }
  return !parts.isEmpty();
}

}  // namespace

QString InfPathToLocal(const QString& path) {
  if (path.isEmpty()) return path;
  return QDir::cleanPath(QString(path).replace(u'\\', u'/'));
}

QString SectionDestination(const CInfFile& inf, const QString& section) {
  QStringList fields = inf.Values(QStringLiteral("DestinationDirs"), section);
  if (fields.isEmpty())
    fields = inf.Values(QStringLiteral("DestinationDirs"), QStringLiteral("DefaultDestDir"));
  if (fields.isEmpty()) return {};
  bool isNumber = false;
  const int id = inf.Expand(fields[0]).toInt(&isNumber);
  if (!isNumber) return {};
  const QString root = inf.DirectoryId(id);
  if (root.isEmpty()) return {};
  QString folder = InfPathToLocal(root);
  if (fields.size() > 1 && !fields[1].isEmpty()) {
    const QString sub = InfPathToLocal(inf.Expand(fields[1]));
    if (!IsSafeRelativeName(sub)) return {};
    folder = QDir(folder).filePath(sub);
  }
  return folder;
}

bool CFileQueue::QueueCopySection(const CInfFile& inf, const QString& section, const QString& sourceFolder) {
  if (!inf.HasSection(section)) return false;
  const QString destination = SectionDestination(inf, section);
  if (destination.isEmpty()) return false;
  QList<CFileOperation> queued;
  for (const CInfLine& line : inf.Section(section)) {
    const QString targetName = InfPathToLocal(inf.Expand(line.fields.value(0)));
    QString sourceName = InfPathToLocal(inf.Expand(line.fields.value(1)));
    if (sourceName.isEmpty()) sourceName = targetName;
    if (!IsSafeRelativeName(targetName) || !IsSafeRelativeName(sourceName)) return false;
    queued.append({CFileOperation::Kind::kCopy, QDir(sourceFolder).filePath(sourceName),
                   QDir(destination).filePath(targetName)});
  }
  operations += queued;
  return true;
}

bool CFileQueue::QueueDeleteSection(const CInfFile& inf, const QString& section) {
  if (!inf.HasSection(section)) return false;
  const QString destination = SectionDestination(inf, section);
  if (destination.isEmpty()) return false;
  QList<CFileOperation> queued;
  for (const CInfLine& line : inf.Section(section)) {
    const QString targetName = InfPathToLocal(inf.Expand(line.fields.value(0)));
    if (!IsSafeRelativeName(targetName)) return false;
    queued.append({CFileOperation::Kind::kDelete, QString(), QDir(destination).filePath(targetName)});
  }
  operations += queued;
  return true;
}

CCommitResult CFileQueue::Commit() {
  CCommitResult result;
  QSet<QString> touchedFolders;
  for (const CFileOperation& op : operations) {
    if (op.kind == CFileOperation::Kind::kDelete) {
      const QFileInfo target(op.target);
      if (!target.exists() && !target.isSymLink()) continue;
      if (target.isDir() || !QFile::remove(op.target)) {
        result.notDeleted << op.target;
      } else {
        ++result.deleted;
        touchedFolders.insert(target.absolutePath());
      }
      continue;
    }
    const QFileInfo source(op.source);
    const QFileInfo target(op.target);
    if (!source.isFile()) {
      result.succeeded = false;
      result.error = QStringLiteral("missing source file %1").arg(op.source);
      break;
    }
    if (target.exists() && (target.lastModified() >= source.lastModified() ||
                            target.canonicalFilePath() == source.canonicalFilePath())) {
      ++result.skippedNotNewer;
      continue;
    }
    if (!QDir().mkpath(target.absolutePath())) {
      result.succeeded = false;
      result.error = QStringLiteral("cannot create folder %1").arg(target.absolutePath());
      break;
    }
    // QFile::copy refuses to overwrite, and replacing a running program in place fails; a copy
    // beside the target renamed over it does neither.
    const QString temporary = op.target + QStringLiteral(".setup-tmp");
    QFile::remove(temporary);
    bool copied = QFile::copy(op.source, temporary);
    if (copied) {
      QFile written(temporary);
      // The copy keeps the source's time so that the next install sees it as not newer.
      copied = written.open(QIODevice::ReadWrite) &&
               written.setFileTime(source.lastModified(), QFileDevice::FileModificationTime);
      written.close();
    }
    // rename(2) replaces the target in one step.
    if (copied)
      copied = std::rename(QFile::encodeName(temporary).constData(),
                           QFile::encodeName(op.target).constData()) == 0;
    if (!copied) {
      QFile::remove(temporary);
      result.succeeded = false;
      result.error = QStringLiteral("cannot copy %1 to %2").arg(op.source, op.target);
      break;
    }
    ++result.copied;
  }
  // Deleting files leaves their folders behind; remove those that are now empty, deepest first.
  QStringList folders(touchedFolders.begin(), touchedFolders.end());
  std::sort(folders.begin(), folders.end(),
            [](const QString& a, const QString& b) { return a.size() > b.size(); });
  for (const QString& folder : folders) QDir().rmdir(folder);
  operations.clear();
  return result;
}

}  // namespace varlo
