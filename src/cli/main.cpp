// ar4conv: the command-line front-end. Reads, checks and converts ".ar4" archives with the same core as
// the window program.

#include <cstdio>
#include <iostream>

#include "cli/commands.hpp"

int main(int argc, char** argv) {
  CLI::App app{"ar4conv - checks and converts the data archives (.ar4) of VR7731, VR7732, VR7733, "
               "ЛС 260 and ГРВ-300 recording instruments\n"
               "into the folder tree and record files that the TrendoraStudio viewer reads.",
               "ar4conv"};
  app.set_version_flag("--version", std::string("ar4conv ") + AR4_VERSION);
  app.require_subcommand(1);
  app.footer("Run 'ar4conv COMMAND --help' for the options of a command.\n"
             "Exit codes: 0 success, 1 rejected archive or failed conversion, 2 usage error.");

  const ar4::cli::CommandAction report = ar4::cli::AddReportCommand(app);
  const ar4::cli::CommandAction runs = ar4::cli::AddRunsCommand(app);
  const ar4::cli::CommandAction convert = ar4::cli::AddConvertCommand(app);

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    const int code = app.exit(e);
    return code == 0 ? 0 : ar4::cli::kExitUsage;
  }
  std::fflush(stdout);
  if (app.got_subcommand("report")) return report();
  if (app.got_subcommand("runs")) return runs();
  if (app.got_subcommand("convert")) return convert();
  return ar4::cli::kExitUsage;
}
