#include <cstdio>
#include <exception>

#include "cli/command.h"
#include "model/archive.h"
#include "model/persistent.h"

namespace varlo::cli {

std::vector<CommandSetup>& Registry() {
  static std::vector<CommandSetup> registry;
  return registry;
}

}  // namespace varlo::cli

int main(int argc, char** argv) {
  using namespace varlo;
  RegisterPersistentClasses();
  CLI::App app{"varlo-cli: Varlo's network operations without windows, for scripts and batch runs"};
  app.require_subcommand(1);
  for (const auto& setup : cli::Registry()) setup(app);
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    const int code = app.exit(e);
    return code == 0 ? 0 : 2;
  } catch (const cli::UsageError& e) {
    std::fprintf(stderr, "varlo-cli: %s\n", e.what());
    return 2;
  } catch (const cli::CommandFailure& e) {
    std::fprintf(stderr, "varlo-cli: %s\n", e.what());
    return 1;
  } catch (const CArchiveException& e) {
    std::fprintf(stderr, "varlo-cli: %s\n", e.Message().c_str());
    return 1;
  } catch (const CFileException& e) {
    std::fprintf(stderr, "varlo-cli: %s\n", e.Message().c_str());
    return 1;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "varlo-cli: %s\n", e.what());
    return 1;
  }
  return 0;
}
