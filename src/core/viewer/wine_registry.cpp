#include "core/viewer/wine_registry.hpp"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "core/archive/cp1251.hpp"
#include "core/archive/regular_file.hpp"

namespace ar4 {
namespace {

constexpr std::uint32_t kReplacement = 0xFFFD;

/// Collects UTF-16 code units into UTF-8, pairing surrogates; a lone surrogate becomes U+FFFD.
class Utf16Collector {
 public:
  explicit Utf16Collector(std::string& out) : out_(out) {}

  void Unit(std::uint32_t unit) {
    if (unit >= 0xDC00 && unit <= 0xDFFF && high_ != 0) {
      AppendUtf8(out_, 0x10000 + ((high_ - 0xD800) << 10) + (unit - 0xDC00));
      high_ = 0;
      return;
    }
    Flush();
    if (unit >= 0xD800 && unit <= 0xDBFF) {
      high_ = unit;
    } else if (unit >= 0xDC00 && unit <= 0xDFFF) {
      AppendUtf8(out_, kReplacement);
    } else {
      AppendUtf8(out_, unit);
    }
  }
  /// A byte that stood in the file as it is (already UTF-8).
  void RawByte(char byte) {
    Flush();
    out_.push_back(byte);
  }
  void Flush() {
    if (high_ != 0) {
      AppendUtf8(out_, kReplacement);
      high_ = 0;
    }
  }

 private:
  std::string& out_;
  std::uint32_t high_ = 0;
};

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualIgnoringAsciiCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  }
  return true;
}

}  // namespace

std::filesystem::path WinePrefixFrom(const char* wineprefix, const char* home) {
  if (wineprefix != nullptr && *wineprefix != '\0') return std::filesystem::path(wineprefix);
  if (home != nullptr && *home != '\0') return std::filesystem::path(home) / ".wine";
  return {};
}

std::filesystem::path WinePrefixFromEnvironment() {
  return WinePrefixFrom(std::getenv("WINEPREFIX"), std::getenv("HOME"));
}

std::string DecodeRegistryString(std::string_view text, char terminator, std::size_t& consumed) {
  std::string out;
  Utf16Collector units(out);
  std::size_t i = 0;
  while (i < text.size()) {
    const char c = text[i];
    if (c == terminator) {
      units.Flush();
      consumed = i + 1;
      return out;
    }
    if (c != '\\' || i + 1 >= text.size()) {
      units.RawByte(c);
      ++i;
      continue;
    }
    const char e = text[i + 1];
    i += 2;
    switch (e) {
      case 'a': units.Unit(0x07); break;
      case 'b': units.Unit(0x08); break;
      case 'e': units.Unit(0x1B); break;
      case 'f': units.Unit(0x0C); break;
      case 'n': units.Unit(0x0A); break;
      case 'r': units.Unit(0x0D); break;
      case 't': units.Unit(0x09); break;
      case 'v': units.Unit(0x0B); break;
      case 'x': {
        std::uint32_t unit = 0;
        int digits = 0;
        while (digits < 4 && i < text.size() && HexValue(text[i]) >= 0) {
          unit = unit * 16 + static_cast<std::uint32_t>(HexValue(text[i]));
          ++i;
          ++digits;
        }
        if (digits == 0) {
          units.Unit('x');
        } else {
          units.Unit(unit);
        }
        break;
      }
      default:
        if (e >= '0' && e <= '7') {
          std::uint32_t unit = static_cast<std::uint32_t>(e - '0');
          int digits = 1;
          while (digits < 3 && i < text.size() && text[i] >= '0' && text[i] <= '7') {
            unit = unit * 8 + static_cast<std::uint32_t>(text[i] - '0');
            ++i;
            ++digits;
          }
          units.Unit(unit);
        } else {
          units.RawByte(e);  // "\\", "\"" and any other escaped character stand for themselves
        }
        break;
    }
  }
  units.Flush();
  consumed = std::string_view::npos;
  return out;
}

namespace {

/// The value names of one key, gathered line by line from the text of a registry file.
class ValueNameCollector {
 public:
  explicit ValueNameCollector(std::string_view key) : key_(key) {}

