// ar4conv runs: the overlap list of an archive, one line per run as the interval dialog lists it.

#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "cli/archive_batch.hpp"
#include "cli/archive_loading.hpp"
#include "cli/commands.hpp"
#include "cli/console.hpp"
#include "core/export/file_system.hpp"
#include "core/interval/overlap.hpp"
#include "core/pacer.hpp"

namespace ar4::cli {
namespace {

int RunsOne(ArchiveBuffers& buffers, IntervalList& list, const ArchiveTurn& turn) {
  int exit_code = kExitSuccess;
  const std::optional<LoadedAndScanned> loaded =
      LoadForCli(PathFromUtf8(turn.Archive), false, buffers, turn.Err, exit_code);
  if (!loaded) return exit_code;
  if (!loaded->Scanned()) {
    // An unrecognised instrument type: its report (header lines only) explains why there is no list.
    PrintReportUtf8(turn.Err, loaded->Report);
    return kExitFailure;
  }

  // The walk starts at the oldest cell, where the scan left the start position.
  Pacer pacer;
  AnalizInterval(buffers.MainBlock.get(), RingGeometry::Of(*loaded->Archive.Profile, loaded->Archive.PageCount),
                 loaded->Scan->StartPosition, list, pacer, buffers.ValidCellMasks.get());
  if (ArchiveLostSinceLoading(buffers, turn.Err)) return kExitFailure;

  turn.BeginOutput(std::cout);
  for (std::uint32_t k = 0; k < list.ItemCount; ++k) std::cout << IntervalItemText(list.Entries[k]) << '\n';
  return FinishStandardOutput();
}

int RunRuns(const std::vector<std::string>& archives) {
  // One set of buffers and one list for all the archives of the call.
  auto buffers = std::make_unique<ArchiveBuffers>();
  auto list = std::make_unique<IntervalList>();
  SetBinaryOutput();  // LF line ends on every platform
  return ForEachArchive(archives, [&](const ArchiveTurn& turn) { return RunsOne(*buffers, *list, turn); });
}

}  // namespace

CommandAction AddRunsCommand(CLI::App& app) {
  auto archives = std::make_shared<std::vector<std::string>>();
  CLI::App* command =
      app.add_subcommand("runs", "Print the overlap list of archives: the runs between clock set-backs, one line each.");
  command->footer(
      "Reads and checks ARCHIVE, tests every cell and walks the ring once from the oldest cell, cutting it\n"
      "into runs wherever the instrument's clock went back. Prints one line per run, as the interval\n"
      "dialog lists them: its first and last time stamp. Nothing is printed when no cell has a time stamp.\n"
      "Several archives: each in turn, in the order given, its list after a line \"== ARCHIVE\"; a failing\n"
      "archive's message on stderr after its path and \": \", and the others go on. A progress line is shown\n"
      "while stderr is a terminal.\n"
      "Exit codes: 0 list printed (also when empty; several: every list); 1 rejected file (\"Ошибочный размер файла\",\n"
      "\"Ошибочный формат файла\", \"Ошибки\"), or an unrecognised instrument type (its report on stderr);\n"
      "several: any archive failed; 2 usage error.");
  command->add_option("ARCHIVE", *archives, "the .ar4 archive file(s)")->required();
  return [archives] { return RunRuns(*archives); };
}

}  // namespace ar4::cli
