// ar4conv report: reads and checks an archive as the conversion driver does, runs the validation scan and
// prints the archive report (as text, as the raw Windows-1251 bytes, or as JSON with the overlap list).

#include <cstdio>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "cli/archive_batch.hpp"
#include "cli/archive_loading.hpp"
#include "cli/commands.hpp"
#include "cli/console.hpp"
#include "core/archive/codecs.hpp"
#include "core/archive/format.hpp"
#include "core/export/file_system.hpp"
#include "core/interval/overlap.hpp"
#include "core/pacer.hpp"

namespace ar4::cli {
namespace {

struct ReportOptions {
  std::vector<std::string> Archives;
  bool Detailed = false;
  bool Raw = false;
  bool Json = false;
};

nlohmann::json StampJson(std::uint32_t stamp) {
  // The report prints a missing time stamp (0 or 0xFFFFFFFF) as "----  ----".
  return {{"Stamp", stamp}, {"Text", HasTimeStamp(stamp) ? PackedToText(stamp) : PackedToText(0xFFFFFFFFu)}};
}

nlohmann::json IntervalListJson(const ArchiveBuffers& buffers, const LoadedArchive& archive,
                                const ScanResult& scan) {
  // The analysis walks the ring from the oldest cell, as the conversion driver starts it after the scan.
  auto list = std::make_unique<IntervalList>();
  Pacer pacer;
  AnalizInterval(buffers.MainBlock.get(), RingGeometry::Of(*archive.Profile, archive.PageCount),
                 scan.StartPosition, *list, pacer, buffers.ValidCellMasks.get());
  nlohmann::json entries = nlohmann::json::array();
  for (std::uint32_t k = 0; k < list->ItemCount; ++k) {
    const IntervalEntry& e = list->Entries[k];
    entries.push_back({{"FirstPage", e.FirstPage},
                       {"FirstCell", e.FirstCell},
                       {"LastPage", e.LastPage},
                       {"LastCell", e.LastCell},
                       {"FirstStamp", e.FirstStamp},
                       {"LastStamp", e.LastStamp},
                       {"FirstText", PackedToText(e.FirstStamp)},
                       {"LastText", PackedToText(e.LastStamp)},
                       {"ItemText", IntervalItemText(e)}});
  }
  return entries;
}

nlohmann::json ReportJson(const LoadedAndScanned& loaded, const ArchiveBuffers& buffers) {
  const LoadedArchive& archive = loaded.Archive;
  const std::uint32_t creation = ReadU32(buffers.ArchiveHeader.data() + header::kCreationDate);
  nlohmann::json json = {
      {"DeviceType", archive.DeviceType},
      {"Model", archive.Profile != nullptr ? nlohmann::json(std::string(archive.Profile->Model)) : nlohmann::json()},
      {"SerialNumber", archive.SerialNumber},
      {"CreationDate", {{"Stamp", creation}, {"Text", PackedToText(creation)}}},
      {"FileSize", archive.FileSize},
  };
  if (!loaded.Scanned()) {
    // An unrecognised type: no size test and no scan.
    json["Scanned"] = false;
    return json;
  }
  const ScanResult& scan = *loaded.Scan;
  const ScanStatistics& s = scan.Statistics;
  json["Scanned"] = true;
  json["PageCount"] = archive.PageCount;
  json["ScanStatistics"] = {{"ValidCells", s.ValidCells},
                            {"CellsWithoutMarker", s.CellsWithoutMarker},
                            {"CellsWithWrongLength", s.CellsWithWrongLength},
                            {"CellsWithBadChecksum", s.CellsWithBadChecksum},
                            {"ChainBreaks", s.ChainBreaks},
                            {"OffScaleValues", s.OffScaleValues}};
  json["ValidCells"] = s.ValidCells;
  json["NominalCapacity"] = scan.NominalCapacity;
  json["FillPerMille"] = scan.FillPerMille;
  json["MinDate"] = StampJson(scan.MinDate);
  json["StartPosition"] = {{"Page", scan.StartPosition.Page}, {"Cell", scan.StartPosition.Cell}};
  json["IntervalList"] = IntervalListJson(buffers, archive, scan);
  return json;
}

int ReportOne(const ReportOptions& options, ArchiveBuffers& buffers, const ArchiveTurn& turn) {
  int exit_code = kExitSuccess;
  const std::optional<LoadedAndScanned> loaded =
      LoadForCli(PathFromUtf8(turn.Archive), options.Detailed, buffers, turn.Err, exit_code);
  if (!loaded) return exit_code;

  if (options.Raw) {
    turn.BeginOutput(std::cout);
    std::cout.write(loaded->Report.data(), static_cast<std::streamsize>(loaded->Report.size()));
    if (turn.Several()) std::cout << '\n';  // the next "==" line on a line of its own
  } else if (options.Json) {
    const nlohmann::json json = ReportJson(*loaded, buffers);
    if (ArchiveLostSinceLoading(buffers, turn.Err)) return kExitFailure;
    turn.BeginOutput(std::cout, false);
    // Several archives: one object a line, so that each line can be read on its own.
    std::cout << json.dump(turn.Several() ? -1 : 2) << '\n';
  } else {
    turn.BeginOutput(std::cout);
    PrintReportUtf8(std::cout, loaded->Report);
  }
  return FinishStandardOutput();
}

int RunReport(const ReportOptions& options) {
  auto buffers = std::make_unique<ArchiveBuffers>();  // one for all the archives of the call
  if (options.Raw) SetBinaryOutput();
  return ForEachArchive(options.Archives,
                        [&](const ArchiveTurn& turn) { return ReportOne(options, *buffers, turn); });
}

}  // namespace

CommandAction AddReportCommand(CLI::App& app) {
  auto options = std::make_shared<ReportOptions>();
  CLI::App* command = app.add_subcommand(
      "report", "Check archives and print their reports (instrument, serial number, dates, fill, defects).");
  command->footer(
      "Reads and checks ARCHIVE as the window program does (size, signature, instrument type, page count),\n"
      "tests every cell and prints the archive report. An archive of an unrecognised instrument type gets\n"
      "its header lines only.\n"
      "Several archives: each in turn, in the order given; each report after a line \"== ARCHIVE\" (--json:\n"
      "one JSON object a line, no such line); a rejected archive's message on stderr after its path and \": \",\n"
      "and the others go on. A progress line is shown while stderr is a terminal.\n"
      "Exit codes: 0 report printed (several: every report); 1 rejected file (\"Ошибочный размер файла\", \"Ошибочный формат файла\",\n"
      "\"Ошибки\" when it cannot be opened or read; several: any archive rejected); 2 usage error.");
  command->add_option("ARCHIVE", options->Archives, "the .ar4 archive file(s)")->required();
  command->add_flag("--detailed", options->Detailed,
                    "detailed mode (the /S switch): firmware, header details and the defect counts");
  CLI::Option* raw = command->add_flag(
      "--raw", options->Raw, "print exactly the report's Windows-1251 bytes with CR line ends, nothing else");
  CLI::Option* json = command->add_flag(
      "--json", options->Json,
      "print one JSON object: device, serial, creation date, the scan's counters, fill, minimum date and the\n"
      "overlap list (runs with their first and last cells and stamps)");
  raw->excludes(json);
  return [options] { return RunReport(*options); };
}

}  // namespace ar4::cli
