#include "platform/core/process_runner.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>

extern char** environ;

namespace varlo {

size_t LastSeparator(const std::string& path) {
  return path.find_last_of("/\\");
}

std::string DirectoryPart(const std::string& path) {
  const size_t pos = LastSeparator(path);
  if (pos == std::string::npos) return std::string();
  if (pos == 0) return path.substr(0, 1);
  return path.substr(0, pos);
}

std::string FileNamePart(const std::string& path) {
  const size_t pos = LastSeparator(path);
  return pos == std::string::npos ? path : path.substr(pos + 1);
}

bool IsAbsolutePath(const std::string& path) {
  if (path.empty()) return false;
  if (path[0] == '/' || path[0] == '\\') return true;
  // A drive letter ("C:\sim\a.tcl") from a network made on Windows.
  return path.size() > 2 && path[1] == ':' && (path[2] == '\\' || path[2] == '/');
}

std::string JoinPath(const std::string& folder, const std::string& name) {
  if (folder.empty() || IsAbsolutePath(name)) return name;
  const char last = folder.back();
  if (last == '/' || last == '\\') return folder + name;
  return folder + "/" + name;
}

std::vector<std::string> SplitCommandLine(const std::string& line) {
  std::vector<std::string> arguments;
  std::string current;
  bool inArgument = false;
  bool quoted = false;
  for (const char c : line) {
    if (c == '"') {
      quoted = !quoted;
      inArgument = true;
    } else if ((c == ' ' || c == '\t') && !quoted) {
      if (inArgument) arguments.push_back(current);
      current.clear();
      inArgument = false;
    } else {
      current += c;
      inArgument = true;
    }
  }
  if (inArgument) arguments.push_back(current);
  return arguments;
}

std::int32_t ToSignedExitCode(std::uint32_t code) {
  return static_cast<std::int32_t>(code);
}

// --- CProcess -------------------------------------------------------------------------------------

namespace {

// Closes a descriptor when it goes out of scope.
struct FileDescriptor {
  int fd = -1;
  explicit FileDescriptor(int f) : fd(f) {}
  ~FileDescriptor() {
    if (fd >= 0) ::close(fd);
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
};

struct SpawnActions {
  posix_spawn_file_actions_t actions;
  SpawnActions() { posix_spawn_file_actions_init(&actions); }
  ~SpawnActions() { posix_spawn_file_actions_destroy(&actions); }
  SpawnActions(const SpawnActions&) = delete;
  SpawnActions& operator=(const SpawnActions&) = delete;
};

struct SpawnAttributes {
  posix_spawnattr_t attributes;
  SpawnAttributes() { posix_spawnattr_init(&attributes); }
  ~SpawnAttributes() { posix_spawnattr_destroy(&attributes); }
  SpawnAttributes(const SpawnAttributes&) = delete;
  SpawnAttributes& operator=(const SpawnAttributes&) = delete;
};

}  // namespace

std::unique_ptr<CProcess> CProcess::Start(const ProcessLaunch& launch, std::string* error) {
  auto fail = [error](const std::string& reason) -> std::unique_ptr<CProcess> {
    if (error != nullptr) *error = reason;
    return nullptr;
  };
  if (launch.arguments.empty() || launch.arguments[0].empty()) return fail("no program given");

  FileDescriptor nullInput(::open("/dev/null", O_RDONLY | O_CLOEXEC));
  FileDescriptor nullOutput(::open("/dev/null", O_WRONLY | O_CLOEXEC));
  // An error file that cannot be created leaves the child's standard error on the null device,
  // so the report shows no output.
  FileDescriptor errorOutput(
      launch.errorOutputPath.empty()
          ? -1
          : ::open(launch.errorOutputPath.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
  const int errorFd = errorOutput.fd >= 0 ? errorOutput.fd : nullOutput.fd;

  SpawnActions actions;
  if (nullInput.fd >= 0) posix_spawn_file_actions_adddup2(&actions.actions, nullInput.fd, 0);
  if (nullOutput.fd >= 0) posix_spawn_file_actions_adddup2(&actions.actions, nullOutput.fd, 1);
  if (errorFd >= 0) posix_spawn_file_actions_adddup2(&actions.actions, errorFd, 2);
  if (!launch.workingDirectory.empty()) {
    posix_spawn_file_actions_addchdir_np(&actions.actions, launch.workingDirectory.c_str());
  }

  // The child starts with default signal handling and in its own process group, so that a
  // cancellation can end the simulator together with anything it started.
  SpawnAttributes attributes;
  sigset_t defaults;
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGPIPE);
  sigaddset(&defaults, SIGINT);
  sigaddset(&defaults, SIGTERM);
  sigset_t noMask;
  sigemptyset(&noMask);
  posix_spawnattr_setsigdefault(&attributes.attributes, &defaults);
  posix_spawnattr_setsigmask(&attributes.attributes, &noMask);
  posix_spawnattr_setpgroup(&attributes.attributes, 0);
  posix_spawnattr_setflags(&attributes.attributes,
                           POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETPGROUP);

  std::vector<char*> argv;
  argv.reserve(launch.arguments.size() + 1);
  for (const auto& a : launch.arguments) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);

  pid_t pid = 0;
  const int rc =
      ::posix_spawnp(&pid, argv[0], &actions.actions, &attributes.attributes, argv.data(), environ);
  if (rc != 0) return fail(std::strerror(rc));
  return std::unique_ptr<CProcess>(new CProcess(pid));
}

CProcess::~CProcess() {
  if (!ended_) Kill();
}

std::int32_t CProcess::ExitCodeFromStatus(int status) {
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return 0;
}

std::optional<std::int32_t> CProcess::Poll() {
  if (ended_) return exitCode_;
  int status = 0;
  pid_t r;
  do {
    r = ::waitpid(pid_, &status, WNOHANG);
  } while (r < 0 && errno == EINTR);
  if (r == 0) return std::nullopt;
  ended_ = true;
  exitCode_ = r == pid_ ? ExitCodeFromStatus(status) : 0;  // 0 when the code cannot be read
  return exitCode_;
}

std::int32_t CProcess::Wait() {
  if (ended_) return exitCode_;
  int status = 0;
  pid_t r;
  do {
    r = ::waitpid(pid_, &status, 0);
  } while (r < 0 && errno == EINTR);
  ended_ = true;
  exitCode_ = r == pid_ ? ExitCodeFromStatus(status) : 0;
  return exitCode_;
}

void CProcess::Kill() {
  if (ended_) return;
  ::kill(-pid_, SIGKILL);  // the child's process group
  ::kill(pid_, SIGKILL);
  Wait();
}

// --- simulator runs -------------------------------------------------------------------------------

std::string SimulatorWorkingDirectory(const std::string& scriptPath, const std::string& documentPathName,
                                      const std::string& documentFolder) {
  std::string directory;
  if (LastSeparator(scriptPath) != std::string::npos) {
    directory = DirectoryPart(scriptPath);
  } else if (LastSeparator(documentPathName) != std::string::npos) {
    // The document's own folder; given relative (a network named on a command line), it is the
    // document folder itself and not a folder below it.
    const std::string folder = DirectoryPart(documentPathName);
    return IsAbsolutePath(folder) || documentFolder.empty() ? folder : documentFolder;
  } else {
    directory = ".";
  }
  if (IsAbsolutePath(directory)) return directory;
  if (directory == ".") return documentFolder.empty() ? directory : documentFolder;
  return JoinPath(documentFolder, directory);
}

std::string SimulatorScriptArgument(const std::string& scriptPath) {
  if (IsAbsolutePath(scriptPath) || LastSeparator(scriptPath) == std::string::npos) return scriptPath;
  return FileNamePart(scriptPath);
}

std::vector<std::string> CommandArguments(const std::string& lineWithScriptMark,
                                          const std::string& scriptArgument) {
  std::vector<std::string> arguments = SplitCommandLine(lineWithScriptMark);
  for (auto& a : arguments) {
    if (a == "%s") a = scriptArgument;
  }
  return arguments;
}

void ReadCapturedOutput(const std::string& path, SimulatorReport& report) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return;
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    report.output += line;
    report.outputLines += line;
    report.outputLines += '\n';
  }
}

