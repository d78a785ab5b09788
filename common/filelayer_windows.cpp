#if defined(_WIN32)
#include <windows.h>

#include <algorithm>
#include <string>

#include "common/boundedtext.h"
#include "common/filelayer.h"
#include "common/hosttext.h"

namespace ppi {
namespace {

// One WriteFile or ReadFile call moves at most this much.
constexpr std::size_t kCallLimit = std::size_t{1} << 30;

constexpr const char* kIsAFolder = "Is a directory";
constexpr const char* kFileReadOnly = "the file is marked read-only";
constexpr const char* kTargetReadOnly = "the target file is marked read-only";
constexpr const char* kNotRegular = "it is not a regular file";

// Virus scanners, indexers and backup tools hold a file for a moment after it
// was written: an open, rename or removal that meets one of them is tried
// again after each of these pauses (about a second in all) before it fails.
constexpr DWORD kRetryPauses[] = {15, 30, 60, 120, 240, 500};
constexpr int kAttempts = static_cast<int>(sizeof kRetryPauses / sizeof kRetryPauses[0]) + 1;
constexpr DWORD retryMilliseconds() {
  DWORD sum = 0;
  for (DWORD pause : kRetryPauses) sum += pause;
  return sum;
}

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

// The errors of a file that another program holds open for a moment.
bool heldByAnother(DWORD error) {
  return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION ||
         error == ERROR_ACCESS_DENIED;
}

// Runs `attempt` (a system call returning true on success) until it succeeds,
// fails with another error than heldByAnother's, is refused by `refuse` (a
// reason, or null to go on), or the pauses run out; then says why it failed.
template <typename Attempt, typename Refuse>
IoStatus retryWhileHeld(Attempt&& attempt, Refuse&& refuse) {
  for (int tried = 1;; ++tried) {
    if (attempt()) return {};
    const DWORD error = GetLastError();
    if (const char* reason = refuse()) return IoStatus::failure(reason);
    if (!heldByAnother(error)) return errorStatus(error);
    if (tried == kAttempts) {
      return IoStatus::failure(errorStatus(error).message() +
                               formatLimited(96, nullptr, " (still so after %d tries over %lu ms)",
                                             kAttempts,
                                             static_cast<unsigned long>(retryMilliseconds())));
    }
    Sleep(kRetryPauses[tried - 1]);
  }
}

// A path as the system's wide-character calls take it: made absolute against
// the current folder and normalised (separators, "." and "..", trailing dots
// and blanks) as the system does for any path, then marked with \\?\ (or
// \\?\UNC\ for a network share), so that it may run past MAX_PATH: the
// plug-in's paths have up to 300 characters.
// The plug-in's texts are in the system's ANSI code page, as for the "A" calls.
std::wstring systemPath(const std::string& path) {
  std::wstring wide = hostTextToWide(path);
  if (wide.empty() || wide.rfind(L"\\\\?\\", 0) == 0) return wide;
  std::wstring full(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length =
        GetFullPathNameW(wide.c_str(), static_cast<DWORD>(full.size()), &full[0], nullptr);
    if (length == 0) return wide;  // the system will say what is wrong with it
    if (length < full.size()) {
      full.resize(length);
      break;
    }
    full.resize(length);
  }
  if (full.rfind(L"\\\\.\\", 0) == 0) return full;  // a device (NUL, COM1, ...)
  if (full.rfind(L"\\\\", 0) == 0) return L"\\\\?\\UNC\\" + full.substr(2);
  return L"\\\\?\\" + full;
}

// The file's attributes, INVALID_FILE_ATTRIBUTES when there is none (see GetLastError).
DWORD attributesOf(const std::wstring& path) { return GetFileAttributesW(path.c_str()); }

bool isReadOnlyFile(DWORD attributes) {
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
         (attributes & FILE_ATTRIBUTE_READONLY) != 0;
}

// What the system knows of the file or folder at `name`, opened without access
// to its content (so a file held by another program still answers).
bool fileInformation(const std::wstring& name, DWORD flags, BY_HANDLE_FILE_INFORMATION& information) {
  HANDLE handle = CreateFileW(name.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | flags, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  const bool known = GetFileInformationByHandle(handle, &information) != 0;
  CloseHandle(handle);
  return known;
}

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
    const std::wstring name = systemPath(path);
    const DWORD attributes = attributesOf(name);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
      return IoStatus::failure(kIsAFolder);
    }
    // The system refuses to write a read-only file; say so (and so it is on
    // every file system, also where the attribute is not enforced).
    if (mode != OpenMode::read && isReadOnlyFile(attributes)) {
      return IoStatus::failure(kFileReadOnly);
    }
    // Appending writes from the end on; the plug-in is the file's one writer.
    const bool reading = mode == OpenMode::read;
    const DWORD access = reading ? GENERIC_READ : GENERIC_WRITE;
    const DWORD sharing = reading ? FILE_SHARE_READ | FILE_SHARE_WRITE : FILE_SHARE_READ;
    HANDLE handle = INVALID_HANDLE_VALUE;
    // A missing file is created as a new one, never at the end of a dangling
    // link (a link has attributes of its own, so it is not missing); one made
    // meanwhile by another is opened after all, and a link that leads nowhere
    // then fails to open.
    if (!reading && attributes == INVALID_FILE_ATTRIBUTES) {
      handle = CreateFileW(name.c_str(), access, sharing, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    }
    const DWORD disposition = OPEN_EXISTING;
    IoStatus opened = handle != INVALID_HANDLE_VALUE ? IoStatus{} : retryWhileHeld(
        [&] {
          handle = CreateFileW(name.c_str(), access, sharing, nullptr, disposition,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
          return handle != INVALID_HANDLE_VALUE;
        },
        [&]() -> const char* {
          return mode != OpenMode::read && isReadOnlyFile(attributesOf(name)) ? kFileReadOnly
                                                                              : nullptr;
        });
    if (!opened.ok()) return opened;
    // A pipe, console or other device is no file to read or to add to.
    if (GetFileType(handle) != FILE_TYPE_DISK) {
      CloseHandle(handle);
      return IoStatus::failure(kNotRegular);
    }
    if (mode == OpenMode::append) {
      LARGE_INTEGER zero{};
      if (!SetFilePointerEx(handle, zero, nullptr, FILE_END)) {
        IoStatus status = lastError();
        CloseHandle(handle);
        return status;
      }
    }
    file = std::make_unique<WindowsFile>(handle, text, flush_);
    return {};
  }

  // CREATE_NEW fails on any name already taken, a link included (which it
  // does not follow: FILE_FLAG_OPEN_REPARSE_POINT).
  IoStatus createNew(const std::string& path, TextMode text, const std::string&,
                     std::unique_ptr<File>& file) override {
    file.reset();
    const std::wstring name = systemPath(path);
    HANDLE handle = CreateFileW(name.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
      const DWORD error = GetLastError();
      if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS) {
        return IoStatus::nameTaken(errorStatus(error).message());
      }
      return errorStatus(error);
    }
    if (GetFileType(handle) != FILE_TYPE_DISK) {
      CloseHandle(handle);
      return IoStatus::failure(kNotRegular);
    }
    file = std::make_unique<WindowsFile>(handle, text, flush_);
    return {};
  }

