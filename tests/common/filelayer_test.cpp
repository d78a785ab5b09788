#include "common/filelayer.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "tests/support/fakehost.h"
#include "tests/support/testfilesystems.h"

namespace {

using ppi::FileResult;
using ppi::FileSystem;
using ppi::TextMode;
using Operation = ppi::FaultyFileSystem::Operation;
namespace fs = std::filesystem;

// A folder to work in: the real file system in a fresh working folder, or one in memory.
class Backend {
 public:
  virtual ~Backend() = default;
  virtual const char* name() const = 0;
  virtual FileSystem& fileSystem() = 0;
  virtual void putFile(const std::string& path, const std::string& content) = 0;
  virtual void putFolder(const std::string& path) = 0;
  virtual bool fileContent(const std::string& path, std::string& content) = 0;
  // Every regular file's path, sorted.
  virtual std::vector<std::string> files() = 0;
  virtual void clear() = 0;
};

class RealBackend : public Backend {
 public:
  const char* name() const override { return "real"; }
  FileSystem& fileSystem() override { return *real_; }
  void putFile(const std::string& path, const std::string& content) override {
    testsupport::writeFile(path, content);
  }
  void putFolder(const std::string& path) override { fs::create_directories(path); }
  bool fileContent(const std::string& path, std::string& content) override {
    if (!fs::is_regular_file(path)) return false;
    content = testsupport::readFile(path);
    return true;
  }
  std::vector<std::string> files() override {
    std::vector<std::string> paths;
    for (const auto& entry : fs::recursive_directory_iterator(".")) {
      if (entry.is_regular_file()) {
        paths.push_back(entry.path().lexically_relative(".").generic_string());
      }
    }
    std::sort(paths.begin(), paths.end());
    return paths;
  }
  void clear() override {
    for (const auto& entry : fs::directory_iterator(".")) {
      fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add);
      fs::remove_all(entry.path());
    }
  }

 private:
  testsupport::ScopedWorkingDirectory directory_;
  std::unique_ptr<FileSystem> real_ = ppi::makeRealFileSystem();
};

class MemoryBackend : public Backend {
 public:
  const char* name() const override { return "memory"; }
  FileSystem& fileSystem() override { return memory; }
  void putFile(const std::string& path, const std::string& content) override {
    memory.setFile(path, content);
  }
  void putFolder(const std::string& path) override { memory.addFolder(path); }
  bool fileContent(const std::string& path, std::string& content) override {
    return memory.fileContent(path, content);
  }
  std::vector<std::string> files() override { return memory.filePaths(); }
  void clear() override { memory = ppi::MemoryFileSystem(); }

  ppi::MemoryFileSystem memory;
};

std::vector<std::unique_ptr<Backend>> bothBackends() {
  std::vector<std::unique_ptr<Backend>> backends;
  backends.push_back(std::make_unique<MemoryBackend>());
  backends.push_back(std::make_unique<RealBackend>());
  return backends;
}

const std::string kTarget = "autosaveList.ppi";
const std::string kOld = "old/a.vtc\told/a.voi\t0\nold/b.vtc\told/b.voi\t1\n";

// Three and a half blocks' worth of design-matrix rows.
std::string largeText() {
  std::string text;
  for (int row = 0; text.size() < ppi::ReplacingWriter::kBlockSize * 7 / 2; ++row) {
    text += std::to_string(row) + "\t0.125\t-3.5\t1e-05\t\"name\"\n";
  }
  return text;
}

// A high-level operation on kTarget, what it leaves on success, and the
// operations to walk faults through.
struct WalkRow {
  const char* name;
  bool oldFile;  // kTarget holds kOld before
  std::function<FileResult(std::string& read)> run;
  std::string expected;  // the target's content afterwards (read: what is read)
  bool appends = false;  // a failure may leave the old text plus part of the new
  bool reads = false;
};

