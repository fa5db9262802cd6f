#include "cli/commands.hpp"

namespace ar4::cli {

CommandAction AddRunsCommand(CLI::App& app) {
  app.add_subcommand("runs", "(not built yet)");
  return [] { return kExitUsage; };
}

}  // namespace ar4::cli
