#pragma once
/// The subcommands of ar4conv; each adds itself to the application and runs when chosen.

#include <functional>

#include <CLI/CLI.hpp>

namespace ar4::cli {

/// A subcommand's work, run after parsing; returns the process exit code.
using CommandAction = std::function<int()>;

/// Exit codes: 0 success, 1 a rejected archive or a failed conversion, 2 a usage error.
inline constexpr int kExitSuccess = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;

CommandAction AddReportCommand(CLI::App& app);
CommandAction AddRunsCommand(CLI::App& app);
CommandAction AddConvertCommand(CLI::App& app);
CommandAction AddTableCommand(CLI::App& app);

}  // namespace ar4::cli
