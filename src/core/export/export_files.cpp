#include "core/export/export_files.hpp"

namespace ar4 {

BufferedFile::~BufferedFile() {
  if (file_ == nullptr) return;
  try {
    Close();
  } catch (...) {  // NOLINT(bugprone-empty-catch): a destructor reports nothing
  }
}

void BufferedFile::Open(std::unique_ptr<OutputFile> file) {
  if (!storage_) storage_ = std::make_unique_for_overwrite<std::uint8_t[]>(kOutputBufferSize);
  file_ = std::move(file);
  const std::size_t unit = file_->WriteUnit();
  // A unit that divides the buffer's size, so that a full buffer is whole units.
  unit_ = unit != 0 && unit <= kOutputBufferSize && kOutputBufferSize % unit == 0 ? unit
          : unit != 0                                                             ? kOutputBufferSize
                                                                                  : 0;
  limit_ = unit_ != 0 ? unit_ : kOutputBufferSize;
  buffer_ = storage_.get();
  used_ = 0;
  failed_ = false;
}

void BufferedFile::WriteNow(const void* data, std::size_t size) {
  if (failed_ || file_ == nullptr || size == 0) return;
  try {
    file_->Write(data, size);
  } catch (...) {
    failed_ = true;
    throw;
  }
}

void BufferedFile::HandOver() {
  const std::size_t size = used_;
  used_ = 0;
  WriteNow(buffer_, size);
}

void BufferedFile::Flush() {
  if (file_ == nullptr) return;
  HandOver();
}

void BufferedFile::WriteAligned(const std::uint8_t* data, std::size_t size) {
  // Every write so far was whole units, so the file ends at a multiple of the unit.
  const std::size_t whole = (used_ + size) / unit_ * unit_;
  const std::size_t taken = whole - used_;
  if (!failed_ && file_ != nullptr) {
    try {
      file_->WriteTwo(buffer_, used_, data, taken);
    } catch (...) {
      used_ = 0;
      failed_ = true;
      throw;
    }
  }
  used_ = size - taken;
  std::memcpy(buffer_, data + taken, used_);
}

void BufferedFile::WriteSlow(const void* data, std::size_t size) {
  if (unit_ != 0) {
    WriteAligned(static_cast<const std::uint8_t*>(data), size);
    return;
  }
  HandOver();
  if (size >= kOutputBufferSize) {
    WriteNow(data, size);
    return;
  }
  std::memcpy(buffer_, data, size);
  used_ = size;
}

void BufferedFile::WriteBlock(const void* data, std::size_t size) {
  if (file_ == nullptr) return;
  if (unit_ != 0 || size < kDirectBlockSize) {
    Write(data, size);
    return;
  }
  HandOver();  // the bytes gathered so far come first
  WriteNow(data, size);
}

void BufferedFile::Close() {
  if (file_ == nullptr) return;
  bool write_failed = false;
  try {
    Flush();
  } catch (const ExportError&) {
    write_failed = true;
  }
  write_failed = write_failed || failed_;
  // The slot is emptied whatever happens, so the file is closed exactly once.
  std::unique_ptr<OutputFile> file = std::move(file_);
  file_ = nullptr;
  used_ = 0;
  failed_ = false;
  file->Close();
  if (write_failed) throw ExportError("the last bytes of an output file could not be written");
}

ExportFiles::ExportFiles() = default;

ExportFiles::~ExportFiles() { Discard(); }

void ExportFiles::Create(BufferedFile& slot, OutputFileSystem& file_system, const std::filesystem::path& path) {
  if (file_system_ != nullptr && file_system_ != &file_system && !pending_.empty()) {
    throw ExportError("the files of one export come from one file system");
  }
  file_system_ = &file_system;
  pending_.reserve(2 * kFileSlots + 2);
  std::unique_ptr<OutputFile> file = file_system.CreateOutputFile(path);
  pending_.push_back(path);  // from here on the temporary file exists and is removed by Discard
  slot.Open(std::move(file));
}

bool ExportFiles::Commit() noexcept {
  bool ok = CloseAll();
  std::size_t published = 0;
  try {
    for (const std::filesystem::path& path : pending_) ok = ok && file_system_->CanReplace(path);
    for (; ok && published < pending_.size(); ++published) file_system_->PublishOutputFile(pending_[published]);
  } catch (...) {
    ok = false;
  }
  for (std::size_t i = published; i < pending_.size(); ++i) file_system_->DiscardOutputFile(pending_[i]);
  pending_.clear();
  return ok;
}

void ExportFiles::Discard() noexcept {
  CloseAll();
  for (const std::filesystem::path& path : pending_) file_system_->DiscardOutputFile(path);
  pending_.clear();
}

void ExportFiles::FlushAll() {
  for (BufferedFile& f : channels_) f.Flush();
  for (BufferedFile& f : relays_) f.Flush();
  listing_.Flush();
}

bool ExportFiles::CloseAll() noexcept {
  bool ok = true;
  const auto close = [&ok](BufferedFile& f) {
    try {
      f.Close();
    } catch (...) {
      ok = false;
    }
  };
  for (BufferedFile& f : channels_) close(f);
  for (BufferedFile& f : relays_) close(f);
  close(listing_);
  return ok;
}

std::size_t ExportFiles::OpenCount() const {
  std::size_t count = listing_.IsOpen() ? 1 : 0;
  for (const BufferedFile& f : channels_) count += f.IsOpen() ? 1 : 0;
  for (const BufferedFile& f : relays_) count += f.IsOpen() ? 1 : 0;
  return count;
}

std::string ChannelFileName(std::size_t g) { return "Chan" + std::to_string(g + 1) + ".pen"; }

std::string RelayFileName(std::size_t r) { return "Rele" + std::to_string(r + 1) + ".rel"; }

}  // namespace ar4
