#pragma once
/// The options that choose what a command takes from an archive, as the interval dialog chooses it: a run
/// of the overlap list, or a date range with or without re-ordering by date. Shared by convert and table.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include <CLI/CLI.hpp>

#include "core/conversion/user_interface.hpp"

namespace ar4::cli {

struct SelectionOptions {
  int Run = 0;  // 0: not given
  std::string From;
  std::string To;
  bool Sort = false;
  // Whether --from and --to were given at all (set by NoteGivenSelection).
  bool FromGiven = false;
  bool ToGiven = false;
  CLI::Option* FromOption = nullptr;
  CLI::Option* ToOption = nullptr;
};

/// Adds --run, --from, --to and --sort to `command`; `verb` names what the command does with the cells
/// ("convert", "write").
void AddSelectionOptions(CLI::App& command, SelectionOptions& options, const std::string& verb);

/// After parsing: notes which of the options were given.
void NoteGivenSelection(SelectionOptions& options);

/// YYYY-MM-DD with day 1..31, month 1..12, year 2000..2063 and no calendar check, like the dialog's spin edits.
std::optional<DialogDate> ParseDate(const std::string& text);

/// The interval dialog's choice the options stand for (list mode with run 1 when none is given); nothing,
/// with the usage error in `usage_error`, for a date that cannot be read. SelectDir is left at 0.
std::optional<IntervalChoice> SelectionChoice(const SelectionOptions& options, std::string& usage_error);

/// The usage error of a --run beyond the overlap list of `items` runs.
std::string RunBeyondListMessage(std::uint32_t index, std::size_t items);

}  // namespace ar4::cli
