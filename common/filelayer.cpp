#include "common/filelayer.h"

#include <algorithm>
#include <atomic>
#include <utility>

#include "common/boundedtext.h"

namespace ppi {
namespace {

std::atomic<FileSystem*> currentOverride{nullptr};

std::string reasonLine(const char* step, const std::string& path, const std::string& why) {
  return formatLimited(kMessageLimit, nullptr, "could not %s %s: %s", step, path.c_str(),
                       why.c_str());
}

// Messages the memory file system gives, as POSIX systems word them.
constexpr const char* kNoSuchFile = "No such file or directory";
constexpr const char* kIsAFolder = "Is a directory";
constexpr const char* kNotAFolder = "Not a directory";
constexpr const char* kNoPermission = "Permission denied";
constexpr const char* kNotOpen = "Bad file descriptor";

std::string folderOf(const std::string& path) {
  const std::size_t slash = path.find_last_of("/\\");
  if (slash == std::string::npos) return {};
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

}  // namespace

FileSystem& realFileSystem() {
  // Made once and never destroyed, so that it outlives every other static.
  static FileSystem* const real = makeRealFileSystem(DiskFlush::on).release();
  return *real;
}

FileSystem& currentFileSystem() {
  FileSystem* override = currentOverride.load();
  return override != nullptr ? *override : realFileSystem();
}

ScopedFileSystem::ScopedFileSystem(FileSystem& fileSystem)
    : previous_(currentOverride.exchange(&fileSystem)) {}

ScopedFileSystem::~ScopedFileSystem() { currentOverride.store(previous_); }

std::string widenLineEnds(std::string_view data) {
  if (kTextLineEnd == "\n") return std::string(data);
  std::string wide;
  wide.reserve(data.size() + static_cast<std::size_t>(std::count(data.begin(), data.end(), '\n')));
  for (char c : data) {
    if (c == '\n') {
      wide.append(kTextLineEnd);
    } else {
      wide.push_back(c);
    }
  }
  return wide;
}

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
    if (mode == OpenMode::write) content->clear();
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

IoStatus FaultyFileSystem::open(const std::string& path, OpenMode mode, TextMode text,
                                std::unique_ptr<File>& file) {
  file.reset();
  if (strikes(Operation::open)) return IoStatus::failure("injected open failure");
  std::unique_ptr<File> inner;
  IoStatus status = inner_.open(path, mode, text, inner);
  if (status.ok()) file = std::make_unique<FaultyFile>(*this, std::move(inner));
  return status;
}

IoStatus FaultyFileSystem::renameReplacing(const std::string& from, const std::string& to) {
  if (strikes(Operation::rename)) return IoStatus::failure("injected rename failure");
  return inner_.renameReplacing(from, to);
}

IoStatus FaultyFileSystem::flushFolder(const std::string& path) {
  if (strikes(Operation::folderFlush)) return IoStatus::failure("injected folder flush failure");
  return inner_.flushFolder(path);
}

// ---------------------------------------------------------------------------
// The operations callers use.

std::string partPath(const std::string& target) { return target + ".part"; }

FileResult ReplacingWriter::fail(const char* step, const std::string& path,
                                 const std::string& why) {
  failure_ = FileResult::failure(reasonLine(step, path, why));
  abandon();
  return failure_;
}

void ReplacingWriter::abandon() {
  try {
    if (file_) file_->close();  // its outcome no longer matters
    file_.reset();
    if (fileSystem_ != nullptr) fileSystem_->removeFile(part_);
  } catch (...) {
    // Abandoning runs in destructors: whatever is left of the file stays.
  }
  fileSystem_ = nullptr;
  buffer_.clear();
}

FileResult ReplacingWriter::begin(const std::string& target, TextMode mode) {
  abandon();
  failure_ = FileResult();
  target_ = target;
  part_ = partPath(target);
  FileSystem& fileSystem = currentFileSystem();
  if (fileSystem.kind(target) == PathKind::directory) {
    failure_ = FileResult::failure(reasonLine("replace", target, "it is a folder"));
    return failure_;
  }
  IoStatus opened = fileSystem.open(part_, OpenMode::write, mode, file_);
  if (!opened.ok()) {
    file_.reset();
    failure_ = FileResult::failure(reasonLine("open", part_, opened.message()));
    return failure_;
  }
  fileSystem_ = &fileSystem;  // from here on the temporary file is ours to remove
  buffer_.reserve(kBlockSize);
  return {};
}

FileResult ReplacingWriter::writeOut(std::string_view data) {
  std::size_t written = 0;
  IoStatus status = file_->write(data, written);
  if (!status.ok()) return fail("write", part_, status.message());
  return {};
}

FileResult ReplacingWriter::write(std::string_view piece) {
  if (!failure_.ok()) return failure_;
  if (!file_) return FileResult::failure("could not write: no file replacement was begun");
  if (buffer_.size() + piece.size() < kBlockSize) {
    buffer_.append(piece);
    return {};
  }
  if (!buffer_.empty()) {
    const std::size_t topUp = kBlockSize - buffer_.size();
    buffer_.append(piece.substr(0, topUp));
    piece.remove_prefix(topUp);
    FileResult written = writeOut(buffer_);
    buffer_.clear();
    if (!written.ok()) return written;
  }
  // Whole blocks go straight out; the rest waits in the buffer.
  const std::size_t whole = piece.size() - piece.size() % kBlockSize;
  if (whole > 0) {
    FileResult written = writeOut(piece.substr(0, whole));
    if (!written.ok()) return written;
  }
  buffer_.append(piece.substr(whole));
  return {};
}

FileResult ReplacingWriter::commit() {
  if (!failure_.ok()) return failure_;
  if (!file_) return FileResult::failure("could not commit: no file replacement was begun");
  if (!buffer_.empty()) {
    FileResult written = writeOut(buffer_);
    buffer_.clear();
    if (!written.ok()) return written;
  }
  IoStatus status = file_->flushToDisk();
  if (!status.ok()) return fail("flush", part_, status.message());
  status = file_->close();
  file_.reset();
  if (!status.ok()) return fail("close", part_, status.message());
  status = fileSystem_->renameReplacing(part_, target_);
  if (!status.ok()) return fail("rename", part_ + " to " + target_, status.message());
  // The new file is in place. Flushing its folder makes the rename itself
  // durable where the system can; a folder that cannot be flushed (some file
  // systems refuse) does not undo the replacement.
  fileSystem_->flushFolder(target_);
  fileSystem_ = nullptr;
  return {};
}

FileResult replaceFile(const std::string& target, std::string_view content, TextMode mode) {
  ReplacingWriter out;
  FileResult result = out.begin(target, mode);
  if (result.ok()) result = out.write(content);
  if (result.ok()) result = out.commit();
  return result;
}

FileResult appendToFile(const std::string& path, std::string_view text, TextMode mode) {
  FileSystem& fileSystem = currentFileSystem();
  std::unique_ptr<File> file;
  IoStatus status = fileSystem.open(path, OpenMode::append, mode, file);
  if (!status.ok()) return FileResult::failure(reasonLine("open", path, status.message()));
  const char* step = "write";
  std::size_t written = 0;
  status = file->write(text, written);
  if (status.ok()) {
    step = "flush";
    status = file->flushToDisk();
  }
  if (!status.ok()) {
    file->close();
    return FileResult::failure(reasonLine(step, path, status.message()));
  }
  status = file->close();
  if (!status.ok()) return FileResult::failure(reasonLine("close", path, status.message()));
  return {};
}

FileResult readFileBytes(const std::string& path, std::string& content) {
  FileSystem& fileSystem = currentFileSystem();
  std::unique_ptr<File> file;
  IoStatus status = fileSystem.open(path, OpenMode::read, TextMode::binary, file);
  if (!status.ok()) return FileResult::failure(reasonLine("open", path, status.message()));
  // Read into room for the bytes the file holds as it is opened, then on in
  // pieces until a read gives nothing: one allocation for a file that stays
  // as it was, and a file that changes meanwhile is still read to its end.
  constexpr std::uint64_t kRoomLimit = std::uint64_t{1} << 30;
  std::string bytes(static_cast<std::size_t>(std::min(file->bytesAhead(), kRoomLimit)), '\0');
  std::size_t size = 0;
  char piece[4096];
  for (;;) {
    const bool inRoom = size < bytes.size();
    std::size_t got = 0;
    status = inRoom ? file->read(&bytes[size], bytes.size() - size, got)
                    : file->read(piece, sizeof piece, got);
    if (!status.ok()) {
      file->close();
      return FileResult::failure(reasonLine("read", path, status.message()));
    }
    if (got == 0) break;
    if (!inRoom) bytes.append(piece, got);
    size += got;
  }
  bytes.resize(size);
  status = file->close();
  if (!status.ok()) return FileResult::failure(reasonLine("close", path, status.message()));
  content = std::move(bytes);
  return {};
}

PathKind pathKind(const std::string& path) { return currentFileSystem().kind(path); }

bool isRegularFile(const std::string& path) { return pathKind(path) == PathKind::regularFile; }

bool pathExists(const std::string& path) { return pathKind(path) != PathKind::missing; }

FileResult removeRegularFile(const std::string& path) {
  FileSystem& fileSystem = currentFileSystem();
  switch (fileSystem.kind(path)) {
    case PathKind::missing:
      return {};
    case PathKind::directory:
      return FileResult::failure(reasonLine("remove", path, "it is a folder"));
    case PathKind::other:
      return FileResult::failure(reasonLine("remove", path, "it is not a regular file"));
    case PathKind::regularFile:
      break;
  }
  IoStatus status = fileSystem.removeFile(path);
  if (!status.ok()) return FileResult::failure(reasonLine("remove", path, status.message()));
  return {};
}

}  // namespace ppi
