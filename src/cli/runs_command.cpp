// ar4conv runs: the overlap list of an archive, one line per run as the interval dialog lists it.

#include <iostream>
#include <memory>
#include <string>

#include "cli/archive_loading.hpp"
#include "cli/commands.hpp"
#include "cli/console.hpp"
#include "core/export/file_system.hpp"
#include "core/interval/overlap.hpp"
#include "core/pacer.hpp"

namespace ar4::cli {
namespace {

int RunRuns(const std::string& archive_path) {
  auto buffers = std::make_unique<ArchiveBuffers>();
  int exit_code = kExitSuccess;
  const std::optional<LoadedAndScanned> loaded =
      LoadForCli(PathFromUtf8(archive_path), false, *buffers, std::cerr, exit_code);
  if (!loaded) return exit_code;
  if (!loaded->Scanned()) {
    // An unrecognised instrument type: its report (header lines only) explains why there is no list.
    PrintReportUtf8(std::cerr, loaded->Report);
    return kExitFailure;
  }

  // The walk starts at the oldest cell, where the scan left the start position.
  auto list = std::make_unique<IntervalList>();
  Pacer pacer;
  AnalizInterval(buffers->MainBlock.get(), RingGeometry::Of(*loaded->Archive.Profile, loaded->Archive.PageCount),
                 loaded->Scan->StartPosition, *list, pacer);

  SetBinaryOutput();  // LF line ends on every platform
  for (std::uint32_t k = 0; k < list->ItemCount; ++k) std::cout << IntervalItemText(list->Entries[k]) << '\n';
  return FinishStandardOutput();
}

}  // namespace

CommandAction AddRunsCommand(CLI::App& app) {
  auto archive = std::make_shared<std::string>();
  CLI::App* command =
      app.add_subcommand("runs", "Print the overlap list: the runs between clock set-backs, one line each.");
  command->footer(
      "Reads and checks ARCHIVE, tests every cell and walks the ring once from the oldest cell, cutting it\n"
      "into runs wherever the instrument's clock went back. Prints one line per run, as the interval\n"
      "dialog lists them: its first and last time stamp. Nothing is printed when no cell has a time stamp.\n"
      "Exit codes: 0 list printed (also when empty); 1 rejected file (\"Ошибочный размер файла\",\n"
      "\"Ошибочный формат файла\", \"Ошибки\"), or an unrecognised instrument type (its report on stderr);\n"
      "2 usage error.");
  command->add_option("ARCHIVE", *archive, "the .ar4 archive file")->required();
  return [archive] { return RunRuns(*archive); };
}

}  // namespace ar4::cli
