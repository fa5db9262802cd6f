#include "core/export/memory_file_system.hpp"

#include <utility>

namespace ar4 {
namespace {

class MemoryFile final : public OutputFile {
 public:
  MemoryFile(MemoryFileSystem& owner, std::string key) : owner_(owner), key_(std::move(key)) {}
  MemoryFile(const MemoryFile&) = delete;
  MemoryFile& operator=(const MemoryFile&) = delete;
  ~MemoryFile() override {
    const std::lock_guard<std::mutex> lock(owner_.Mutex);
    if (open_) --owner_.OpenFiles;  // dropped without Close
  }

  void Write(const void* data, std::size_t size) override { WriteTwo(data, size, nullptr, 0); }

  void WriteTwo(const void* first, std::size_t first_size, const void* second, std::size_t second_size) override {
    const std::lock_guard<std::mutex> lock(owner_.Mutex);
    if (!open_) throw ExportError("write after close");
    ++owner_.WriteCount;
    if (owner_.FailWriteNumber != 0 && owner_.WriteCount == owner_.FailWriteNumber) {
      throw ExportError("injected write failure");
    }
    if (owner_.FileWriteUnit != 0 && size_ % owner_.FileWriteUnit != 0) ++owner_.MisalignedWrites;
    size_ += first_size + second_size;
    owner_.BytesWritten += first_size + second_size;
    if (owner_.KeepContents) {
      auto& contents = owner_.Files[key_];
      for (const auto& [data, size] : {std::pair{first, first_size}, std::pair{second, second_size}}) {
        const auto* bytes = static_cast<const std::uint8_t*>(data);
        contents.insert(contents.end(), bytes, bytes + size);
      }
    }
  }

  std::size_t WriteUnit() const override { return owner_.FileWriteUnit; }

  void Close() override {
    const std::lock_guard<std::mutex> lock(owner_.Mutex);
    if (!open_) {
      ++owner_.DoubleCloses;
      return;
    }
    open_ = false;
    --owner_.OpenFiles;
    ++owner_.CloseCount;
    if (owner_.FailClose) throw ExportError("injected close failure");
  }

 private:
  MemoryFileSystem& owner_;
  std::string key_;
  std::uint64_t size_ = 0;
  bool open_ = true;
};

class MemoryFolderLock final : public FolderLock {
 public:
  explicit MemoryFolderLock(MemoryFileSystem& owner) : owner_(owner) {}
  MemoryFolderLock(const MemoryFolderLock&) = delete;
  MemoryFolderLock& operator=(const MemoryFolderLock&) = delete;
  ~MemoryFolderLock() override {
    const std::lock_guard<std::mutex> lock(owner_.Mutex);
    --owner_.LocksHeld;
  }

 private:
  MemoryFileSystem& owner_;
};

}  // namespace

std::string MemoryFileSystem::Key(const std::filesystem::path& path) {
  std::string key = PathToUtf8(path.generic_u8string());
  while (key.size() > 1 && key.back() == '/') key.pop_back();
  return key;
}

void MemoryFileSystem::AddDirectory(const std::filesystem::path& path) { Directories.insert(Key(path)); }

const std::vector<std::uint8_t>& MemoryFileSystem::Contents(const std::filesystem::path& path) const {
  static const std::vector<std::uint8_t> kEmpty;
  const auto it = Files.find(Key(path));
  return it == Files.end() ? kEmpty : it->second;
}

bool MemoryFileSystem::Exists(const std::filesystem::path& path) const { return Files.count(Key(path)) != 0; }

bool MemoryFileSystem::IsDirectory(const std::filesystem::path& path) {
  return Directories.count(Key(path)) != 0;
}

bool MemoryFileSystem::CreateFolder(const std::filesystem::path& path) {
  const std::string key = Key(path);
  if (Directories.count(key) != 0) return true;
  if (Files.count(key) != 0) return false;  // a plain file of that name is in the way
  if (Directories.count(Key(PathFromUtf8(key).parent_path())) == 0) return false;
  Directories.insert(key);
  return true;
}

std::unique_ptr<OutputFile> MemoryFileSystem::CreateOutputFile(const std::filesystem::path& path) {
  const std::string key = Key(path);
  const std::filesystem::path generic = PathFromUtf8(key);
  if (FailCreateNames.count(PathToUtf8(generic.filename())) != 0) throw ExportError("injected create failure");
  if (Directories.count(key) != 0 || Directories.count(Key(generic.parent_path())) == 0) {
    throw ExportError("cannot create " + key);
  }
  const std::string temporary = Key(TemporaryPath(generic));
  Files[temporary].clear();  // a leftover temporary file is replaced; the final name is not touched
  CreationOrder.push_back(key);
  ++OpenFiles;
  return std::make_unique<MemoryFile>(*this, temporary);
}

bool MemoryFileSystem::CanReplace(const std::filesystem::path& path) { return Directories.count(Key(path)) == 0; }

void MemoryFileSystem::PublishOutputFile(const std::filesystem::path& path) {
  const std::string key = Key(path);
  const auto temporary = Files.find(Key(TemporaryPath(PathFromUtf8(key))));
  if (temporary == Files.end() || Directories.count(key) != 0) throw ExportError("cannot rename into " + key);
  Files[key] = std::move(temporary->second);
  Files.erase(temporary);
  ++Publishes;
}

void MemoryFileSystem::DiscardOutputFile(const std::filesystem::path& path) noexcept {
  Files.erase(Key(TemporaryPath(PathFromUtf8(Key(path)))));
}

std::unique_ptr<FolderLock> MemoryFileSystem::LockFolder(const std::filesystem::path& folder,
                                                        const std::function<bool()>& keep_waiting) {
  if (Directories.count(Key(folder)) == 0) throw ExportError("cannot lock " + Key(folder));
  while (LockedElsewhere.count(Key(folder)) != 0) {
    if (!keep_waiting()) return nullptr;
  }
  ++LocksHeld;
  return std::make_unique<MemoryFolderLock>(*this);
}

std::vector<std::string> MemoryFileSystem::Temporaries() const {
  std::vector<std::string> names;
  for (const auto& [key, contents] : Files) {
    if (key.size() > kTemporarySuffix.size() && key.ends_with(kTemporarySuffix)) names.push_back(key);
  }
  return names;
}

}  // namespace ar4
