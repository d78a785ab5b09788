// The file layer on Windows, run under wine: text mode writes CR LF, a
// replacement renames over an existing file, folders are neither replaced nor
// removed, and a failure injected at every step of a replacement and an
// append leaves the old file and no temporary file. Then what the system
// does to the layer: paths of 300 characters (beyond MAX_PATH), names of 255
// characters, temporary files created new (CREATE_NEW) under names of their
// own, a file with two names, devices, a file that another program holds open
// for a moment or for good, and a file marked read-only. Exits non-zero on any failed check, after printing each.
#include <windows.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "common/filelayer.h"
#include "common/hosttext.h"
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

bool contains(const std::string& text, const char* part) {
  return text.find(part) != std::string::npos;
}

// The path made absolute and marked for the wide calls, which take it past
// MAX_PATH: how the test itself makes and removes its folders and attributes.
std::wstring longForm(const std::string& path) {
  std::wstring wide(path.begin(), path.end());
  wchar_t full[2048];
  const DWORD length = GetFullPathNameW(wide.c_str(), 2048, full, nullptr);
  return L"\\\\?\\" + std::wstring(full, length);
}

// How many temporary files of replacements are in the folder of `path`.
int temporaryFilesBeside(const std::string& path) {
  const std::size_t slash = path.find_last_of("/\\");
  const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash);
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((longForm(folder) + L"\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return 0;
  int count = 0;
  do {
    std::string name;
    for (const wchar_t* c = found.cFileName; *c != 0; ++c) name += static_cast<char>(*c);
    count += ppi::isTemporaryPath(name) ? 1 : 0;
  } while (FindNextFileW(search, &found));
  FindClose(search);
  return count;
}

bool noTemporaryFileBeside(const std::string& path) { return temporaryFilesBeside(path) == 0; }

std::string currentFolder() {
  char folder[MAX_PATH];
  const DWORD length = GetCurrentDirectoryA(MAX_PATH, folder);
  return std::string(folder, length);
}

// ---------------------------------------------------------------------------
// Paths of the plug-in's full 300 characters, in the forms it meets them.

struct LongPathCase {
  const char* name;
  bool absolute;
  char separator;
};

const LongPathCase kLongPathCases[] = {
    {"absolute path, backslashes", true, '\\'},
    {"absolute path, forward slashes", true, '/'},
    {"relative path", false, '\\'},
};

constexpr std::size_t kPathLimit = 300;

void checkLongPaths(const std::string& folder) {
  for (const LongPathCase& row : kLongPathCases) {
    std::string path = row.absolute ? currentFolder() + row.separator + folder : folder;
    std::vector<std::string> folders;
    for (char letter = 'a'; path.size() < kPathLimit - 80; ++letter) {
      path += row.separator + std::string(60, letter);
      CreateDirectoryW(longForm(path).c_str(), nullptr);
      folders.push_back(path);
    }
    const std::string file = "subject.sdm";
    path += row.separator + std::string(kPathLimit - path.size() - 1 - file.size(), 'z') + file;
    const std::string detail = row.name;
    check(path.size() == kPathLimit, "the path has 300 characters", path);

    ppi::FileResult result = ppi::replaceFile(path, "a\nb\n", ppi::TextMode::text);
    check(result.ok(), "a file of a 300-character path is created", result.reason());
    result = ppi::replaceFile(path, "x\ny\n", ppi::TextMode::text);
    check(result.ok(), "and replaced", result.reason());
    result = ppi::appendToFile(path, "z\n", ppi::TextMode::text);
    check(result.ok(), "and appended to", result.reason());
    check(contentOf(path) == "x\r\ny\r\nz\r\n", "and read back", detail);
    check(ppi::pathKind(path) == ppi::PathKind::regularFile, "it is a regular file", detail);
    check(noTemporaryFileBeside(path), "no temporary file is left",
          detail);
    result = ppi::removeRegularFile(path);
    check(result.ok() && ppi::pathKind(path) == ppi::PathKind::missing, "it is removed",
          detail + " " + result.reason());
    result = ppi::appendToFile(path, "new\n", ppi::TextMode::text);
    check(result.ok() && contentOf(path) == "new\r\n", "appending to a missing file creates it",
          detail + " " + result.reason());
    DeleteFileW(longForm(path).c_str());
    for (auto it = folders.rbegin(); it != folders.rend(); ++it) {
      RemoveDirectoryW(longForm(*it).c_str());
    }
  }
}

// ---------------------------------------------------------------------------
// A file that another program (a virus scanner, an indexer) holds open.

constexpr DWORD kThroughout = INFINITE;

struct HeldCase {
  const char* name;
  DWORD sharing;  // what the holder lets others do meanwhile
  DWORD holdFor;  // milliseconds, or kThroughout
  bool append;    // else a replacement
  bool succeeds;
};

const HeldCase kHeldCases[] = {
    {"replace, target held without sharing for 150 ms", 0, 150, false, true},
    {"replace, target held by a reader sharing read and write for 150 ms",
     FILE_SHARE_READ | FILE_SHARE_WRITE, 150, false, true},
    {"append, file held without sharing for 150 ms", 0, 150, true, true},
    {"replace, target held throughout", 0, kThroughout, false, false},
    {"append, file held throughout", 0, kThroughout, true, false},
};

struct Holder {
  HANDLE file;
  DWORD holdFor;
};

DWORD WINAPI releaseLater(void* argument) {
  Holder* holder = static_cast<Holder*>(argument);
  Sleep(holder->holdFor);
  CloseHandle(holder->file);
  return 0;
}

void checkHeldFiles(const std::string& folder) {
  const std::string path = folder + "\\held.ppi";
  for (const HeldCase& row : kHeldCases) {
    check(ppi::replaceFile(path, "old\n", ppi::TextMode::binary).ok(), "set up");
    Holder holder{CreateFileA(path.c_str(), GENERIC_READ, row.sharing, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr),
                  row.holdFor};
    check(holder.file != INVALID_HANDLE_VALUE, "the file is held", row.name);
    HANDLE releaser = row.holdFor == kThroughout
                          ? nullptr
                          : CreateThread(nullptr, 0, &releaseLater, &holder, 0, nullptr);
    const DWORD started = GetTickCount();
    ppi::FileResult result = row.append ? ppi::appendToFile(path, "new\n", ppi::TextMode::binary)
                                        : ppi::replaceFile(path, "new\n", ppi::TextMode::binary);
    const DWORD took = GetTickCount() - started;
    if (releaser != nullptr) {
      WaitForSingleObject(releaser, INFINITE);
      CloseHandle(releaser);
    } else {
      CloseHandle(holder.file);
    }
    std::printf("%s: %s after %lu ms%s%s\n", row.name, result.ok() ? "done" : "failed",
                static_cast<unsigned long>(took), result.ok() ? "" : ": ", result.reason().c_str());
    const std::string content = contentOf(path);
    const std::string detail = std::string(row.name) + ": " + result.reason();
    if (row.succeeds) {
      check(result.ok(), "a file held for a moment is written once it is free", detail);
      check(content == (row.append ? "old\nnew\n" : "new\n"), "with the new text", content);
    } else {
      check(!result.ok() && contains(result.reason(), "tries"),
            "a file held for good is reported after the retries", detail);
      check(content == "old\n", "and the old file is kept", content);
    }
    check(noTemporaryFileBeside(path), "no temporary file is left",
          row.name);
  }
  (void)ppi::removeRegularFile(path);  // tidying up; what is left is harmless
}

// ---------------------------------------------------------------------------
// A file marked read-only is reported as such and left as it is.

enum class Change { replace, append, remove };

struct ReadOnlyCase {
  const char* name;
  Change change;
};

const ReadOnlyCase kReadOnlyCases[] = {
    {"replace a read-only file", Change::replace},
    {"append to a read-only file", Change::append},
    {"remove a read-only file", Change::remove},
};

void checkReadOnly(const std::string& folder) {
  const std::string path = folder + "\\kept.sdm";
  for (const ReadOnlyCase& row : kReadOnlyCases) {
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    check(ppi::replaceFile(path, "old\n", ppi::TextMode::binary).ok(), "set up");
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY);
    ppi::FileResult result;
    switch (row.change) {
      case Change::replace:
        result = ppi::replaceFile(path, "new\n", ppi::TextMode::binary);
        break;
      case Change::append:
        result = ppi::appendToFile(path, "new\n", ppi::TextMode::binary);
        break;
      case Change::remove:
        result = ppi::removeRegularFile(path);
        break;
    }
    const std::string detail = std::string(row.name) + ": " + result.reason();
    check(!result.ok() && contains(result.reason(), "read-only"), "reported as read-only", detail);
    check(contentOf(path) == "old\n", "the file is kept", detail);
    check((GetFileAttributesA(path.c_str()) & FILE_ATTRIBUTE_READONLY) != 0, "and stays read-only",
          detail);
    check(noTemporaryFileBeside(path), "no temporary file is left",
          detail);
  }
  SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  (void)ppi::removeRegularFile(path);  // tidying up; what is left is harmless
}

