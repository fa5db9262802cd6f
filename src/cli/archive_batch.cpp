#include "cli/archive_batch.hpp"

#include <iostream>
#include <streambuf>
#include <system_error>

#include "cli/commands.hpp"
#include "cli/console.hpp"
#include "core/export/file_system.hpp"

namespace ar4::cli {
namespace {

/// The stderr of one archive: each message (the text up to a flush) goes out as one piece, with the
/// progress line taken off first and, when there are several archives, the archive's path and ": " in
/// front of it.
class MessageBuffer final : public std::streambuf {
 public:
  MessageBuffer(std::string prefix, ProgressLine& progress) : prefix_(std::move(prefix)), progress_(progress) {}
  ~MessageBuffer() override { Emit(); }

 protected:
  int_type overflow(int_type c) override {
    if (c != traits_type::eof()) text_.push_back(static_cast<char>(c));
    return traits_type::not_eof(c);
  }
  std::streamsize xsputn(const char* s, std::streamsize n) override {
    text_.append(s, static_cast<std::size_t>(n));
    return n;
  }
  int sync() override {
    Emit();
    return 0;
  }

 private:
  void Emit() {
    if (text_.empty()) return;
    progress_.Erase();
    std::cerr << prefix_ << text_;
    std::cerr.flush();
    text_.clear();
  }

  std::string prefix_;
  ProgressLine& progress_;
  std::string text_;
};

std::uint64_t FileSizeOrZero(const std::string& archive) {
  std::error_code error;
  const std::uintmax_t size = std::filesystem::file_size(PathFromUtf8(archive), error);
  return error ? 0 : static_cast<std::uint64_t>(size);
}

}  // namespace

ProgressLine::ProgressLine(std::FILE* stream, bool enabled)
    : stream_(stream), enabled_(enabled), start_(std::chrono::steady_clock::now()) {}

ProgressLine::~ProgressLine() { Erase(); }

void ProgressLine::BeginArchive(std::size_t index, std::size_t count, std::string_view name, std::uint64_t bytes) {
  index_ = index;
  count_ = count;
  name_.assign(name);
  phase_.clear();
  percent_ = -1;
  current_bytes_ = bytes;
  Draw();
}

void ProgressLine::EndArchive() {
  done_bytes_ += current_bytes_;
  current_bytes_ = 0;
}

void ProgressLine::Show(std::string_view phase, int percent) {
  if (phase == phase_ && percent == percent_ && drawn_ > 0) return;
  phase_.assign(phase);
  percent_ = percent;
  Draw();
}

std::string ProgressLine::Text(std::size_t index, std::size_t count, std::string_view name, std::string_view phase,
                               int percent, double megabytes_per_second) {
  std::string text = "archive " + std::to_string(index + 1) + " of " + std::to_string(count) + ", ";
  text += name;
  if (!phase.empty()) {
    text += ": ";
    text += phase;
    if (percent >= 0) text += " " + std::to_string(percent) + " %";
  }
  if (megabytes_per_second > 0) {
    char rate[32];
    std::snprintf(rate, sizeof rate, ", %.0f MB/s", megabytes_per_second);
    text += rate;
  }
  return text;
}

void ProgressLine::Draw() {
  if (!enabled_) return;
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
  const double current = percent_ > 0 ? static_cast<double>(current_bytes_) * percent_ / 100.0 : 0.0;
  const double rate = seconds > 0.05 ? (static_cast<double>(done_bytes_) + current) / 1e6 / seconds : 0.0;
  const std::string text = Text(index_, count_, name_, phase_, percent_, rate);
  // Back to the line's start, the new text, and blanks over what is left of a longer earlier text.
  std::string line = "\r" + text;
  if (drawn_ > text.size()) line.append(drawn_ - text.size(), ' ');
  std::fwrite(line.data(), 1, line.size(), stream_);
  std::fflush(stream_);
  drawn_ = text.size();
}

void ProgressLine::Erase() {
  if (!enabled_ || drawn_ == 0) return;
  const std::string blank = "\r" + std::string(drawn_, ' ') + "\r";
  std::fwrite(blank.data(), 1, blank.size(), stream_);
  std::fflush(stream_);
  drawn_ = 0;
}

void ArchiveTurn::BeginOutput(std::ostream& out, bool heading) const {
  Progress.Erase();
  if (heading && Several()) out << "== " << Archive << '\n';
}

int ForEachArchive(const std::vector<std::string>& archives, const ArchiveAction& action) {
  ProgressLine progress(stderr, IsTerminal(stderr));
  const bool several = archives.size() > 1;
  bool any_failed = false;
  int single_code = kExitSuccess;
  for (std::size_t i = 0; i < archives.size(); ++i) {
    const std::string& archive = archives[i];
    progress.BeginArchive(i, archives.size(), PathToUtf8(PathFromUtf8(archive).filename()), FileSizeOrZero(archive));
    int code = kExitFailure;
    {
      MessageBuffer messages(several ? archive + ": " : std::string(), progress);
      std::ostream err(&messages);
      try {
        code = action(ArchiveTurn{archive, i, archives.size(), err, progress});
      } catch (const std::exception&) {  // nothing foreseen throws; should anything, the others go on
        err << "Ошибки\n";
        err.flush();
      }
      std::cout.flush();
    }
    progress.EndArchive();
    if (code != kExitSuccess) any_failed = true;
    single_code = code;
  }
  progress.Erase();
  if (!several) return single_code;
  return any_failed ? kExitFailure : kExitSuccess;
}

}  // namespace ar4::cli