std::vector<WalkRow> walkRows() {
  const std::string large = largeText();
  return {
      {"ReplaceExisting", true,
       [](std::string&) { return ppi::replaceFile(kTarget, "new\tlist\n", TextMode::text); },
       ppi::widenLineEnds("new\tlist\n")},
      {"CreateAbsent", false,
       [](std::string&) { return ppi::replaceFile(kTarget, "a\nb", TextMode::binary); }, "a\nb"},
      {"StreamInPieces", true,
       [large](std::string&) {
         ppi::ReplacingWriter out;
         FileResult result = out.begin(kTarget, TextMode::binary);
         for (std::size_t at = 0; result.ok() && at < large.size(); at += 1000) {
           result = out.write(std::string_view(large).substr(at, 1000));
         }
         return result.ok() ? out.commit() : result;
       },
       large},
      {"AppendToExisting", true,
       [](std::string&) { return ppi::appendToFile(kTarget, "c.vtc\tc.voi\t2\n", TextMode::text); },
       kOld + ppi::widenLineEnds("c.vtc\tc.voi\t2\n"), true},
      {"ReadWhole", true, [](std::string& read) { return ppi::readFileBytes(kTarget, read); }, kOld,
       false, true},
  };
}

class FaultWalk : public testing::TestWithParam<WalkRow> {};

const char* stepOf(Operation operation) {
  switch (operation) {
    case Operation::open:
      return "could not open ";
    case Operation::write:
      return "could not write ";
    case Operation::flush:
      return "could not flush ";
    case Operation::close:
      return "could not close ";
    case Operation::rename:
      return "could not rename ";
    case Operation::folderMake:
      return "could not create the folder ";
    case Operation::folderFlush:
      break;
  }
  return "";
}

