// The plug-in's file layer: every file the plug-in writes, and the files it
// reads whole, go through here.
//
// Primitive operations sit behind a FileSystem object: the platform's real one,
// or, in tests, fuzzing and benchmarks, one held in memory or a decorator that
// makes a chosen operation fail (tests/support/testfilesystems.h; they are not
// part of the plug-in library). The operations callers use are built on the primitives:
//
//   replaceFile      a file replaced whole: written to a temporary file of
//                    its own in the same folder, flushed to disk, closed,
//                    renamed over the target, the folder flushed. Any failure
//                    removes the temporary file and leaves the old target
//                    byte for byte.
//   ReplacingWriter  the same for large outputs written in pieces.
//   appendToFile     a text added at the end of a file (which a failure can
//                    leave with a fragment of the text at its end).
//   createNewFile    a file created whole that must not exist yet (a lock):
//                    nothing is written when anything is at the path.
//   renameFile       a file moved to a name that names nothing yet.
//   readFileBytes, pathKind, isRegularFile, pathExists, removeRegularFile,
//   sameFile, createFolder, regularFilesIn.
//
// Each returns a FileResult: ok, or one line that names the file and the step
// that failed, e.g. "could not write results/autosaveList.ppi.3f09c2d17a4be856.part:
// No space left on device".
//
// Temporary files: each replacement creates a new file under a name of its
// own (the start of the target's name, 16 random hexadecimal digits, ".part"),
// exclusively and without following a link: a file, link or folder already at
// that name (another process's replacement, a leftover, a planted link) is
// never opened, reused or removed; another name is tried. The name is short,
// so a target whose name has the system's longest length still works. The new
// file takes the mode (and, where the system permits, the owner and group) of
// the file it replaces. A target with more than one name (hard links) is not
// replaced: the replacement would part it from its other names, which would
// keep the old content; the failure says so and the file stays as it is.
//
// Opening for reading or appending takes regular files only: a pipe, device or
// socket at the name (or at the end of a link) is refused at once, never
// waited on. Appending creates a missing file exclusively, never at the end
// of a dangling link.
//
// Text mode: every line feed is written as the platform's line end (CR LF on
// Windows, LF elsewhere); every other byte as it is. Binary mode and reading
// take the bytes as they are.
//
// The current file system is process-wide: the real one unless a
// ScopedFileSystem overrides it (tests, fuzzing, benchmarks).
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "common/outcome.h"

namespace ppi {

enum class TextMode { text, binary };
enum class OpenMode { read, append };
enum class PathKind { missing, regularFile, directory, other };

// What a primitive operation reports: ok, or the system's message for the failure.
class IoStatus {
 public:
  IoStatus() = default;  // ok
  static IoStatus failure(std::string message) {
    IoStatus status;
    status.failed_ = true;
    status.message_ = std::move(message);
    return status;
  }
  // A failure of createNew because something is at the name already.
  static IoStatus nameTaken(std::string message) {
    IoStatus status = failure(std::move(message));
    status.taken_ = true;
    return status;
  }
  bool ok() const { return !failed_; }
  bool nameTaken() const { return taken_; }
  const std::string& message() const { return message_; }

 private:
  bool failed_ = false;
  bool taken_ = false;
  std::string message_;
};

// An open file. Destroying one that is still open closes it without a check.
class File {
 public:
  virtual ~File() = default;
  // Writes all of `data`. On failure `written` tells how many of its bytes went
  // out first (it equals data.size() on success).
  virtual IoStatus write(std::string_view data, std::size_t& written) = 0;
  // Reads up to `capacity` bytes into `buffer`; `got` is 0 at the end of the file.
  virtual IoStatus read(char* buffer, std::size_t capacity, std::size_t& got) = 0;
  // How many bytes are left to read as the file stands, or 0 when that is not
  // known: room to read them into at once. The reads decide where the end is.
  virtual std::uint64_t bytesAhead() { return 0; }
  // Puts what was written on the disk (unless the file system's flushing is off).
  virtual IoStatus flushToDisk() = 0;
  virtual IoStatus close() = 0;
};

// The primitive operations.
class FileSystem {
 public:
  virtual ~FileSystem() = default;
  // Opens a regular file (following links) to read it or to write at its end;
  // anything else at the path (a folder, pipe, device) fails to open, at once.
  // Appending creates a missing file as createNew does. Text mode applies to
  // writing only.
  virtual IoStatus open(const std::string& path, OpenMode mode, TextMode text,
                        std::unique_ptr<File>& file) = 0;
  // Creates a new regular file for writing, exclusively: when anything is at
  // the path (a file, a folder, a link, dangling or not) it fails with
  // nameTaken, touching nothing; a link is never followed. When `modelFile`
  // names a regular file (not through a link), the new file takes its
  // permissions, and its owner and group where the system permits.
  virtual IoStatus createNew(const std::string& path, TextMode text, const std::string& modelFile,
                             std::unique_ptr<File>& file) = 0;
  // Renames a regular file, replacing a regular file of the new name.
  virtual IoStatus renameReplacing(const std::string& from, const std::string& to) = 0;
  // Removes a regular file; never a folder.
  virtual IoStatus removeFile(const std::string& path) = 0;
  // Puts the folder holding `path` (its entries: a rename) on the disk.
  virtual IoStatus flushFolder(const std::string& path) = 0;
  // Creates a folder (its parent must exist); one already there fails.
  virtual IoStatus makeFolder(const std::string& path) = 0;
  virtual PathKind kind(const std::string& path) = 0;
  // How many names (hard links) the regular file at `path` has, the path
  // itself not followed when it is a link; 0 when no regular file is there.
  virtual std::uint64_t linkCount(const std::string& path) = 0;
  // True when both paths name one existing file (through links, other
  // spellings of its path or other names of it).
  virtual bool sameFile(const std::string& a, const std::string& b) = 0;
  // The names of the entries of a folder ("" is the current one), in any
  // order, without "." and "..". A file system that cannot list fails.
  virtual IoStatus listFolder(const std::string& folder, std::vector<std::string>& names) {
    (void)folder;
    names.clear();
    return IoStatus::failure("listing folders is not supported");
  }
};

// Whether the real file system puts data on the disk when asked to (fsync,
// FlushFileBuffers). Off only for benchmarks of the layer's own cost.
enum class DiskFlush { on, off };

// The platform's file system.
std::unique_ptr<FileSystem> makeRealFileSystem(DiskFlush flush = DiskFlush::on);
// The process's real file system (flushing on), the default current one.
FileSystem& realFileSystem();

// The file system the high-level operations use.
FileSystem& currentFileSystem();

// Makes `fileSystem` the current one for the guard's lifetime, then restores
// the one before. Guards nest; end them in reverse order.
class ScopedFileSystem {
 public:
  explicit ScopedFileSystem(FileSystem& fileSystem);
  ~ScopedFileSystem();
  ScopedFileSystem(const ScopedFileSystem&) = delete;
  ScopedFileSystem& operator=(const ScopedFileSystem&) = delete;

