// The file layer on the real file system against what the memory one cannot
// show: links, pipes and devices at the names it uses, files with several
// names, modes and owners, the longest names, and other processes writing
// beside it.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "common/filelayer.h"
#include "tests/support/fakehost.h"
#include "tests/support/testfilesystems.h"

namespace {

using ppi::FileResult;
using ppi::TextMode;
namespace fs = std::filesystem;

const std::string kTarget = "list.ppi";
const std::string kOld = "old\tlist\n";
const std::string kNew = "new\tlist\n";

std::string readLink(const std::string& path) {
  std::error_code error;
  const fs::path target = fs::read_symlink(path, error);
  return error ? std::string() : target.string();
}

// Every temporary file of a replacement in the working folder.
std::vector<std::string> temporaryFiles() {
  std::vector<std::string> found;
  for (const auto& entry : fs::directory_iterator(".")) {
    const std::string name = entry.path().filename().string();
    if (ppi::isTemporaryPath(name)) found.push_back(name);
  }
  return found;
}

// Runs `work` in a child process that an alarm ends after `seconds`: a call
// that waits forever fails the test instead of hanging it. What `work` returns
// comes back through a pipe; "hung" when the alarm struck.
std::string inChildWithAlarm(const std::function<std::string()>& work, unsigned seconds = 10) {
  int channel[2];
  if (::pipe(channel) != 0) return "no pipe";
  const pid_t child = ::fork();
  if (child == 0) {
    ::close(channel[0]);
    ::alarm(seconds);
    const std::string said = work();
    (void)!::write(channel[1], said.data(), said.size());
    ::_exit(0);
  }
  ::close(channel[1]);
  std::string said;
  char buffer[512];
  for (ssize_t got; (got = ::read(channel[0], buffer, sizeof buffer)) > 0;) said.append(buffer, got);
  ::close(channel[0]);
  int status = 0;
  ::waitpid(child, &status, 0);
  if (WIFSIGNALED(status) && WTERMSIG(status) == SIGALRM) return "hung";
  return said;
}

std::string outcome(const FileResult& result) { return result.ok() ? "ok" : result.reason(); }

// ---------------------------------------------------------------------------
// Something planted where a replacement used to put its temporary file,
// "<target>.part": a link to another file, a dangling link, another
// process's file. The replacement neither follows nor removes it, whether it
// succeeds or fails at any step.

struct PlantedRow {
  const char* name;
  std::function<void()> plant;
};

const std::string kOldPart = kTarget + ".part";

const PlantedRow kPlanted[] = {
    {"LinkToAnotherFile",
     [] {
       testsupport::writeFile("elsewhere/victim", "victim");
       fs::create_symlink("elsewhere/victim", kOldPart);
     }},
    {"DanglingLink", [] { fs::create_symlink("elsewhere/created", kOldPart); }},
    {"AnotherProcesssFile", [] { testsupport::writeFile(kOldPart, "another process's part"); }},
    {"Folder", [] { fs::create_directory(kOldPart); }},
};

class PlantedAtTheOldName : public testing::TestWithParam<PlantedRow> {};

TEST_P(PlantedAtTheOldName, IsNeitherFollowedNorRemoved) {
  testsupport::ScopedWorkingDirectory directory;
  std::unique_ptr<ppi::FileSystem> real = ppi::makeRealFileSystem();
  ppi::FaultyFileSystem faulty(*real);
  ppi::ScopedFileSystem scope(faulty);
  fs::create_directory("elsewhere");
  GetParam().plant();
  const std::string link = readLink(kOldPart);
  const bool wasFile = fs::is_regular_file(fs::symlink_status(kOldPart));
  const auto untouched = [&] {
    EXPECT_EQ(readLink(kOldPart), link);
    if (wasFile) {
      EXPECT_EQ(testsupport::readFile(kOldPart), "another process's part");
    }
    if (fs::exists("elsewhere/victim")) {
      EXPECT_EQ(testsupport::readFile("elsewhere/victim"), "victim");
    }
    EXPECT_FALSE(fs::exists("elsewhere/created"));
    EXPECT_TRUE(temporaryFiles().empty());
  };

  // Each step made to fail in turn; then none.
  for (int kind = 0; kind < ppi::FaultyFileSystem::kOperationCount; ++kind) {
    const auto operation = static_cast<ppi::FaultyFileSystem::Operation>(kind);
    for (int nth = 1; nth <= 3; ++nth) {
      SCOPED_TRACE(testing::Message() << "fault at operation " << kind << " #" << nth);
      testsupport::writeFile(kTarget, kOld);
      faulty.inject({operation, nth, false});
      const FileResult result = ppi::replaceFile(kTarget, kNew, TextMode::binary);
      if (!faulty.struck()) break;
      if (operation != ppi::FaultyFileSystem::Operation::folderFlush) {
        EXPECT_FALSE(result.ok());
        EXPECT_EQ(testsupport::readFile(kTarget), kOld);
      }
      untouched();
    }
  }
  faulty.inject({});
  EXPECT_EQ(outcome(ppi::replaceFile(kTarget, kNew, TextMode::binary)), "ok");
  EXPECT_EQ(testsupport::readFile(kTarget), kNew);
  untouched();
}

INSTANTIATE_TEST_SUITE_P(FileLayer, PlantedAtTheOldName, testing::ValuesIn(kPlanted),
                         [](const testing::TestParamInfo<PlantedRow>& info) {
                           return std::string(info.param.name);
                         });

// A file system that plants a link to a victim at the very name a replacement
// is about to create, for its first `times` creations: as a process that
// guessed the name would.
class PlantingFileSystem : public ppi::FaultyFileSystem {
 public:
  PlantingFileSystem(ppi::FileSystem& inner, int times) : FaultyFileSystem(inner), times_(times) {}
  ppi::IoStatus createNew(const std::string& path, TextMode text, const std::string& model,
                          std::unique_ptr<ppi::File>& file) override {
    if (planted.size() < static_cast<std::size_t>(times_)) {
      fs::create_symlink("victim", path);
      planted.push_back(path);
    }
    return FaultyFileSystem::createNew(path, text, model, file);
  }
  std::vector<std::string> planted;

