// The PPI list file (".ppi") and the autosave list "autosaveList.ppi".
//
// A list file holds one line per subject and nothing else:
//   <VTC path> TAB <VOI path> TAB <index of the chosen VOI, from 0> LF
// The last line ends with a line feed too. Readers split at any whitespace, so a
// carriage return before the line feed does no harm, and a path holding a blank
// cannot be stored.
//
// The autosave list mirrors the plug-in object's subject list. An object leaves
// an existing file alone until it first adds or loads a subject; from then on
// it keeps `autosaveStream` open on the file, which marks the file as its own,
// and every change of the list is on the disk before the command returns.
#pragma once

#include <fstream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ppi {

constexpr const char* kAutosaveFileName = "autosaveList.ppi";

// One subject's line, with its line feed.
std::string formatListLine(std::string_view vtcPath, std::string_view voiPath, int chosenVOI);

struct ListFileLine {
  std::string vtcPath;           // empty when the read failed
  std::string voiPath;           // empty when the read failed
  std::optional<int> chosenVOI;  // none when the read failed
};

// The subject lines of a list file's text: one attempt per line feed in the
// text (a last line without one is not read). Each attempt reads a word, a word
// and a decimal integer, skipping whitespace before each. Once a read has
// failed, every later read fails too.
std::vector<ListFileLine> readListFileText(std::string_view text);

// Reads a whole file byte for byte; false when it cannot be opened or read.
bool readWholeFile(const std::string& path, std::string& content);

// Creates or empties the file and writes `content` byte for byte; false when
// anything of it did not reach the file.
bool writeWholeFile(const std::string& path, std::string_view content);

// Creates or empties the list file and writes the lines in text mode, so that
// each line ends as the platform's text files end theirs; false when anything
// of it did not reach the file.
bool writeListFile(const std::string& path, std::string_view lines);

// True while `stream` holds the autosave file for this object.
inline bool ownsAutosaveList(const std::ofstream& stream) { return stream.is_open(); }

// Replaces the autosave file by `content` as a whole: written to a file beside
// it first and renamed over it only once complete, so that the old list
// survives any failure. Leaves `stream` open on the file (appending). False
// when the file could not be replaced.
bool replaceAutosaveList(std::ofstream& stream, std::string_view content);

// Appends one subject's line to the autosave file held open by `stream` and
// flushes it. False when the line did not reach the file.
bool appendAutosaveLine(std::ofstream& stream, std::string_view line);

}  // namespace ppi
