#include "common/filelayer.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <random>
#include <utility>

#include "common/boundedtext.h"

namespace ppi {
namespace {

std::atomic<FileSystem*> currentOverride{nullptr};

std::string reasonLine(const char* step, const std::string& path, const std::string& why) {
  return formatLimited(kMessageLimit, nullptr, "could not %s %s: %s", step, path.c_str(),
                       why.c_str());
}

// The separators that end a path's folder.
#if defined(_WIN32)
constexpr const char* kSeparators = "/\\";
#else
constexpr const char* kSeparators = "/";
#endif

// A temporary file's name: up to kNameStart bytes of the target's name (up to
// its first byte that is not a plain letter, digit, '.', '-' or '_'), a dot,
// kRandomDigits hexadecimal digits, kPartSuffix. At most 43 bytes whatever the
// target's name.
constexpr std::size_t kNameStart = 20;
constexpr std::size_t kRandomDigits = 16;
constexpr std::string_view kPartSuffix = ".part";
// Names tried before a replacement gives up: each is taken only by a file
// another process made under the same 64 random bits, or planted there.
constexpr int kNameAttempts = 16;

bool plainNameByte(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
         c == '-' || c == '_';
}

bool hexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); }

// 64 bits no other process can foresee: a seed from the system's random
// source mixed with the process's clock and a count, through splitmix64.
std::uint64_t randomBits() {
  static const std::uint64_t seed = [] {
    std::uint64_t bits = static_cast<std::uint64_t>(
        std::chrono::steady_clock::now().time_since_epoch().count());
    try {
      std::random_device device;
      bits ^= (static_cast<std::uint64_t>(device()) << 32) ^ device();
    } catch (...) {
      // No random source: the clock and the count keep names apart in this process.
    }
    return bits;
  }();
  static std::atomic<std::uint64_t> count{0};
  std::uint64_t z = seed + (count.fetch_add(1) + 1) * 0x9E3779B97F4A7C15ull;
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

std::string temporaryPath(const std::string& target) {
  const std::size_t slash = target.find_last_of(kSeparators);
  const std::size_t nameAt = slash == std::string::npos ? 0 : slash + 1;
  std::size_t nameEnd = nameAt;
  while (nameEnd < target.size() && nameEnd - nameAt < kNameStart && plainNameByte(target[nameEnd])) {
    ++nameEnd;
  }
  std::string path = target.substr(0, nameEnd);
  path += '.';
  const std::uint64_t bits = randomBits();
  for (std::size_t digit = kRandomDigits; digit-- > 0;) {
    path += "0123456789abcdef"[(bits >> (4 * digit)) & 0xF];
  }
  path += kPartSuffix;
  return path;
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
// The operations callers use.

bool isTemporaryPath(std::string_view path) {
  const std::size_t slash = path.find_last_of(kSeparators);
  const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
  const std::size_t tail = 1 + kRandomDigits + kPartSuffix.size();
  if (name.size() < tail || name.size() > kNameStart + tail) return false;
  const std::string_view start = name.substr(0, name.size() - tail);
  const std::string_view digits = name.substr(start.size() + 1, kRandomDigits);
  return std::all_of(start.begin(), start.end(), plainNameByte) && name[start.size()] == '.' &&
         std::all_of(digits.begin(), digits.end(), hexDigit) &&
         name.substr(name.size() - kPartSuffix.size()) == kPartSuffix;
}

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
    // Only the file this writer created: never one of another process.
    if (fileSystem_ != nullptr && created_) fileSystem_->removeFile(part_);
  } catch (...) {
    // Abandoning runs in destructors: whatever is left of the file stays.
  }
  fileSystem_ = nullptr;
  buffer_.clear();
}

