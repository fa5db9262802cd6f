#include "cli/commands.hpp"

namespace ar4::cli {

CommandAction AddConvertCommand(CLI::App& app) {
  app.add_subcommand("convert", "(not built yet)");
  return [] { return kExitUsage; };
}

}  // namespace ar4::cli
