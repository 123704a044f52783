// The errors of reading and writing the program's files: the archive's (a damaged or foreign
// .net/.cls) and the file system's, each with its cause and the file's name for the user's message.
#pragma once

#include <stdexcept>
#include <string>

namespace varlo {

// Archive errors, with the framework's causes. Message() gives the user's text with the file name.
class CArchiveException : public std::runtime_error {
 public:
  enum Cause {
    kGeneric,    // "An unknown error occurred while accessing %1."
    kEndOfFile,  // "An attempt was made to access %1 past its end."
    kBadIndex,   // "%1 has a bad format."
    kBadClass,   // "%1 contained an unexpected object."
    kBadSchema,  // "%1 contains an incorrect schema."
    kReadOnly,   // "An attempt was made to write to the reading %1."
    kWriteOnly,  // "An attempt was made to read from the writing %1."
  };
  CArchiveException(Cause cause, std::string fileName);
  Cause GetCause() const { return cause_; }
  const std::string& GetFileName() const { return fileName_; }
  void SetFileName(std::string name);
  // The user's message, "%1" filled with the file name.
  std::string Message() const;
  static std::string MessagePattern(Cause cause);
  // The user's message, kept in step with SetFileName.
  const char* what() const noexcept override { return message_.c_str(); }

 private:
  Cause cause_;
  std::string fileName_;
  std::string message_;
};

// Errors of the file itself (open, read, write, rename).
class CFileException : public std::runtime_error {
 public:
  enum Cause {
    kGeneric,           // "An unexpected error occurred while accessing %1."
    kFileNotFound,      // "%1 was not found."
    kBadPath,           // "%1 contains an invalid path."
    kTooManyOpenFiles,  // "The file %1 could not be opened because there are too many open files."
    kAccessDenied,      // "Access to %1 was denied."
    kInvalidFile,       // "An incorrect file handle was associated with %1."
    kDirectoryFull,     // "%1 could not be created because the directory is full."
    kSharingViolation,  // "%1 could not be accessed because of a sharing violation."
    kDiskFull,          // "Disk full while accessing %1."
    kEndOfFile,         // "An attempt was made to access %1 past its end."
    kHardIO,            // "A hardware I/O error was reported while accessing %1."
  };
  CFileException(Cause cause, std::string fileName, int osError = 0);
  Cause GetCause() const { return cause_; }
  const std::string& GetFileName() const { return fileName_; }
  int GetOsError() const { return osError_; }
  std::string Message() const;
  static std::string MessagePattern(Cause cause);
  // Maps an errno value to a cause.
  static Cause CauseFromErrno(int error);

 private:
  Cause cause_;
  std::string fileName_;
  int osError_;
};

// Raised for operations a class does not support (the qns text of UDP and TCP classes).
class CNotSupportedException : public std::runtime_error {
 public:
  CNotSupportedException() : std::runtime_error("not supported") {}
};

}  // namespace varlo