std::unique_ptr<CSimulatorRun> CSimulatorRun::Start(const SimulatorRequest& request) {
  std::unique_ptr<CSimulatorRun> run(new CSimulatorRun());
  run->request_ = request;
  // Fixed now, so that the output is read back from the same file even if our working directory
  // changes while the simulator runs.
  if (!request.errorFileName.empty()) {
    std::error_code ec;
    const auto absolute = std::filesystem::absolute(request.errorFileName, ec);
    if (!ec) run->request_.errorFileName = absolute.string();
  }
  run->report_.arguments = request.arguments;
  run->report_.workingDirectory =
      SimulatorWorkingDirectory(request.scriptPath, request.documentPathName, request.documentFolder);
  ProcessLaunch launch;
  launch.arguments = request.arguments;
  launch.workingDirectory = run->report_.workingDirectory;
  launch.errorOutputPath = run->request_.errorFileName;
  run->startTime_ = std::time(nullptr);
  std::string reason;
  run->process_ = CProcess::Start(launch, &reason);
  if (!run->process_) {
    run->report_.failureMessage = request.failureMessage;
    run->report_.startError = reason;
  } else {
    run->report_.started = true;
  }
  return run;
}

bool CSimulatorRun::Poll() {
  return !process_ || process_->Poll().has_value();
}

SimulatorReport CSimulatorRun::Finish() {
  report_.runningTime = static_cast<long>(std::time(nullptr) - startTime_);
  ReadCapturedOutput(request_.errorFileName, report_);
  return report_;
}

SimulatorReport CSimulatorRun::Wait() {
  if (process_) report_.exitCode = process_->Wait();
  return Finish();
}

SimulatorReport CSimulatorRun::Cancel() {
  if (process_ && !process_->HasEnded()) {
    process_->Kill();
    report_.cancelled = true;
  }
  return Wait();
}

SimulatorReport RunSimulator(const SimulatorRequest& request) {
  return CSimulatorRun::Start(request)->Wait();
}

}  // namespace varlo
