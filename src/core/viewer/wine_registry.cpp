#include "core/viewer/wine_registry.hpp"

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>

#include "core/archive/cp1251.hpp"

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

std::vector<std::string> RegistryValueNames(std::string_view registry_text, std::string_view key) {
  std::vector<std::string> names;
  bool in_key = false;
  std::size_t start = 0;
  while (start < registry_text.size()) {
    std::size_t end = registry_text.find('\n', start);
    if (end == std::string_view::npos) end = registry_text.size();
    std::string_view line = registry_text.substr(start, end - start);
    start = end + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty()) continue;

    if (line.front() == '[') {
      std::size_t consumed = 0;
      const std::string name = DecodeRegistryString(line.substr(1), ']', consumed);
      in_key = consumed != std::string_view::npos && EqualIgnoringAsciiCase(name, key);
      continue;
    }
    if (!in_key || line.front() != '"') continue;  // "#time=", "@=" defaults, comments, continuations
    std::size_t consumed = 0;
    std::string name = DecodeRegistryString(line.substr(1), '"', consumed);
    if (consumed == std::string_view::npos) continue;
    const std::string_view rest = line.substr(1 + consumed);
    if (rest.empty() || rest.front() != '=') continue;
    names.push_back(std::move(name));
  }
  return names;
}

std::vector<std::string> ReadInstallerFolders(const std::filesystem::path& prefix) {
  if (prefix.empty()) return {};
  std::ifstream in(prefix / "system.reg", std::ios::binary);
  if (!in) return {};
  const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  if (in.bad()) return {};
  return RegistryValueNames(text, kInstallerFoldersKey);
}

std::optional<std::filesystem::path> WindowsPathInPrefix(std::string_view windows_path,
                                                         const std::filesystem::path& prefix) {
  if (prefix.empty() || windows_path.size() < 2 || windows_path[1] != ':') return std::nullopt;
  const char drive = AsciiLower(windows_path[0]);
  if (drive < 'a' || drive > 'z') return std::nullopt;

  std::string rest(windows_path.substr(2));
  for (char& c : rest) {
    if (c == '\\') c = '/';
  }
  const std::size_t first = rest.find_first_not_of('/');
  const bool had_separator = !rest.empty();
  rest.erase(0, first == std::string::npos ? rest.size() : first);

  std::filesystem::path result = prefix / "dosdevices" / std::string{drive, ':'};
  if (!rest.empty()) {
    result /= rest;
  } else if (had_separator) {
    result /= "";  // a drive root keeps its trailing separator
  }
  return result;
}

}  // namespace ar4