FileResult ReplacingWriter::begin(const std::string& target, TextMode mode) {
  abandon();
  created_ = false;
  failure_ = FileResult();
  target_ = target;
  FileSystem& fileSystem = currentFileSystem();
  if (fileSystem.kind(target) == PathKind::directory) {
    failure_ = FileResult::failure(reasonLine("replace", target, "it is a folder"));
    return failure_;
  }
  const std::uint64_t names = fileSystem.linkCount(target);
  if (names > 1) {
    const std::string why = formatLimited(
        160, nullptr,
        "it is one file with %llu names (hard links), which a new file in its place would part "
        "from the others",
        static_cast<unsigned long long>(names));
    failure_ = FileResult::failure(reasonLine("replace", target, why));
    return failure_;
  }
  IoStatus opened;
  for (int attempt = 1; attempt <= kNameAttempts; ++attempt) {
    part_ = temporaryPath(target);
    opened = fileSystem.createNew(part_, mode, target, file_);
    if (!opened.nameTaken()) break;
  }
  if (!opened.ok()) {
    file_.reset();
    failure_ = FileResult::failure(reasonLine("open", part_, opened.message()));
    return failure_;
  }
  created_ = true;
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

FileResult createNewFile(const std::string& path, std::string_view content, TextMode mode,
                         bool* existed) {
  if (existed != nullptr) *existed = false;
  FileSystem& fileSystem = currentFileSystem();
  std::unique_ptr<File> file;
  // No file to take a mode from: a new file is the writer's, as any is.
  IoStatus status = fileSystem.createNew(path, mode, std::string(), file);
  if (!status.ok()) {
    if (existed != nullptr) *existed = status.nameTaken();
    return FileResult::failure(reasonLine("create", path, status.message()));
  }
  const char* step = "write";
  std::size_t written = 0;
  status = file->write(content, written);
  if (status.ok()) {
    step = "flush";
    status = file->flushToDisk();
  }
  if (status.ok()) {
    step = "close";
    status = file->close();
  } else {
    file->close();
  }
  if (status.ok()) {
    step = "flush the folder of";
    status = fileSystem.flushFolder(path);
    if (status.ok()) return {};
  }
  fileSystem.removeFile(path);
  return FileResult::failure(reasonLine(step, path, status.message()));
}

FileResult renameFile(const std::string& from, const std::string& to) {
  FileSystem& fileSystem = currentFileSystem();
  if (fileSystem.kind(from) != PathKind::regularFile) {
    return FileResult::failure(reasonLine("rename", from, "it is not a regular file"));
  }
  if (fileSystem.kind(to) != PathKind::missing) {
    return FileResult::failure(reasonLine("rename", from, to + " exists"));
  }
  IoStatus status = fileSystem.renameReplacing(from, to);
  if (!status.ok()) return FileResult::failure(reasonLine("rename", from, status.message()));
  status = fileSystem.flushFolder(to);
  if (!status.ok()) {
    return FileResult::failure(reasonLine("flush the folder of", to, status.message()));
  }
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

FileResult regularFilesIn(const std::string& folder, std::vector<std::string>& names) {
  FileSystem& fileSystem = currentFileSystem();
  std::vector<std::string> entries;
  IoStatus status = fileSystem.listFolder(folder, entries);
  names.clear();
  if (!status.ok()) return FileResult::failure(reasonLine("list", folder, status.message()));
  const std::string prefix =
      folder.empty() || folder.back() == '/' || folder.back() == '\\' ? folder : folder + "/";
  for (const std::string& name : entries) {
    if (fileSystem.kind(prefix + name) == PathKind::regularFile) names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  return {};
}

PathKind pathKind(const std::string& path) { return currentFileSystem().kind(path); }

bool sameFile(const std::string& a, const std::string& b) {
  return currentFileSystem().sameFile(a, b);
}

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

FileResult createFolder(const std::string& path) {
  FileSystem& fileSystem = currentFileSystem();
  switch (fileSystem.kind(path)) {
    case PathKind::directory:
      return {};
    case PathKind::regularFile:
    case PathKind::other:
      return FileResult::failure(reasonLine("create the folder", path, "something else is there"));
    case PathKind::missing:
      break;
  }
  IoStatus status = fileSystem.makeFolder(path);
  if (!status.ok()) return FileResult::failure(reasonLine("create the folder", path, status.message()));
  return {};
}

}  // namespace ppi
