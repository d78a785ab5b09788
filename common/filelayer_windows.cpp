#if defined(_WIN32)
#include <windows.h>

#include <algorithm>

#include "common/boundedtext.h"
#include "common/filelayer.h"

namespace ppi {
namespace {

// One WriteFile or ReadFile call moves at most this much.
constexpr std::size_t kCallLimit = std::size_t{1} << 30;

constexpr const char* kIsAFolder = "Is a directory";

// The system's one-line message for an error code.
IoStatus errorStatus(DWORD error) {
  char text[512];
  DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                error, 0, text, sizeof text, nullptr);
  while (length > 0 && (text[length - 1] == '\r' || text[length - 1] == '\n' ||
                        text[length - 1] == ' ' || text[length - 1] == '.')) {
    --length;
  }
  if (length == 0) {
    return IoStatus::failure(
        formatLimited(64, nullptr, "system error %lu", static_cast<unsigned long>(error)));
  }
  return IoStatus::failure(std::string(text, length));
}

IoStatus lastError() { return errorStatus(GetLastError()); }

class WindowsFile : public File {
 public:
  WindowsFile(HANDLE handle, TextMode text, DiskFlush flush)
      : handle_(handle), text_(text), flush_(flush) {}
  ~WindowsFile() override {
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
  }

  IoStatus write(std::string_view data, std::size_t& written) override {
    written = 0;
    if (handle_ == INVALID_HANDLE_VALUE) return errorStatus(ERROR_INVALID_HANDLE);
    std::string wide;
    std::string_view out = data;
    if (text_ == TextMode::text) {
      wide = widenLineEnds(data);
      out = wide;
    }
    std::size_t done = 0;
    while (done < out.size()) {
      const DWORD size = static_cast<DWORD>(std::min(out.size() - done, kCallLimit));
      DWORD count = 0;
      if (!WriteFile(handle_, out.data() + done, size, &count, nullptr)) {
        IoStatus status = lastError();
        written = sourceBytes(data, done + count);
        return status;
      }
      if (count == 0) {  // no progress and no reason given
        written = sourceBytes(data, done);
        return errorStatus(ERROR_DISK_FULL);
      }
      done += count;
    }
    written = data.size();
    return {};
  }

  IoStatus read(char* buffer, std::size_t capacity, std::size_t& got) override {
    got = 0;
    if (handle_ == INVALID_HANDLE_VALUE) return errorStatus(ERROR_INVALID_HANDLE);
    DWORD count = 0;
    if (!ReadFile(handle_, buffer, static_cast<DWORD>(std::min(capacity, kCallLimit)), &count,
                  nullptr)) {
      return lastError();
    }
    got = count;
    return {};
  }

  std::uint64_t bytesAhead() override {
    LARGE_INTEGER size{}, position{}, zero{};
    if (handle_ == INVALID_HANDLE_VALUE || !GetFileSizeEx(handle_, &size) ||
        !SetFilePointerEx(handle_, zero, &position, FILE_CURRENT) ||
        position.QuadPart > size.QuadPart) {
      return 0;
    }
    return static_cast<std::uint64_t>(size.QuadPart - position.QuadPart);
  }

  IoStatus flushToDisk() override {
    if (handle_ == INVALID_HANDLE_VALUE) return errorStatus(ERROR_INVALID_HANDLE);
    if (flush_ == DiskFlush::off) return {};
    if (!FlushFileBuffers(handle_)) return lastError();
    return {};
  }

  IoStatus close() override {
    if (handle_ == INVALID_HANDLE_VALUE) return errorStatus(ERROR_INVALID_HANDLE);
    HANDLE handle = handle_;
    handle_ = INVALID_HANDLE_VALUE;
    if (!CloseHandle(handle)) return lastError();
    return {};
  }

 private:
  // How many bytes of `data` the first `done` bytes written stand for.
  std::size_t sourceBytes(std::string_view data, std::size_t done) const {
    if (text_ != TextMode::text) return done;
    std::size_t source = 0;
    std::size_t produced = 0;
    while (source < data.size()) {
      const std::size_t width = data[source] == '\n' ? kTextLineEnd.size() : 1;
      if (produced + width > done) break;
      produced += width;
      ++source;
    }
    return source;
  }

  HANDLE handle_;
  TextMode text_;
  DiskFlush flush_;
};

class WindowsFileSystem : public FileSystem {
 public:
  explicit WindowsFileSystem(DiskFlush flush) : flush_(flush) {}

  IoStatus open(const std::string& path, OpenMode mode, TextMode text,
                std::unique_ptr<File>& file) override {
    file.reset();
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
      return IoStatus::failure(kIsAFolder);
    }
    HANDLE handle = INVALID_HANDLE_VALUE;
    switch (mode) {
      case OpenMode::read:
        handle = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                             nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        break;
      case OpenMode::write:
        handle = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
        break;
      case OpenMode::append:
        // Written from the end on; the plug-in is the file's one writer.
        handle = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle != INVALID_HANDLE_VALUE) {
          LARGE_INTEGER zero{};
          if (!SetFilePointerEx(handle, zero, nullptr, FILE_END)) {
            IoStatus status = lastError();
            CloseHandle(handle);
            return status;
          }
        }
        break;
    }
    if (handle == INVALID_HANDLE_VALUE) return lastError();
    file = std::make_unique<WindowsFile>(handle, text, flush_);
    return {};
  }

  IoStatus renameReplacing(const std::string& from, const std::string& to) override {
    if (!MoveFileExA(from.c_str(), to.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      return lastError();
    }
    return {};
  }

  IoStatus removeFile(const std::string& path) override {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return lastError();
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return IoStatus::failure(kIsAFolder);
    if (!DeleteFileA(path.c_str())) return lastError();
    return {};
  }

  // The rename was written through (MOVEFILE_WRITE_THROUGH); a folder cannot
  // be flushed on its own here.
  IoStatus flushFolder(const std::string&) override { return {}; }

  PathKind kind(const std::string& path) override {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
      const DWORD error = GetLastError();
      return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ||
                     error == ERROR_INVALID_NAME
                 ? PathKind::missing
                 : PathKind::other;
    }
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return PathKind::directory;
    if ((attributes & FILE_ATTRIBUTE_DEVICE) != 0) return PathKind::other;
    return PathKind::regularFile;
  }

 private:
  DiskFlush flush_;
};

}  // namespace

std::unique_ptr<FileSystem> makeRealFileSystem(DiskFlush flush) {
  return std::make_unique<WindowsFileSystem>(flush);
}

}  // namespace ppi
#endif
