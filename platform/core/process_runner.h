// Starting the external simulators: a child process with its arguments given one by one (never
// through a shell), a working directory, standard input and output on the null device and the
// standard error output captured in a file. Runs can be waited for, polled or cancelled.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <ctime>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace varlo {

// --- paths (both '/' and '\\' separate directories) ---------------------------------------------

// Position of the last '/' or '\\', or std::string::npos.
size_t LastSeparator(const std::string& path);
// The text before the last separator ("/" for a file in the root); "" when there is none.
std::string DirectoryPart(const std::string& path);
// The text after the last separator.
std::string FileNamePart(const std::string& path);
bool IsAbsolutePath(const std::string& path);
// folder + "/" + name, or name alone when folder is empty or name is absolute.
std::string JoinPath(const std::string& folder, const std::string& name);

// --- command lines ------------------------------------------------------------------------------

// Splits a command line into arguments at runs of blanks and tabs; double quotes group blanks
// into one argument and are removed.
std::vector<std::string> SplitCommandLine(const std::string& line);
// An exit code as the signed 32-bit number the report shows: 4294967295 reads -1.
std::int32_t ToSignedExitCode(std::uint32_t code);

// --- processes ----------------------------------------------------------------------------------

struct ProcessLaunch {
  // arguments[0] is the program; without a '/' it is looked up along PATH.
  std::vector<std::string> arguments;
  std::string workingDirectory;  // "" keeps ours
  // Standard error goes to this file, created anew (truncated); "" sends it to the null device.
  std::string errorOutputPath;
};

// A started child process. Destroying a handle whose child still runs kills and reaps it.
class CProcess {
 public:
  // Starts the child. Returns nullptr, with the system's reason in *error, when it cannot be
  // started (program not found or not executable, working directory missing).
  static std::unique_ptr<CProcess> Start(const ProcessLaunch& launch, std::string* error = nullptr);
  ~CProcess();
  CProcess(const CProcess&) = delete;
  CProcess& operator=(const CProcess&) = delete;

  pid_t GetPid() const { return pid_; }
  // The exit code once the child has ended, without blocking.
  std::optional<std::int32_t> Poll();
  // Blocks until the child ends; returns its exit code.
  std::int32_t Wait();
  // Kills the child (SIGKILL) and reaps it; the exit code is then 128 + 9.
  void Kill();
  bool HasEnded() const { return ended_; }

  // A child killed by signal s reports 128 + s, as a shell does (a crash by SIGSEGV reads 139).
  static std::int32_t ExitCodeFromStatus(int status);

 private:
  explicit CProcess(pid_t pid) : pid_(pid) {}
  pid_t pid_;
  bool ended_ = false;
  std::int32_t exitCode_ = 0;
};

// --- simulator runs ------------------------------------------------------------------------------

struct SimulatorRequest {
  // The command line as the report shows it ("ns a.tcl").
  std::string commandLine;
  // The command line as arguments, the script path being one of them however many blanks it holds.
  std::vector<std::string> arguments;
  // The script path as entered; decides the working directory.
  std::string scriptPath;
  // Full path of the document ("" when never saved) and the folder that relative names are taken
  // from (the document's folder, or our working directory for a document never saved).
  std::string documentPathName;
  std::string documentFolder;
  // "tmp_out_ns" / "tmp_out_qns", relative to our own working directory.
  std::string errorFileName;
  // "Error Running ns !" / "Error Running qns !".
  std::string failureMessage;
};

struct SimulatorReport {
  bool started = false;
  bool cancelled = false;
  std::string failureMessage;  // set when the program could not be started
  std::string startError;      // the system's reason then
  std::int32_t exitCode = 0;   // 0 when the program could not be started
  long runningTime = 0;        // whole seconds of wall clock
  // The captured error output: lines appended without their line ends and without separator
  // (the report's text), and the same lines each ended by "\n" for a readable display.
  std::string output;
  std::string outputLines;
  std::string workingDirectory;
  std::vector<std::string> arguments;  // as started
};

// The working directory of a run: the script's directory when its path has one, else the
// document's directory when its path has one, else ".". Relative results are taken from
// documentFolder.
std::string SimulatorWorkingDirectory(const std::string& scriptPath, const std::string& documentPathName,
                                      const std::string& documentFolder);

// The script as the simulator's argument: the path as entered, except that a relative path with a
// directory part is given by its file name, since the run starts in that directory already.
std::string SimulatorScriptArgument(const std::string& scriptPath);

// The arguments of a command line written with the script path as "%s": the line is split at
// blanks by SplitCommandLine and the script argument replaces the "%s" word whole, blanks and all.
std::vector<std::string> CommandArguments(const std::string& lineWithScriptMark,
                                          const std::string& scriptArgument);

// Reads the captured error output into report.output and report.outputLines; a file that cannot
// be read leaves them as far as they were filled.
void ReadCapturedOutput(const std::string& path, SimulatorReport& report);

// A simulator run that may be left running while the caller keeps its windows alive.
class CSimulatorRun {
 public:
  // Creates the error-output file, reads the clock and starts the program. A program that cannot
  // be started gives a run that has already ended with the failure message set.
  static std::unique_ptr<CSimulatorRun> Start(const SimulatorRequest& request);

  // True once the program has ended (or was never started).
  bool Poll();
  // Waits for the end and returns the report.
  SimulatorReport Wait();
  // Ends the program and returns the report, marked cancelled.
  SimulatorReport Cancel();

 private:
  CSimulatorRun() = default;
  SimulatorReport Finish();

  SimulatorRequest request_;
  std::unique_ptr<CProcess> process_;
  std::time_t startTime_ = 0;
  SimulatorReport report_;
};

// Runs the simulator to its end (no time limit) and returns the report.
SimulatorReport RunSimulator(const SimulatorRequest& request);

}  // namespace varlo
