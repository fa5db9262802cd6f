#include "cli/selection_options.hpp"

#include <cstdio>

namespace ar4::cli {

void AddSelectionOptions(CLI::App& command, SelectionOptions& options, const std::string& verb) {
  auto* run = command.add_option("--run", options.Run, verb + " run K of 'ar4conv runs' (counted from 1); default 1")
                  ->check(CLI::PositiveNumber)
                  ->type_name("K");
  options.FromOption =
      command.add_option("--from", options.From, "date range from this day, YYYY-MM-DD (default 2000-01-01)")
          ->type_name("DATE");
  options.ToOption =
      command.add_option("--to", options.To, "date range up to and including this day, YYYY-MM-DD (default 2063-12-31)")
          ->type_name("DATE");
  auto* sort = command.add_flag("--sort", options.Sort,
                                "in a date range over several runs, merge the runs by date first");
  run->excludes(options.FromOption)->excludes(options.ToOption)->excludes(sort);
}

void NoteGivenSelection(SelectionOptions& options) {
  options.FromGiven = options.FromOption != nullptr && options.FromOption->count() > 0;
  options.ToGiven = options.ToOption != nullptr && options.ToOption->count() > 0;
}

std::optional<DialogDate> ParseDate(const std::string& text) {
  int year = 0, month = 0, day = 0;
  char tail = 0;
  if (text.size() != 10 || text[4] != '-' || text[7] != '-') return std::nullopt;
  if (std::sscanf(text.c_str(), "%4d-%2d-%2d%c", &year, &month, &day, &tail) != 3) return std::nullopt;
  for (std::size_t i : {0u, 1u, 2u, 3u, 5u, 6u, 8u, 9u}) {
    if (text[i] < '0' || text[i] > '9') return std::nullopt;
  }
  if (day < 1 || day > 31 || month < 1 || month > 12 || year < 2000 || year > 2063) return std::nullopt;
  return DialogDate{day, month, year};
}

std::optional<IntervalChoice> SelectionChoice(const SelectionOptions& options, std::string& usage_error) {
  IntervalChoice choice;
  if (options.Run > 0) {
    choice.SelectInterval = 0;
    choice.BoxIntervalIndex = static_cast<std::uint32_t>(options.Run - 1);
  } else if (options.FromGiven || options.ToGiven) {
    choice.SelectInterval = 1;
    choice.From = DialogDate{1, 1, 2000};
    choice.To = DialogDate{31, 12, 2063};
    if (options.FromGiven) {
      const auto from = ParseDate(options.From);
      if (!from) {
        usage_error = "--from " + options.From + ": expected YYYY-MM-DD (day 1..31, month 1..12, year 2000..2063)";
        return std::nullopt;
      }
      choice.From = *from;
    }
    if (options.ToGiven) {
      const auto to = ParseDate(options.To);
      if (!to) {
        usage_error = "--to " + options.To + ": expected YYYY-MM-DD (day 1..31, month 1..12, year 2000..2063)";
        return std::nullopt;
      }
      choice.To = *to;
    }
  } else {
    choice.SelectInterval = 0;  // list mode with the first run
    choice.BoxIntervalIndex = 0;
  }
  return choice;
}

std::string RunBeyondListMessage(std::uint32_t index, std::size_t items) {
  return "--run " + std::to_string(index + 1) + ": the archive has " + std::to_string(items) +
         (items == 1 ? " run" : " runs") + " (see 'ar4conv runs')";
}

}  // namespace ar4::cli
