#pragma once
/// The open output files of one export: "All_Chan.txt" (the ListingFile), the channel files Chan1..ChanN.pen
/// and the relay files Rele1..ReleM.rel, each behind a large write buffer. Closing is the caller's task:
/// CloseAll closes every open file exactly once, on every path. The files are written under temporary names
/// and take their final names together (Commit), so that a failed or interrupted conversion leaves the
/// folder with the files of the run before it (Discard).

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "core/export/file_system.hpp"

namespace ar4 {

inline constexpr std::size_t kFileSlots = 16;
/// Bytes gathered per file before they are handed to the file system in one write.
inline constexpr std::size_t kOutputBufferSize = 256 * 1024;

/// One output file with its write buffer. The buffer is allocated when a file is first opened in the slot
/// and reused for every later file of the slot. Every write happens on the thread that owns the files.
/// A file with a WriteUnit gets whole multiples of it (up to the buffer's size) at offsets that are
/// multiples of it, but for its last write: the page cache of a disk takes such writes in large pieces,
/// and ragged ones of a hundred kilobytes cost it twice as much.
class BufferedFile {
 public:
  BufferedFile() = default;
  BufferedFile(const BufferedFile&) = delete;
  BufferedFile& operator=(const BufferedFile&) = delete;
  ~BufferedFile();

  void Open(std::unique_ptr<OutputFile> file);
  bool IsOpen() const { return file_ != nullptr; }

  /// Appends bytes; hands the buffer to the file when it is full (with a WriteUnit, when it holds a whole
  /// unit). Throws ExportError on a failed write.
  void Write(const void* data, std::size_t size) {
    if (size <= limit_ - used_) {
      std::memcpy(buffer_ + used_, data, size);
      used_ += size;
    } else {
      WriteSlow(data, size);
    }
  }
  /// Appends a block of bytes without copying most of it: a large one goes to the file in one write after
  /// the bytes buffered so far (with a WriteUnit, as much of it as makes whole units, the rest is gathered),
  /// a small one is gathered in the buffer. Throws ExportError on a failed write.
  void WriteBlock(const void* data, std::size_t size);
  /// Without a WriteUnit, blocks of at least this size are written straight to the file.
  static constexpr std::size_t kDirectBlockSize = 32 * 1024;

  /// Writes the buffered bytes to the file. Throws ExportError on a failed write.
  void Flush();
  /// Flushes and closes; the slot is empty afterwards even when this throws ExportError.
  void Close();

 private:
  void WriteSlow(const void* data, std::size_t size);
  /// With a WriteUnit: the buffered bytes and the front of `data` that make whole units in one write, the
  /// rest of `data` gathered. Needs used_ + size >= the unit.
  void WriteAligned(const std::uint8_t* data, std::size_t size);
  /// Writes the filled part of the buffer to the file and empties the buffer. Throws ExportError when the
  /// write fails.
  void HandOver();
  void WriteNow(const void* data, std::size_t size);

  std::unique_ptr<OutputFile> file_;
  std::unique_ptr<std::uint8_t[]> storage_;
  std::uint8_t* buffer_ = nullptr;
  std::size_t used_ = 0;
  std::size_t unit_ = 0;  // the file's WriteUnit, within the buffer's size; 0 when it has none
  std::size_t limit_ = kOutputBufferSize;  // the bytes gathered before a write: the unit, else the buffer
  bool failed_ = false;   // a write failed: the rest is dropped, never written twice
};

class ExportFiles {
 public:
  ExportFiles();
  ExportFiles(const ExportFiles&) = delete;
  ExportFiles& operator=(const ExportFiles&) = delete;
  /// Closes whatever is still open and removes the temporary files not committed; never throws.
  ~ExportFiles();

  /// Creates the file that is to become `path` (under its temporary name) and opens it in `slot`, one of
  /// the slots below. Throws ExportError. Every file created so belongs to the export until Commit or
  /// Discard; all of them come from the same file system.
  void Create(BufferedFile& slot, OutputFileSystem& file_system, const std::filesystem::path& path);
  /// Closes every file and gives every file created its final name, in the order of creation. Before the
  /// first name is replaced, every final name is checked to be replaceable (not a folder), so that a commit
  /// does not stop half way for such a reason. Returns false when a close or a rename failed; every
  /// temporary file left is removed then. Nothing is pending afterwards.
  bool Commit() noexcept;
  /// Closes every file and removes the temporary files of the export (a failure or an interruption): the
  /// files of that name from before stay as they were. Nothing is pending afterwards.
  void Discard() noexcept;
  /// Files created and neither committed nor discarded yet.
  std::size_t PendingCount() const { return pending_.size(); }

  /// ChannelFiles: slot g for the file of channel g + 1 (slot 0 holds "Pen.txt" while it is written).
  BufferedFile& Channel(std::size_t g) { return channels_[g]; }
  /// RelayFiles: slot r for the file of relay r + 1.
  BufferedFile& Relay(std::size_t r) { return relays_[r]; }
  /// ListingFile: "All_Chan.txt".
  BufferedFile& Listing() { return listing_; }

  /// Flushes every open file (end of the export). Throws ExportError on a failed write.
  void FlushAll();
  /// Closes every open file exactly once (its buffered bytes written first) and empties its slot: the
  /// channel files, the relay files, then the listing. Safe on every path, also after an ExportError and
  /// when nothing is open. Returns false when a write or close failed: the run is then a failure.
  bool CloseAll() noexcept;
  /// Number of files open now.
  std::size_t OpenCount() const;

 private:
  std::array<BufferedFile, kFileSlots> channels_;
  std::array<BufferedFile, kFileSlots> relays_;
  BufferedFile listing_;
  OutputFileSystem* file_system_ = nullptr;
  std::vector<std::filesystem::path> pending_;  // final paths of the files created, in order
};

inline constexpr std::string_view kPenFileName = "Pen.txt";
inline constexpr std::string_view kListingFileName = "All_Chan.txt";
/// "Chan1.pen" .. "Chan16.pen" for channel index 0..15.
std::string ChannelFileName(std::size_t g);
/// "Rele1.rel" .. "Rele16.rel" for relay index 0..15.
std::string RelayFileName(std::size_t r);

}  // namespace ar4