  void Line(std::string_view line) {
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty()) return;
    if (line.front() == '[') {
      std::size_t consumed = 0;
      const std::string name = DecodeRegistryString(line.substr(1), ']', consumed);
      in_key_ = consumed != std::string_view::npos && EqualIgnoringAsciiCase(name, key_);
      return;
    }
    if (!in_key_ || line.front() != '"') return;  // "#time=", "@=" defaults, comments, continuations
    std::size_t consumed = 0;
    std::string name = DecodeRegistryString(line.substr(1), '"', consumed);
    if (consumed == std::string_view::npos) return;
    const std::string_view rest = line.substr(1 + consumed);
    if (rest.empty() || rest.front() != '=') return;
    names_.push_back(std::move(name));
  }

  std::vector<std::string> Take() { return std::move(names_); }

 private:
  std::string_view key_;
  bool in_key_ = false;
  std::vector<std::string> names_;
};

}  // namespace

std::vector<std::string> RegistryValueNames(std::string_view registry_text, std::string_view key) {
  ValueNameCollector names(key);
  std::size_t start = 0;
  while (start < registry_text.size()) {
    std::size_t end = registry_text.find('\n', start);
    if (end == std::string_view::npos) end = registry_text.size();
    names.Line(registry_text.substr(start, end - start));
    start = end + 1;
  }
  return names.Take();
}

std::vector<std::string> ReadInstallerFolders(const std::filesystem::path& prefix) {
  if (prefix.empty()) return {};
  RegularFile file;
  if (file.Open(prefix / "system.reg") != OpenFileStatus::kOpened || file.Size() > kRegistryFileLimit) return {};

  // Read in pieces, one line at a time: only the start of a long line can hold a value name.
  ValueNameCollector names(kInstallerFoldersKey);
  std::vector<char> piece(std::size_t{1} << 16);
  std::string line;
  const auto keep = [&line](std::string_view bytes) {
    if (line.size() < kRegistryLineLimit) line.append(bytes.substr(0, kRegistryLineLimit - line.size()));
  };
  std::uint64_t total = 0;
  for (;;) {
    const std::size_t got = std::fread(piece.data(), 1, piece.size(), file.Stream());
    if (got == 0) break;
    total += got;
    if (total > kRegistryFileLimit) return {};  // grown past the limit while it was read
    std::string_view rest(piece.data(), got);
    for (std::size_t end = rest.find('\n'); end != std::string_view::npos; end = rest.find('\n')) {
      keep(rest.substr(0, end));
      names.Line(line);
      line.clear();
      rest.remove_prefix(end + 1);
    }
    keep(rest);
  }
  if (std::ferror(file.Stream()) != 0) return {};
  names.Line(line);
  return names.Take();
}

std::optional<std::filesystem::path> WindowsPathInPrefix(std::string_view windows_path,
                                                         const std::filesystem::path& prefix) {
  if (prefix.empty() || windows_path.size() < 2 || windows_path[1] != ':') return std::nullopt;
  if (windows_path.find('\0') != std::string_view::npos) return std::nullopt;  // the system would cut it there
  const char drive = AsciiLower(windows_path[0]);
  if (drive < 'a' || drive > 'z') return std::nullopt;

  // The folders after the drive as Windows resolves them: runs of separators are one, "." is the folder
  // itself, ".." its parent but never more than the drive's root. No part that is left can lead out of
  // the drive's folder.
  const std::string_view rest = windows_path.substr(2);
  std::vector<std::string_view> parts;
  for (std::size_t begin = 0; begin <= rest.size();) {
    const std::size_t end = std::min(rest.find_first_of("\\/", begin), rest.size());
    const std::string_view part = rest.substr(begin, end - begin);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    begin = end + 1;
  }

  std::filesystem::path result = prefix / "dosdevices" / std::string{drive, ':'};
  for (const std::string_view part : parts) result /= std::string(part);
  const bool ends_in_separator = !rest.empty() && (rest.back() == '\\' || rest.back() == '/');
  if ((parts.empty() && !rest.empty()) || (!parts.empty() && ends_in_separator)) {
    result /= "";  // a drive root, or a folder written with its trailing separator
  }
  return result;
}

}  // namespace ar4
