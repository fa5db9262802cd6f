#include "cli/commands.hpp"

namespace ar4::cli {

CommandAction AddReportCommand(CLI::App& app) {
  app.add_subcommand("report", "(not built yet)");
  return [] { return kExitUsage; };
}

}  // namespace ar4::cli
