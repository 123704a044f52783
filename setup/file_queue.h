// The file operations of an INF: copy sections (install) and delete sections (uninstall), queued
// and then committed in order. Each section's destination comes from [DestinationDirs] ("section =
// dirid[,subdir]", else "DefaultDestDir"). A line of a copy or delete section names the destination
// file first and, for copies, optionally a different source name: "dest[,source[,,flags]]". Names
// may carry a sub-folder ("help\index.html"); folders are created as needed.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace varlo {

class CInfFile;

struct CFileOperation {
  enum class Kind { kCopy, kDelete };
  Kind kind = Kind::kCopy;
  QString source;  // empty for deletions
  QString target;
};

// What a commit did, for the caller's message and for tests.
struct CCommitResult {
  bool succeeded = true;
  int copied = 0;
  int skippedNotNewer = 0;  // the file present is as new as the source or newer
  int deleted = 0;
  QStringList notDeleted;  // files that could not be deleted; skipped, not a failure
  QString error;           // the first failure, naming the file
};

class CFileQueue {
 public:
  // Queues every file of `section` for copying from `sourceFolder`; false when the section or its
  // destination is missing or a line names no file.
  bool QueueCopySection(const CInfFile& inf, const QString& section, const QString& sourceFolder);
  bool QueueDeleteSection(const CInfFile& inf, const QString& section);

  const QList<CFileOperation>& Operations() const { return operations; }

  // Runs the queue in order. A copy happens only when the target is missing or older than the
  // source; it goes through a temporary file renamed into place, so a failed copy never leaves a
  // half-written program behind. The first copy that fails ends the commit. Deletions that fail are
  // skipped. Folders emptied by the deletions are removed.
  CCommitResult Commit();

 private:
  QList<CFileOperation> operations;
};

// The folder a section's files go to or are deleted from; empty when it cannot be resolved.
QString SectionDestination(const CInfFile& inf, const QString& section);

// Turns INF path text (either separator) into a clean local path.
QString InfPathToLocal(const QString& path);

}  // namespace varlo
