#include "core/export/file_system.hpp"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <system_error>

namespace ar4 {
namespace {

std::string Describe(const char* what, const std::filesystem::path& path, int error) {
  std::string text = what;
  text += " \"";
  text += PathToUtf8(path);
  text += "\"";
  if (error != 0) {
    text += ": ";
    text += std::strerror(error);
  }
  return text;
}

/// A file written through the C library without its own buffering: the export hands over large chunks,
/// each of which becomes one system write. Every result is checked.
class DiskFile final : public OutputFile {
 public:
  DiskFile(std::FILE* file, std::filesystem::path path) : file_(file), path_(std::move(path)) {}
  DiskFile(const DiskFile&) = delete;
  DiskFile& operator=(const DiskFile&) = delete;
  ~DiskFile() override {
    if (file_ != nullptr) std::fclose(file_);
  }

  void Write(const void* data, std::size_t size) override {
    if (file_ == nullptr) throw ExportError(Describe("write after close of", path_, 0));
    if (size == 0) return;
    errno = 0;
    if (std::fwrite(data, 1, size, file_) != size) {
      throw ExportError(Describe("cannot write", path_, errno));
    }
  }

  void Close() override {
    if (file_ == nullptr) return;
    std::FILE* file = file_;
    file_ = nullptr;
    errno = 0;
    const bool failed = std::ferror(file) != 0;
    if (std::fclose(file) != 0 || failed) throw ExportError(Describe("cannot close", path_, errno));
  }

 private:
  std::FILE* file_;
  std::filesystem::path path_;
};

}  // namespace

bool DiskFileSystem::IsDirectory(const std::filesystem::path& path) {
  std::error_code error;
  return std::filesystem::is_directory(path, error);
}

bool DiskFileSystem::CreateFolder(const std::filesystem::path& path) {
  std::error_code error;
  std::filesystem::create_directory(path, error);
  if (error) return false;
  return std::filesystem::is_directory(path, error);
}

std::unique_ptr<OutputFile> DiskFileSystem::CreateOutputFile(const std::filesystem::path& path) {
  errno = 0;
#ifdef _WIN32
  std::FILE* file = _wfopen(path.c_str(), L"wb");
#else
  std::FILE* file = std::fopen(path.c_str(), "wb");
#endif
  if (file == nullptr) throw ExportError(Describe("cannot create", path, errno));
  // No buffering of the C library: the export buffers itself and writes large chunks.
  std::setvbuf(file, nullptr, _IONBF, 0);
  return std::make_unique<DiskFile>(file, path);
}

std::filesystem::path PathFromUtf8(std::string_view utf8) {
  std::u8string text(utf8.size(), u8'\0');
  for (std::size_t i = 0; i < utf8.size(); ++i) text[i] = static_cast<char8_t>(utf8[i]);
  return std::filesystem::path(text);
}

std::string PathToUtf8(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  std::string out(text.size(), '\0');
  for (std::size_t i = 0; i < text.size(); ++i) out[i] = static_cast<char>(text[i]);
  return out;
}

}  // namespace ar4
