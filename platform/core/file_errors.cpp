#include "platform/core/file_errors.h"

#include <cerrno>
#include <utility>

#include "platform/core/text_format.h"

namespace varlo {

namespace {

std::string FileExceptionMessage(CFileException::Cause cause, const std::string& fileName) {
  return FormatMessage(CFileException::MessagePattern(cause), fileName);
}

}  // namespace

// --- CArchiveException ------------------------------------------------------------------------

CArchiveException::CArchiveException(Cause cause, std::string fileName)
    : std::runtime_error("archive error"), cause_(cause), fileName_(std::move(fileName)) {
  message_ = Message();
}

void CArchiveException::SetFileName(std::string name) {
  fileName_ = std::move(name);
  message_ = Message();
}

std::string CArchiveException::Message() const {
  return FormatMessage(MessagePattern(cause_), fileName_);
}

std::string CArchiveException::MessagePattern(Cause cause) {
  switch (cause) {
    case kEndOfFile:
      return "An attempt was made to access %1 past its end.";
    case kBadIndex:
      return "%1 has a bad format.";
    case kBadClass:
      return "%1 contained an unexpected object.";
    case kBadSchema:
      return "%1 contains an incorrect schema.";
    case kReadOnly:
      return "An attempt was made to write to the reading %1.";
    case kWriteOnly:
      return "An attempt was made to read from the writing %1.";
    case kGeneric:
      break;
  }
  return "An unknown error occurred while accessing %1.";
}

// --- CFileException ---------------------------------------------------------------------------

CFileException::CFileException(Cause cause, std::string fileName, int osError)
    : std::runtime_error(FileExceptionMessage(cause, fileName)),
      cause_(cause),
      fileName_(std::move(fileName)),
      osError_(osError) {}

std::string CFileException::Message() const {
  return FileExceptionMessage(cause_, fileName_);
}

std::string CFileException::MessagePattern(Cause cause) {
  switch (cause) {
    case kFileNotFound:
      return "%1 was not found.";
    case kBadPath:
      return "%1 contains an invalid path.";
    case kTooManyOpenFiles:
      return "The file %1 could not be opened because there are too many open files.";
    case kAccessDenied:
      return "Access to %1 was denied.";
    case kInvalidFile:
      return "An incorrect file handle was associated with %1.";
    case kDirectoryFull:
      return "%1 could not be created because the directory is full.";
    case kSharingViolation:
      return "%1 could not be accessed because of a sharing violation.";
    case kDiskFull:
      return "Disk full while accessing %1.";
    case kEndOfFile:
      return "An attempt was made to access %1 past its end.";
    case kHardIO:
      return "A hardware I/O error was reported while accessing %1.";
    case kGeneric:
      break;
  }
  return "An unexpected error occurred while accessing %1.";
}

CFileException::Cause CFileException::CauseFromErrno(int error) {
  switch (error) {
    case ENOENT:
      return kFileNotFound;
    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP:
    case EINVAL:
      return kBadPath;
    case EMFILE:
    case ENFILE:
      return kTooManyOpenFiles;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
      return kAccessDenied;
    case EBADF:
      return kInvalidFile;
    case EMLINK:
      return kDirectoryFull;
    case EBUSY:
    case ETXTBSY:
      return kSharingViolation;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
      return kDiskFull;
    case EIO:
      return kHardIO;
    default:
      return kGeneric;
  }
}

}  // namespace varlo
