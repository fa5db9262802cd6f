#pragma once
/// The open output files of one export: "All_Chan.txt" (the ListingFile), the channel files Chan1..ChanN.pen
/// and the relay files Rele1..ReleM.rel, each behind a large write buffer. Closing is the caller's task:
/// CloseAll closes every open file exactly once, on every path.

#include <array>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "core/export/file_system.hpp"

namespace ar4 {

inline constexpr std::size_t kFileSlots = 16;
/// Bytes gathered per file before they are handed to the file system in one write.
inline constexpr std::size_t kOutputBufferSize = 256 * 1024;

class BufferedFile;

/// Hands full buffers to the file system on a second thread, so that the copying of the bytes into the
/// files overlaps the formatting of the next cells. Every file has two buffers: one being filled, one
/// being written. A failed write is reported to the file's owner at its next hand-over, flush or close.
class BackgroundWriter {
 public:
  BackgroundWriter() = default;
  BackgroundWriter(const BackgroundWriter&) = delete;
  BackgroundWriter& operator=(const BackgroundWriter&) = delete;
  /// Finishes the writes still queued and stops the thread.
  ~BackgroundWriter();

  /// Queues a write of `size` bytes of `data` to the open file of `owner`.
  void Submit(BufferedFile& owner, const std::uint8_t* data, std::size_t size);
  /// Waits until at most `most_pending` writes of `owner` are still queued or running; returns false when
  /// one of its writes failed.
  bool Wait(BufferedFile& owner, int most_pending);

 private:
  struct Job {
    BufferedFile* Owner;
    const std::uint8_t* Data;
    std::size_t Size;
  };
  void Run();

  std::mutex mutex_;
  std::condition_variable work_;
  std::condition_variable done_;
  std::deque<Job> jobs_;
  bool stop_ = false;
  std::thread thread_;
};

/// One output file with its write buffers. The buffers are allocated when a file is first opened in the
/// slot and reused for every later file of the slot.
class BufferedFile {
 public:
  BufferedFile() = default;
  BufferedFile(const BufferedFile&) = delete;
  BufferedFile& operator=(const BufferedFile&) = delete;
  ~BufferedFile();

  /// Lets full buffers be written on the writer's thread (set once, before the first Open).
  void AttachWriter(BackgroundWriter* writer) { writer_ = writer; }

  void Open(std::unique_ptr<OutputFile> file);
  bool IsOpen() const { return file_ != nullptr; }

  /// Appends bytes; hands the buffer to the file when it is full. Throws ExportError on a failed write.
  void Write(const void* data, std::size_t size) {
    if (size <= kOutputBufferSize - used_) {
      std::memcpy(buffer_ + used_, data, size);
      used_ += size;
    } else {
      WriteSlow(data, size);
    }
  }
  /// Room for a small record of at most kMaxReserve bytes, written in place and then committed with
  /// Commit. Throws ExportError when making room needed a write that failed.
  std::uint8_t* Reserve() {
    if (kOutputBufferSize - used_ < kMaxReserve) HandOver();
    return buffer_ + used_;
  }
  void Commit(std::size_t size) { used_ += size; }
  static constexpr std::size_t kMaxReserve = 32;

  /// Writes the buffered bytes to the file and waits until every write of the file is done. Throws
  /// ExportError on a failed write.
  void Flush();
  /// Flushes and closes; the slot is empty afterwards even when this throws ExportError.
  void Close();

 private:
  friend class BackgroundWriter;

  void WriteSlow(const void* data, std::size_t size);
  /// Hands the filled part of the buffer to the file (through the writer when there is one) and goes on
  /// in the other buffer. Throws ExportError when a write of this file has failed.
  void HandOver();
  /// Writes synchronously on this thread.
  void WriteNow(const void* data, std::size_t size);

  std::unique_ptr<OutputFile> file_;
  std::array<std::unique_ptr<std::uint8_t[]>, 2> storage_;
  std::uint8_t* buffer_ = nullptr;  // the buffer being filled: storage_[current_]
  int current_ = 0;
  std::size_t used_ = 0;
  bool failed_ = false;  // a write failed: the rest is dropped, never written twice
  BackgroundWriter* writer_ = nullptr;
  // Shared with the writer's thread, guarded by its mutex.
  int pending_ = 0;
  bool write_failed_ = false;
};

class ExportFiles {
 public:
  ExportFiles();
  ExportFiles(const ExportFiles&) = delete;
  ExportFiles& operator=(const ExportFiles&) = delete;
  /// Closes whatever is still open; never throws.
  ~ExportFiles();

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
  BackgroundWriter writer_;  // declared first: it outlives the files that use it
  std::array<BufferedFile, kFileSlots> channels_;
  std::array<BufferedFile, kFileSlots> relays_;
  BufferedFile listing_;
};

inline constexpr std::string_view kPenFileName = "Pen.txt";
inline constexpr std::string_view kListingFileName = "All_Chan.txt";
/// "Chan1.pen" .. "Chan16.pen" for channel index 0..15.
std::string ChannelFileName(std::size_t g);
/// "Rele1.rel" .. "Rele16.rel" for relay index 0..15.
std::string RelayFileName(std::size_t r);

}  // namespace ar4
