// File systems for tests, fuzzing and benchmarks, behind the file layer's
// FileSystem interface (common/filelayer.h): one held in memory, and a
// decorator that makes a chosen operation fail. They are linked into the
// programs that use them, never into the plug-in library.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "common/filelayer.h"

namespace ppi {

// A file system held in memory that answers as a POSIX one does. Paths are
// texts compared as they are; a path's folder is the text before its last '/'
// (or '\\'), and the current folder "" and the root "/" always exist. Open
// files follow their file through renames, as descriptors do. Folders are not
// renamed. There are no links: every file has one name, and two paths name
// one file when they are the same text (after a leading "./").
class MemoryFileSystem : public FileSystem {
 public:
  MemoryFileSystem();

  // Adds a folder (its parents must exist).
  void addFolder(const std::string& path);
  // Creating, renaming or removing entries in a read-only folder fails.
  void setReadOnly(const std::string& folder, bool readOnly = true);
  // Creates or replaces a regular file (its folder must exist).
  void setFile(const std::string& path, std::string content);
  // A regular file's content; false when there is none at the path.
  bool fileContent(const std::string& path, std::string& content) const;
  // Every regular file's path, in order.
  std::vector<std::string> filePaths() const;

  IoStatus open(const std::string& path, OpenMode mode, TextMode text,
                std::unique_ptr<File>& file) override;
  IoStatus createNew(const std::string& path, TextMode text, const std::string& modelFile,
                     std::unique_ptr<File>& file) override;
  IoStatus renameReplacing(const std::string& from, const std::string& to) override;
  IoStatus removeFile(const std::string& path) override;
  IoStatus flushFolder(const std::string& path) override;
  IoStatus makeFolder(const std::string& path) override;
  PathKind kind(const std::string& path) override;
  std::uint64_t linkCount(const std::string& path) override;
  bool sameFile(const std::string& a, const std::string& b) override;
  IoStatus listFolder(const std::string& folder, std::vector<std::string>& names) override;

 private:
  IoStatus checkFolderWritable(const std::string& path) const;

  std::map<std::string, std::shared_ptr<std::string>> files_;
  std::set<std::string> folders_;
  std::set<std::string> readOnly_;
};

// A file system that passes every operation to another and makes a chosen one
// fail. Opens, writes, flushes and closes of files, renames and flushes of
// folders are counted separately, from 1 (creating a new file counts as an
// open); a fault names the kind and the count at which it strikes, once. A short write writes the first half of its bytes,
// then fails; a failed close closes the file all the same.
class FaultyFileSystem : public FileSystem {
 public:
  enum class Operation { open, write, flush, close, rename, folderFlush, folderMake };
  static constexpr int kOperationCount = 7;
  struct Fault {
    Operation operation = Operation::open;
    int nth = 0;  // 0: no fault
    bool shortWrite = false;
  };

  explicit FaultyFileSystem(FileSystem& inner) : inner_(inner) {}
  // Not copied: FaultyFileSystem(other) must wrap `other`, not copy it.
  FaultyFileSystem(const FaultyFileSystem&) = delete;
  FaultyFileSystem& operator=(const FaultyFileSystem&) = delete;

  // Sets the one fault to inject and restarts the counts.
  void inject(Fault fault);
  // Operations of the kind passed on or failed since the last inject.
  int count(Operation operation) const { return counts_[static_cast<int>(operation)]; }
  // True once the fault has struck.
  bool struck() const { return struck_; }

  IoStatus open(const std::string& path, OpenMode mode, TextMode text,
                std::unique_ptr<File>& file) override;
  IoStatus createNew(const std::string& path, TextMode text, const std::string& modelFile,
                     std::unique_ptr<File>& file) override;
  IoStatus renameReplacing(const std::string& from, const std::string& to) override;
  IoStatus removeFile(const std::string& path) override { return inner_.removeFile(path); }
  IoStatus flushFolder(const std::string& path) override;
  IoStatus makeFolder(const std::string& path) override;
  PathKind kind(const std::string& path) override { return inner_.kind(path); }
  std::uint64_t linkCount(const std::string& path) override { return inner_.linkCount(path); }
  bool sameFile(const std::string& a, const std::string& b) override {
    return inner_.sameFile(a, b);
  }
  IoStatus listFolder(const std::string& folder, std::vector<std::string>& names) override {
    return inner_.listFolder(folder, names);
  }

 private:
  class FaultyFile;
  // Counts the operation; true when the fault strikes it.
  bool strikes(Operation operation);
  template <typename Open>
  IoStatus opening(std::unique_ptr<File>& file, Open&& open);

  FileSystem& inner_;
  Fault fault_;
  int counts_[kOperationCount] = {};
  bool struck_ = false;
};

}  // namespace ppi