// Every open, write, flush, close and rename made to fail in turn, and every
// write made short: the operation reports the step and leaves the old file.
TEST_P(FaultWalk, EveryFailureIsReportedAndLeavesTheOldFile) {
  const WalkRow& row = GetParam();
  for (auto& backend : bothBackends()) {
    SCOPED_TRACE(backend->name());
    ppi::FaultyFileSystem faulty(backend->fileSystem());
    ppi::ScopedFileSystem scope(faulty);
    auto play = [&](ppi::FaultyFileSystem::Fault fault, std::string& read) {
      backend->clear();
      if (row.oldFile) backend->putFile(kTarget, kOld);
      faulty.inject(fault);
      return row.run(read);
    };

    std::string read;
    ASSERT_TRUE(play({}, read).ok());
    std::string content;
    ASSERT_TRUE(backend->fileContent(kTarget, content));
    EXPECT_EQ(row.reads ? read : content, row.expected);
    EXPECT_EQ(backend->files(), std::vector<std::string>{kTarget});
    int counts[ppi::FaultyFileSystem::kOperationCount];
    for (int k = 0; k < ppi::FaultyFileSystem::kOperationCount; ++k) {
      counts[k] = faulty.count(static_cast<Operation>(k));
    }
    ASSERT_GE(counts[static_cast<int>(Operation::open)], 1);

    for (int k = 0; k < ppi::FaultyFileSystem::kOperationCount; ++k) {
      const auto operation = static_cast<Operation>(k);
      for (int nth = 1; nth <= counts[k]; ++nth) {
        for (bool shortWrite : {false, true}) {
          if (shortWrite && operation != Operation::write) continue;
          SCOPED_TRACE(testing::Message() << "fault at operation " << k << " #" << nth
                                          << (shortWrite ? " (short write)" : ""));
          read = "untouched";
          FileResult result = play({operation, nth, shortWrite}, read);
          ASSERT_TRUE(faulty.struck());
          const bool hasTarget = backend->fileContent(kTarget, content);
          if (operation == Operation::folderFlush) {
            // The rename is done: a folder that cannot be flushed does not undo it.
            EXPECT_TRUE(result.ok()) << result.reason();
            EXPECT_EQ(content, row.expected);
            continue;
          }
          EXPECT_FALSE(result.ok());
          EXPECT_EQ(result.reason().rfind(stepOf(operation), 0), 0u) << result.reason();
          if (row.reads) {
            EXPECT_EQ(read, "untouched");
          }
          if (row.appends) {
            // The old text stays in front; part of the new one may follow it.
            ASSERT_TRUE(hasTarget);
            EXPECT_EQ(content.substr(0, kOld.size()), kOld);
            EXPECT_EQ(row.expected.rfind(content, 0), 0u) << content;
          } else if (row.oldFile) {
            EXPECT_TRUE(hasTarget && content == kOld) << content;
          } else {
            EXPECT_FALSE(hasTarget);
          }
          std::vector<std::string> left = backend->files();
          EXPECT_TRUE(left.empty() || left == std::vector<std::string>{kTarget});
        }
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(FileLayer, FaultWalk, testing::ValuesIn(walkRows()),
                         [](const testing::TestParamInfo<WalkRow>& info) {
                           return std::string(info.param.name);
                         });

// The same sequence of primitive and high-level operations, played on the
// real file system and on the one in memory, gives the same outcomes and files.
struct SequenceRow {
  const char* name;
  std::function<void(Backend&, std::vector<std::string>& outcomes)> play;
};

std::string outcome(const ppi::IoStatus& status) { return status.ok() ? "ok" : status.message(); }
std::string outcome(const FileResult& result) { return result.ok() ? "ok" : result.reason(); }

// `mode` empty: a new file (createNew); else opened to read or to append.
std::string writeThenClose(FileSystem& files, const std::string& path,
                           std::optional<ppi::OpenMode> mode, std::string_view text) {
  std::unique_ptr<ppi::File> file;
  ppi::IoStatus status = mode ? files.open(path, *mode, TextMode::binary, file)
                              : files.createNew(path, TextMode::binary, "", file);
  if (!status.ok()) return status.message() + (status.nameTaken() ? " (taken)" : "");
  std::size_t written = 0;
  std::string result = outcome(file->write(text, written));
  return result + "/" + outcome(file->close());
}

class SameAsReal : public testing::TestWithParam<SequenceRow> {};

TEST_P(SameAsReal, MemoryAnswersAsTheRealFileSystem) {
  std::vector<std::string> outcomes[2];
  std::vector<std::string> files[2];
  std::vector<std::string> contents[2];
  auto backends = bothBackends();
  for (std::size_t b = 0; b < backends.size(); ++b) {
    Backend& backend = *backends[b];
    ppi::ScopedFileSystem scope(backend.fileSystem());
    backend.putFolder("folder");
    backend.putFile("old.sdm", "old\n");
    GetParam().play(backend, outcomes[b]);
    files[b] = backend.files();
    for (const std::string& path : files[b]) {
      std::string content;
      backend.fileContent(path, content);
      contents[b].push_back(content);
    }
  }
  EXPECT_EQ(outcomes[0], outcomes[1]);
  EXPECT_EQ(files[0], files[1]);
  EXPECT_EQ(contents[0], contents[1]);
}

const SequenceRow kSequences[] = {
    {"OpenInAMissingFolder",
     [](Backend& b, auto& out) {
       out.push_back(writeThenClose(b.fileSystem(), "none/x.ppi", {}, "x"));
       out.push_back(writeThenClose(b.fileSystem(), "old.sdm/x", ppi::OpenMode::append, "x"));
       std::string read;
       out.push_back(outcome(ppi::readFileBytes("none.ppi", read)));
     }},
    {"FoldersAreNeitherOpenedNorRemoved",
     [](Backend& b, auto& out) {
       out.push_back(writeThenClose(b.fileSystem(), "folder", ppi::OpenMode::append, "x"));
       std::string read;
       out.push_back(outcome(ppi::readFileBytes("folder", read)));
       out.push_back(outcome(b.fileSystem().removeFile("folder")));
       out.push_back(outcome(ppi::removeRegularFile("folder")));
       out.push_back(outcome(ppi::replaceFile("folder", "x", TextMode::binary)));
       out.push_back(outcome(ppi::appendToFile("folder", "x", TextMode::binary)));
       out.push_back(outcome(b.fileSystem().renameReplacing("old.sdm", "folder")));
       out.push_back(ppi::pathExists("folder") && !ppi::isRegularFile("folder") ? "kept" : "gone");
     }},
    {"RenameReplacesAndRemoveTakesOnlyFiles",
     [](Backend& b, auto& out) {
       out.push_back(outcome(b.fileSystem().renameReplacing("missing", "old.sdm")));
       out.push_back(writeThenClose(b.fileSystem(), "folder/new", {}, "n"));
       out.push_back(outcome(b.fileSystem().renameReplacing("folder/new", "old.sdm")));
       out.push_back(outcome(b.fileSystem().removeFile("folder/new")));
       out.push_back(outcome(ppi::removeRegularFile("folder/new")));  // nothing there: fine
       out.push_back(outcome(b.fileSystem().renameReplacing("old.sdm", "folder/moved")));
     }},
    {"CreateNewRefusesTakenNamesAppendAddsTextModeWidens",
     [](Backend& b, auto& out) {
       out.push_back(writeThenClose(b.fileSystem(), "old.sdm", {}, "one"));
       out.push_back(writeThenClose(b.fileSystem(), "folder", {}, "one"));
       out.push_back(writeThenClose(b.fileSystem(), "old.sdm", ppi::OpenMode::append, "two"));
       out.push_back(outcome(ppi::appendToFile("old.sdm", "\nthree\n", TextMode::text)));
       out.push_back(outcome(ppi::replaceFile("folder/t.ppi", "a\n\nb\n", TextMode::text)));
       out.push_back(outcome(ppi::appendToFile("folder/t.ppi", "", TextMode::text)));
       std::string read = "kept";
       out.push_back(outcome(ppi::readFileBytes("folder/t.ppi", read)) + read);
     }},
    {"AnOpenFileFollowsItsRename",
     [](Backend& b, auto& out) {
       std::unique_ptr<ppi::File> file;
       out.push_back(
           outcome(b.fileSystem().createNew("a", TextMode::binary, "", file)));
       std::size_t written = 0;
       out.push_back(outcome(file->write("first ", written)));
       out.push_back(outcome(b.fileSystem().renameReplacing("a", "folder/b")));
       out.push_back(outcome(file->write("second", written)));
       out.push_back(outcome(file->close()));
       out.push_back(outcome(file->close()));
       out.push_back(outcome(file->write("late", written)));
     }},
};

INSTANTIATE_TEST_SUITE_P(FileLayer, SameAsReal, testing::ValuesIn(kSequences),
                         [](const testing::TestParamInfo<SequenceRow>& info) {
                           return std::string(info.param.name);
                         });

// A folder that takes no new entries: the old file stays, the reason names the
// temporary file's open; appending to a file already there still works.
TEST(FileLayer, ReadOnlyFolderKeepsTheOldFile) {
  for (auto& backend : bothBackends()) {
    SCOPED_TRACE(backend->name());
    const bool real = std::string(backend->name()) == "real";
    if (real && ::geteuid() == 0) continue;  // permissions do not bind root
    backend->putFolder("locked");
    backend->putFile("locked/list.ppi", kOld);
    if (real) {
      fs::permissions("locked", fs::perms::owner_read | fs::perms::owner_exec);
    } else {
      static_cast<MemoryBackend&>(*backend).memory.setReadOnly("locked");
    }
    ppi::ScopedFileSystem scope(backend->fileSystem());
    FileResult result = ppi::replaceFile("locked/list.ppi", "new\n", TextMode::text);
    const std::string opened = "could not open ", denied = ": Permission denied";
    const std::string& reason = result.reason();
    ASSERT_GT(reason.size(), opened.size() + denied.size()) << reason;
    EXPECT_EQ(reason.substr(reason.size() - denied.size()), denied) << reason;
    const std::string part = reason.substr(opened.size(), reason.size() - opened.size() - denied.size());
    EXPECT_EQ(reason.substr(0, opened.size()) + part.substr(0, 16), opened + "locked/list.ppi.");
    EXPECT_TRUE(ppi::isTemporaryPath(part)) << reason;
    EXPECT_TRUE(ppi::appendToFile("locked/list.ppi", "more\n", TextMode::binary).ok());
    EXPECT_FALSE(ppi::removeRegularFile("locked/list.ppi").ok());
    std::string content;
    EXPECT_TRUE(backend->fileContent("locked/list.ppi", content));
    EXPECT_EQ(content, kOld + "more\n");
    EXPECT_EQ(backend->files(), std::vector<std::string>{"locked/list.ppi"});
    if (real) fs::permissions("locked", fs::perms::owner_all);
  }
}

// Pieces of every size around the block size come out whole and in order; a
// writer left without a commit, or misused, leaves nothing behind.
TEST(FileLayer, ReplacingWriterBlocksPiecesAndCleansUp) {
  ppi::MemoryFileSystem memory;
  ppi::ScopedFileSystem scope(memory);
  constexpr std::size_t kBlock = ppi::ReplacingWriter::kBlockSize;
  const std::size_t sizes[] = {0, 1, kBlock - 1, kBlock, 1, kBlock + 1, 3 * kBlock, 7, 0};
  std::string expected;
  {
    ppi::ReplacingWriter out;
    ASSERT_TRUE(out.begin("big.sdm", TextMode::binary).ok());
    for (std::size_t size : sizes) {
      std::string piece(size, static_cast<char>('a' + expected.size() % 26));
      expected += piece;
      ASSERT_TRUE(out.write(piece).ok());
    }
    ASSERT_TRUE(out.commit().ok());
    EXPECT_FALSE(out.commit().ok());  // nothing begun any more
  }
  std::string content;
  ASSERT_TRUE(memory.fileContent("big.sdm", content));
  EXPECT_TRUE(content == expected);

  try {
    ppi::ReplacingWriter out;
    ASSERT_TRUE(out.begin("big.sdm", TextMode::binary).ok());
    ASSERT_TRUE(out.write(std::string(2 * kBlock, 'x')).ok());
    const std::vector<std::string> during = memory.filePaths();
    ASSERT_EQ(during.size(), 2u);
    EXPECT_TRUE(ppi::isTemporaryPath(during[0]) || ppi::isTemporaryPath(during[1]));
    throw std::runtime_error("caller gave up");
  } catch (const std::runtime_error&) {
  }
  EXPECT_EQ(memory.filePaths(), std::vector<std::string>{"big.sdm"});
  ASSERT_TRUE(memory.fileContent("big.sdm", content));
  EXPECT_TRUE(content == expected);

  ppi::ReplacingWriter unbegun;
  EXPECT_FALSE(unbegun.write("x").ok());
  ppi::FaultyFileSystem faulty(memory);
  ppi::ScopedFileSystem faultScope(faulty);
  faulty.inject({Operation::write, 1, false});
  ppi::ReplacingWriter failing;
  ASSERT_TRUE(failing.begin("big.sdm", TextMode::binary).ok());
  FileResult first = failing.write(std::string(kBlock, 'y'));
  EXPECT_FALSE(first.ok());
  EXPECT_EQ(failing.write("z").reason(), first.reason());
  EXPECT_EQ(failing.commit().reason(), first.reason());
  EXPECT_EQ(faulty.count(Operation::write), 1);  // nothing written after the failure
  EXPECT_EQ(memory.filePaths(), std::vector<std::string>{"big.sdm"});
}

TEST(FileLayer, ScopedFileSystemsNestAndRestore) {
  FileSystem& before = ppi::currentFileSystem();
  EXPECT_EQ(&before, &ppi::realFileSystem());
  ppi::MemoryFileSystem outer, inner;
  {
    ppi::ScopedFileSystem outerScope(outer);
    {
      ppi::ScopedFileSystem innerScope(inner);
      EXPECT_EQ(&ppi::currentFileSystem(), &inner);
    }
    EXPECT_EQ(&ppi::currentFileSystem(), &outer);
  }
  EXPECT_EQ(&ppi::currentFileSystem(), &before);
}

}  // namespace

namespace {

// A file system that announces a size of its own choosing for every file it
// opens: what readFileBytes makes room for need not be what the file holds.
class AnnouncingFileSystem : public ppi::MemoryFileSystem {
 public:
  std::uint64_t announced = 0;
  ppi::IoStatus open(const std::string& path, ppi::OpenMode mode, TextMode text,
                     std::unique_ptr<ppi::File>& file) override {
    ppi::IoStatus status = MemoryFileSystem::open(path, mode, text, file);
    if (status.ok()) file = std::make_unique<AnnouncingFile>(std::move(file), announced);
    return status;
  }

 private:
  class AnnouncingFile : public ppi::File {
   public:
    AnnouncingFile(std::unique_ptr<ppi::File> inner, std::uint64_t announced)
        : inner_(std::move(inner)), announced_(announced) {}
    ppi::IoStatus write(std::string_view data, std::size_t& written) override {
      return inner_->write(data, written);
    }
    ppi::IoStatus read(char* buffer, std::size_t capacity, std::size_t& got) override {
      return inner_->read(buffer, capacity, got);
    }
    std::uint64_t bytesAhead() override { return announced_; }
    ppi::IoStatus flushToDisk() override { return inner_->flushToDisk(); }
    ppi::IoStatus close() override { return inner_->close(); }

   private:
    std::unique_ptr<ppi::File> inner_;
    std::uint64_t announced_;
  };
};

}  // namespace

// A file is read to its end whatever size it announced when it was opened (a
// file that grows or shrinks meanwhile), and the real file systems announce
// what a file holds.
TEST(FileLayer, ReadingFollowsTheFileNotItsAnnouncedSize) {
  struct Row {
    const char* name;
    std::size_t size;
    std::uint64_t announced;
  };
  const Row rows[] = {
      {"empty, nothing announced", 0, 0},
      {"empty, more announced", 0, 100},
      {"nothing announced", 10000, 0},
      {"fewer announced", 10000, 5},
      {"exactly announced", 10000, 10000},
      {"more announced", 10000, 20000},
      {"one byte more than announced", 4097, 4096},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    AnnouncingFileSystem files;
    files.announced = row.announced;
    std::string content(row.size, '\0');
    for (std::size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>('a' + i % 23);
    files.setFile("design.sdm", content);
    ppi::ScopedFileSystem scope(files);
    std::string read = "before";
    ASSERT_TRUE(ppi::readFileBytes("design.sdm", read).ok());
    EXPECT_EQ(read, content);
  }
  for (auto& backend : bothBackends()) {
    SCOPED_TRACE(backend->name());
    backend->putFile("sized.sdm", std::string(5000, 'x'));
    std::unique_ptr<ppi::File> file;
    ASSERT_TRUE(
        backend->fileSystem().open("sized.sdm", ppi::OpenMode::read, TextMode::binary, file).ok());
    EXPECT_EQ(file->bytesAhead(), 5000u);
    char buffer[1000];
    std::size_t got = 0;
    ASSERT_TRUE(file->read(buffer, sizeof buffer, got).ok());
    EXPECT_EQ(file->bytesAhead(), 5000u - got);
    EXPECT_TRUE(file->close().ok());
  }
}

// A folder created once; one already there is fine, anything else at the path
// and a missing parent are reported, on both back ends; an injected failure
// of the creation is reported with its step.
TEST(FileLayer, CreateFolder) {
  const struct {
    const char* name;
    std::function<void(Backend&)> before;
    const char* path;
    bool ok;
    const char* reason;  // how the reason starts
  } rows[] = {
      {"new folder", [](Backend&) {}, "pages", true, ""},
      {"folder already there", [](Backend& b) { b.putFolder("pages"); }, "pages", true, ""},
      {"a file at the path", [](Backend& b) { b.putFile("pages", "x"); }, "pages", false,
       "could not create the folder pages: something else is there"},
      {"parent missing", [](Backend&) {}, "missing/pages", false,
       "could not create the folder missing/pages: "},
  };
  for (auto& backend : bothBackends()) {
    SCOPED_TRACE(backend->name());
    ppi::FaultyFileSystem faulty(backend->fileSystem());
    ppi::ScopedFileSystem scope(faulty);
    for (const auto& row : rows) {
      SCOPED_TRACE(row.name);
      backend->clear();
      row.before(*backend);
      const FileResult result = ppi::createFolder(row.path);
      EXPECT_EQ(result.ok(), row.ok) << result.reason();
      EXPECT_EQ(result.reason().rfind(row.reason, 0), 0u) << result.reason();
      EXPECT_EQ(ppi::pathKind(row.path) == ppi::PathKind::directory, row.ok);
    }
    backend->clear();
    faulty.inject({Operation::folderMake, 1, false});
    const FileResult injected = ppi::createFolder("pages");
    EXPECT_TRUE(faulty.struck());
    EXPECT_EQ(injected.reason().rfind("could not create the folder pages: injected", 0), 0u)
        << injected.reason();
    EXPECT_EQ(ppi::pathKind("pages"), ppi::PathKind::missing);
  }
}
