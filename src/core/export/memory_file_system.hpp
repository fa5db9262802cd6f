#pragma once
/// An OutputFileSystem held in memory, with faults on demand: for tests of the export and the conversion
/// run, and for fuzzing without a disk.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "core/export/file_system.hpp"

namespace ar4 {

class MemoryFileSystem final : public OutputFileSystem {
 public:
  /// The contents of every file ever created, by its generic path string; kept after closing. A file is
  /// kept under its temporary name (TemporaryPath) until it is published.
  std::map<std::string, std::vector<std::uint8_t>> Files;
  /// Existing folders, by generic path string (without trailing separator). The root "/" and any folder
  /// given to AddDirectory exist.
  std::set<std::string> Directories{"/"};

  // Fault injection.
  std::set<std::string> FailCreateNames;  // file names (last path element) whose creation throws
  std::uint64_t FailWriteNumber = 0;      // the n-th Write over all files throws (1-based); 0: never
  bool FailClose = false;                 // every Close throws (the file is closed all the same)
  bool KeepContents = true;               // false: only count bytes (fuzzing, benchmarks)
  std::size_t FileWriteUnit = 0;          // the WriteUnit the files report (0: none)
  /// Folders locked by another conversion: LockFolder waits (calling keep_waiting) while a folder is here.
  std::set<std::string> LockedElsewhere;

  // What happened.
  std::vector<std::string> CreationOrder;  // keys of the files in the order they were created
  std::uint64_t WriteCount = 0;   // a WriteTwo counts as one write, as a gathering write of the system does
  std::uint64_t BytesWritten = 0;
  std::uint64_t MisalignedWrites = 0;  // with a FileWriteUnit: writes that began off a multiple of it
  std::uint32_t OpenFiles = 0;   // created and not yet closed
  std::uint32_t CloseCount = 0;  // closes of files
  std::uint32_t DoubleCloses = 0;  // closes of a file already closed: always 0 in a correct program
  std::uint32_t LocksHeld = 0;     // folder locks taken and not yet released
  std::uint32_t Publishes = 0;     // temporary files given their final names

  void AddDirectory(const std::filesystem::path& path);
  /// The bytes of a file, empty when it does not exist.
  const std::vector<std::uint8_t>& Contents(const std::filesystem::path& path) const;
  bool Exists(const std::filesystem::path& path) const;

  bool IsDirectory(const std::filesystem::path& path) override;
  bool CreateFolder(const std::filesystem::path& path) override;
  std::unique_ptr<OutputFile> CreateOutputFile(const std::filesystem::path& path) override;
  bool CanReplace(const std::filesystem::path& path) override;
  void PublishOutputFile(const std::filesystem::path& path) override;
  void DiscardOutputFile(const std::filesystem::path& path) noexcept override;
  std::unique_ptr<FolderLock> LockFolder(const std::filesystem::path& folder,
                                         const std::function<bool()>& keep_waiting) override;
  /// Names of temporary files present now.
  std::vector<std::string> Temporaries() const;

  /// The key under which a path is kept: generic form, without a trailing separator.
  static std::string Key(const std::filesystem::path& path);

  /// Guards the counters and contents: the export writes different files from two threads at once.
  std::mutex Mutex;
};

}  // namespace ar4
