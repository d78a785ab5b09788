#include "tests/support/testfilesystems.h"

#include <algorithm>
#include <utility>

namespace ppi {
namespace {

// Messages the memory file system gives, as POSIX systems word them.
constexpr const char* kNoSuchFile = "No such file or directory";
constexpr const char* kIsAFolder = "Is a directory";
constexpr const char* kNotAFolder = "Not a directory";
constexpr const char* kNoPermission = "Permission denied";
constexpr const char* kNotOpen = "Bad file descriptor";
constexpr const char* kExists = "File exists";

std::string folderOf(const std::string& path) {
  const std::size_t slash = path.find_last_of("/\\");
  if (slash == std::string::npos) return {};
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

}  // namespace

// ---------------------------------------------------------------------------
// The file system in memory.

namespace {

class MemoryFile : public File {
 public:
  MemoryFile(std::shared_ptr<std::string> content, TextMode text)
      : content_(std::move(content)), text_(text) {}

  IoStatus write(std::string_view data, std::size_t& written) override {
    written = 0;
    if (!open_) return IoStatus::failure(kNotOpen);
    if (text_ == TextMode::text) {
      content_->append(widenLineEnds(data));
    } else {
      content_->append(data);
    }
    written = data.size();
    return {};
  }

  IoStatus read(char* buffer, std::size_t capacity, std::size_t& got) override {
    got = 0;
    if (!open_) return IoStatus::failure(kNotOpen);
    if (position_ < content_->size()) {
      got = std::min(capacity, content_->size() - position_);
      std::copy_n(content_->data() + position_, got, buffer);
      position_ += got;
    }
    return {};
  }

  std::uint64_t bytesAhead() override {
    return open_ && position_ < content_->size() ? content_->size() - position_ : 0;
  }

  IoStatus flushToDisk() override { return open_ ? IoStatus() : IoStatus::failure(kNotOpen); }

  IoStatus close() override {
    if (!open_) return IoStatus::failure(kNotOpen);
    open_ = false;
    return {};
  }

 private:
  std::shared_ptr<std::string> content_;  // shared with the file system's entry, if any
  TextMode text_;
  std::size_t position_ = 0;
  bool open_ = true;
};

}  // namespace

MemoryFileSystem::MemoryFileSystem() : folders_{"", "/", "."} {}

void MemoryFileSystem::addFolder(const std::string& path) { folders_.insert(path); }

void MemoryFileSystem::setReadOnly(const std::string& folder, bool readOnly) {
  if (readOnly) {
    readOnly_.insert(folder);
  } else {
    readOnly_.erase(folder);
  }
}

void MemoryFileSystem::setFile(const std::string& path, std::string content) {
  files_[path] = std::make_shared<std::string>(std::move(content));
}

bool MemoryFileSystem::fileContent(const std::string& path, std::string& content) const {
  auto found = files_.find(path);
  if (found == files_.end()) return false;
  content = *found->second;
  return true;
}

std::vector<std::string> MemoryFileSystem::filePaths() const {
  std::vector<std::string> paths;
  for (const auto& entry : files_) paths.push_back(entry.first);
  return paths;
}

PathKind MemoryFileSystem::kind(const std::string& path) {
  if (folders_.count(path) != 0) return PathKind::directory;
  if (files_.count(path) != 0) return PathKind::regularFile;
  return PathKind::missing;
}

IoStatus MemoryFileSystem::listFolder(const std::string& folder, std::vector<std::string>& names) {
  names.clear();
  std::string key = folder;
  if (key.size() > 1 && (key.back() == '/' || key.back() == '\\')) key.pop_back();
  if (folders_.count(key) == 0) return IoStatus::failure(kNoSuchFile);
  auto collect = [&](const std::string& path) {
    if (path != key && folderOf(path) == key) names.push_back(path.substr(key.empty() ? 0 : key.size() + (key == "/" ? 0 : 1)));
  };
  for (const auto& file : files_) collect(file.first);
  for (const std::string& inner : folders_) collect(inner);
  return {};
}

// The folder of `path` exists and takes new entries.
IoStatus MemoryFileSystem::checkFolderWritable(const std::string& path) const {
  const std::string folder = folderOf(path);
  if (files_.count(folder) != 0) return IoStatus::failure(kNotAFolder);
  if (folders_.count(folder) == 0) return IoStatus::failure(kNoSuchFile);
  if (readOnly_.count(folder) != 0) return IoStatus::failure(kNoPermission);
  return {};
}

IoStatus MemoryFileSystem::open(const std::string& path, OpenMode mode, TextMode text,
                                std::unique_ptr<File>& file) {
  file.reset();
  if (folders_.count(path) != 0) return IoStatus::failure(kIsAFolder);
  auto found = files_.find(path);
  std::shared_ptr<std::string> content;
  if (found != files_.end()) {
    content = found->second;
  } else {
    if (mode == OpenMode::read) {
      return IoStatus::failure(files_.count(folderOf(path)) != 0 ? kNotAFolder : kNoSuchFile);
    }
    IoStatus folder = checkFolderWritable(path);
    if (!folder.ok()) return folder;
    content = std::make_shared<std::string>();
    files_[path] = content;
  }
  file = std::make_unique<MemoryFile>(std::move(content), text);
  return {};
}

IoStatus MemoryFileSystem::createNew(const std::string& path, TextMode text, const std::string&,
                                     std::unique_ptr<File>& file) {
  file.reset();
  if (folders_.count(path) != 0 || files_.count(path) != 0) return IoStatus::nameTaken(kExists);
  IoStatus folder = checkFolderWritable(path);
  if (!folder.ok()) return folder;
  auto content = std::make_shared<std::string>();
  files_[path] = content;
  file = std::make_unique<MemoryFile>(std::move(content), text);
  return {};
}

std::uint64_t MemoryFileSystem::linkCount(const std::string& path) {
  return files_.count(path) != 0 ? 1 : 0;
}

bool MemoryFileSystem::sameFile(const std::string& a, const std::string& b) {
  const auto plain = [](const std::string& path) {
    return path.rfind("./", 0) == 0 ? path.substr(2) : path;
  };
  const std::string first = plain(a);
  return first == plain(b) && (files_.count(first) != 0 || folders_.count(first) != 0);
}

IoStatus MemoryFileSystem::renameReplacing(const std::string& from, const std::string& to) {
  if (folders_.count(from) != 0) return IoStatus::failure(kIsAFolder);
  auto source = files_.find(from);
  if (source == files_.end()) return IoStatus::failure(kNoSuchFile);
  if (folders_.count(to) != 0) return IoStatus::failure(kIsAFolder);
  for (const std::string* path : {&from, &to}) {
    IoStatus folder = checkFolderWritable(*path);
    if (!folder.ok()) return folder;
  }
  if (from == to) return {};
  std::shared_ptr<std::string> content = source->second;
  files_.erase(source);
  files_[to] = std::move(content);
  return {};
}

IoStatus MemoryFileSystem::removeFile(const std::string& path) {
  if (folders_.count(path) != 0) return IoStatus::failure(kIsAFolder);
  auto found = files_.find(path);
  if (found == files_.end()) return IoStatus::failure(kNoSuchFile);
  IoStatus folder = checkFolderWritable(path);
  if (!folder.ok()) return folder;
  files_.erase(found);
  return {};
}

IoStatus MemoryFileSystem::makeFolder(const std::string& path) {
  if (folders_.count(path) != 0 || files_.count(path) != 0) return IoStatus::failure("File exists");
  IoStatus parent = checkFolderWritable(path);
  if (!parent.ok()) return parent;
  folders_.insert(path);
  return {};
}

IoStatus MemoryFileSystem::flushFolder(const std::string& path) {
  return folders_.count(folderOf(path)) != 0 ? IoStatus() : IoStatus::failure(kNoSuchFile);
}

// ---------------------------------------------------------------------------
// Injected failures.

class FaultyFileSystem::FaultyFile : public File {
 public:
  FaultyFile(FaultyFileSystem& owner, std::unique_ptr<File> inner)
      : owner_(owner), inner_(std::move(inner)) {}