// ---------------------------------------------------------------------------
// Temporary files are new files of their own: a file or folder at the name a
// replacement once used is left alone, two replacements under way at once
// have two files, a name that is taken is refused, a target of 255
// characters is replaced, a file with two names is not, a device is no file.

void checkOwnTemporaryFiles(const std::string& folder) {
  const std::string target = folder + "\\own.ppi";
  check(ppi::replaceFile(target, "old\n", ppi::TextMode::binary).ok(), "set up");
  check(ppi::replaceFile(target + ".part", "another program's\n", ppi::TextMode::binary).ok(),
        "set up");
  ppi::ReplacingWriter first, second;
  check(first.begin(target, ppi::TextMode::binary).ok(), "a replacement begins");
  check(second.begin(target, ppi::TextMode::binary).ok(), "a second one begins meanwhile");
  const int temporary = temporaryFilesBeside(target);
  check(temporary == 2, "each has a temporary file of its own", std::to_string(temporary));
  check(first.write("first\n").ok() && second.write("second\n").ok(), "both are written");
  check(first.commit().ok() && second.commit().ok(), "both are committed");
  check(contentOf(target) == "second\n", "the last one is the file", contentOf(target));
  check(contentOf(target + ".part") == "another program's\n",
        "a file at the old temporary name is left as it was", contentOf(target + ".part"));
  check(noTemporaryFileBeside(target), "no temporary file is left", target);

  std::unique_ptr<ppi::File> file;
  ppi::IoStatus status =
      ppi::realFileSystem().createNew(target, ppi::TextMode::binary, "", file);
  check(!status.ok() && status.nameTaken(), "CREATE_NEW refuses a name that is taken",
        status.message());
  check(contentOf(target) == "second\n", "and leaves the file", contentOf(target));

  const std::string longest = folder + "\\" + std::string(251, 'n') + ".ppi";
  ppi::FileResult result = ppi::replaceFile(longest, "a\n", ppi::TextMode::binary);
  check(result.ok(), "a name of 255 characters is created", result.reason());
  result = ppi::replaceFile(longest, "b\n", ppi::TextMode::binary);
  check(result.ok() && contentOf(longest) == "b\n", "and replaced", result.reason());
  (void)ppi::removeRegularFile(longest);  // tidying up; what is left is harmless

  const std::string second_name = folder + "\\second name.ppi";
  if (CreateHardLinkW(longForm(second_name).c_str(), longForm(target).c_str(), nullptr)) {
    check(ppi::sameFile(target, second_name), "two names of one file are the same file");
    result = ppi::replaceFile(target, "new\n", ppi::TextMode::binary);
    check(!result.ok() && contains(result.reason(), "2 names (hard links)"),
          "a file with two names is not replaced", result.reason());
    check(contentOf(second_name) == "second\n", "and both names keep it", contentOf(target));
    (void)ppi::removeRegularFile(second_name);  // tidying up; what is left is harmless
  } else {
    std::printf("no hard links on this file system: not checked\n");
  }
  check(ppi::sameFile(target, folder + "/own.ppi"), "two spellings of a path are one file");
  check(!ppi::sameFile(target, target + ".part"), "two files are not one");
  check(!ppi::sameFile(target + ".none", target + ".none"), "a missing file is no file");

  std::string read = "unread";
  result = ppi::readFileBytes("NUL", read);
  check(!result.ok() && contains(result.reason(), "not a regular file") && read == "unread",
        "a device is not read", result.reason());
  result = ppi::appendToFile("NUL", "lost\n", ppi::TextMode::binary);
  check(!result.ok() && contains(result.reason(), "not a regular file"),
        "nor appended to", result.reason());
  (void)ppi::removeRegularFile(target + ".part");  // tidying up; what is left is harmless
  (void)ppi::removeRegularFile(target);  // tidying up; what is left is harmless
}

