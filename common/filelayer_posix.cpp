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

IoStatus notRegular() { return IoStatus::failure("it is not a regular file"); }

int openRetrying(const std::string& path, int flags) {
  int descriptor = -1;
  do {
    descriptor = ::open(path.c_str(), flags, 0666);
  } while (descriptor < 0 && errno == EINTR);
  return descriptor;
}

// Clears O_NONBLOCK, set only to open without waiting: the file is regular.
IoStatus waitingAgain(int descriptor) {
  const int flags = ::fcntl(descriptor, F_GETFL);
  if (flags < 0 || ::fcntl(descriptor, F_SETFL, flags & ~O_NONBLOCK) != 0) {
    return errorStatus(errno);
  }
  return {};
}

// Gives the new file `created` (its status `status`) the permissions of the
// regular file `modelFile`, when there is one, and its owner and group where
// permitted: an owner first (which clears set-id bits), the permissions then.
// Only the permission bits are taken, never set-user or set-group bits.
IoStatus takeModeOf(int created, const struct stat& status, const std::string& modelFile) {
  struct stat model {};
  if (modelFile.empty() || ::lstat(modelFile.c_str(), &model) != 0 || !S_ISREG(model.st_mode)) {
    return {};
  }
  if (model.st_uid != status.st_uid || model.st_gid != status.st_gid) {
    // Not permitted unless privileged (the owner) or a member (the group):
    // the file is then the writer's, as any new file is.
    if (::fchown(created, model.st_uid, model.st_gid) != 0) {
      (void)::fchown(created, static_cast<uid_t>(-1), model.st_gid);
    }
  }
  const mode_t permissions = model.st_mode & 0777;
  if (::fchmod(created, permissions) != 0) return errorStatus(errno);
  return {};
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
    // Without waiting: a pipe opens at once (or fails), and is then refused.
    const int flags = O_CLOEXEC | O_NONBLOCK |
                      (mode == OpenMode::read ? O_RDONLY : O_WRONLY | O_APPEND);
    int descriptor = openRetrying(path, flags);
    if (descriptor < 0 && errno == ENOENT && mode == OpenMode::append) {
      // A missing file is created as a new one, never at the end of a
      // dangling link; one made meanwhile by another is opened after all.
      descriptor = openRetrying(path, flags | O_CREAT | O_EXCL | O_NOFOLLOW);
      if (descriptor < 0 && errno == EEXIST) {
        descriptor = openRetrying(path, flags);
        if (descriptor < 0 && errno == ENOENT) {
          return IoStatus::failure("it is a link that leads to no file");
        }
      }
    }
    if (descriptor < 0) return errno == ENXIO ? notRegular() : errorStatus(errno);
    struct stat status {};
    IoStatus checked;
    if (::fstat(descriptor, &status) != 0) {
      checked = errorStatus(errno);
    } else if (S_ISDIR(status.st_mode)) {
      checked = errorStatus(EISDIR);
    } else if (!S_ISREG(status.st_mode)) {
      checked = notRegular();
    } else {
      checked = waitingAgain(descriptor);
    }
    if (!checked.ok()) {
      ::close(descriptor);
      return checked;
    }
    file = std::make_unique<PosixFile>(descriptor, flush_);
    return {};
  }

  IoStatus createNew(const std::string& path, TextMode, const std::string& modelFile,
                     std::unique_ptr<File>& file) override {
    file.reset();
    const int descriptor =
        openRetrying(path, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC);
    if (descriptor < 0) {
      const int error = errno;
      return error == EEXIST ? IoStatus::nameTaken(std::generic_category().message(error))
                             : errorStatus(error);
    }
    struct stat status {};
    IoStatus made;
    if (::fstat(descriptor, &status) != 0) {
      made = errorStatus(errno);
    } else if (!S_ISREG(status.st_mode)) {
      made = notRegular();
    } else {
      made = takeModeOf(descriptor, status, modelFile);
    }
    if (!made.ok()) {
      ::close(descriptor);
      ::unlink(path.c_str());  // it is the file just created
      return made;
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

  IoStatus makeFolder(const std::string& path) override {
    if (::mkdir(path.c_str(), 0777) != 0) return errorStatus(errno);
    return {};
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

  std::uint64_t linkCount(const std::string& path) override {
    struct stat status {};
    if (::lstat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) return 0;
    return static_cast<std::uint64_t>(status.st_nlink);
  }

  bool sameFile(const std::string& a, const std::string& b) override {
    struct stat first {}, second {};
    return ::stat(a.c_str(), &first) == 0 && ::stat(b.c_str(), &second) == 0 &&
           first.st_dev == second.st_dev && first.st_ino == second.st_ino;
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