  IoStatus write(std::string_view data, std::size_t& written) override {
    written = 0;
    if (!owner_.strikes(Operation::write)) return inner_->write(data, written);
    if (!owner_.fault_.shortWrite) return IoStatus::failure("injected write failure");
    IoStatus status = inner_->write(data.substr(0, data.size() / 2), written);
    return status.ok() ? IoStatus::failure("injected short write") : status;
  }

  IoStatus read(char* buffer, std::size_t capacity, std::size_t& got) override {
    return inner_->read(buffer, capacity, got);
  }

  std::uint64_t bytesAhead() override { return inner_->bytesAhead(); }

  IoStatus flushToDisk() override {
    if (owner_.strikes(Operation::flush)) return IoStatus::failure("injected flush failure");
    return inner_->flushToDisk();
  }

  IoStatus close() override {
    // The file is closed even when the close is made to fail, as close(2) does.
    IoStatus status = inner_->close();
    if (owner_.strikes(Operation::close)) return IoStatus::failure("injected close failure");
    return status;
  }

 private:
  FaultyFileSystem& owner_;
  std::unique_ptr<File> inner_;
};

void FaultyFileSystem::inject(Fault fault) {
  fault_ = fault;
  std::fill(std::begin(counts_), std::end(counts_), 0);
  struck_ = false;
}

bool FaultyFileSystem::strikes(Operation operation) {
  const int seen = ++counts_[static_cast<int>(operation)];
  if (struck_ || fault_.nth == 0 || fault_.operation != operation || fault_.nth != seen) {
    return false;
  }
  struck_ = true;
  return true;
}

// An open or a creation: counted, made to fail, or passed on with its file wrapped.
template <typename Open>
IoStatus FaultyFileSystem::opening(std::unique_ptr<File>& file, Open&& open) {
  file.reset();
  if (strikes(Operation::open)) return IoStatus::failure("injected open failure");
  std::unique_ptr<File> inner;
  IoStatus status = open(inner);
  if (status.ok()) file = std::make_unique<FaultyFile>(*this, std::move(inner));
  return status;
}

IoStatus FaultyFileSystem::open(const std::string& path, OpenMode mode, TextMode text,
                                std::unique_ptr<File>& file) {
  return opening(file, [&](std::unique_ptr<File>& inner) {
    return inner_.open(path, mode, text, inner);
  });
}

IoStatus FaultyFileSystem::createNew(const std::string& path, TextMode text,
                                    const std::string& modelFile, std::unique_ptr<File>& file) {
  return opening(file, [&](std::unique_ptr<File>& inner) {
    return inner_.createNew(path, text, modelFile, inner);
  });
}

IoStatus FaultyFileSystem::renameReplacing(const std::string& from, const std::string& to) {
  if (strikes(Operation::rename)) return IoStatus::failure("injected rename failure");
  return inner_.renameReplacing(from, to);
}

IoStatus FaultyFileSystem::flushFolder(const std::string& path) {
  if (strikes(Operation::folderFlush)) return IoStatus::failure("injected folder flush failure");
  return inner_.flushFolder(path);
}

IoStatus FaultyFileSystem::makeFolder(const std::string& path) {
  if (strikes(Operation::folderMake)) return IoStatus::failure("injected folder creation failure");
  return inner_.makeFolder(path);
}

}  // namespace ppi