// ---------------------------------------------------------------------------
// The host's 8-bit text is in the ANSI code page: records and report get it
// as UTF-8 converted from that page, and a file named in it is the file the
// system shows under the same characters.

void checkHostText(const std::string& folder) {
  const UINT page = GetACP();
  std::printf("ANSI code page %u\n", page);
  check(ppi::hostTextToUtf8("plain.vtc") == "plain.vtc", "ASCII is kept");
  if (page == 1252) {
    check(ppi::hostTextToUtf8("Ger\xe4t M\xfcller") == "Ger\xc3\xa4t M\xc3\xbcller",
          "code page 1252 umlauts as UTF-8", ppi::hostTextToUtf8("Ger\xe4t M\xfcller"));
    // 0x80 is the euro sign in 1252 (U+20AC), not U+0080 as in Latin-1.
    check(ppi::hostTextToUtf8("\x80") == "\xe2\x82\xac", "the code page's own characters");
    // UTF-8 bytes are read in the code page too: that is what the host passed.
    check(ppi::hostTextToUtf8("\xc3\xa4") == "\xc3\x83\xc2\xa4", "bytes read in the code page");
  } else {
    std::printf("not code page 1252: its characters not checked\n");
  }
  const std::string named = folder + "\\M\xfcller.ppi";
  check(ppi::replaceFile(named, "x", ppi::TextMode::binary).ok(), "a file named in the code page");
  const std::wstring expected = longForm(folder) + L"\\M\u00fcller.ppi";
  check(page != 1252 || GetFileAttributesW(expected.c_str()) != INVALID_FILE_ATTRIBUTES,
        "is the file of those characters");
  (void)ppi::removeRegularFile(named);  // tidying up; what is left is harmless
}

