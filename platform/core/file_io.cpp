#include "platform/core/file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "platform/core/file_errors.h"

namespace varlo {

namespace {

// Splits at the last '/' or '\\': paths written on Windows are accepted as they are.
size_t LastSeparator(const std::string& path) {
  return path.find_last_of("/\\");
}

[[noreturn]] void ThrowFileError(const std::string& path, int error) {
  throw CFileException(CFileException::CauseFromErrno(error), path, error);
}

// Closes a descriptor on every path out of a file operation.
class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  int Get() const { return fd_; }
  // Closes now, reporting the error that close() returns (a delayed write error, say).
  int Close() {
    const int result = ::close(fd_);
    fd_ = -1;
    return result == 0 ? 0 : errno;
  }

 private:
  int fd_;
};

}  // namespace

// --- files ------------------------------------------------------------------------------------

std::vector<std::uint8_t> ReadWholeFile(const std::string& path) {
  FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.Get() < 0) ThrowFileError(path, errno);
  struct stat st {};
  if (::fstat(fd.Get(), &st) != 0) ThrowFileError(path, errno);
  if (S_ISDIR(st.st_mode)) ThrowFileError(path, EISDIR);

  std::vector<std::uint8_t> bytes;
  if (S_ISREG(st.st_mode) && static_cast<std::uint64_t>(st.st_size) > kMaxReadFileSize) {
    throw CArchiveException(CArchiveException::kBadIndex, path);
  }
  if (S_ISREG(st.st_mode) && st.st_size > 0) bytes.reserve(static_cast<size_t>(st.st_size));
  std::uint8_t buffer[65536];
  for (;;) {
    const ssize_t n = ::read(fd.Get(), buffer, sizeof buffer);
    if (n < 0) {
      if (errno == EINTR) continue;
      ThrowFileError(path, errno);
    }
    if (n == 0) break;
    // A pipe or a device (/dev/zero) may never end; nothing the program reads is this large.
    if (bytes.size() + static_cast<size_t>(n) > kMaxReadFileSize) throw CArchiveException(CArchiveException::kBadIndex, path);
    bytes.insert(bytes.end(), buffer, buffer + n);
  }
  return bytes;
}

namespace {

// Follows symbolic links to the file they name (also when that file does not exist yet), so that a
// save updates the link's target instead of replacing the link with a file of its own.
std::string ResolveLinks(const std::string& path) {
  std::string current = path;
  for (int hops = 0; hops < 40; ++hops) {
    struct stat st {};
    if (::lstat(current.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return current;
    std::string target(static_cast<size_t>(st.st_size > 0 ? st.st_size : 4096) + 1, '\0');
    const ssize_t n = ::readlink(current.c_str(), target.data(), target.size());
    if (n < 0) ThrowFileError(path, errno);
    target.resize(static_cast<size_t>(n));
    if (!target.empty() && target.front() != '/') {
      const size_t separator = current.find_last_of('/');
      if (separator != std::string::npos) target = current.substr(0, separator + 1) + target;
    }
    current = target;
  }
  ThrowFileError(path, ELOOP);
}

// Writes all bytes to an open descriptor.
void WriteAll(int fd, const std::vector<std::uint8_t>& bytes, const std::string& path) {
  size_t written = 0;
  while (written < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + written, bytes.size() - written);
    if (n < 0) {
      if (errno == EINTR) continue;
      ThrowFileError(path, errno);
    }
    written += static_cast<size_t>(n);
  }
}

}  // namespace

void WriteFileAtomically(const std::string& requestedPath, const std::vector<std::uint8_t>& bytes) {
  const std::string path = ResolveLinks(requestedPath);
  struct stat target {};
  if (::stat(path.c_str(), &target) == 0 && !S_ISREG(target.st_mode)) {
    if (S_ISDIR(target.st_mode)) ThrowFileError(requestedPath, EISDIR);
    // A pipe or a device has no folder entry to replace: it is written directly.
    FileDescriptor fd(::open(path.c_str(), O_WRONLY | O_CLOEXEC));
    if (fd.Get() < 0) ThrowFileError(requestedPath, errno);
    WriteAll(fd.Get(), bytes, requestedPath);
    if (const int error = fd.Close(); error != 0) ThrowFileError(requestedPath, error);
    return;
  }

  const size_t separator = LastSeparator(path);
  std::string temporary = path + ".XXXXXX";
  FileDescriptor fd(::mkstemp(temporary.data()));
  if (fd.Get() < 0) ThrowFileError(path, errno);

  // Until the rename succeeds, every way out removes the temporary file.
  bool renamed = false;
  struct Cleanup {
    const std::string& name;
    const bool& done;
    ~Cleanup() {
      if (!done) ::unlink(name.c_str());
    }
  } cleanup{temporary, renamed};

  // mkstemp creates the file for its owner only; the document gets the target's permissions, or
  // those of a newly created file.
  struct stat existing {};
  mode_t mode;
  if (::stat(path.c_str(), &existing) == 0) {
    mode = existing.st_mode & 07777;
  } else {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    mode = 0666 & ~mask;
  }
  ::fchmod(fd.Get(), mode);

  WriteAll(fd.Get(), bytes, path);
  if (::fsync(fd.Get()) != 0) ThrowFileError(path, errno);
  if (const int error = fd.Close(); error != 0) ThrowFileError(path, error);
  if (::rename(temporary.c_str(), path.c_str()) != 0) ThrowFileError(path, errno);
  renamed = true;

  // Make the rename itself durable; a failure here loses nothing already on disk.
  const std::string folder(path, 0, separator == std::string::npos ? 0 : std::max<size_t>(separator, 1));
  FileDescriptor dir(::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.Get() >= 0) ::fsync(dir.Get());
}

}  // namespace varlo
