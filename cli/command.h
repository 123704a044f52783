// varlo-cli's commands. Each command file registers its subcommands on the application through a
// static CommandRegistrar; main() builds the app from them. Exit codes: 0 success, 1 the work
// failed (one-line message on standard error), 2 usage error.
#pragma once

#include <CLI/CLI.hpp>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace varlo {
class CVarloDoc;
class C_MM1K_Queue;
}

namespace varlo::cli {

// Reads a network file into a new document; the archive and file errors pass to main, which
// prints their messages.
std::unique_ptr<CVarloDoc> OpenNetwork(const std::string& path);

// The queue named by "FROM:TO", both node numbers or both node names, for the option option
// (named in the messages). Throws UsageError without a colon, CommandFailure when no link joins
// the two nodes.
C_MM1K_Queue* FindQueueByText(const CVarloDoc& doc, const std::string& text, const std::string& option);

// Thrown by a command to end with exit code 1 and the message on standard error.
class CommandFailure : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Thrown by a command to end with exit code 2 (a usage error found after parsing).
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

using CommandSetup = std::function<void(CLI::App& app)>;

std::vector<CommandSetup>& Registry();

struct CommandRegistrar {
  explicit CommandRegistrar(CommandSetup setup) { Registry().push_back(std::move(setup)); }
};

}  // namespace varlo::cli
