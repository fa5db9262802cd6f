#include "core/export/export_files.hpp"

namespace ar4 {

BackgroundWriter::~BackgroundWriter() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  work_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void BackgroundWriter::Submit(BufferedFile& owner, const std::uint8_t* data, std::size_t size) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!thread_.joinable()) thread_ = std::thread([this] { Run(); });
    ++owner.pending_;
    jobs_.push_back({&owner, data, size});
  }
  work_.notify_one();
}

bool BackgroundWriter::Wait(BufferedFile& owner, int most_pending) {
  std::unique_lock<std::mutex> lock(mutex_);
  done_.wait(lock, [&] { return owner.pending_ <= most_pending; });
  return !owner.write_failed_;
}

void BackgroundWriter::Run() {
  for (;;) {
    Job job;
    bool skip;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      work_.wait(lock, [this] { return stop_ || !jobs_.empty(); });
      if (jobs_.empty()) return;  // stopped, and nothing left to write
      job = jobs_.front();
      jobs_.pop_front();
      skip = job.Owner->write_failed_;
    }
    bool failed = false;
    if (!skip) {
      try {
        // The owner touches neither this buffer nor its file until the write is counted done.
        job.Owner->file_->Write(job.Data, job.Size);
      } catch (...) {
        failed = true;
      }
    }
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (failed) job.Owner->write_failed_ = true;
      --job.Owner->pending_;
    }
    done_.notify_all();
  }
}

BufferedFile::~BufferedFile() {
  if (file_ == nullptr) return;
  try {
    Close();
  } catch (...) {  // NOLINT(bugprone-empty-catch): a destructor reports nothing
  }
}

void BufferedFile::Open(std::unique_ptr<OutputFile> file) {
  const int buffers = writer_ != nullptr ? 2 : 1;
  for (int i = 0; i < buffers; ++i) {
    if (!storage_[static_cast<std::size_t>(i)]) {
      storage_[static_cast<std::size_t>(i)] = std::make_unique_for_overwrite<std::uint8_t[]>(kOutputBufferSize);
    }
  }
  file_ = std::move(file);
  current_ = 0;
  buffer_ = storage_[0].get();
  used_ = 0;
  failed_ = false;
  write_failed_ = false;
}

void BufferedFile::WriteNow(const void* data, std::size_t size) {
  if (failed_ || file_ == nullptr) return;
  try {
    file_->Write(data, size);
  } catch (...) {
    failed_ = true;
    throw;
  }
}

void BufferedFile::HandOver() {
  if (file_ == nullptr) {
    used_ = 0;
    return;
  }
  const std::size_t size = used_;
  used_ = 0;
  if (writer_ == nullptr) {
    if (size != 0) WriteNow(buffer_, size);
    return;
  }
  if (size != 0 && !failed_) {
    writer_->Submit(*this, buffer_, size);
    current_ ^= 1;
    buffer_ = storage_[static_cast<std::size_t>(current_)].get();
  }
  // The other buffer may still be on its way to the file: wait until it is free again.
  if (!writer_->Wait(*this, 1) && !failed_) {
    failed_ = true;
    throw ExportError("a write of an output file failed");
  }
}

void BufferedFile::Flush() {
  if (file_ == nullptr) return;
  HandOver();
  if (writer_ != nullptr && !writer_->Wait(*this, 0) && !failed_) {
    failed_ = true;
    throw ExportError("a write of an output file failed");
  }
}

void BufferedFile::WriteSlow(const void* data, std::size_t size) {
  HandOver();
  if (size >= kOutputBufferSize) {
    // A large block goes straight to the file once the writer has nothing of this file left.
    if (writer_ != nullptr && !writer_->Wait(*this, 0) && !failed_) {
      failed_ = true;
      throw ExportError("a write of an output file failed");
    }
    WriteNow(data, size);
    return;
  }
  std::memcpy(buffer_, data, size);
  used_ = size;
}

void BufferedFile::Close() {
  if (file_ == nullptr) return;
  bool write_failed = false;
  try {
    Flush();
  } catch (const ExportError&) {
    write_failed = true;
  }
  if (writer_ != nullptr) writer_->Wait(*this, 0);  // nothing of this file may still be in flight
  write_failed = write_failed || failed_;
  // The slot is emptied whatever happens, so the file is closed exactly once.
  std::unique_ptr<OutputFile> file = std::move(file_);
  file_ = nullptr;
  used_ = 0;
  failed_ = false;
  write_failed_ = false;
  file->Close();
  if (write_failed) throw ExportError("the last bytes of an output file could not be written");
}

ExportFiles::ExportFiles() {
  for (BufferedFile& f : channels_) f.AttachWriter(&writer_);
  for (BufferedFile& f : relays_) f.AttachWriter(&writer_);
  listing_.AttachWriter(&writer_);
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
