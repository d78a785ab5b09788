// The file layer on Windows, run under wine: text mode writes CR LF, a
// replacement renames over an existing file, folders are neither replaced nor
// removed, and a failure injected at every step of a replacement and an
// append leaves the old file and no temporary file. Exits non-zero on any
// failed check, after printing each.
#include <windows.h>

#include <cstdio>
#include <string>

#include "common/filelayer.h"
#include "tests/support/testfilesystems.h"

namespace {

int failures = 0;

void check(bool condition, const char* what, const std::string& detail = {}) {
  if (condition) return;
  ++failures;
  std::printf("FAILED: %s %s\n", what, detail.c_str());
}

std::string contentOf(const std::string& path) {
  std::string content;
  return ppi::readFileBytes(path, content).ok() ? content : "<none>";
}

}  // namespace

int main() {
  char folder[MAX_PATH];
  std::snprintf(folder, sizeof folder, "filelayer-check-%lu",
                static_cast<unsigned long>(GetCurrentProcessId()));
  CreateDirectoryA(folder, nullptr);
  const std::string target = std::string(folder) + "\\list.ppi";
  const std::string part = ppi::partPath(target);

  check(ppi::replaceFile(target, "a\nb\n", ppi::TextMode::text).ok(), "create in text mode");
  check(contentOf(target) == "a\r\nb\r\n", "CR LF line ends", contentOf(target));
  check(ppi::appendToFile(target, "c\n", ppi::TextMode::text).ok(), "append in text mode");
  check(contentOf(target) == "a\r\nb\r\nc\r\n", "appended at the end", contentOf(target));
  check(ppi::replaceFile(target, "x\ny", ppi::TextMode::binary).ok(), "replace in binary mode");
  check(contentOf(target) == "x\ny", "binary bytes as they are", contentOf(target));

  const std::string sub = std::string(folder) + "\\sub";
  CreateDirectoryA(sub.c_str(), nullptr);
  check(!ppi::replaceFile(sub, "z", ppi::TextMode::binary).ok(), "a folder is not replaced");
  check(!ppi::removeRegularFile(sub).ok(), "a folder is not removed");
  check(ppi::pathKind(sub) == ppi::PathKind::directory, "the folder is kept");
  std::string unread = "unread";
  check(!ppi::readFileBytes(std::string(folder) + "\\none", unread).ok() && unread == "unread",
        "a missing file is not read");

  using Operation = ppi::FaultyFileSystem::Operation;
  ppi::FaultyFileSystem faulty(ppi::realFileSystem());
  ppi::ScopedFileSystem scope(faulty);
  const std::string large(3 * ppi::ReplacingWriter::kBlockSize + 17, '\n');
  for (int k = 0; k < ppi::FaultyFileSystem::kOperationCount; ++k) {
    const auto operation = static_cast<Operation>(k);
    if (operation == Operation::folderFlush) continue;
    for (int nth = 1; nth <= 4; ++nth) {
      for (bool shortWrite : {false, true}) {
        for (bool append : {false, true}) {
          faulty.inject({});
          ppi::replaceFile(target, "old\n", ppi::TextMode::binary);
          faulty.inject({operation, nth, shortWrite});
          ppi::FileResult result = append ? ppi::appendToFile(target, large, ppi::TextMode::text)
                                          : ppi::replaceFile(target, large, ppi::TextMode::text);
          if (!faulty.struck()) continue;
          const std::string content = contentOf(target);
          check(!result.ok(), "the failure is reported");
          check(append ? content.rfind("old\n", 0) == 0 : content == "old\n",
                "the old file is kept", result.reason());
          check(ppi::pathKind(part) == ppi::PathKind::missing, "no temporary file is left",
                result.reason());
        }
      }
    }
  }
  faulty.inject({});
  ppi::removeRegularFile(target);
  RemoveDirectoryA(sub.c_str());
  RemoveDirectoryA(folder);
  std::printf("%s\n", failures == 0 ? "file layer: all checks passed" : "file layer: failures");
  return failures == 0 ? 0 : 1;
}