  IoStatus renameReplacing(const std::string& from, const std::string& to) override {
    const std::wstring source = systemPath(from);
    const std::wstring target = systemPath(to);
    // Replacing a read-only file is refused, as the system itself refuses it
    // (a file system that ignores the attribute would replace it).
    auto readOnlyTarget = [&]() -> const char* {
      return isReadOnlyFile(attributesOf(target)) ? kTargetReadOnly : nullptr;
    };
    if (const char* reason = readOnlyTarget()) return IoStatus::failure(reason);
    return retryWhileHeld(
        [&] {
          return MoveFileExW(source.c_str(), target.c_str(),
                             MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
        },
        readOnlyTarget);
  }

  IoStatus removeFile(const std::string& path) override {
    const std::wstring name = systemPath(path);
    const DWORD attributes = attributesOf(name);
    if (attributes == INVALID_FILE_ATTRIBUTES) return lastError();
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return IoStatus::failure(kIsAFolder);
    if (isReadOnlyFile(attributes)) return IoStatus::failure(kFileReadOnly);
    return retryWhileHeld([&] { return DeleteFileW(name.c_str()) != 0; },
                          []() -> const char* { return nullptr; });
  }

  // The rename was written through (MOVEFILE_WRITE_THROUGH); a folder cannot
  // be flushed on its own here.
  IoStatus flushFolder(const std::string&) override { return {}; }

  IoStatus makeFolder(const std::string& path) override {
    if (CreateDirectoryW(systemPath(path).c_str(), nullptr) == 0) return lastError();
    return {};
  }

  IoStatus listFolder(const std::string& folder, std::vector<std::string>& names) override {
    names.clear();
    std::wstring pattern = systemPath(folder.empty() ? std::string(".") : folder);
    if (!pattern.empty() && pattern.back() != L'\\') pattern += L'\\';
    pattern += L'*';
    WIN32_FIND_DATAW found{};
    HANDLE search = FindFirstFileW(pattern.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return lastError();
    do {
      const std::wstring wide = found.cFileName;
      if (wide == L"." || wide == L"..") continue;
      // Back to the ANSI code page the plug-in's texts are in.
      const int size = WideCharToMultiByte(CP_ACP, 0, wide.c_str(), static_cast<int>(wide.size()),
                                           nullptr, 0, nullptr, nullptr);
      std::string name(static_cast<std::size_t>(size > 0 ? size : 0), '\0');
      if (size > 0) {
        WideCharToMultiByte(CP_ACP, 0, wide.c_str(), static_cast<int>(wide.size()), &name[0],
                            size, nullptr, nullptr);
      }
      names.push_back(name);
    } while (FindNextFileW(search, &found));
    const DWORD error = GetLastError();
    FindClose(search);
    return error == ERROR_NO_MORE_FILES ? IoStatus() : errorStatus(error);
  }

  PathKind kind(const std::string& path) override {
    const DWORD attributes = attributesOf(systemPath(path));
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

  std::uint64_t linkCount(const std::string& path) override {
    BY_HANDLE_FILE_INFORMATION information{};
    if (!fileInformation(systemPath(path), FILE_FLAG_OPEN_REPARSE_POINT, information) ||
        (information.dwFileAttributes &
         (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE)) != 0) {
      return 0;
    }
    return information.nNumberOfLinks;
  }

  bool sameFile(const std::string& a, const std::string& b) override {
    BY_HANDLE_FILE_INFORMATION first{}, second{};
    return fileInformation(systemPath(a), 0, first) && fileInformation(systemPath(b), 0, second) &&
           first.dwVolumeSerialNumber == second.dwVolumeSerialNumber &&
           first.nFileIndexHigh == second.nFileIndexHigh &&
           first.nFileIndexLow == second.nFileIndexLow;
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