// A failure injected at every step of a replacement and an append.
void checkInjectedFaults(const std::string& target) {
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
          check(ppi::replaceFile(target, "old\n", ppi::TextMode::binary).ok(), "set up");
          faulty.inject({operation, nth, shortWrite});
          ppi::FileResult result = append ? ppi::appendToFile(target, large, ppi::TextMode::text)
                                          : ppi::replaceFile(target, large, ppi::TextMode::text);
          if (!faulty.struck()) continue;
          const std::string content = contentOf(target);
          check(!result.ok(), "the failure is reported");
          check(append ? content.rfind("old\n", 0) == 0 : content == "old\n",
                "the old file is kept", result.reason());
          check(noTemporaryFileBeside(target),
                "no temporary file is left", result.reason());
        }
      }
    }
  }
  faulty.inject({});
}

}  // namespace

int main() {
  char folder[MAX_PATH];
  std::snprintf(folder, sizeof folder, "filelayer-check-%lu",
                static_cast<unsigned long>(GetCurrentProcessId()));
  CreateDirectoryA(folder, nullptr);
  const std::string target = std::string(folder) + "\\list.ppi";

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

  checkInjectedFaults(target);
  checkOwnTemporaryFiles(folder);
  checkHostText(folder);
  checkLongPaths(folder);
  checkHeldFiles(folder);
  checkReadOnly(folder);
  (void)ppi::removeRegularFile(target);  // tidying up; what is left is harmless
  RemoveDirectoryA(sub.c_str());
  RemoveDirectoryA(folder);
  std::printf("%s\n", failures == 0 ? "file layer: all checks passed" : "file layer: failures");
  return failures == 0 ? 0 : 1;
}
