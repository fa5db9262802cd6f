// ar4conv: the command-line front-end. Reads, checks and converts ".ar4" archives with the same core as
// the window program.

#include <cstdio>
#include <exception>
#include <iostream>

#include "cli/commands.hpp"
#include "cli/console.hpp"

#ifdef _WIN32
#include <windows.h>
#include <shellapi.h>

#include <string>
#include <vector>

namespace {

/// The program's arguments in UTF-8 (the narrow arguments of Windows are in its ANSI code page).
std::vector<std::string> Utf8Arguments() {
  std::vector<std::string> arguments;
  int count = 0;
  LPWSTR* words = CommandLineToArgvW(GetCommandLineW(), &count);
  if (words == nullptr) return arguments;
  for (int i = 0; i < count; ++i) {
    const int wide_length = lstrlenW(words[i]);
    const int length = WideCharToMultiByte(CP_UTF8, 0, words[i], wide_length, nullptr, 0, nullptr, nullptr);
    std::string text(static_cast<std::size_t>(length > 0 ? length : 0), '\0');
    if (length > 0) WideCharToMultiByte(CP_UTF8, 0, words[i], wide_length, text.data(), length, nullptr, nullptr);
    arguments.push_back(std::move(text));
  }
  LocalFree(words);
  return arguments;
}

}  // namespace
#endif

int main(int argc, char** argv) try {
#ifdef _WIN32
  // Every output byte as written (no CR added before LF), UTF-8 on the console, UTF-8 arguments.
  ar4::cli::SetBinaryOutput();
  SetConsoleOutputCP(CP_UTF8);
  std::vector<std::string> utf8_arguments = Utf8Arguments();
  std::vector<char*> utf8_argv;
  for (std::string& argument : utf8_arguments) utf8_argv.push_back(argument.data());
  utf8_argv.push_back(nullptr);
  if (!utf8_arguments.empty()) {
    argc = static_cast<int>(utf8_arguments.size());
    argv = utf8_argv.data();
  }
#endif
  CLI::App app{"ar4conv - checks and converts the data archives (.ar4) of VR7731, VR7732, VR7733, "
               "ЛС 260 and ГРВ-300 recording instruments\n"
               "into the folder tree and record files that the TrendoraStudio viewer reads.",
               "ar4conv"};
  app.set_version_flag("--version", std::string("ar4conv ") + AR4_VERSION);
  app.require_subcommand(1);
  app.footer("Run 'ar4conv COMMAND --help' for the options of a command.\n"
             "Each command takes several archives: they are processed in turn in one process, each output in\n"
             "the order given, and a failing archive's message on stderr after its path does not stop the others.\n"
             "Exit codes: 0 success, 1 rejected archive or failed conversion (several: any), 2 usage error.");

  const ar4::cli::CommandAction report = ar4::cli::AddReportCommand(app);
  const ar4::cli::CommandAction runs = ar4::cli::AddRunsCommand(app);
  const ar4::cli::CommandAction convert = ar4::cli::AddConvertCommand(app);
  const ar4::cli::CommandAction table = ar4::cli::AddTableCommand(app);

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    // --help and --version print on stdout: their output, too, must have been written.
    const int code = app.exit(e);
    return code == 0 ? ar4::cli::FinishStandardOutput() : ar4::cli::kExitUsage;
  }
  std::fflush(stdout);
  if (app.got_subcommand("report")) return report();
  if (app.got_subcommand("runs")) return runs();
  if (app.got_subcommand("convert")) return convert();
  if (app.got_subcommand("table")) return table();
  return ar4::cli::kExitUsage;
} catch (const std::exception& failure) {
  // Not expected (the commands report their own failures), but never an abort: memory that cannot be had,
  // say, ends the program with the system's message for any failure.
  return ar4::cli::UnexpectedFailure(failure.what());
} catch (...) {
  return ar4::cli::UnexpectedFailure("unknown exception");
}
