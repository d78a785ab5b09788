#if !defined(_WIN32)
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string>
#include <system_error>
#include <vector>

#include "common/filelayer.h"

namespace ppi {
namespace {

// One write or read call moves at most this much (Linux moves at most ~2 GiB).
constexpr std::size_t kCallLimit = std::size_t{1} << 30;

IoStatus errorStatus(int error) {
  return IoStatus::failure(std::generic_category().message(error));
}

class PosixFile : public File {
 public:
  PosixFile(int descriptor, DiskFlush flush) : descriptor_(descriptor), flush_(flush) {}
  ~PosixFile() override {
    if (descriptor_ >= 0) ::close(descriptor_);
  }

  IoStatus write(std::string_view data, std::size_t& written) override {
    written = 0;
    if (descriptor_ < 0) return errorStatus(EBADF);
    while (written < data.size()) {
      const std::size_t size = std::min(data.size() - written, kCallLimit);
      const ssize_t count = ::write(descriptor_, data.data() + written, size);
      if (count < 0) {
        if (errno == EINTR) continue;
        return errorStatus(errno);
      }
      if (count == 0) return errorStatus(ENOSPC);  // no progress and no reason given
      written += static_cast<std::size_t>(count);
    }
    return {};
  }

  IoStatus read(char* buffer, std::size_t capacity, std::size_t& got) override {
    got = 0;
    if (descriptor_ < 0) return errorStatus(EBADF);
    for (;;) {
      const ssize_t count = ::read(descriptor_, buffer, std::min(capacity, kCallLimit));
      if (count >= 0) {
        got = static_cast<std::size_t>(count);
        return {};
      }
      if (errno != EINTR) return errorStatus(errno);
    }
  }

  std::uint64_t bytesAhead() override {
    struct stat status {};
    if (descriptor_ < 0 || ::fstat(descriptor_, &status) != 0 || !S_ISREG(status.st_mode)) return 0;
    const off_t position = ::lseek(descriptor_, 0, SEEK_CUR);
    if (position < 0 || position > status.st_size) return 0;
    return static_cast<std::uint64_t>(status.st_size - position);
  }

  IoStatus flushToDisk() override {
    if (descriptor_ < 0) return errorStatus(EBADF);
    if (flush_ == DiskFlush::off) return {};
    while (::fsync(descriptor_) != 0) {
      if (errno != EINTR) return errorStatus(errno);
    }
    return {};
  }

  IoStatus close() override {
    if (descriptor_ < 0) return errorStatus(EBADF);
    const int descriptor = descriptor_;
    descriptor_ = -1;
    // The descriptor is gone whatever close says; an interrupted close is not retried.
    if (::close(descriptor) != 0 && errno != EINTR) return errorStatus(errno);
    return {};
  }

 private:
  int descriptor_;
  DiskFlush flush_;
};

class PosixFileSystem : public FileSystem {
 public:
  explicit PosixFileSystem(DiskFlush flush) : flush_(flush) {}

  IoStatus open(const std::string& path, OpenMode mode, TextMode,
                std::unique_ptr<File>& file) override {
    file.reset();
    int flags = O_CLOEXEC;
    switch (mode) {
      case OpenMode::read:
        flags |= O_RDONLY;
        break;
      case OpenMode::write:
        flags |= O_WRONLY | O_CREAT | O_TRUNC;
        break;
      case OpenMode::append:
        flags |= O_WRONLY | O_CREAT | O_APPEND;
        break;
      case OpenMode::createNew:
        // A link at the path counts as something there: it is never followed.
        flags |= O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW;
        break;
    }
    int descriptor = -1;
    do {
      descriptor = ::open(path.c_str(), flags, 0666);
    } while (descriptor < 0 && errno == EINTR);
    if (descriptor < 0) return errorStatus(errno);
    // A folder opens for reading; it is not a file to read.
    struct stat status {};
    if (mode == OpenMode::read && ::fstat(descriptor, &status) == 0 && S_ISDIR(status.st_mode)) {
      ::close(descriptor);
      return errorStatus(EISDIR);
    }
    file = std::make_unique<PosixFile>(descriptor, flush_);
    return {};
  }

  IoStatus renameReplacing(const std::string& from, const std::string& to) override {
    if (::rename(from.c_str(), to.c_str()) != 0) return errorStatus(errno);
    return {};
  }

  IoStatus removeFile(const std::string& path) override {
    struct stat status {};
    if (::lstat(path.c_str(), &status) != 0) return errorStatus(errno);
    if (S_ISDIR(status.st_mode)) return errorStatus(EISDIR);
    if (::unlink(path.c_str()) != 0) return errorStatus(errno);
    return {};
  }

  IoStatus flushFolder(const std::string& path) override {
    if (flush_ == DiskFlush::off) return {};
    const std::size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string(".")
                               : slash == 0               ? std::string("/")
                                                          : path.substr(0, slash);
    const int descriptor = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (descriptor < 0) return errorStatus(errno);
    int error = 0;
    while (::fsync(descriptor) != 0) {
      if (errno != EINTR) {
        error = errno;
        break;
      }
    }
    ::close(descriptor);
    return error != 0 ? errorStatus(error) : IoStatus();
  }

  IoStatus listFolder(const std::string& folder, std::vector<std::string>& names) override {
    names.clear();
    DIR* directory = ::opendir(folder.empty() ? "." : folder.c_str());
    if (directory == nullptr) return errorStatus(errno);
    errno = 0;
    while (const dirent* entry = ::readdir(directory)) {
      const std::string name = entry->d_name;
      if (name != "." && name != "..") names.push_back(name);
      errno = 0;
    }
    const int error = errno;
    ::closedir(directory);
    return error != 0 ? errorStatus(error) : IoStatus();
  }

  PathKind kind(const std::string& path) override {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) {
      return errno == ENOENT || errno == ENOTDIR ? PathKind::missing : PathKind::other;
    }
    if (S_ISREG(status.st_mode)) return PathKind::regularFile;
    if (S_ISDIR(status.st_mode)) return PathKind::directory;
    return PathKind::other;
  }

 private:
  DiskFlush flush_;
};

}  // namespace

std::unique_ptr<FileSystem> makeRealFileSystem(DiskFlush flush) {
  return std::make_unique<PosixFileSystem>(flush);
}

}  // namespace ppi
#endif
