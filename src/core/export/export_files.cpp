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
  if (!buffer_) buffer_ = std::make_unique_for_overwrite<std::uint8_t[]>(kOutputBufferSize);
  file_ = std::move(file);
  used_ = 0;
  failed_ = false;
}

void BufferedFile::Flush() {
  if (used_ == 0 || file_ == nullptr) return;
  const std::size_t size = used_;
  used_ = 0;
  if (failed_) return;
  try {
    file_->Write(buffer_.get(), size);
  } catch (...) {
    failed_ = true;
    throw;
  }
}

void BufferedFile::WriteSlow(const void* data, std::size_t size) {
  Flush();
  if (size >= kOutputBufferSize) {
    if (failed_ || file_ == nullptr) return;
    try {
      file_->Write(data, size);
    } catch (...) {
      failed_ = true;
      throw;
    }
    return;
  }
  std::memcpy(buffer_.get(), data, size);
  used_ = size;
}

void BufferedFile::Close() {
  if (file_ == nullptr) return;
  // The slot is emptied whatever happens, so the file is closed exactly once.
  std::unique_ptr<OutputFile> file = std::move(file_);
  file_ = nullptr;
  bool write_failed = false;
  if (used_ != 0 && !failed_) {
    try {
      file->Write(buffer_.get(), used_);
    } catch (const ExportError&) {
      write_failed = true;
    }
  }
  used_ = 0;
  failed_ = false;
  file->Close();
  if (write_failed) throw ExportError("the last bytes of an output file could not be written");
}

ExportFiles::~ExportFiles() { CloseAll(); }

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