 private:
  int times_;
};

TEST(FileLayer, ALinkAtTheNameAboutToBeCreatedIsPassedBy) {
  struct Row {
    const char* name;
    int times;
    bool replaced;
  };
  const Row rows[] = {{"once", 1, true}, {"fifteen times", 15, true}, {"at every name", 100, false}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    testsupport::ScopedWorkingDirectory directory;
    std::unique_ptr<ppi::FileSystem> real = ppi::makeRealFileSystem();
    PlantingFileSystem planting(*real, row.times);
    ppi::ScopedFileSystem scope(planting);
    testsupport::writeFile("victim", "victim");
    testsupport::writeFile(kTarget, kOld);
    const FileResult result = ppi::replaceFile(kTarget, kNew, TextMode::binary);
    EXPECT_EQ(result.ok(), row.replaced) << result.reason();
    if (!row.replaced) {
      EXPECT_NE(result.reason().find(": File exists"), std::string::npos) << result.reason();
    }
    EXPECT_EQ(testsupport::readFile(kTarget), row.replaced ? kNew : kOld);
    EXPECT_EQ(testsupport::readFile("victim"), "victim");
    for (const std::string& path : planting.planted) {
      EXPECT_EQ(readLink(path), "victim") << path;  // left where it was planted
    }
  }
}

// ---------------------------------------------------------------------------
// Targets and opened files that are not plain files of one name.

TEST(FileLayer, AFileWithSeveralNamesIsNotReplaced) {
  testsupport::ScopedWorkingDirectory directory;
  testsupport::writeFile(kTarget, kOld);
  fs::create_hard_link(kTarget, "second name.ppi");
  const FileResult result = ppi::replaceFile(kTarget, kNew, TextMode::binary);
  EXPECT_EQ(result.reason(),
            "could not replace list.ppi: it is one file with 2 names (hard links), which a new file "
            "in its place would part from the others");
  EXPECT_EQ(testsupport::readFile(kTarget), kOld);
  EXPECT_EQ(testsupport::readFile("second name.ppi"), kOld);
  EXPECT_EQ(fs::hard_link_count(kTarget), 2u);
  EXPECT_TRUE(temporaryFiles().empty());
  // Appending adds to the one file, under both names.
  EXPECT_EQ(outcome(ppi::appendToFile(kTarget, "more\n", TextMode::binary)), "ok");
  EXPECT_EQ(testsupport::readFile("second name.ppi"), kOld + "more\n");
  // Once it has one name again it is replaced as any file.
  fs::remove("second name.ppi");
  EXPECT_EQ(outcome(ppi::replaceFile(kTarget, kNew, TextMode::binary)), "ok");
  EXPECT_EQ(testsupport::readFile(kTarget), kNew);
}

// Pipes and devices, at the name or at the end of a link, are refused at once
// for reading and for appending (a pipe with no other end would otherwise wait
// forever, /dev/zero never ends, /dev/null swallows the text).
TEST(FileLayer, PipesAndDevicesAreRefusedWithoutWaiting) {
  struct Row {
    const char* name;
    const char* path;
    bool append;
    bool reader;  // a reader holds the pipe open meanwhile
  };
  const Row rows[] = {
      {"read a pipe", "pipe", false, false},
      {"append to a pipe", "pipe", true, false},
      {"append to a pipe that is read", "pipe", true, true},
      {"read a link to a pipe", "link to pipe", false, false},
      {"append to a link to a pipe", "link to pipe", true, false},
      {"read a link to /dev/zero", "link to zero", false, false},
      {"append to a link to /dev/null", "link to null", true, false},
      {"read a socket", "socket", false, false},
  };
  testsupport::ScopedWorkingDirectory directory;
  ASSERT_EQ(::mkfifo("pipe", 0600), 0);
  fs::create_symlink("pipe", "link to pipe");
  fs::create_symlink("/dev/zero", "link to zero");
  fs::create_symlink("/dev/null", "link to null");
  const int socketDescriptor = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strcpy(address.sun_path, "socket");
  ASSERT_EQ(::bind(socketDescriptor, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const int reader = row.reader ? ::open("pipe", O_RDONLY | O_NONBLOCK) : -1;
    const std::string said = inChildWithAlarm([&] {
      std::string read;
      return outcome(row.append ? ppi::appendToFile(row.path, "line\n", TextMode::binary)
                                : ppi::readFileBytes(row.path, read));
    });
    if (reader >= 0) ::close(reader);
    EXPECT_EQ(said, std::string("could not open ") + row.path + ": it is not a regular file");
  }
  ::close(socketDescriptor);
}

// A dangling link at a file appended to: the file it names is not created.
TEST(FileLayer, AppendingNeverCreatesAFileThroughALink) {
  testsupport::ScopedWorkingDirectory directory;
  fs::create_directory("elsewhere");
  fs::create_symlink("elsewhere/created", kTarget);
  const FileResult result = ppi::appendToFile(kTarget, "line\n", TextMode::binary);
  EXPECT_EQ(result.reason(), "could not open list.ppi: it is a link that leads to no file");
  EXPECT_FALSE(fs::exists("elsewhere/created"));
  EXPECT_EQ(readLink(kTarget), "elsewhere/created");
  // A link to a file there is followed, as a list kept elsewhere may be.
  testsupport::writeFile("elsewhere/created", kOld);
  EXPECT_EQ(outcome(ppi::appendToFile(kTarget, "line\n", TextMode::binary)), "ok");
  EXPECT_EQ(testsupport::readFile("elsewhere/created"), kOld + "line\n");
}

// ---------------------------------------------------------------------------
// What a replaced file keeps.

TEST(FileLayer, AReplacedFileKeepsItsModeAndOwner) {
  struct Row {
    const char* name;
    fs::perms mode;  // fs::perms::unknown: no file before
  };
  const Row rows[] = {
      {"owner and group may read", fs::perms(0640)},
      {"only the owner", fs::perms(0600)},
      {"executable", fs::perms(0755)},
      {"read-only", fs::perms(0444)},
      {"a new file", fs::perms::unknown},
  };
  const mode_t mask = ::umask(022);
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    testsupport::ScopedWorkingDirectory directory;
    if (row.mode != fs::perms::unknown) {
      testsupport::writeFile(kTarget, kOld);
      fs::permissions(kTarget, row.mode);
    }
    EXPECT_EQ(outcome(ppi::replaceFile(kTarget, kNew, TextMode::binary)), "ok");
    EXPECT_EQ(testsupport::readFile(kTarget), kNew);
    const fs::perms expected = row.mode == fs::perms::unknown ? fs::perms(0644) : row.mode;
    EXPECT_EQ(fs::status(kTarget).permissions(), expected);
  }
  ::umask(mask);
  if (::geteuid() != 0) return;  // only a privileged process may give a file away
  testsupport::ScopedWorkingDirectory directory;
  testsupport::writeFile(kTarget, kOld);
  ASSERT_EQ(::chown(kTarget.c_str(), 4321, 8765), 0);
  EXPECT_EQ(outcome(ppi::replaceFile(kTarget, kNew, TextMode::binary)), "ok");
  struct stat status {};
  ASSERT_EQ(::stat(kTarget.c_str(), &status), 0);
  EXPECT_EQ(status.st_uid, 4321u);
  EXPECT_EQ(status.st_gid, 8765u);
}

// Names up to the system's longest: the temporary file's name stays short.
TEST(FileLayer, TargetsOfTheLongestNameAreReplaced) {
  const long longest = ::pathconf(".", _PC_NAME_MAX);
  ASSERT_GE(longest, 14);
  struct Row {
    const char* name;
    std::string fileName;
  };
  const std::size_t size = static_cast<std::size_t>(longest);
  const Row rows[] = {
      {"plain letters", std::string(size - 4, 'a') + ".ppi"},
      {"dots and digits", std::string(size - 4, '7').replace(0, 1, ".") + ".sdm"},
      {"Latin-1 bytes", std::string(size, '\xE4')},
      {"spaces", std::string(size, ' ')},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    testsupport::ScopedWorkingDirectory directory;
    fs::create_directory("sub");
    for (const std::string& path : {row.fileName, "sub/" + row.fileName}) {
      EXPECT_EQ(outcome(ppi::replaceFile(path, kOld, TextMode::binary)), "ok");
      EXPECT_EQ(outcome(ppi::replaceFile(path, kNew, TextMode::binary)), "ok");
      EXPECT_EQ(testsupport::readFile(path), kNew);
    }
    EXPECT_TRUE(temporaryFiles().empty());
  }
}

// ---------------------------------------------------------------------------
// Other processes replacing the same file at the same time: every replacement
// succeeds, the file always holds one of them whole, and no temporary file is
// left or taken over.

TEST(FileLayer, ProcessesReplacingOneFileNeverMix) {
  testsupport::ScopedWorkingDirectory directory;
  constexpr int kProcesses = 4;
  constexpr int kRounds = 150;
  const auto contentOf = [](int process) {
    return std::string(20000 + 1000 * process, static_cast<char>('A' + process));
  };
  testsupport::writeFile(kTarget, contentOf(0));
  std::vector<pid_t> children;
  for (int process = 1; process <= kProcesses; ++process) {
    const pid_t child = ::fork();
    if (child == 0) {
      int failures = 0;
      for (int round = 0; round < kRounds; ++round) {
        failures += ppi::replaceFile(kTarget, contentOf(process), TextMode::binary).ok() ? 0 : 1;
      }
      ::_exit(failures == 0 ? 0 : 1);
    }
    children.push_back(child);
  }
  int mixed = 0, reads = 0;
  for (bool running = true; running;) {
    std::string seen;
    if (ppi::readFileBytes(kTarget, seen).ok()) {
      ++reads;
      bool whole = false;
      for (int process = 0; process <= kProcesses; ++process) whole |= seen == contentOf(process);
      mixed += whole ? 0 : 1;
    }
    running = false;
    for (pid_t child : children) running |= ::waitpid(child, nullptr, WNOHANG) == 0;
  }
  for (pid_t child : children) {
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "a replacement failed";
  }
  EXPECT_GT(reads, 0);
  EXPECT_EQ(mixed, 0);
  EXPECT_TRUE(temporaryFiles().empty());
}

// ---------------------------------------------------------------------------
// Which paths name one file, on the real file system and in memory.

TEST(FileLayer, SameFileSeesThroughLinksAndSpellings) {
  struct Row {
    const char* name;
    std::string a, b;
    bool same;
    bool inMemory;  // the memory file system has the case too
  };
  const Row rows[] = {
      {"one path", "list.ppi", "list.ppi", true, true},
      {"with ./", "./list.ppi", "list.ppi", true, true},
      {"another file", "list.ppi", "other.ppi", false, true},
      {"a missing file", "missing.ppi", "missing.ppi", false, true},
      {"through the folder", "sub/../list.ppi", "list.ppi", true, false},
      {"a link", "link.ppi", "list.ppi", true, false},
      {"a second name", "second.ppi", "list.ppi", true, false},
      {"a dangling link", "dangling.ppi", "missing.ppi", false, false},
  };
  testsupport::ScopedWorkingDirectory directory;
  ppi::MemoryFileSystem memory;
  for (const char* path : {"list.ppi", "other.ppi"}) {
    testsupport::writeFile(path, kOld);
    memory.setFile(path, kOld);
  }
  fs::create_directory("sub");
  fs::create_symlink("list.ppi", "link.ppi");
  fs::create_hard_link("list.ppi", "second.ppi");
  fs::create_symlink("missing.ppi", "dangling.ppi");
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(ppi::sameFile(row.a, row.b), row.same);
    EXPECT_EQ(ppi::sameFile(row.b, row.a), row.same);
    if (!row.inMemory) continue;
    ppi::ScopedFileSystem scope(memory);
    EXPECT_EQ(ppi::sameFile(row.a, row.b), row.same);
  }
}

