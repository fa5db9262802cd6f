#pragma once
/// The Windows side of the viewer on Linux: the viewer is a Windows program run under Wine, so the
/// installer's folder list is read from the Wine prefix's registry file, and its Windows paths are turned
/// into paths of this machine through the prefix's drive links.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ar4 {

/// The key under HKEY_LOCAL_MACHINE whose value names are the folders that installations created.
inline constexpr std::string_view kInstallerFoldersKey =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Installer\\Folders";

/// The Wine prefix: `wineprefix` when set and not empty, else `home`/.wine; empty when neither is known.
std::filesystem::path WinePrefixFrom(const char* wineprefix, const char* home);

/// The prefix named by the environment (WINEPREFIX, else HOME).
std::filesystem::path WinePrefixFromEnvironment();

/// Decodes one quoted or bracketed item of a registry file, from just after its opening character up to
/// the unescaped `terminator`: "\\" is a backslash, "\"" a double quote, "\x" with one to four hex digits
/// a UTF-16 code unit (surrogate pairs combine), the C escapes as in C. Result in UTF-8; `consumed` gets
/// the count of bytes read including the terminator (npos when it is missing).
std::string DecodeRegistryString(std::string_view text, char terminator, std::size_t& consumed);

/// The value names of `key` (compared without regard to letter case) in the order they stand in the text
/// of a Wine registry file (system.reg), in UTF-8. Default values ("@=") and other sections are skipped.
std::vector<std::string> RegistryValueNames(std::string_view registry_text, std::string_view key);

/// A registry file larger than this is not read (Wine's own are a few MiB).
inline constexpr std::uint64_t kRegistryFileLimit = std::uint64_t{256} << 20;
/// Of a longer line only the first this many bytes are kept: enough for any value name (16383 UTF-16
/// units, each at most six bytes as an escape), the rest is a value.
inline constexpr std::size_t kRegistryLineLimit = std::size_t{128} << 10;

/// The installer's folder list of the prefix: the value names of kInstallerFoldersKey in
/// `prefix`/system.reg, read as a stream; empty when the file is missing, is no regular file, cannot be
/// read or is larger than kRegistryFileLimit.
std::vector<std::string> ReadInstallerFolders(const std::filesystem::path& prefix);

/// A Windows path ("C:\Program Files\X\") as a path of this machine through the prefix's drive link
/// (`prefix`/dosdevices/c:/Program Files/X/). "." and ".." are resolved as Windows resolves them, ".."
/// stopping at the drive's root, so the result always lies in the drive's folder. Nothing for a path
/// without a drive letter.
std::optional<std::filesystem::path> WindowsPathInPrefix(std::string_view windows_path,
                                                         const std::filesystem::path& prefix);

}  // namespace ar4