 private:
  FileSystem* previous_;
};

// The platform's text-mode line end, and `data` as text mode writes it.
#if defined(_WIN32)
constexpr std::string_view kTextLineEnd = "\r\n";
#else
constexpr std::string_view kTextLineEnd = "\n";
#endif
std::string widenLineEnds(std::string_view data);

// The outcome of a high-level operation: ok, or one line saying why not.
using FileResult = Outcome;

// Whether `path` names a temporary file of a replacement (its last component
// as the replacements name them).
bool isTemporaryPath(std::string_view path);

// Replaces a file, or creates it, with `content` as a whole (see above).
FileResult replaceFile(const std::string& target, std::string_view content, TextMode mode);

// Replaces a file with what is written to it in pieces, as replaceFile does:
//   ReplacingWriter out;
//   FileResult result = out.begin(path, TextMode::text);
//   ... out.write(piece) ...
//   if (result.ok()) result = out.commit();
// Pieces are gathered into blocks of kBlockSize bytes. After a failure every
// later write, and commit, return that failure and do nothing. A writer left
// without a commit (destroyed, an early return, an exception) removes its
// temporary file and leaves the target as it was.
class ReplacingWriter {
 public:
  static constexpr std::size_t kBlockSize = 64 * 1024;

  ReplacingWriter() = default;
  ~ReplacingWriter() { abandon(); }
  ReplacingWriter(const ReplacingWriter&) = delete;
  ReplacingWriter& operator=(const ReplacingWriter&) = delete;

  // Opens the temporary file in the current file system (abandoning a
  // replacement under way). A folder at the target fails here.
  FileResult begin(const std::string& target, TextMode mode);
  FileResult write(std::string_view piece);
  // Puts the written text in the target's place.
  FileResult commit();
  // Drops the replacement: the temporary file is removed.
  void abandon();

 private:
  FileResult fail(const char* step, const std::string& path, const std::string& why);
  FileResult writeOut(std::string_view data);

  FileSystem* fileSystem_ = nullptr;
  std::string target_;
  std::string part_;
  std::unique_ptr<File> file_;  // open from begin until commit or a failure
  bool created_ = false;        // part_ is the file this writer created
  std::string buffer_;
  FileResult failure_;
};

// Appends `text` to a file, creating it when there is none: opened, written,
// flushed to disk and closed. A failed or short write is reported, but can
// leave part of the text at the file's end: a caller that needs the file whole
// replaces it whole after a failure.
FileResult appendToFile(const std::string& path, std::string_view text, TextMode mode);

// Creates a file that must not exist yet and writes `content` into it:
// opened exclusively, written, flushed to disk, closed. When anything is at
// the path already, nothing is touched and `existed` (when given) is set. A
// failure after the file was created removes it again.
FileResult createNewFile(const std::string& path, std::string_view content, TextMode mode,
                         bool* existed = nullptr);

// Moves a regular file to `to`, which must name nothing yet (checked before the
// rename), and puts the folder's entries on the disk.
FileResult renameFile(const std::string& from, const std::string& to);

// Reads a file's bytes whole into `content` (unchanged on failure).
FileResult readFileBytes(const std::string& path, std::string& content);

// The names of the regular files in `folder` ("" is the current one), sorted.
FileResult regularFilesIn(const std::string& folder, std::vector<std::string>& names);

PathKind pathKind(const std::string& path);
// True when both paths name one existing file (see FileSystem::sameFile).
bool sameFile(const std::string& a, const std::string& b);
bool isRegularFile(const std::string& path);
// True when anything (a file, a folder, ...) is at the path.
bool pathExists(const std::string& path);

// Removes a regular file. Nothing at the path counts as removed; a folder, or
// anything else that is not a regular file, is left and reported.
FileResult removeRegularFile(const std::string& path);

// Creates a folder whose parent exists; a folder already at the path counts as
// created, anything else there is reported.
FileResult createFolder(const std::string& path);

}  // namespace ppi
