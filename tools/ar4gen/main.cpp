// ar4gen: writes a synthetic ".ar4" archive, deterministic from a seed, for tests, benchmarks and samples.

#include <CLI/CLI.hpp>

#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>

#include "ar4gen/generator.hpp"

namespace {

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

/// Accepts what ParseStampText reads.
const CLI::Validator kStampText(
    [](std::string& text) {
      return ar4gen::ParseStampText(text) ? std::string()
                                          : "expected 0xHEX, a decimal number or YYYY-MM-DD[THH:MM:SS]: " + text;
    },
    "STAMP");

const CLI::Range kProbability(0.0, 1.0);

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{
      "ar4gen - writes a synthetic \".ar4\" archive of a VR7731 (type 73), VR7732 (74), VR7733 (75),\n"
      "ЛС 260 (76) or ГРВ-300 (89) recording instrument: the 256-byte header, PAGES pages of 256 bytes\n"
      "and an optional tail. The cells fill the ring from the wrap slot on, with time stamps rising by\n"
      "STEP seconds and, on request, clock set-backs, damaged cells, missing or equal time stamps,\n"
      "flagged channels and awkward values. The same options and seed give the same bytes everywhere.\n"
      "Probabilities are per cell (per channel or sample for --flagged and --special), 0..1.",
      "ar4gen"};
  app.option_defaults()->always_capture_default();
  app.get_formatter()->column_width(32);

  ar4gen::GeneratorOptions options;
  options.Header.PageCount = 16;
  std::string output;
  std::string first_stamp = "0x38000000";
  std::string created = "0x38000000";
  std::uint32_t filled = 0;
  unsigned firmware_count = options.Header.FirmwareCount;
  unsigned size_low = options.Header.SizeLowByte;
  unsigned samples = options.Samples;

  app.add_option("-o,--output", output, "The archive file to write")->required()->type_name("FILE");
  app.add_option("--type", options.Header.DeviceType,
                 "Instrument type: 73, 74, 75, 76 or 89; any other number gives a header of that type "
                 "and an erased main block");
  app.add_option("--pages", options.Header.PageCount,
                 "Pages of the main block, written to header bytes 5..7")
      ->check(CLI::Range(0u, 0xFFFFFFu));
  app.add_option("--seed", options.Seed, "Seed of the pseudo-random choices");
  app.add_option("--wrap-slot", options.WrapSlot,
                 "Ring slot of the oldest cell (slot s is page s div cells-per-page, cell s mod "
                 "cells-per-page), taken modulo the ring's cell count");
  app.add_option("--filled", filled, "Cells written from the wrap slot on; the rest stays erased (0xFF)")
      ->capture_default_str()
      ->default_str("all");
  app.add_option("--first-stamp", first_stamp,
                 "Time stamp of the oldest cell: 0xHEX, a number or YYYY-MM-DD[THH:MM:SS] "
                 "(0x38000000 is 2014-01-01T00:00:00)")
      ->check(kStampText);
  app.add_option("--step", options.StepSeconds, "Seconds between neighbouring cells");
  app.add_option("--setbacks", options.SetBacks,
                 "Clock set-backs, spread evenly over the written cells; each one is a cell earlier than "
                 "the cell before it");
  app.add_option("--damage-marker", options.MarkerDamage, "Probability of a wrong marker byte")->check(kProbability);
  app.add_option("--damage-length", options.LengthDamage, "Probability of a wrong length byte")->check(kProbability);
  app.add_option("--damage-checksum", options.ChecksumDamage, "Probability of a wrong check byte")
      ->check(kProbability);
  app.add_option("--zero-stamps", options.ZeroStamps, "Probability of time stamp 0")->check(kProbability);
  app.add_option("--ones-stamps", options.AllOnesStamps, "Probability of time stamp 0xFFFFFFFF")
      ->check(kProbability);
  app.add_option("--equal-stamps", options.EqualStamps, "Probability of the previous cell's time stamp")
      ->check(kProbability);
  app.add_option("--flagged", options.FlaggedChannels,
                 "Probability of a flagged channel or sample (a status code 0..255 in place of a value)")
      ->check(kProbability);
  app.add_option("--special", options.SpecialValues,
                 "Probability of a special value: ±250000, ±100000, infinities, NaN, subnormals, exponents "
                 "254 and 255")
      ->check(kProbability);
  app.add_option("--samples", samples, "Type 89: samples per cell 1..16, 0 = random")->check(CLI::Range(0u, 16u));
  app.add_option("--sample-interval", options.SampleInterval,
                 "Type 89: byte 6, seconds between samples (0 = 1/8 second), -1 = random")
      ->check(CLI::Range(-1, 255));
  app.add_option("--serial", options.Header.SerialNumber, "Serial number of the instrument (header bytes 26..29)");
  app.add_option("--created", created,
                 "Creation date of the archive (header bytes 22..25): 0xHEX, a number or "
                 "YYYY-MM-DD[THH:MM:SS]; 0 and 0xFFFFFFFF are allowed")
      ->check(kStampText);
  app.add_option("--firmware-count", firmware_count,
                 "Header byte 14, the number of firmware-version components (valid 1..3)")
      ->check(CLI::Range(0u, 255u));
  app.add_option("--format-version", options.Header.FormatVersion, "File format version (header bytes 12..13)");
  app.add_option("--size-low", size_low, "Header byte 4, the size's remainder below 256 (ignored by readers)")
      ->check(CLI::Range(0u, 255u));
  app.add_option("--size-high", options.Header.SizeHigh,
                 "Header bytes 8..11, the high half of the size (ignored by readers)");
  app.add_flag("--bad-signature", options.Header.BadSignature, "Write \"AR\" in place of the signature \"ar\"");
  app.add_option("--tail", options.FileTailBytes, "Extra bytes after the main block");
  app.footer("Exit codes: 0 written, 1 the file cannot be written, 2 usage error.");

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    const int code = app.exit(e);
    return code == 0 ? 0 : kExitUsage;
  }

  options.FirstStamp = *ar4gen::ParseStampText(first_stamp);
  options.Header.CreationDate = *ar4gen::ParseStampText(created);
  options.Header.FirmwareCount = static_cast<std::uint8_t>(firmware_count);
  options.Header.SizeLowByte = static_cast<std::uint8_t>(size_low);
  options.Samples = static_cast<std::uint8_t>(samples);
  if (app.count("--filled") != 0) options.FilledCells = filled;

  const std::vector<std::uint8_t> archive = ar4gen::GenerateArchive(options);
  std::ofstream file(output, std::ios::binary | std::ios::trunc);
  file.write(reinterpret_cast<const char*>(archive.data()), static_cast<std::streamsize>(archive.size()));
  file.close();
  if (!file) {
    std::cerr << "ar4gen: cannot write " << output << "\n";
    return kExitFailure;
  }
  return 0;
}