TEST(FileLayer, TemporaryNamesAreRecognised) {
  struct Row {
    const char* name;
    std::string path;
    bool temporary;
  };
  const Row rows[] = {
      {"plain", "autosaveList.ppi.0123456789abcdef.part", true},
      {"in a folder", "results/s01.sdm.fedcba9876543210.part", true},
      {"no start", ".0123456789abcdef.part", true},
      {"the old name", "autosaveList.ppi.part", false},
      {"capital digits", "a.0123456789ABCDEF.part", false},
      {"fifteen digits", "a.0123456789abcde.part", false},
      {"a start too long", std::string(21, 'a') + ".0123456789abcdef.part", false},
      {"a space in the start", "a b.0123456789abcdef.part", false},
      {"another suffix", "a.0123456789abcdef.tmp", false},
  };
  for (const Row& row : rows) EXPECT_EQ(ppi::isTemporaryPath(row.path), row.temporary) << row.name;
  // What replacements make is recognised, and no two are the same.
  ppi::MemoryFileSystem memory;
  ppi::ScopedFileSystem scope(memory);
  std::vector<ppi::ReplacingWriter> writers(50);
  for (ppi::ReplacingWriter& writer : writers) {
    ASSERT_TRUE(writer.begin("a very long name of a design matrix.sdm", TextMode::binary).ok());
  }
  const std::vector<std::string> made = memory.filePaths();
  EXPECT_EQ(made.size(), writers.size());
  for (const std::string& path : made) {
    EXPECT_TRUE(ppi::isTemporaryPath(path)) << path;
    EXPECT_EQ(path.rfind("a", 0), 0u) << path;
    EXPECT_LE(path.size(), 43u) << path;
  }
}

}  // namespace
